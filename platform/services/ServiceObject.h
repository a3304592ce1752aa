// The IUnknown and ISupportErrorInfo every service component shares: one primary interface
// whose methods post error objects, and a real reference count.
#pragma once

#include <oledb.h>
#include <vantrel/Module.h>

#include <atomic>
#include <new>

namespace vantrel::services {

template <class Interface, const IID& interfaceId>
class ServiceObject : public Interface, public ISupportErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == interfaceId)
            *ppv = static_cast<Interface*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *ppv = static_cast<ISupportErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == interfaceId ? S_OK : S_FALSE;
    }

protected:
    // Each object keeps its module loaded while it lives (DllCanUnloadNow).
    ServiceObject() { module::objectCreated(); }
    virtual ~ServiceObject() { module::objectDestroyed(); }
    ServiceObject(const ServiceObject&) = delete;
    ServiceObject& operator=(const ServiceObject&) = delete;

private:
    std::atomic<ULONG> refs_{1};
};

// The class factory of a service component: creates a T and hands out its riid; the object is
// gone again when riid is not offered. Service components cannot be aggregated.
template <class T> HRESULT createServiceObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) T;
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

} // namespace vantrel::services
