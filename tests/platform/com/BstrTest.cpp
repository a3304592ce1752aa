#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "oleauto.h"

TEST(Bstr, LengthIsPrefixedAndEmbeddedNulsAreKept) {
    const OLECHAR withNul[] = {u'a', 0, u'b', u'c'};
    BSTR bstr = SysAllocStringLen(withNul, 4);
    ASSERT_NE(bstr, nullptr);
    EXPECT_EQ(SysStringLen(bstr), 4u);
    EXPECT_EQ(SysStringByteLen(bstr), 8u);
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<unsigned char*>(bstr) - 4, 4);
    EXPECT_EQ(prefix, 8u);
    EXPECT_EQ(std::u16string(bstr, 4), std::u16string(withNul, 4));
    EXPECT_EQ(bstr[4], 0); // terminated after the last character
    SysFreeString(bstr);
}

TEST(Bstr, AllocStringCopiesUpToTheFirstNul) {
    BSTR bstr = SysAllocString(u"Připojení");
    ASSERT_NE(bstr, nullptr);
    EXPECT_EQ(SysStringLen(bstr), 9u);
    EXPECT_EQ(std::u16string(bstr), u"Připojení");
    SysFreeString(bstr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    SysFreeString(empty);
}

TEST(Bstr, NullIsAcceptedWherePublished) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    BSTR zeroed = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed), 3u);
    EXPECT_EQ(std::u16string(zeroed, 4), std::u16string(4, u'\0'));
    SysFreeString(zeroed);
}

TEST(Bstr, OddByteLengthStillEndsInAWholeNulCharacter) {
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(std::memcmp(bytes, "abc\0\0", 5), 0);
    SysFreeString(bytes);
}

TEST(Bstr, HugeLengthsFailInsteadOfWrapping) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, ReallocReplacesEvenFromItsOwnText) {
    BSTR bstr = SysAllocString(u"Hello, world");
    ASSERT_TRUE(SysReAllocString(&bstr, bstr + 7));
    EXPECT_EQ(std::u16string(bstr), u"world");
    ASSERT_TRUE(SysReAllocStringLen(&bstr, bstr, 3));
    EXPECT_EQ(SysStringLen(bstr), 3u);
    EXPECT_EQ(std::u16string(bstr), u"wor");
    ASSERT_TRUE(SysReAllocString(&bstr, nullptr));
    EXPECT_EQ(bstr, nullptr);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}
