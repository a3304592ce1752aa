// The class object CoGetClassObject hands out: an IClassFactory over a registered factory
// function.
#include <atomic>
#include <new>

#include "RuntimeInternal.h"

namespace {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(VantrelCreateInstanceFunction factory) : factory(factory) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        return vantrel::com::createWithFactory(factory, outer, riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ~ClassFactory() = default;
    VantrelCreateInstanceFunction factory;
    std::atomic<ULONG> references{1};
};

} // namespace

namespace vantrel::com {

HRESULT createClassObject(VantrelCreateInstanceFunction factory, REFIID riid, void** ppv) {
    auto* object = new (std::nothrow) ClassFactory(factory);
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

} // namespace vantrel::com
