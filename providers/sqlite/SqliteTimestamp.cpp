#include "SqliteTimestamp.h"

#include <cstdio>

namespace vantrel::sqlite {

namespace {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Reads exactly `count` digits at text[pos]; advances pos.
std::optional<int> digits(std::string_view text, std::size_t& pos, std::size_t count) {
    if (pos + count > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

std::string formatTimestamp(const kit::Timestamp& t, bool dateOnly) {
    char buffer[48];
    if (dateOnly) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", t.year, t.month, t.day);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    std::string text = buffer;
    if (t.fraction != 0) {
        std::snprintf(buffer, sizeof buffer, ".%09u", t.fraction);
        std::string fraction = buffer;
        while (fraction.back() == '0')
            fraction.pop_back();
        text += fraction;
    }
    return text;
}

std::optional<kit::Timestamp> parseTimestamp(std::string_view text) {
    std::size_t pos = 0;
    const auto year = digits(text, pos, 4);
    if (!year || !expect(text, pos, '-'))
        return std::nullopt;
    const auto month = digits(text, pos, 2);
    if (!month || !expect(text, pos, '-'))
        return std::nullopt;
    const auto day = digits(text, pos, 2);
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month))
        return std::nullopt;
    kit::Timestamp t;
    t.year = static_cast<std::int16_t>(*year);
    t.month = static_cast<std::uint16_t>(*month);
    t.day = static_cast<std::uint16_t>(*day);
    if (pos == text.size())
        return t;
    if (text[pos] != ' ' && text[pos] != 'T')
        return std::nullopt;
    ++pos;
    const auto hour = digits(text, pos, 2);
    if (!hour || !expect(text, pos, ':'))
        return std::nullopt;
    const auto minute = digits(text, pos, 2);
    if (!minute || *hour > 23 || *minute > 59)
        return std::nullopt;
    t.hour = static_cast<std::uint16_t>(*hour);
    t.minute = static_cast<std::uint16_t>(*minute);
    if (pos == text.size())
        return t;
    if (!expect(text, pos, ':'))
        return std::nullopt;
    const auto second = digits(text, pos, 2);
    if (!second || *second > 59)
        return std::nullopt;
    t.second = static_cast<std::uint16_t>(*second);
    if (pos == text.size())
        return t;
    if (!expect(text, pos, '.') || pos == text.size())
        return std::nullopt;
    std::uint32_t fraction = 0;
    std::size_t fractionDigits = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return std::nullopt;
        if (fractionDigits < 9) {
            fraction = fraction * 10 + static_cast<std::uint32_t>(c - '0');
            ++fractionDigits;
        }
    }
    for (; fractionDigits < 9; ++fractionDigits)
        fraction *= 10;
    t.fraction = fraction;
    return t;
}

} // namespace vantrel::sqlite
