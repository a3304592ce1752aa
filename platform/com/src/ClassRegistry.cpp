// The class registry: in-process registrations over the class files on disk, and the calls
// that create objects or translate ProgIDs through it.
#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "ClassFiles.h"
#include "RuntimeInternal.h"
#include "objbase.h"
#include "vantrel/ClassRegistry.h"

using vantrel::com::isValidProgId;
using vantrel::com::sameProgId;

namespace {

std::mutex registryMutex;

// Guarded by registryMutex: the classes registered in this process, in registration order, and
// the class files unregistered in this process.
struct LocalRegistry {
    std::vector<VantrelClassRegistration> classes;
    std::vector<CLSID> hiddenFiles;
};
LocalRegistry& local() {
    static LocalRegistry registry;
    return registry;
}

bool claims(const VantrelClassRegistration& entry, const std::u16string& progId) {
    return !progId.empty() &&
           (sameProgId(entry.progId, progId) || sameProgId(entry.versionIndependentProgId, progId));
}

bool clashes(const VantrelClassRegistration& a, const VantrelClassRegistration& b) {
    return a.clsid == b.clsid || claims(a, b.progId) || claims(a, b.versionIndependentProgId);
}

bool hidden(const LocalRegistry& registry, REFCLSID clsid) {
    return std::find(registry.hiddenFiles.begin(), registry.hiddenFiles.end(), clsid) !=
           registry.hiddenFiles.end();
}

// Every class visible in this process: the in-process ones, then each class file that is
// neither unregistered here nor claiming what an in-process class claims. Called with
// registryMutex held.
std::vector<VantrelClassRegistration> visibleClasses(const vantrel::com::DiskClasses& disk) {
    const LocalRegistry& registry = local();
    std::vector<VantrelClassRegistration> classes = registry.classes;
    for (const VantrelClassRegistration& file : disk.classes) {
        if (hidden(registry, file.clsid))
            continue;
        if (std::none_of(registry.classes.begin(), registry.classes.end(),
                         [&](const VantrelClassRegistration& c) { return clashes(c, file); }))
            classes.push_back(file);
    }
    return classes;
}

// The registration of clsid as this process sees it. Called with registryMutex held.
bool findVisible(const vantrel::com::DiskClasses& disk, REFCLSID clsid,
                 VantrelClassRegistration* out) {
    const LocalRegistry& registry = local();
    for (const VantrelClassRegistration& c : registry.classes) {
        if (c.clsid == clsid) {
            *out = c;
            return true;
        }
    }
    if (hidden(registry, clsid))
        return false;
    for (const VantrelClassRegistration& file : disk.classes) {
        if (file.clsid != clsid)
            continue;
        if (std::any_of(registry.classes.begin(), registry.classes.end(),
                        [&](const VantrelClassRegistration& c) { return clashes(c, file); }))
            return false;
        *out = file;
        return true;
    }
    return false;
}

HRESULT lookup(REFCLSID clsid, VantrelClassRegistration* out) {
    try {
        const auto disk = vantrel::com::currentDiskClasses();
        std::lock_guard lock(registryMutex);
        return findVisible(*disk, clsid, out) ? S_OK : REGDB_E_CLASSNOTREG;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace

HRESULT VantrelRegisterClass(const VantrelClassRegistration& registration) {
    if (registration.clsid == GUID_NULL ||
        (registration.createInstance == nullptr && registration.modulePath.empty()) ||
        !isValidProgId(registration.progId) ||
        !isValidProgId(registration.versionIndependentProgId))
        return E_INVALIDARG;
    try {
        std::lock_guard lock(registryMutex);
        for (const auto& entry : local().classes) {
            if (clashes(entry, registration) || clashes(registration, entry))
                return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        }
        local().classes.push_back(registration);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT VantrelUnregisterClass(REFCLSID clsid) {
    try {
        const auto disk = vantrel::com::currentDiskClasses();
        std::lock_guard lock(registryMutex);
        LocalRegistry& registry = local();
        auto found =
            std::find_if(registry.classes.begin(), registry.classes.end(),
                         [&](const VantrelClassRegistration& c) { return c.clsid == clsid; });
        if (found != registry.classes.end()) {
            registry.classes.erase(found);
            return S_OK;
        }
        VantrelClassRegistration file;
        if (!findVisible(*disk, clsid, &file))
            return REGDB_E_CLASSNOTREG;
        registry.hiddenFiles.push_back(clsid);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT VantrelLookupClass(REFCLSID clsid, VantrelClassRegistration* registration) {
    if (!registration)
        return E_POINTER;
    return lookup(clsid, registration);
}

std::vector<VantrelClassRegistration> VantrelRegisteredClasses() {
    const auto disk = vantrel::com::currentDiskClasses();
    std::lock_guard lock(registryMutex);
    return visibleClasses(*disk);
}

namespace vantrel::com {

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

namespace {

// Creates an object through the class factory a module hands out.
HRESULT createThroughModule(const VantrelClassRegistration& entry, IUnknown* outer, REFIID riid,
                            void** ppv) {
    if (outer && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT hr = vantrel::com::moduleClassObject(entry, IID_IClassFactory,
                                                 reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = nullptr;
    else if (!*ppv)
        hr = E_UNEXPECTED;
    return hr;
}

} // namespace

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                        REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!vantrel::com::threadInApartment())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    VantrelClassRegistration entry;
    const HRESULT found = lookup(rclsid, &entry);
    if (FAILED(found))
        return found;
    if (entry.createInstance)
        return vantrel::com::createWithFactory(entry.createInstance, pUnkOuter, riid, ppv);
    return createThroughModule(entry, pUnkOuter, riid, ppv);
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
    VantrelClassRegistration entry;
    const HRESULT found = lookup(rclsid, &entry);
    if (FAILED(found))
        return found;
    if (entry.createInstance)
        return vantrel::com::createClassObject(entry.createInstance, riid, ppv);
    return vantrel::com::moduleClassObject(entry, riid, ppv);
}

HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpclsid)
        return E_POINTER;
    *lpclsid = GUID_NULL;
    if (!lpszProgID)
        return E_INVALIDARG;
    try {
        const std::u16string progId(lpszProgID);
        for (const VantrelClassRegistration& entry : VantrelRegisteredClasses()) {
            if (claims(entry, progId)) {
                *lpclsid = entry.clsid;
                return S_OK;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return CO_E_CLASSSTRING;
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
