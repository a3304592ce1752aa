#include "core/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, CzechLettersHaveTheirWindows1250Bytes) {
    EXPECT_EQ(utf8ToCp1250("čěňřšůžáéíúý"), "\xE8\xEC\xF2\xF8\x9A\xF9\x9E\xE1\xE9\xED\xFA\xFD");
    EXPECT_EQ(utf8ToCp1250("ČĚŇŘŠŮŽ"), "\xC8\xCC\xD2\xD8\x8A\xD9\x8E");
}

TEST(Text, RoundTripsThroughUtf8AndUtf16) {
    const std::string cp = utf8ToCp1250("Příliš žluťoučký kůň úpěl ďábelské ódy €");
    EXPECT_EQ(cp1250ToUtf8(cp), "Příliš žluťoučký kůň úpěl ďábelské ódy €");
    EXPECT_EQ(cp1250ToUtf16(cp), u"Příliš žluťoučký kůň úpěl ďábelské ódy €");
    EXPECT_EQ(utf16ToCp1250(u"Příliš žluťoučký kůň úpěl ďábelské ódy €"), cp);
}

TEST(Text, CharactersWithoutACp1250FormBecomeOneQuestionMarkEach) {
    EXPECT_EQ(utf8ToCp1250("a日b😀c"), "a?b?c");
    EXPECT_EQ(utf16ToCp1250(u"a日b😀c"), "a?b?c");
    // Malformed input is replaced, not dropped, and the rest still converts.
    EXPECT_EQ(utf8ToCp1250("x\xFFy\xC3"), "x?y?");
    EXPECT_EQ(utf16ToCp1250(std::u16string(u"x") + char16_t(0xD800) + u"ž"), "x?\x9E");
    // Bytes Windows-1250 leaves undefined.
    EXPECT_EQ(cp1250ToUtf8("a\x81z"), "a?z");
    EXPECT_EQ(cp1250ToUtf16("a\x98z"), u"a?z");
}

TEST(Text, LongAndEmbeddedNulTextsAreNotCut) {
    std::string utf8;
    for (int i = 0; i < 5000; ++i)
        utf8 += "ř";
    utf8 += std::string("\0end", 4);
    const std::string cp = utf8ToCp1250(utf8);
    ASSERT_EQ(cp.size(), 5004u);
    EXPECT_EQ(cp.substr(5000), std::string("\0end", 4));
    EXPECT_EQ(cp1250ToUtf8(cp), utf8);
    EXPECT_EQ(cp1250ToUtf16(cp).size(), 5004u);
    EXPECT_EQ(utf16ToCp1250(cp1250ToUtf16(cp)), cp);
    EXPECT_EQ(utf8ToCp1250(""), "");
}

} // namespace
