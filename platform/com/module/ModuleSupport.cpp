// What every in-process server module shares: its live-object count, its class factory and
// its self-registration. Linked into each module, so each has a count of its own.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "vantrel/Module.h"

namespace vantrel::module {

namespace {

std::atomic<long> liveCount{0};

// The class object DllGetClassObject hands out. It counts as a live object itself, so the
// module stays while a consumer holds it.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(VantrelCreateInstanceFunction create) : create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer && riid != IID_IUnknown)
            return CLASS_E_NOAGGREGATION;
        HRESULT hr;
        try {
            hr = create_(outer, riid, ppv);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
            hr = E_UNEXPECTED;
        }
        if (FAILED(hr))
            *ppv = nullptr;
        else if (!*ppv)
            hr = E_UNEXPECTED;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            objectCreated();
        else
            objectDestroyed();
        return S_OK;
    }

private:
    ~ClassFactory() = default;
    ObjectCount counted_;
    VantrelCreateInstanceFunction create_;
    std::atomic<ULONG> references_{1};
};

// The file this module was loaded from, as an absolute path.
std::string modulePath() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&modulePath), &info) || !info.dli_fname)
        return {};
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (!resolved)
        return {};
    std::string path = resolved;
    std::free(resolved);
    return path;
}

} // namespace

void objectCreated() noexcept {
    ++liveCount;
}
void objectDestroyed() noexcept {
    --liveCount;
}
long liveObjects() noexcept {
    return liveCount;
}

HRESULT getClassObject(ClassListFunction classes, REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    try {
        for (const VantrelClassRegistration& c : classes()) {
            if (c.clsid != clsid || !c.createInstance)
                continue;
            auto* factory = new ClassFactory(c.createInstance);
            const HRESULT hr = factory->QueryInterface(riid, ppv);
            factory->Release();
            return hr;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT canUnloadNow(bool resident) {
    return !resident && liveCount == 0 ? S_OK : S_FALSE;
}

HRESULT registerServer(ClassListFunction classes) {
    try {
        const std::string path = modulePath();
        if (path.empty())
            return SELFREG_E_CLASS;
        std::vector<CLSID> written;
        for (VantrelClassRegistration c : classes()) {
            c.createInstance = nullptr;
            c.modulePath = path;
            c.classFile.clear();
            const HRESULT hr = VantrelWriteClassFile(c);
            if (FAILED(hr)) {
                // All of the module's classes or none: remove what this call wrote.
                for (const CLSID& clsid : written)
                    VantrelRemoveClassFile(clsid);
                return hr;
            }
            written.push_back(c.clsid);
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT unregisterServer(ClassListFunction classes) {
    HRESULT result = S_OK;
    try {
        for (const VantrelClassRegistration& c : classes()) {
            const HRESULT hr = VantrelRemoveClassFile(c.clsid);
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    return result;
}

} // namespace vantrel::module
