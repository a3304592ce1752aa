#include "ScriptedPrompt.h"

#include "oledb/OleString.h"

#include "vantrel/ClassRegistry.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace {

struct TScript {
    bool cancel = false;
    std::string dataSource;
    std::vector<TPromptCall> calls;
};
TScript* script = nullptr;

class TPromptObject final : public IDBPromptInitialize {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDBPromptInitialize) {
            *ppv = static_cast<IDBPromptInitialize*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown*, HWND parent, DBPROMPTOPTIONS options,
                                               ULONG sourceTypeCount, DBSOURCETYPE*,
                                               LPCOLESTR providerFilter, REFIID,
                                               IUnknown** dataSource) override {
        if (script == nullptr) {
            return E_UNEXPECTED;
        }
        script->calls.push_back({parent, options, sourceTypeCount, providerFilter != nullptr,
                                 dataSource != nullptr && *dataSource != nullptr});
        if (script->cancel) {
            return DB_E_CANCELED;
        }
        if (dataSource == nullptr || *dataSource == nullptr) {
            return E_INVALIDARG;
        }
        IDBProperties* properties = nullptr;
        HRESULT hr =
            (*dataSource)->QueryInterface(IID_IDBProperties, reinterpret_cast<void**>(&properties));
        if (hr < 0) {
            return hr;
        }
        TOleString value = toOleString(script->dataSource);
        DBPROP property;
        std::memset(&property, 0, sizeof property);
        property.dwPropertyID = DBPROP_INIT_DATASOURCE;
        property.dwOptions = DBPROPOPTIONS_REQUIRED;
        VariantInit(&property.vValue);
        V_VT(&property.vValue) = VT_BSTR;
        V_BSTR(&property.vValue) = SysAllocString(value.c_str());
        DBPROPSET set;
        set.rgProperties = &property;
        set.cProperties = 1;
        set.guidPropertySet = DBPROPSET_DBINIT;
        hr = properties->SetProperties(1, &set);
        VariantClear(&property.vValue);
        properties->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE PromptFileName(HWND, DBPROMPTOPTIONS, LPCOLESTR, LPCOLESTR,
                                             LPOLESTR*) override {
        return E_NOTIMPL;
    }

private:
    std::atomic<ULONG> refs{1};
};

HRESULT createPrompt(IUnknown* outer, REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* prompt = new TPromptObject();
    const HRESULT hr = prompt->QueryInterface(riid, ppv);
    prompt->Release();
    return hr;
}

VantrelClassRegistration original;
bool originalKnown = false;

} // namespace

TScriptedPrompt::TScriptedPrompt() {
    if (script != nullptr) {
        throw std::logic_error("one scripted prompt at a time");
    }
    script = new TScript();
    originalKnown = VantrelLookupClass(CLSID_DataLinks, &original) >= 0;
    if (originalKnown) {
        VantrelUnregisterClass(CLSID_DataLinks);
    }
    VantrelClassRegistration registration;
    registration.clsid = CLSID_DataLinks;
    registration.description = u"Scripted Data Links";
    registration.sourceType = 0;
    registration.createInstance = &createPrompt;
    if (VantrelRegisterClass(registration) < 0) {
        throw std::runtime_error("cannot register the scripted prompt");
    }
}

TScriptedPrompt::~TScriptedPrompt() {
    VantrelUnregisterClass(CLSID_DataLinks);
    if (originalKnown) {
        VantrelRegisterClass(original);
    }
    delete script;
    script = nullptr;
}

void TScriptedPrompt::answerWithDataSource(const std::string& dataSource) {
    script->cancel = false;
    script->dataSource = dataSource;
}

void TScriptedPrompt::answerCancel() {
    script->cancel = true;
}

const std::vector<TPromptCall>& TScriptedPrompt::calls() const {
    return script->calls;
}
