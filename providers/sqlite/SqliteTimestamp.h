// Date and time values as SQLite keeps them: ISO-8601 text, which its date and time functions
// read ("2026-12-08 01:02:03.5").
#pragma once

#include "kit/Backend.h"

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::sqlite {

// "YYYY-MM-DD HH:MM:SS", followed by ".fffffffff" without trailing zeros when the fraction
// (nanoseconds) is not 0. dateOnly gives "YYYY-MM-DD" (the time must then be midnight).
std::string formatTimestamp(const kit::Timestamp& t, bool dateOnly = false);

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" and "...SS.f" (up to nine
// fraction digits; more are cut to nanoseconds), with ' ' or 'T' between date and time.
// Nothing when the text is anything else or names an impossible date or time.
std::optional<kit::Timestamp> parseTimestamp(std::string_view text);

} // namespace vantrel::sqlite
