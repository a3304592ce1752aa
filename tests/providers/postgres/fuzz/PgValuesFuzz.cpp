// libFuzzer harness for the PostgreSQL provider's value conversions: the text the server sends
// read into the kit's values, and the kit's values written as parameter text. Beyond "no crash,
// no sanitizer report", it checks what the provider relies on: malformed text is refused with a
// BackendError and nothing else, a timestamp that parses prints back to one that parses the
// same, and a value written for a column type reads back unchanged.
#include "PgTypes.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace vantrel;
using namespace vantrel::postgres;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

constexpr std::array<ValueReading, 7> readings = {
    ValueReading::Int,   ValueReading::Real,      ValueReading::Bool, ValueReading::Text,
    ValueReading::Bytes, ValueReading::Timestamp, ValueReading::Date};

constexpr std::array<unsigned, 14> oids = {
    pgoid::Bool, pgoid::Bytea,     pgoid::Int8,        pgoid::Int2,   pgoid::Int4,
    pgoid::Text, pgoid::Oid,       pgoid::Float4,      pgoid::Float8, pgoid::Varchar,
    pgoid::Date, pgoid::Timestamp, pgoid::TimestampTz, pgoid::Numeric};

// Reads the server's text in every way; only BackendError may refuse it.
void readEveryWay(std::string_view text) {
    for (ValueReading reading : readings) {
        std::string scratch;
        try {
            const kit::ValueView v = readValue(reading, text, scratch);
            if (v.kind == kit::ValueKind::Text)
                check(v.bytes == text);
        } catch (const kit::BackendError&) {
        }
    }
    kit::Timestamp t;
    if (parseTimestamp(text, t)) {
        kit::Timestamp again;
        check(parseTimestamp(formatTimestamp(t, false), again));
        check(again == t);
    }
}

template <typename T> T take(std::string_view& in) {
    T value{};
    const std::size_t n = in.size() < sizeof value ? in.size() : sizeof value;
    std::memcpy(&value, in.data(), n);
    in.remove_prefix(n);
    return value;
}

bool validTimestamp(const kit::Timestamp& t) {
    return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= 31 && t.hour < 24 && t.minute < 60 && t.second < 60 &&
           t.fraction < 1'000'000'000;
}

// Writes a value for a column type, reads the text back the way a result of that type is read
// and compares where the pair is one a consumer uses.
void roundTrip(std::string_view in) {
    const auto kind = static_cast<std::uint8_t>(take<std::uint8_t>(in) % 6);
    const unsigned oid = oids[take<std::uint8_t>(in) % oids.size()];
    kit::ValueView value;
    switch (kind) {
    case 0:
        value = kit::ValueView::null();
        break;
    case 1:
        value = kit::ValueView::ofInt(take<std::int64_t>(in));
        break;
    case 2:
        value = kit::ValueView::ofReal(take<double>(in));
        break;
    case 3:
        value = kit::ValueView::ofText(in);
        break;
    case 4:
        value = kit::ValueView::ofBlob(in);
        break;
    default: {
        kit::Timestamp t;
        t.year = take<std::int16_t>(in);
        t.month = take<std::uint16_t>(in);
        t.day = take<std::uint16_t>(in);
        t.hour = take<std::uint16_t>(in);
        t.minute = take<std::uint16_t>(in);
        t.second = take<std::uint16_t>(in);
        t.fraction = take<std::uint32_t>(in);
        value = kit::ValueView::ofTimestamp(t);
    }
    }
    std::string text;
    try {
        parameterText(value, oid, text);
    } catch (const kit::BackendError&) {
        return;
    }
    if (value.isNull()) {
        check(text.empty());
        return;
    }
    std::string scratch;
    kit::ValueView back;
    try {
        back = readValue(readingOf(oid), text, scratch);
    } catch (const kit::BackendError&) {
        // Text of one type read as another (a word for an integer column): the server refuses
        // such a parameter too. Values of the column's own kind must read back.
        check(!(kind == 1 && readingOf(oid) == ValueReading::Int));
        check(!(kind == 2 && readingOf(oid) == ValueReading::Real));
        check(!(kind == 4 && oid == pgoid::Bytea));
        return;
    }
    const ValueReading reading = readingOf(oid);
    if (kind == 1 && reading == ValueReading::Int)
        check(back.kind == kit::ValueKind::Int && back.integer == value.integer);
    if (kind == 1 && reading == ValueReading::Bool)
        check(back.kind == kit::ValueKind::Int && back.integer == (value.integer != 0));
    if (kind == 2 && reading == ValueReading::Real && oid == pgoid::Float8)
        check(back.kind == kit::ValueKind::Real &&
              (back.real == value.real || (std::isnan(back.real) && std::isnan(value.real))));
    if (kind == 2 && reading == ValueReading::Int)
        check(back.kind == kit::ValueKind::Int && double(back.integer) == value.real);
    if ((kind == 3 && reading == ValueReading::Text) || (kind == 4 && oid == pgoid::Bytea))
        check(back.bytes == value.bytes);
    if (kind == 5 && validTimestamp(value.timestamp) && reading == ValueReading::Timestamp)
        check(back.kind == kit::ValueKind::Timestamp && back.timestamp == value.timestamp);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1)
        roundTrip(rest);
    else
        readEveryWay(rest);
    return 0;
}
