// The IUnknown every kit object shares: a real reference count and QueryInterface answered
// from the object's own list of interfaces.
#pragma once

#include "KitCom.h"

#include <vantrel/Module.h>

#include <atomic>
#include <utility>

namespace vantrel::kit {

template <class First, class... Rest> class ComObject : public First, public Rest... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_INVALIDARG;
        *ppv = nullptr;
        void* found = riid == IID_IUnknown ? static_cast<IUnknown*>(static_cast<First*>(this))
                                           : findInterface(riid);
        if (!found)
            return E_NOINTERFACE;
        AddRef();
        *ppv = found;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    IUnknown* unknown() { return static_cast<IUnknown*>(static_cast<First*>(this)); }
    ULONG references() const { return references_; }

protected:
    // Each object keeps its module loaded while it lives (DllCanUnloadNow).
    ComObject() { module::objectCreated(); }
    virtual ~ComObject() { module::objectDestroyed(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // The interface pointer for riid (never IUnknown), or nullptr.
    virtual void* findInterface(REFIID riid) = 0;

    // ISupportErrorInfo for objects that list it: every interface they expose posts errors.
    // For an object that keeps itself for reuse instead of being destroyed (its own Release):
    // drops one reference and returns how many are left.
    ULONG dropReference() { return --references_; }

    HRESULT supportsErrorInfo(REFIID riid) {
        return riid != IID_IUnknown && findInterface(riid) ? S_OK : S_FALSE;
    }

private:
    std::atomic<ULONG> references_{0};
};

// Hands a fresh object (reference count 0) to the caller through QueryInterface; the object
// is destroyed when the interface is not available.
template <class T> HRESULT handOut(T* object, REFIID riid, void** ppv) {
    // A successful QueryInterface takes the caller's reference; on failure a reference taken
    // and given back ends the object.
    const HRESULT hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) {
        object->AddRef();
        object->Release();
    }
    return hr;
}

// A minimal owning pointer for COM interfaces inside the kit.
template <class I> class ComRef {
public:
    ComRef() = default;
    explicit ComRef(I* p, bool addRef = true) : p_(p) {
        if (p_ && addRef)
            p_->AddRef();
    }
    ComRef(const ComRef& o) : ComRef(o.p_) {}
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(const ComRef& o) {
        ComRef copy(o);
        std::swap(p_, copy.p_);
        return *this;
    }
    ComRef& operator=(ComRef&& o) noexcept {
        ComRef taken(std::move(o));
        std::swap(p_, taken.p_);
        return *this;
    }
    ~ComRef() { reset(); }
    void reset() {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    // Gives up the reference without releasing it.
    I* detach() { return std::exchange(p_, nullptr); }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    I* p_ = nullptr;
};

} // namespace vantrel::kit
