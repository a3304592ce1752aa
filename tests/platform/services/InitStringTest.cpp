// The syntax layer of initialisation strings: splitting, quoting and writing back.
#include "InitString.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace vantrel::services;

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

Pairs pairsOf(const InitStringParse& parse) {
    Pairs out;
    for (const InitStringPair& p : parse.pairs)
        out.emplace_back(p.keyword, p.value);
    return out;
}

struct GoodCase {
    const char16_t* text;
    Pairs expected;
};

TEST(InitStringParse, AcceptsTheWrittenForms) {
    const std::vector<GoodCase> cases = {
        {u"", {}},
        {u"  ;; ; ", {}},
        {u"Provider=Vantrel.SQLite.1;Data Source=a.db",
         {{u"Provider", u"Vantrel.SQLite.1"}, {u"Data Source", u"a.db"}}},
        // Blanks around keywords and values go, blanks inside stay.
        {u"  User ID  =  my user  ; Password=\tx y\t;",
         {{u"User ID", u"my user"}, {u"Password", u"x y"}}},
        // Empty values, with and without a following pair.
        {u"Password=;User ID=", {{u"Password", u""}, {u"User ID", u""}}},
        {u"Password=''", {{u"Password", u""}}},
        // Quotes protect ';', '=' and blanks at the ends; the same quote doubled is one.
        {u"Data Source=\"a;b=c\"", {{u"Data Source", u"a;b=c"}}},
        {u"Data Source=\"  padded  \"  ;x=1", {{u"Data Source", u"  padded  "}, {u"x", u"1"}}},
        {u"Password=\"say \"\"hi\"\"\"", {{u"Password", u"say \"hi\""}}},
        {u"Password='it''s'", {{u"Password", u"it's"}}},
        {u"Password='a \"b\" c'", {{u"Password", u"a \"b\" c"}}},
        {u"Password=\"it's\"", {{u"Password", u"it's"}}},
        // A quote that does not open the value is an ordinary character.
        {u"Data Source=O'Brien.db", {{u"Data Source", u"O'Brien.db"}}},
        // '=' inside a value needs nothing; in a keyword it is doubled.
        {u"Extended Properties=journal_mode=WAL", {{u"Extended Properties", u"journal_mode=WAL"}}},
        {u"a==b=c", {{u"a=b", u"c"}}},
        {u"a====b=c", {{u"a==b", u"c"}}},
        // Duplicates and letter case are kept as written; resolving them is the caller's job.
        {u"x=1;X=2", {{u"x", u"1"}, {u"X", u"2"}}},
        // Czech text passes through untouched.
        {u"Data Source=Účty č. 1.db", {{u"Data Source", u"Účty č. 1.db"}}},
    };
    for (const GoodCase& c : cases) {
        InitStringParse parse = parseInitString(c.text);
        EXPECT_FALSE(parse.error.has_value()) << "text: " << std::u16string(c.text).size();
        EXPECT_EQ(pairsOf(parse), c.expected);
    }
}

TEST(InitStringParse, ReportsOffsetsOfKeywordsAndValues) {
    InitStringParse parse = parseInitString(u" a = 1;  bb='x'");
    ASSERT_EQ(parse.pairs.size(), 2u);
    EXPECT_EQ(parse.pairs[0].keywordOffset, 1u);
    EXPECT_EQ(parse.pairs[0].valueOffset, 5u);
    EXPECT_EQ(parse.pairs[1].keywordOffset, 9u);
    EXPECT_EQ(parse.pairs[1].valueOffset, 12u);
}

struct BadCase {
    const char16_t* text;
    InitStringErrorKind kind;
    std::size_t offset;
    const char16_t* keyword;
    std::size_t pairsBefore;
};

TEST(InitStringParse, RejectsMalformedStringsWithKindOffsetAndKeyword) {
    const std::vector<BadCase> cases = {
        {u"Provider=X;garbage", InitStringErrorKind::missingEquals, 11, u"garbage", 1},
        {u"Provider=X; no equals ;y=1", InitStringErrorKind::missingEquals, 12, u"no equals", 1},
        {u"Password==secret", InitStringErrorKind::missingEquals, 0, u"Password=secret", 0},
        {u"=value", InitStringErrorKind::emptyKeyword, 0, u"", 0},
        {u"a=1;  = v", InitStringErrorKind::emptyKeyword, 6, u"", 1},
        {u"Data Source='never closed", InitStringErrorKind::unterminatedQuote, 12, u"Data Source",
         0},
        {u"p=\"x\"\"", InitStringErrorKind::unterminatedQuote, 2, u"p", 0},
        {u"p='x' y;q=1", InitStringErrorKind::textAfterQuote, 6, u"p", 0},
    };
    for (const BadCase& c : cases) {
        InitStringParse parse = parseInitString(c.text);
        ASSERT_TRUE(parse.error.has_value()) << "no error for case at offset " << c.offset;
        EXPECT_EQ(parse.error->kind, c.kind);
        EXPECT_EQ(parse.error->offset, c.offset);
        EXPECT_EQ(parse.error->keyword, c.keyword);
        EXPECT_EQ(parse.pairs.size(), c.pairsBefore);
    }
}

TEST(InitStringParse, ErrorDescriptionNamesKeywordAndOneBasedPosition) {
    InitStringParse parse = parseInitString(u"Provider=X;Data Source='open");
    ASSERT_TRUE(parse.error);
    const std::u16string text = describeInitStringError(*parse.error);
    EXPECT_NE(text.find(u"'Data Source'"), std::u16string::npos);
    EXPECT_NE(text.find(u"znaku 24"), std::u16string::npos);
}

TEST(InitStringParse, HandlesStringsOfSeveralThousandCharacters) {
    std::u16string longValue(6000, u'x');
    longValue[2500] = u';';
    longValue[4000] = u'"';
    std::u16string text = u"Provider=P";
    for (int i = 0; i < 200; ++i)
        text += u";k" + std::u16string(1, char16_t(u'a' + i % 26)) + u"=v";
    text += u";Big=" + quoteInitValue(longValue);
    InitStringParse parse = parseInitString(text);
    ASSERT_FALSE(parse.error);
    ASSERT_EQ(parse.pairs.size(), 202u);
    EXPECT_EQ(parse.pairs.back().value, longValue);
}

TEST(InitStringWrite, QuotesOnlyWhenNeededAndReadsBackUnchanged) {
    EXPECT_EQ(quoteInitValue(u"plain value"), u"plain value");
    EXPECT_EQ(quoteInitValue(u""), u"");
    EXPECT_EQ(quoteInitValue(u"a;b"), u"\"a;b\"");
    EXPECT_EQ(quoteInitValue(u" lead"), u"\" lead\"");
    EXPECT_EQ(quoteInitValue(u"say \"hi\""), u"'say \"hi\"'");
    EXPECT_EQ(quoteInitValue(u"it's"), u"\"it's\"");
    EXPECT_EQ(quoteInitValue(u"both ' and \""), u"\"both ' and \"\"\"");
    EXPECT_EQ(quoteInitValue(u"=starts"), u"\"=starts\"");

    const std::vector<std::u16string> values = {u"",       u"x",     u" ",   u"'",     u"\"",
                                                u"''\"\"", u"a;b;c", u"=",   u"==x",   u"\t",
                                                u"x = y",  u";",     u"'a'", u"\"a\"", u"ěšč"};
    for (const std::u16string& v : values) {
        std::optional<std::u16string> text = formatInitString({{u"k", v}, {u"next", u"1"}});
        ASSERT_TRUE(text);
        InitStringParse parse = parseInitString(*text);
        ASSERT_FALSE(parse.error);
        EXPECT_EQ(pairsOf(parse), (Pairs{{u"k", v}, {u"next", u"1"}}));
    }
}

TEST(InitStringWrite, EscapesKeywordsAndRefusesUnwritableOnes) {
    EXPECT_EQ(formatInitString({{u"a=b", u"1"}, {u"c", u"2"}}), u"a==b=1;c=2");
    EXPECT_FALSE(formatInitString({{u"a;b", u"1"}}));
    EXPECT_FALSE(formatInitString({{u"", u"1"}}));
    EXPECT_FALSE(formatInitString({{u" a", u"1"}}));
    EXPECT_EQ(formatInitString({}), u"");
}

TEST(InitStringKeyword, ComparesAsciiLettersWithoutCase) {
    EXPECT_TRUE(sameInitKeyword(u"Data Source", u"data SOURCE"));
    EXPECT_FALSE(sameInitKeyword(u"Data Source", u"DataSource"));
    EXPECT_FALSE(sameInitKeyword(u"a", u"ab"));
    EXPECT_FALSE(sameInitKeyword(u"[", u"{")); // only letters fold: '[' + 32 == '{'
}

} // namespace
