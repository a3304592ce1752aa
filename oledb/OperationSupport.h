#pragma once
// Small pieces shared by the communicator's table, data, browsing, information and conflict
// operations: a scope guard for their clean-up blocks, the release of an owned interface held in
// a field, and the checks that keep provider-described values inside the consumer's buffers.

#include "oledb/OleDbApi.h"

#include <utility>

// Runs a callable when the scope ends, however it ends: the single clean-up block of an
// operation, so that stopTiming runs after a failure and after a foreign exception alike.
template <class F> class TScopeExit {
public:
    explicit TScopeExit(F f) : action(std::move(f)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() { action(); }

private:
    F action;
};

// Releases one owned interface reference, if any, and clears the holder. The result of Release
// is never examined.
template <class I> void releaseInterface(I*& holder) {
    if (holder != nullptr) {
        I* held = holder;
        holder = nullptr;
        held->Release();
    }
}

// Size in bytes of a value of a fixed-length OLE DB type; 0 for the variable-length types
// (DBTYPE_STR, DBTYPE_WSTR, DBTYPE_BYTES), whose size is the binding's cbMaxLen, and for types
// this consumer never binds by value.
DBLENGTH fixedTypeSize(DBTYPE type);

// True when a value bound with this type and cbMaxLen lies by value within `room` bytes of the
// consumer's buffer: the provider reads or writes no byte past it and follows no pointer in it.
bool valueFitsInPlace(DBTYPE type, DBLENGTH maxLength, DBLENGTH room);
