#include <gtest/gtest.h>

#include <thread>

#include "TestObjects.h"
#include "objbase.h"

using namespace comtest;

TEST(Apartment, AnswersFirstRepeatedAndChangedModeCalls) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    // A refused mode change takes no count of its own.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();
    // Balanced: the thread is out of COM, so a new model is accepted with S_OK.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
}

TEST(Apartment, ExtraUninitializeDoesNotUnderflow) {
    CoUninitialize();
    CoUninitialize();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_Unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
}

TEST(Apartment, RejectsReservedPointerAndUnknownFlags) {
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
    // Neither attempt entered the thread into COM.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_OK);
    CoUninitialize();
}

TEST(Apartment, EachThreadHasItsOwn) {
    Apartment sta(COINIT_APARTMENTTHREADED);
    ASSERT_EQ(sta.result, S_OK);
    HRESULT other = E_FAIL, otherAgain = E_FAIL;
    std::thread worker([&] {
        other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        otherAgain = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(other, S_OK);
    EXPECT_EQ(otherAgain, S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
}

TEST(Apartment, ObjectCreationNeedsOne) {
    RegisteredTestClass registered;
    ASSERT_EQ(registered.result, S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    Apartment apartment;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(liveObjects, 0);
}
