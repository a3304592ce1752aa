// The process-wide class registry behind CoCreateInstance, CLSIDFromProgID and the OLE DB root
// enumerator. Providers and services register here, through VantrelRegisterBuiltinClasses;
// tests add and remove their own classes. All functions are thread-safe.
#pragma once

#include <string>
#include <vector>

#include "../objbase.h"

// Creates one object of a class and answers the interface riid on it (AddRef'd) in *ppv.
// A class that cannot be aggregated answers CLASS_E_NOAGGREGATION when outer is not null.
// On failure *ppv must be null. ppv is never null when the runtime calls it.
using VantrelCreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// One registered class, as it is registered and as the registry reports it.
struct VantrelClassRegistration {
    CLSID clsid{};
    // Version-dependent ProgID, e.g. u"Vantrel.SQLite.1"; may be empty.
    std::u16string progId;
    // Version-independent ProgID, e.g. u"Vantrel.SQLite"; may be empty.
    std::u16string versionIndependentProgId;
    // Human-readable name, shown by the root enumerator as SOURCES_DESCRIPTION.
    std::u16string description;
    // SOURCES_PARSENAME of the root enumerator; empty means the CLSID in braces.
    std::u16string parseName;
    // DBSOURCETYPE_DATASOURCE_TDP (1), DBSOURCETYPE_ENUMERATOR (2), ...; 0 for a class that is
    // not an OLE DB source (a service component) and is not enumerated.
    DWORD sourceType = 0;
    VantrelCreateInstanceFunction createInstance = nullptr;
};

// Adds a class. Answers S_OK, or without changing the registry:
// E_INVALIDARG for GUID_NULL, a null createInstance, or a ProgID that is not 1 to 39 letters,
// digits, '.' or '_' starting with a letter; HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when the
// CLSID or either ProgID (compared ignoring ASCII case) belongs to a registered class.
HRESULT VantrelRegisterClass(const VantrelClassRegistration& registration);

// Removes a class: S_OK, or REGDB_E_CLASSNOTREG when it is not registered. Objects already
// created stay valid; the factory function must stay callable for them, as code does.
HRESULT VantrelUnregisterClass(REFCLSID clsid);

// Copies the registration of one class into *registration: S_OK, REGDB_E_CLASSNOTREG, or
// E_POINTER for a null out-pointer.
HRESULT VantrelLookupClass(REFCLSID clsid, VantrelClassRegistration* registration);

// A snapshot of every registered class, in registration order.
std::vector<VantrelClassRegistration> VantrelRegisteredClasses();
