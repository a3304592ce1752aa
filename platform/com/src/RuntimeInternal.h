// Shared between the runtime's own translation units; not installed.
#pragma once

#include <atomic>

#include "objbase.h"
#include "vantrel/ClassRegistry.h"

namespace vantrel::com {

// True when the calling thread is inside an apartment (a successful CoInitializeEx not yet
// balanced by CoUninitialize).
bool threadInApartment();

// Drops the calling thread's error object (on leaving the apartment).
void clearThreadErrorInfo();

// Finds the factory function of a registered class; null when the class is not registered.
VantrelCreateInstanceFunction findFactory(REFCLSID clsid);

// Finds a class by ProgID (either kind, ignoring ASCII case). False when none has it.
bool findClassByProgId(const char16_t* progId, CLSID* clsid);

// Runs a class's factory function with the checks CoCreateInstance promises: *ppv is null on
// failure, a success with no object is turned into E_UNEXPECTED, and exceptions become
// E_OUTOFMEMORY or E_UNEXPECTED instead of crossing the C interface.
HRESULT createWithFactory(VantrelCreateInstanceFunction factory, IUnknown* outer, REFIID riid,
                          void** ppv);

// A new class object (IClassFactory) over factory, answered as riid.
HRESULT createClassObject(VantrelCreateInstanceFunction factory, REFIID riid, void** ppv);

// Parses the braced text form of a GUID; false for anything else.
bool parseBracedGuid(const char16_t* text, GUID* guid);

} // namespace vantrel::com
