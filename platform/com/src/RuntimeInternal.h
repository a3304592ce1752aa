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

// The class object of a class served by a module (r.modulePath), loading the module on first
// use. Failures post an error object naming the module, the class and its class file:
// CO_E_DLLNOTFOUND for a missing module, CO_E_ERRORINDLL for one that cannot be loaded or does
// not export DllGetClassObject, and the module's own answer when it refuses the class.
HRESULT moduleClassObject(const VantrelClassRegistration& r, REFIID riid, void** ppv);

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
