// A small COM class for the registry tests: it counts its live instances so that tests can see
// every reference reach zero, and it can be told to misbehave in its factory.
#pragma once

#include <atomic>

#include "objbase.h"
#include "vantrel/ClassRegistry.h"

namespace comtest {

// {6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}
DEFINE_GUID(CLSID_TestObject, 0x6b1f3c20, 0x8e4a, 0x4d2b, 0x9c, 0x51, 0x7a, 0x0e, 0x3d, 0x2f, 0x4b,
            0x10);
// {6B1F3C21-8E4A-4D2B-9C51-7A0E3D2F4B10}
DEFINE_GUID(CLSID_Unregistered, 0x6b1f3c21, 0x8e4a, 0x4d2b, 0x9c, 0x51, 0x7a, 0x0e, 0x3d, 0x2f,
            0x4b, 0x10);

inline std::atomic<int> liveObjects{0};

// Implements IPersist (GetClassID answers CLSID_TestObject); nothing else.
class TestObject final : public IPersist {
public:
    TestObject() { ++liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPersist) {
            *ppv = static_cast<IPersist*>(this);
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
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        *clsid = CLSID_TestObject;
        return S_OK;
    }

private:
    ~TestObject() { --liveObjects; }
    std::atomic<ULONG> references{1};
};

// The factory of a class that cannot be aggregated, written as providers write theirs.
inline HRESULT createTestObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* object = new TestObject;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// Registers CLSID_TestObject as "Vantrel.Test.1" / "Vantrel.Test" for the lifetime of the guard.
class RegisteredTestClass {
public:
    explicit RegisteredTestClass(VantrelCreateInstanceFunction factory = createTestObject) {
        VantrelClassRegistration registration;
        registration.clsid = CLSID_TestObject;
        registration.progId = u"Vantrel.Test.1";
        registration.versionIndependentProgId = u"Vantrel.Test";
        registration.description = u"Vantrel test object";
        registration.sourceType = 0;
        registration.createInstance = factory;
        result = VantrelRegisterClass(registration);
    }
    ~RegisteredTestClass() {
        if (SUCCEEDED(result))
            VantrelUnregisterClass(CLSID_TestObject);
    }
    RegisteredTestClass(const RegisteredTestClass&) = delete;
    RegisteredTestClass& operator=(const RegisteredTestClass&) = delete;
    HRESULT result;
};

// Enters an apartment for one test and leaves it again.
class Apartment {
public:
    explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED)
        : result(CoInitializeEx(nullptr, model)) {}
    ~Apartment() {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT result;
};

} // namespace comtest
