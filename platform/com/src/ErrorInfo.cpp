// Error objects and the per-thread slot that holds the current one.
#include <atomic>
#include <cstddef>
#include <new>
#include <string>

#include "RuntimeInternal.h"
#include "oleauto.h"

namespace {

// An error object as CreateErrorInfo makes it: filled through ICreateErrorInfo, read through
// IErrorInfo. Like other apartment objects it is used from one thread at a time; only its
// reference count is shared.
class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID)
            return E_INVALIDARG;
        *pGUID = guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return copyOut(source, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override {
        return copyOut(description, out);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return copyOut(helpFile, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (!out)
            return E_INVALIDARG;
        *out = helpContext;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        guid = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return assign(source, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return assign(description, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return assign(helpFile, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        helpContext = context;
        return S_OK;
    }

private:
    ~ErrorObject() = default;

    // Text never set (or set to null) reads back as an empty string, never as null.
    static HRESULT copyOut(const std::u16string& text, BSTR* out) {
        if (!out)
            return E_INVALIDARG;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    static HRESULT assign(std::u16string& field, LPOLESTR text) {
        try {
            field = text ? std::u16string(text) : std::u16string();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    std::atomic<ULONG> references{1};
    GUID guid = GUID_NULL;
    std::u16string source;
    std::u16string description;
    std::u16string helpFile;
    DWORD helpContext = 0;
};

// The thread's error object. A plain pointer, so that the frequent call that clears an empty
// slot costs no more than reading it; the slot's release at thread end is armed by the first
// object stored (below).
thread_local IErrorInfo* currentError = nullptr;

// How many threads hold an error object. Every method of a provider clears its thread's slot
// first, and the slot is almost always empty: while no thread holds one, that call need not
// look up the thread's slot at all (a thread-local of a shared library is found through a
// call into the dynamic loader). Relaxed suffices: a thread asks only about its own slot, and
// its own increment stays visible to it until it takes the object out again itself.
std::atomic<std::size_t> threadsHoldingErrors{0};

// Keeps the count as the thread's slot goes from `before` to `after`.
void countHolder(const IErrorInfo* before, const IErrorInfo* after) {
    if (!before && after)
        threadsHoldingErrors.fetch_add(1, std::memory_order_relaxed);
    else if (before && !after)
        threadsHoldingErrors.fetch_sub(1, std::memory_order_relaxed);
}

// Releases the thread's error object when the thread ends.
struct ThreadErrorRelease {
    bool armed = false;
    ~ThreadErrorRelease() {
        IErrorInfo* last = currentError;
        currentError = nullptr;
        countHolder(last, nullptr);
        if (last)
            last->Release();
    }
};

thread_local ThreadErrorRelease releaseAtThreadEnd;

} // namespace

namespace vantrel::com {
void clearThreadErrorInfo() {
    SetErrorInfo(0, nullptr);
}
} // namespace vantrel::com

HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo)
        return E_INVALIDARG;
    auto* object = new (std::nothrow) ErrorObject;
    if (!object) {
        *pperrinfo = nullptr;
        return E_OUTOFMEMORY;
    }
    *pperrinfo = object;
    return S_OK;
}

HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0)
        return E_INVALIDARG;
    if (!perrinfo && threadsHoldingErrors.load(std::memory_order_relaxed) == 0)
        return S_OK; // no thread holds one, so neither does this one
    if (!perrinfo && !currentError)
        return S_OK;
    if (perrinfo) {
        perrinfo->AddRef();
        releaseAtThreadEnd.armed = true; // constructs it, so its destructor runs at thread end
    }
    IErrorInfo* previous = currentError;
    currentError = perrinfo;
    countHolder(previous, perrinfo);
    // Released last: its Release may run code that posts another error object.
    if (previous)
        previous->Release();
    return S_OK;
}

HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = nullptr;
    if (dwReserved != 0)
        return E_INVALIDARG;
    if (threadsHoldingErrors.load(std::memory_order_relaxed) == 0 || !currentError)
        return S_FALSE;
    *pperrinfo = currentError; // the slot's reference passes to the caller
    currentError = nullptr;
    countHolder(*pperrinfo, nullptr);
    return S_OK;
}
