#include "compare/LogLine.h"

#include "core/Messages.h"

#include <cctype>

namespace {

// Reads exactly `digits` decimal digits (any number when digits is 0) up to `end`.
std::optional<long long> number(std::string_view text, std::size_t digits) {
    if (text.empty() || (digits != 0 && text.size() != digits) || text.size() > 9)
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<long long> parseDuration(std::string_view text) {
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
        const auto colon = text.find(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        parts[i] = text.substr(0, colon);
        text.remove_prefix(colon + 1);
    }
    parts[3] = text;
    const auto hours = number(parts[0], 0);
    const auto minutes = number(parts[1], 2);
    const auto seconds = number(parts[2], 2);
    const auto milliseconds = number(parts[3], 3);
    if (!hours || !minutes || !seconds || !milliseconds || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    return ((*hours * 60 + *minutes) * 60 + *seconds) * 1000 + *milliseconds;
}

std::optional<TLogEntry> parseLogLine(const std::string& line) {
    const std::string& separator = litNameSeparator();
    const auto at = line.rfind(separator);
    if (at == std::string::npos)
        return std::nullopt;
    const auto duration = parseDuration(std::string_view(line).substr(at + separator.size()));
    if (!duration)
        return std::nullopt;
    return TLogEntry{line.substr(0, at), *duration};
}
