#pragma once
// One owned COM reference that is released when its holder goes out of scope, so every way
// out of a routine (a return or an EResultException) releases exactly what was obtained.
// Holders declared in acquisition order release in the reverse order.

#include "oledb/OleDbApi.h"

template <class T> class TComPtr {
public:
    TComPtr() = default;
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    ~TComPtr() { reset(); }

    // Releases the held reference (result not examined) and holds nothing.
    void reset() {
        if (pointer != nullptr) {
            T* held = pointer;
            pointer = nullptr;
            held->Release();
        }
    }
    // The out-argument slot of a call that hands over a new reference; any old one is released.
    T** out() {
        reset();
        return &pointer;
    }
    // The same slot typed as IUnknown**, for calls that return their object that way.
    IUnknown** outUnknown() { return reinterpret_cast<IUnknown**>(out()); }
    // The same slot typed as void**, for QueryInterface and CoCreateInstance.
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    // Gives up ownership without releasing.
    T* detach() {
        T* held = pointer;
        pointer = nullptr;
        return held;
    }
    T* get() const { return pointer; }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

private:
    T* pointer = nullptr;
};
