// A tiny in-process server module for the registry tests: one class (IPersist) whose objects
// keep the module loaded, and nothing else.
#include "objbase.h"
#include "vantrel/Module.h"

#include <atomic>
#include <new>

namespace {

// {6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10}
const CLSID CLSID_ModuleObject = {
    0x6b1f3c30, 0x8e4a, 0x4d2b, {0x9c, 0x51, 0x7a, 0x0e, 0x3d, 0x2f, 0x4b, 0x10}};

class ModuleObject final : public IPersist {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IPersist) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IPersist*>(this);
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
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        *clsid = CLSID_ModuleObject;
        return S_OK;
    }

private:
    ~ModuleObject() = default;
    vantrel::module::ObjectCount counted_;
    std::atomic<ULONG> references_{1};
};

HRESULT createModuleObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) ModuleObject;
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

vantrel::module::ClassList moduleClasses() {
    VantrelClassRegistration c;
    c.clsid = CLSID_ModuleObject;
    c.progId = u"Vantrel.ModuleTest.1";
    c.versionIndependentProgId = u"Vantrel.ModuleTest";
    c.description = u"Vantrel module test object";
    c.sourceType = 1;
    c.createInstance = &createModuleObject;
    return {c};
}

} // namespace

VANTREL_MODULE(moduleClasses())
