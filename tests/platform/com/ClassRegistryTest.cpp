#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "TestObjects.h"
#include "objbase.h"
#include "vantrel/ClassRegistry.h"

using namespace comtest;

namespace {

class ClassRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(apartment.result, S_OK);
        registered.emplace();
        ASSERT_EQ(registered->result, S_OK);
    }
    // Registers the test class again with another factory.
    void replaceFactory(VantrelCreateInstanceFunction factory) {
        registered.reset();
        registered.emplace(factory);
        ASSERT_EQ(registered->result, S_OK);
    }
    void TearDown() override { EXPECT_EQ(liveObjects, 0) << "an object was not released"; }
    Apartment apartment;
    std::optional<RegisteredTestClass> registered;
};

bool isRegistered(REFCLSID clsid) {
    auto all = VantrelRegisteredClasses();
    return std::any_of(all.begin(), all.end(), [&](const auto& c) { return c.clsid == clsid; });
}

VantrelClassRegistration otherClass(const char16_t* progId, const char16_t* independent) {
    VantrelClassRegistration registration;
    registration.clsid = CLSID_Unregistered;
    registration.progId = progId;
    registration.versionIndependentProgId = independent;
    registration.createInstance = createTestObject;
    return registration;
}

} // namespace

TEST_F(ClassRegistry, CreatesByClsidAndReleasesToZero) {
    IPersist* persist = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                               reinterpret_cast<void**>(&persist)),
              S_OK);
    ASSERT_NE(persist, nullptr);
    CLSID clsid{};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestObject);
    EXPECT_EQ(liveObjects, 1);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(persist->Release(), 0u);
}

TEST_F(ClassRegistry, FindsBothProgIdsIgnoringCase) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Test.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestObject);
    clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Test", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestObject);
    clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(u"VANTREL.test", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestObject);
    // Prefixes and extensions of a ProgID are other ProgIDs.
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Tes", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Test.1.2", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Test", nullptr), E_POINTER);
}

TEST_F(ClassRegistry, ProgIdFromClsidGivesTheVersionedOneInTaskMemory) {
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestObject, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Vantrel.Test.1");
    CoTaskMemFree(progId);
    progId = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_Unregistered, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestObject, nullptr), E_POINTER);
}

TEST_F(ClassRegistry, ProgIdFromClsidFallsBackAndReportsAMissingOne) {
    LPOLESTR progId = nullptr;
    ASSERT_EQ(VantrelRegisterClass(otherClass(u"", u"Vantrel.Other")), S_OK);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_Unregistered, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Vantrel.Other");
    CoTaskMemFree(progId);
    ASSERT_EQ(VantrelUnregisterClass(CLSID_Unregistered), S_OK);
    ASSERT_EQ(VantrelRegisterClass(otherClass(u"", u"")), S_OK);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_Unregistered, &progId), REGDB_E_KEYMISSING);
    EXPECT_EQ(VantrelUnregisterClass(CLSID_Unregistered), S_OK);
}

TEST_F(ClassRegistry, ReportsUnknownClassMissingInterfaceAndRefusedAggregation) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_Unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IMalloc, &object),
        E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // The object made for the failed request was destroyed again (checked in TearDown).

    auto* outer = new TestObject;
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    // Aggregation may ask only for the inner IUnknown, whatever the class would do.
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, outer, CLSCTX_INPROC_SERVER, IID_IPersist, &object),
        CLASS_E_NOAGGREGATION);
    outer->Release();
}

TEST_F(ClassRegistry, RefusesOutOfProcessContextsAndNullOutPointer) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
        E_POINTER);
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
}

TEST_F(ClassRegistry, ClassObjectCreatesAndReachesZero) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestObject, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    IPersist* persist = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&persist)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
    EXPECT_EQ(persist->Release(), 0u);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoGetClassObject(CLSID_TestObject, CLSCTX_INPROC_SERVER, nullptr, IID_IPersist, &object),
        E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoGetClassObject(CLSID_Unregistered, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               &object),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ClassRegistry, RefusesBadRegistrationsWithoutChangingTheRegistry) {
    const auto before = VantrelRegisteredClasses().size();
    VantrelClassRegistration bad = otherClass(u"Vantrel.Other.1", u"Vantrel.Other");
    bad.clsid = GUID_NULL;
    EXPECT_EQ(VantrelRegisterClass(bad), E_INVALIDARG);
    bad = otherClass(u"Vantrel.Other.1", u"Vantrel.Other");
    bad.createInstance = nullptr;
    EXPECT_EQ(VantrelRegisterClass(bad), E_INVALIDARG);
    for (const char16_t* progId : {u"1Vantrel", u"Vantrel Test", u"{Vantrel}", u"Vantrel;x=1",
                                   u"Vantrel.Čeština", u"A234567890123456789012345678901234567890"})
        EXPECT_EQ(VantrelRegisterClass(otherClass(progId, u"")), E_INVALIDARG)
            << std::string(progId, progId + std::char_traits<char16_t>::length(progId));
    // Taken CLSID, or a ProgID of another class (either kind, either case).
    VantrelClassRegistration duplicate = otherClass(u"Vantrel.Other.1", u"");
    duplicate.clsid = CLSID_TestObject;
    const HRESULT exists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(VantrelRegisterClass(duplicate), exists);
    EXPECT_EQ(VantrelRegisterClass(otherClass(u"vantrel.test", u"")), exists);
    EXPECT_EQ(VantrelRegisterClass(otherClass(u"Vantrel.Other.1", u"Vantrel.Test.1")), exists);
    EXPECT_EQ(VantrelRegisteredClasses().size(), before);
    EXPECT_FALSE(isRegistered(CLSID_Unregistered));
    EXPECT_EQ(VantrelUnregisterClass(CLSID_Unregistered), REGDB_E_CLASSNOTREG);

    // The class kept its registration intact.
    VantrelClassRegistration kept;
    ASSERT_EQ(VantrelLookupClass(CLSID_TestObject, &kept), S_OK);
    EXPECT_EQ(kept.progId, u"Vantrel.Test.1");
    EXPECT_EQ(kept.description, u"Vantrel test object");
    EXPECT_EQ(kept.createInstance, &createTestObject);
    EXPECT_EQ(VantrelLookupClass(CLSID_TestObject, nullptr), E_POINTER);
    EXPECT_EQ(VantrelLookupClass(CLSID_Unregistered, &kept), REGDB_E_CLASSNOTREG);
}

TEST_F(ClassRegistry, UnregisteredClassIsGoneButItsObjectsLive) {
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_EQ(VantrelUnregisterClass(CLSID_TestObject), S_OK);
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Test", &clsid), CO_E_CLASSSTRING);
    void* another = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &another),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(liveObjects, 1);
    EXPECT_EQ(object->Release(), 0u);
}

TEST_F(ClassRegistry, FactoryMisbehaviourIsContained) {
    replaceFactory([](IUnknown*, REFIID, void**) -> HRESULT { throw std::bad_alloc(); });
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);

    replaceFactory([](IUnknown*, REFIID, void** ppv) -> HRESULT {
        *ppv = nullptr;
        return S_OK; // success without an object
    });
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        E_UNEXPECTED);
    EXPECT_EQ(object, nullptr);

    replaceFactory([](IUnknown*, REFIID, void** ppv) -> HRESULT {
        *ppv = reinterpret_cast<void*>(0x10); // garbage left behind on failure
        return E_FAIL;
    });
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        E_FAIL);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ClassRegistry, SurvivesConcurrentRegistrationAndLookup) {
    constexpr int threads = 4, rounds = 200;
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &failures] {
            Apartment apartment(COINIT_MULTITHREADED);
            VantrelClassRegistration mine;
            mine.clsid = CLSID_Unregistered;
            mine.clsid.Data4[7] = static_cast<unsigned char>(0x80 + t);
            mine.progId = u"Vantrel.Worker" + std::u16string(1, char16_t(u'A' + t));
            mine.createInstance = createTestObject;
            for (int i = 0; i < rounds; ++i) {
                if (VantrelRegisterClass(mine) != S_OK)
                    ++failures;
                CLSID found{};
                if (CLSIDFromProgID(mine.progId.c_str(), &found) != S_OK || found != mine.clsid)
                    ++failures;
                IUnknown* object = nullptr;
                if (CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&object)) != S_OK)
                    ++failures;
                else
                    object->Release();
                if (VantrelUnregisterClass(mine.clsid) != S_OK)
                    ++failures;
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(isRegistered(CLSID_TestObject));
}
