#include <gtest/gtest.h>

#include <set>
#include <string>

#include "TestObjects.h"
#include "objbase.h"
#include "oledb.h"

using namespace comtest;

namespace {
std::u16string text(REFGUID guid) {
    OLECHAR buffer[CHARS_IN_GUID];
    EXPECT_EQ(StringFromGUID2(guid, buffer, CHARS_IN_GUID), CHARS_IN_GUID);
    return buffer;
}
} // namespace

TEST(GuidText, FormatsUpperCaseWithBracesAndRoundTrips) {
    EXPECT_EQ(text(CLSID_TestObject), u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}");
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(u"{6b1f3c20-8e4a-4d2b-9c51-7a0e3d2f4b10}", &parsed), S_OK);
    EXPECT_EQ(parsed, CLSID_TestObject);
    LPOLESTR allocated = nullptr;
    ASSERT_EQ(StringFromCLSID(CLSID_TestObject, &allocated), S_OK);
    EXPECT_EQ(std::u16string(allocated), text(CLSID_TestObject));
    CoTaskMemFree(allocated);
    IID iid{};
    EXPECT_EQ(IIDFromString(u"{0C733A7C-2A1C-11CE-ADE5-00AA0044773D}", &iid), S_OK);
    EXPECT_EQ(iid, IID_IRowset);
}

TEST(GuidText, ShortBufferGetsNothing) {
    OLECHAR buffer[CHARS_IN_GUID];
    buffer[0] = u'x';
    EXPECT_EQ(StringFromGUID2(CLSID_TestObject, buffer, CHARS_IN_GUID - 1), 0);
    EXPECT_EQ(buffer[0], u'x');
    EXPECT_EQ(StringFromGUID2(CLSID_TestObject, nullptr, CHARS_IN_GUID), 0);
    EXPECT_EQ(StringFromCLSID(CLSID_TestObject, nullptr), E_POINTER);
}

TEST(GuidText, MalformedStringsFailCleanly) {
    for (const char16_t* bad :
         {u"", u"{", u"}", u"6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10",
          u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10", u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B1}",
          u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B100}", u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}x",
          u"{6B1F3C20-8E4A-4D2B-9C517A0E3D2F4B10-}", u"{6B1F3C20 8E4A-4D2B-9C51-7A0E3D2F4B10}",
          u"{6B1F3C2G-8E4A-4D2B-9C51-7A0E3D2F4B10}", u"{+B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}",
          u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4Bč0}", u"{{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}}",
          u"No.Such.ProgId"}) {
        CLSID clsid = CLSID_TestObject;
        EXPECT_EQ(CLSIDFromString(bad, &clsid), CO_E_CLASSSTRING)
            << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
        EXPECT_EQ(clsid, GUID_NULL);
        IID iid = CLSID_TestObject;
        EXPECT_EQ(IIDFromString(bad, &iid), E_INVALIDARG);
        EXPECT_EQ(iid, GUID_NULL);
    }
    EXPECT_EQ(CLSIDFromString(u"{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}", nullptr), E_INVALIDARG);
    CLSID clsid = CLSID_TestObject;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_EQ(clsid, GUID_NULL);
}

TEST(GuidText, ClsidFromStringAcceptsAProgId) {
    RegisteredTestClass registered;
    ASSERT_EQ(registered.result, S_OK);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(u"Vantrel.Test", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestObject);
}

TEST(GuidText, FreshGuidsAreRandomVersionFour) {
    std::set<std::u16string> seen;
    for (int i = 0; i < 100; ++i) {
        GUID guid;
        ASSERT_EQ(CoCreateGuid(&guid), S_OK);
        EXPECT_EQ(guid.Data3 >> 12, 4);
        EXPECT_EQ(guid.Data4[0] & 0xC0, 0x80);
        seen.insert(text(guid));
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
}

TEST(GuidText, EqualityLooksAtEveryByte) {
    static_assert(IID_IUnknown == IID_IUnknown && !(IID_IUnknown == IID_IDBInitialize),
                  "comparable in constant expressions");
    const GUID base = IID_IDBInitialize;
    for (std::size_t byte = 0; byte < sizeof(GUID); ++byte) {
        GUID changed = base;
        reinterpret_cast<unsigned char*>(&changed)[byte] ^= 0x01;
        EXPECT_FALSE(changed == base) << "byte " << byte;
        EXPECT_TRUE(changed != base) << "byte " << byte;
        reinterpret_cast<unsigned char*>(&changed)[byte] ^= 0x01;
        EXPECT_TRUE(changed == base) << "byte " << byte;
    }
}
