// The row cache's arena and the kit's UTF-16 to UTF-8 conversion, below the providers.
#include "kit/KitText.h"
#include "kit/RowCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

using namespace vantrel::kit;

// A row may be appended from views into the cache itself (a copy of a cached row): the bytes
// must survive the arena growing under them, row after row.
TEST(RowCache, AppendsRowsWhoseTextPointsIntoTheCacheItself) {
    RowCache cache(3, false);
    const std::string text(40, 'x');
    const ValueView first[] = {ValueView::ofInt(-5), ValueView::ofText(text), ValueView::null()};
    cache.append(first, nullptr);
    for (std::size_t row = 1; row < 200; ++row) {
        const ValueView copied[] = {cache.value(row - 1, 0), cache.value(row - 1, 1),
                                    cache.value(row - 1, 2)};
        ASSERT_EQ(cache.append(copied, nullptr), row);
    }
    for (std::size_t row = 0; row < 200; row += 37) {
        EXPECT_EQ(cache.value(row, 0).integer, -5) << row;
        EXPECT_EQ(cache.value(row, 1).bytes, text) << row;
        EXPECT_EQ(cache.value(row, 2).kind, ValueKind::Null) << row;
    }
    // Rows of other kinds and sizes side by side, then a window started afresh.
    const std::string blob("\0\1\2", 3);
    const ValueView mixed[] = {ValueView::ofReal(2.5), ValueView::ofBlob(blob),
                               ValueView::ofText("")};
    const std::size_t at = cache.append(mixed, nullptr);
    EXPECT_EQ(cache.value(at, 0).real, 2.5);
    EXPECT_EQ(cache.value(at, 1).bytes, blob);
    EXPECT_EQ(cache.value(at, 2).kind, ValueKind::Text);
    EXPECT_TRUE(cache.value(at, 2).bytes.empty());
    cache.restartAt(1000);
    EXPECT_EQ(cache.append(first, nullptr), 1000u);
    EXPECT_EQ(cache.value(1000, 1).bytes, text);
}

TEST(KitText, Utf16ToUtf8ConvertsAsciiAndWhatFollowsIt) {
    EXPECT_EQ(utf16ToUtf8(u""), "");
    EXPECT_EQ(utf16ToUtf8(u"SELECT 1"), "SELECT 1");
    // Non-ASCII after an ASCII run, at the start, and a pair of surrogates.
    EXPECT_EQ(utf16ToUtf8(u"WHERE jméno = 'Žluťoučký'"),
              "WHERE jm\xC3\xA9no = '\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD'");
    EXPECT_EQ(utf16ToUtf8(u"\u00E9a"), "\xC3\xA9"
                                       "a");
    EXPECT_EQ(utf16ToUtf8(u"a\U0001F600b"), "a\xF0\x9F\x98\x80"
                                            "b");
    // A lone surrogate becomes U+FFFD and nothing is cut.
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(utf16ToUtf8(lone), "a\xEF\xBF\xBD"
                                 "b");
    // A NUL inside the text is kept.
    EXPECT_EQ(utf16ToUtf8(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3));
}

// A non-ASCII character ends the ASCII run wherever it falls, and what follows it is kept.
TEST(KitText, NonAsciiIsFoundAtEveryPositionOfEveryLength) {
    for (std::size_t length = 0; length <= 19; ++length) {
        const std::string plain(length, 'q');
        EXPECT_TRUE(isAscii(plain)) << length;
        EXPECT_EQ(utf16ToUtf8(std::u16string(length, u'q')), plain) << length;
        for (std::size_t at = 0; at < length; ++at) {
            std::string narrow = plain;
            narrow[at] = '\x80';
            EXPECT_FALSE(isAscii(narrow)) << length << " " << at;
            narrow[at] = '\x7F';
            EXPECT_TRUE(isAscii(narrow)) << length << " " << at;
            // U+0080 and U+0100 differ from ASCII in the low and in the high byte of a unit.
            for (const char16_t c : {u'\u0080', u'\u0100'}) {
                std::u16string wide(length, u'q');
                wide[at] = c;
                std::string expected = plain.substr(0, at);
                expected += c == u'\u0080' ? "\xC2\x80" : "\xC4\x80";
                expected += plain.substr(at + 1);
                EXPECT_EQ(utf16ToUtf8(wide), expected) << length << " " << at;
            }
        }
    }
}

// Converting over a string that already holds text: whatever it held, longer or shorter,
// leaves nothing behind, and the length counts UTF-16 units up to the terminator.
TEST(KitText, AssigningOverOldTextGivesTheConversionAndTheLength) {
    const std::u16string texts[] = {u"", u"SELECT 1", u"x = 'Žluťoučký'", u"a\U0001F600b",
                                    std::u16string(40, u'q') + u"\u00E9"};
    const std::string before[] = {"", "abc", std::string(300, 'z'), "\xC3\xA9\xC3\xA9"};
    for (const std::u16string& text : texts) {
        for (const std::string& old : before) {
            std::string out = old;
            EXPECT_EQ(assignUtf8(out, text.c_str()), text.size());
            EXPECT_EQ(out, utf16ToUtf8(text)) << old.size();
        }
    }
    std::string out = "left over";
    EXPECT_EQ(assignUtf8(out, nullptr), 0u);
    EXPECT_EQ(out, "");
    // The terminator ends the text even when units follow it.
    const char16_t embedded[] = u"ab\0cd";
    EXPECT_EQ(assignUtf8(out, embedded), 2u);
    EXPECT_EQ(out, "ab");
}

// Text is read in blocks: wherever it starts in memory and wherever its terminator or a
// non-ASCII unit falls inside or across a block, the conversion is the same.
TEST(KitText, AssigningFindsTheEndAndNonAsciiAtAnyPlaceAndAlignment) {
    alignas(16) char16_t buffer[64];
    std::string out;
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t length = 0; length + offset < 48; ++length) {
            for (std::size_t at = 0; at <= length; ++at) { // at == length: all ASCII
                char16_t* text = buffer + offset;
                std::fill(std::begin(buffer), std::end(buffer), u'x'); // past the end, too
                for (std::size_t i = 0; i < length; ++i)
                    text[i] = static_cast<char16_t>(u'a' + i % 26);
                if (at < length)
                    text[at] = at % 2 ? u'\u0100' : u'\u00FF';
                text[length] = 0;
                EXPECT_EQ(assignUtf8(out, text), length);
                EXPECT_EQ(out, utf16ToUtf8(std::u16string_view(text, length)))
                    << offset << " " << length << " " << at;
            }
        }
    }
}
