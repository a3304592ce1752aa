#pragma once
// The operation log's lines as TCommunicator writes them: the operation's name, ": " and the
// duration in the form h:nn:ss:zzz. vantrel-compare takes every duration from these lines, so
// each figure is the one the bench would have logged.

#include <optional>
#include <string>
#include <string_view>

struct TLogEntry {
    std::string operation; // as written (Windows-1250)
    long long milliseconds = 0;
};

// "h:nn:ss:zzz" (hours of any width, two-digit minutes and seconds below 60, three-digit
// milliseconds) in milliseconds; nothing for any other text.
std::optional<long long> parseDuration(std::string_view text);

// Splits a line at its last ": " and parses the duration after it; nothing when the line has
// no separator or no valid duration.
std::optional<TLogEntry> parseLogLine(const std::string& line);
