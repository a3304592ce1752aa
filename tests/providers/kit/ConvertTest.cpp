// The conversion matrix: values into consumer buffers and consumer buffers into values.
#include "kit/Convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

using namespace vantrel::kit;

namespace {

struct Out {
    DBSTATUS status;
    DBLENGTH length;
};

template <class T> Out write(const ValueView& v, DBTYPE type, T& target, DBLENGTH max = 0) {
    Out o;
    o.status = writeValue(v, type, &target, max ? max : sizeof(T), o.length);
    return o;
}

} // namespace

TEST(ConvertToConsumer, IntegersCheckTheRangeOfTheTargetType) {
    std::int8_t i1 = 0;
    EXPECT_EQ(write(ValueView::ofInt(127), DBTYPE_I1, i1).status, DBSTATUS_S_OK);
    EXPECT_EQ(i1, 127);
    EXPECT_EQ(write(ValueView::ofInt(128), DBTYPE_I1, i1).status, DBSTATUS_E_DATAOVERFLOW);
    std::uint16_t u2 = 7;
    EXPECT_EQ(write(ValueView::ofInt(-1), DBTYPE_UI2, u2).status, DBSTATUS_E_DATAOVERFLOW);
    EXPECT_EQ(u2, 7) << "an overflowing value leaves the buffer alone";
    std::int32_t i4 = 0;
    EXPECT_EQ(write(ValueView::ofInt(std::int64_t{1} << 31), DBTYPE_I4, i4).status,
              DBSTATUS_E_DATAOVERFLOW);
    Out o = write(ValueView::ofInt(-2147483648LL), DBTYPE_I4, i4);
    EXPECT_EQ(o.status, DBSTATUS_S_OK);
    EXPECT_EQ(o.length, 4u);
    EXPECT_EQ(i4, std::numeric_limits<std::int32_t>::min());
    std::uint64_t u8 = 0;
    EXPECT_EQ(
        write(ValueView::ofInt(std::numeric_limits<std::int64_t>::max()), DBTYPE_UI8, u8).status,
        DBSTATUS_S_OK);
}

TEST(ConvertToConsumer, RealsRoundIntoIntegersAndOverflowIsReported) {
    std::int32_t i4 = 0;
    EXPECT_EQ(write(ValueView::ofReal(2.5), DBTYPE_I4, i4).status, DBSTATUS_S_OK);
    EXPECT_EQ(i4, 3);
    EXPECT_EQ(write(ValueView::ofReal(-2.4), DBTYPE_I4, i4).status, DBSTATUS_S_OK);
    EXPECT_EQ(i4, -2);
    EXPECT_EQ(write(ValueView::ofReal(1e300), DBTYPE_I8, i4).status, DBSTATUS_E_DATAOVERFLOW);
    float r4 = 0;
    EXPECT_EQ(write(ValueView::ofReal(1e300), DBTYPE_R4, r4).status, DBSTATUS_E_DATAOVERFLOW);
    double r8 = 0;
    EXPECT_EQ(write(ValueView::ofInt(5), DBTYPE_R8, r8).status, DBSTATUS_S_OK);
    EXPECT_EQ(r8, 5.0);
}

TEST(ConvertToConsumer, TextParsesIntoNumbersOrCannotConvert) {
    std::int32_t i4 = 0;
    EXPECT_EQ(write(ValueView::ofText(" 42 "), DBTYPE_I4, i4).status, DBSTATUS_S_OK);
    EXPECT_EQ(i4, 42);
    EXPECT_EQ(write(ValueView::ofText("4x"), DBTYPE_I4, i4).status, DBSTATUS_E_CANTCONVERTVALUE);
    EXPECT_EQ(write(ValueView::ofText(""), DBTYPE_I4, i4).status, DBSTATUS_E_CANTCONVERTVALUE);
    EXPECT_EQ(write(ValueView::ofText("99999999999"), DBTYPE_I4, i4).status,
              DBSTATUS_E_DATAOVERFLOW);
    VARIANT_BOOL b = 0;
    EXPECT_EQ(write(ValueView::ofText("TRUE"), DBTYPE_BOOL, b).status, DBSTATUS_S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    EXPECT_EQ(write(ValueView::ofInt(0), DBTYPE_BOOL, b).status, DBSTATUS_S_OK);
    EXPECT_EQ(b, VARIANT_FALSE);
}

TEST(ConvertToConsumer, NullGivesIsNullAndLeavesTheValueAlone) {
    std::int32_t i4 = 77;
    Out o = write(ValueView::null(), DBTYPE_I4, i4);
    EXPECT_EQ(o.status, DBSTATUS_S_ISNULL);
    EXPECT_EQ(o.length, 0u);
    EXPECT_EQ(i4, 77);
}

TEST(ConvertToConsumer, StrTruncatesWithinTheBufferAndReportsTheFullLength) {
    char buffer[8];
    std::memset(buffer, 'X', sizeof buffer);
    DBLENGTH length = 0;
    // Room for 4 bytes: three characters and the terminator; nothing written beyond.
    EXPECT_EQ(writeValue(ValueView::ofText("filler"), DBTYPE_STR, buffer, 4, length),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(length, 6u);
    EXPECT_STREQ(buffer, "fil");
    EXPECT_EQ(buffer[4], 'X');
    // Exactly fitting text needs room for the terminator too.
    EXPECT_EQ(writeValue(ValueView::ofText("abc"), DBTYPE_STR, buffer, 4, length), DBSTATUS_S_OK);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(writeValue(ValueView::ofText("abc"), DBTYPE_STR, buffer, 0, length),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(buffer[0], 'a') << "no room means nothing is written";
}

TEST(ConvertToConsumer, StrIsWindows1250AndWstrIsUtf16) {
    char ansi[16] = {};
    DBLENGTH length = 0;
    // "žluťoučký" in UTF-8 becomes the Windows-1250 bytes.
    EXPECT_EQ(writeValue(ValueView::ofText("\xC5\xBE\x6C\x75\xC5\xA5"), DBTYPE_STR, ansi,
                         sizeof ansi, length),
              DBSTATUS_S_OK);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(static_cast<unsigned char>(ansi[0]), 0x9E);
    EXPECT_EQ(static_cast<unsigned char>(ansi[3]), 0x9D);
    char16_t wide[4];
    std::memset(wide, 0xFF, sizeof wide);
    EXPECT_EQ(writeValue(ValueView::ofText("\xC4\x8D"
                                           "abc"),
                         DBTYPE_WSTR, wide, sizeof wide, length),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(length, 8u) << "length in bytes without the terminator";
    EXPECT_EQ(wide[0], u'\u010D');
    EXPECT_EQ(wide[2], u'b');
    EXPECT_EQ(wide[3], 0);
    // Plain ASCII the same way: cut within the buffer, the full length reported.
    std::memset(wide, 0xFF, sizeof wide);
    EXPECT_EQ(writeValue(ValueView::ofText("abcdef"), DBTYPE_WSTR, wide, sizeof wide, length),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(length, 12u);
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_EQ(writeValue(ValueView::ofText("abc"), DBTYPE_WSTR, wide, sizeof wide, length),
              DBSTATUS_S_OK);
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_EQ(writeValue(ValueView::ofText("a"), DBTYPE_WSTR, wide, 1, length),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(wide[0], u'a') << "no room for a unit means nothing is written";
    EXPECT_EQ(writeValue(ValueView::ofText(""), DBTYPE_WSTR, wide, 0, length), DBSTATUS_S_OK);
    EXPECT_EQ(length, 0u);
}

TEST(ConvertToConsumer, NumbersAndDatesFormatAsText) {
    char text[32];
    DBLENGTH length = 0;
    EXPECT_EQ(writeValue(ValueView::ofInt(-12), DBTYPE_STR, text, sizeof text, length),
              DBSTATUS_S_OK);
    EXPECT_STREQ(text, "-12");
    Timestamp t{2026, 12, 8, 1, 2, 3, 500000000};
    EXPECT_EQ(writeValue(ValueView::ofTimestamp(t), DBTYPE_STR, text, sizeof text, length),
              DBSTATUS_S_OK);
    EXPECT_STREQ(text, "2026-12-08 01:02:03.5");
    BSTR b = nullptr;
    EXPECT_EQ(writeValue(ValueView::ofReal(0.25), DBTYPE_BSTR, &b, sizeof b, length),
              DBSTATUS_S_OK);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::u16string(b), u"0.25");
    SysFreeString(b);
}

TEST(ConvertToConsumer, TextDatesParseIntoTimestampsAndDates) {
    DBTIMESTAMP ts{};
    DBLENGTH length = 0;
    EXPECT_EQ(writeValue(ValueView::ofText("2024-02-29 23:59:58.125"), DBTYPE_DBTIMESTAMP, &ts,
                         sizeof ts, length),
              DBSTATUS_S_OK);
    EXPECT_EQ(ts.year, 2024);
    EXPECT_EQ(ts.day, 29);
    EXPECT_EQ(ts.second, 58);
    EXPECT_EQ(ts.fraction, 125000000u);
    EXPECT_EQ(
        writeValue(ValueView::ofText("2023-02-29"), DBTYPE_DBTIMESTAMP, &ts, sizeof ts, length),
        DBSTATUS_E_CANTCONVERTVALUE)
        << "not a leap year";
    DBDATE d{};
    EXPECT_EQ(
        writeValue(ValueView::ofText("2024-05-06 10:00:00"), DBTYPE_DBDATE, &d, sizeof d, length),
        DBSTATUS_S_TRUNCATED)
        << "the time part is lost";
    EXPECT_EQ(d.month, 5);
    EXPECT_EQ(writeValue(ValueView::ofInt(3), DBTYPE_DBTIMESTAMP, &ts, sizeof ts, length),
              DBSTATUS_E_CANTCONVERTVALUE);
}

TEST(ConvertToConsumer, BytesCopyWithinTheBuffer) {
    unsigned char bytes[3] = {9, 9, 9};
    DBLENGTH length = 0;
    EXPECT_EQ(writeValue(ValueView::ofBlob(std::string_view("\x01\x00\x02\x03", 4)), DBTYPE_BYTES,
                         bytes, 2, length),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 9);
    EXPECT_EQ(writeValue(ValueView::ofInt(1), DBTYPE_BYTES, bytes, 3, length),
              DBSTATUS_E_CANTCONVERTVALUE);
}

TEST(ConvertFromConsumer, StrWithoutLengthStopsAtTheBufferEnd) {
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    Value v;
    EXPECT_EQ(readValue(DBTYPE_STR, unterminated, nullptr, sizeof unterminated, v), DBSTATUS_S_OK);
    EXPECT_EQ(v.bytes, "abcd");
    char terminated[8] = "ab";
    EXPECT_EQ(readValue(DBTYPE_STR, terminated, nullptr, sizeof terminated, v), DBSTATUS_S_OK);
    EXPECT_EQ(v.bytes, "ab");
    DBLENGTH length = 1;
    EXPECT_EQ(readValue(DBTYPE_STR, terminated, &length, sizeof terminated, v), DBSTATUS_S_OK);
    EXPECT_EQ(v.bytes, "a");
    length = 9;
    EXPECT_EQ(readValue(DBTYPE_STR, terminated, &length, sizeof terminated, v),
              DBSTATUS_E_CANTCONVERTVALUE)
        << "a length beyond the declared buffer is not followed";
    char czech[] = "\xE8\xF8"; // "čř" in Windows-1250
    EXPECT_EQ(readValue(DBTYPE_STR, czech, nullptr, sizeof czech, v), DBSTATUS_S_OK);
    EXPECT_EQ(v.bytes, "\xC4\x8D\xC5\x99");
}

TEST(ConvertFromConsumer, NumbersDatesAndVariants) {
    std::uint64_t big = std::numeric_limits<std::uint64_t>::max();
    Value v;
    EXPECT_EQ(readValue(DBTYPE_UI8, &big, nullptr, 0, v), DBSTATUS_E_DATAOVERFLOW);
    VARIANT_BOOL b = VARIANT_TRUE;
    EXPECT_EQ(readValue(DBTYPE_BOOL, &b, nullptr, 0, v), DBSTATUS_S_OK);
    EXPECT_EQ(v.kind, ValueKind::Int);
    EXPECT_EQ(v.integer, 1);
    DBTIMESTAMP bad{2024, 13, 1, 0, 0, 0, 0};
    EXPECT_EQ(readValue(DBTYPE_DBTIMESTAMP, &bad, nullptr, 0, v), DBSTATUS_E_CANTCONVERTVALUE);
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_BSTR;
    var.bstrVal = SysAllocString(u"x\u00E1");
    EXPECT_EQ(readValue(DBTYPE_VARIANT, &var, nullptr, 0, v), DBSTATUS_S_OK);
    EXPECT_EQ(v.bytes, "x\xC3\xA1");
    VariantClear(&var);
    var.vt = VT_DISPATCH;
    EXPECT_EQ(readValue(DBTYPE_VARIANT, &var, nullptr, 0, v), DBSTATUS_E_CANTCONVERTVALUE);
}

TEST(ConvertMatrix, CanConvertFollowsTheTypeFamilies) {
    EXPECT_TRUE(canConvert(DBTYPE_I4, DBTYPE_STR));
    EXPECT_TRUE(canConvert(DBTYPE_WSTR, DBTYPE_DBTIMESTAMP));
    EXPECT_TRUE(canConvert(DBTYPE_R8, DBTYPE_UI1));
    EXPECT_FALSE(canConvert(DBTYPE_DBTIMESTAMP, DBTYPE_I4));
    EXPECT_FALSE(canConvert(DBTYPE_BYTES, DBTYPE_R8));
    EXPECT_FALSE(canConvert(DBTYPE_I4, DBTYPE_GUID));
    EXPECT_FALSE(canConvert(DBTYPE_I4 | DBTYPE_BYREF, DBTYPE_I4));
    EXPECT_FALSE(canConvert(DBTYPE_I4, DBTYPE_DBDATE));
    EXPECT_FALSE(canConvert(DBTYPE_BOOL, DBTYPE_BYTES));
    EXPECT_FALSE(canConvert(DBTYPE_EMPTY, DBTYPE_STR));
    EXPECT_FALSE(canConvert(DBTYPE_STR, DBTYPE_STR | DBTYPE_ARRAY));
    EXPECT_TRUE(canConvert(DBTYPE_BYTES, DBTYPE_BYTES));
    EXPECT_TRUE(canConvert(DBTYPE_DBDATE, DBTYPE_DBTIMESTAMP));
    EXPECT_TRUE(canConvert(DBTYPE_BOOL, DBTYPE_R4));
    EXPECT_TRUE(canConvert(DBTYPE_VARIANT, DBTYPE_DBDATE));
    EXPECT_TRUE(canConvert(DBTYPE_BYTES, DBTYPE_VARIANT));
}

TEST(TimestampText, ParsesTheUsualFormsAndRejectsTheRest) {
    Timestamp t;
    EXPECT_TRUE(parseTimestamp("2026-01-02", t));
    EXPECT_EQ(t.hour, 0);
    EXPECT_TRUE(parseTimestamp("2026-01-02T03:04", t));
    EXPECT_EQ(t.minute, 4);
    EXPECT_FALSE(parseTimestamp("2026-1-02", t));
    EXPECT_FALSE(parseTimestamp("2026-01-02 25:00:00", t));
    EXPECT_FALSE(parseTimestamp("2026-01-02 03:04:05.", t));
    EXPECT_FALSE(parseTimestamp("2026-01-02 03:04:05 junk", t));
    Timestamp round{1999, 12, 31, 23, 59, 59, 123456789};
    ASSERT_TRUE(parseTimestamp(formatTimestamp(round), t));
    EXPECT_EQ(t, round);
}
