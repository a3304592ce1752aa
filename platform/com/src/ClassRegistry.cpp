// The class registry and the calls that create objects or translate ProgIDs through it.
#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "RuntimeInternal.h"
#include "objbase.h"
#include "vantrel/ClassRegistry.h"

namespace {

std::mutex registryMutex;

// Guarded by registryMutex. A function-local static so that registrations made before any
// other static is constructed still find it.
std::vector<VantrelClassRegistration>& registry() {
    static std::vector<VantrelClassRegistration> classes;
    return classes;
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool equalIgnoringAsciiCase(const std::u16string& a, const char16_t* b) {
    size_t i = 0;
    for (; i < a.size(); ++i)
        if (b[i] == 0 || asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return b[i] == 0;
}

bool hasProgId(const VantrelClassRegistration& entry, const char16_t* progId) {
    return (!entry.progId.empty() && equalIgnoringAsciiCase(entry.progId, progId)) ||
           (!entry.versionIndependentProgId.empty() &&
            equalIgnoringAsciiCase(entry.versionIndependentProgId, progId));
}

bool isAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool isAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A ProgID as COM allows it: at most 39 characters, letters, digits, '.' and '_', beginning
// with a letter. Empty means "none".
bool isValidProgId(const std::u16string& progId) {
    if (progId.empty())
        return true;
    if (progId.size() > 39 || !isAsciiLetter(progId[0]))
        return false;
    return std::all_of(progId.begin(), progId.end(), [](char16_t c) {
        return isAsciiLetter(c) || isAsciiDigit(c) || c == u'.' || c == u'_';
    });
}

std::vector<VantrelClassRegistration>::iterator findByClsid(REFCLSID clsid) {
    auto& classes = registry();
    return std::find_if(classes.begin(), classes.end(), [&](const VantrelClassRegistration& entry) {
        return entry.clsid == clsid;
    });
}

} // namespace

HRESULT VantrelRegisterClass(const VantrelClassRegistration& registration) {
    if (registration.clsid == GUID_NULL || registration.createInstance == nullptr ||
        !isValidProgId(registration.progId) ||
        !isValidProgId(registration.versionIndependentProgId))
        return E_INVALIDARG;
    try {
        std::lock_guard lock(registryMutex);
        auto& classes = registry();
        for (const auto& entry : classes) {
            if (entry.clsid == registration.clsid ||
                (!registration.progId.empty() && hasProgId(entry, registration.progId.c_str())) ||
                (!registration.versionIndependentProgId.empty() &&
                 hasProgId(entry, registration.versionIndependentProgId.c_str())))
                return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        }
        classes.push_back(registration);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT VantrelUnregisterClass(REFCLSID clsid) {
    std::lock_guard lock(registryMutex);
    auto found = findByClsid(clsid);
    if (found == registry().end())
        return REGDB_E_CLASSNOTREG;
    registry().erase(found);
    return S_OK;
}

HRESULT VantrelLookupClass(REFCLSID clsid, VantrelClassRegistration* registration) {
    if (!registration)
        return E_POINTER;
    try {
        std::lock_guard lock(registryMutex);
        auto found = findByClsid(clsid);
        if (found == registry().end())
            return REGDB_E_CLASSNOTREG;
        *registration = *found;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::vector<VantrelClassRegistration> VantrelRegisteredClasses() {
    std::lock_guard lock(registryMutex);
    return registry();
}

namespace vantrel::com {

VantrelCreateInstanceFunction findFactory(REFCLSID clsid) {
    std::lock_guard lock(registryMutex);
    auto found = findByClsid(clsid);
    return found == registry().end() ? nullptr : found->createInstance;
}

bool findClassByProgId(const char16_t* progId, CLSID* clsid) {
    std::lock_guard lock(registryMutex);
    for (const auto& entry : registry()) {
        if (hasProgId(entry, progId)) {
            *clsid = entry.clsid;
            return true;
        }
    }
    return false;
}

HRESULT createWithFactory(VantrelCreateInstanceFunction factory, IUnknown* outer, REFIID riid,
                          void** ppv) {
    *ppv = nullptr;
    // Aggregation hands the outer object the inner's own IUnknown and nothing else.
    if (outer && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    HRESULT hr;
    try {
        hr = factory(outer, riid, ppv);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    if (FAILED(hr)) {
        *ppv = nullptr;
        return hr;
    }
    return *ppv ? hr : E_UNEXPECTED;
}

} // namespace vantrel::com

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                        REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!vantrel::com::threadInApartment())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    VantrelCreateInstanceFunction factory = vantrel::com::findFactory(rclsid);
    if (!factory)
        return REGDB_E_CLASSNOTREG;
    return vantrel::com::createWithFactory(factory, pUnkOuter, riid, ppv);
}

HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                        REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pvReserved)
        return E_INVALIDARG;
    if (!vantrel::com::threadInApartment())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    VantrelCreateInstanceFunction factory = vantrel::com::findFactory(rclsid);
    if (!factory)
        return REGDB_E_CLASSNOTREG;
    return vantrel::com::createClassObject(factory, riid, ppv);
}

HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpclsid)
        return E_POINTER;
    *lpclsid = GUID_NULL;
    if (!lpszProgID)
        return E_INVALIDARG;
    return vantrel::com::findClassByProgId(lpszProgID, lpclsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID)
        return E_POINTER;
    *lplpszProgID = nullptr;
    VantrelClassRegistration entry;
    HRESULT hr = VantrelLookupClass(clsid, &entry);
    if (FAILED(hr))
        return hr;
    const std::u16string& progId =
        entry.progId.empty() ? entry.versionIndependentProgId : entry.progId;
    if (progId.empty())
        return REGDB_E_KEYMISSING;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    std::copy(progId.begin(), progId.end(), copy);
    copy[progId.size()] = 0;
    *lplpszProgID = copy;
    return S_OK;
}
