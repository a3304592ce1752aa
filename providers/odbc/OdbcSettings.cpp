#include "OdbcSettings.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace vantrel::odbc {

namespace {

std::string textSetting(const kit::InitSettings& settings, std::uint32_t id) {
    const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, id);
    return v != nullptr && v->kind == kit::ValueKind::Text ? v->bytes : std::string();
}

[[noreturn]] void refuse(const std::string& message) {
    throw kit::BackendError(kit::ErrorClass::CantOpen, message);
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Splits "KEY=value;KEY={va;lue};" into pairs (keys upper case, values as written, braces
// kept). Refuses what a driver manager would misread.
std::vector<std::pair<std::string, std::string>> parseConnectionString(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        const std::size_t semicolon = text.find(';', pos);
        if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
            const std::string rest = trimmed(
                text.substr(pos, (semicolon == std::string::npos ? text.size() : semicolon) - pos));
            if (!rest.empty())
                refuse("Extended Properties: \"" + rest +
                       "\" není dvojice KLÍČ=hodnota připojovacího řetězce ODBC");
            pos = semicolon == std::string::npos ? text.size() : semicolon + 1;
            continue;
        }
        const std::string key = upper(trimmed(text.substr(pos, equals - pos)));
        if (key.empty())
            refuse("Extended Properties: hodnota bez klíčového slova u \"" + text.substr(pos) +
                   "\"");
        std::size_t valueStart = equals + 1;
        while (valueStart < text.size() && text[valueStart] == ' ')
            ++valueStart;
        std::string value;
        if (valueStart < text.size() && text[valueStart] == '{') {
            // Braced: runs to the '}' that is not doubled.
            std::size_t i = valueStart + 1;
            bool closed = false;
            for (; i < text.size(); ++i) {
                if (text[i] == '}') {
                    if (i + 1 < text.size() && text[i + 1] == '}') {
                        ++i;
                        continue;
                    }
                    closed = true;
                    break;
                }
            }
            if (!closed)
                refuse("Extended Properties: hodnotě " + key + " chybí uzavírací '}'");
            value = text.substr(valueStart, i + 1 - valueStart);
            pos = i + 1;
            const std::size_t next = text.find(';', pos);
            if (trimmed(text.substr(pos, (next == std::string::npos ? text.size() : next) - pos))
                    .size() != 0)
                refuse("Extended Properties: text za hodnotou " + key + " ve složených závorkách");
            pos = next == std::string::npos ? text.size() : next + 1;
        } else {
            const std::size_t end = semicolon == std::string::npos ? text.size() : semicolon;
            value = trimmed(text.substr(valueStart, end - valueStart));
            pos = end == text.size() ? end : end + 1;
        }
        pairs.emplace_back(key, value);
    }
    return pairs;
}

std::string unbraced(const std::string& value) {
    if (value.size() < 2 || value.front() != '{')
        return value;
    std::string out;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        out += value[i];
        if (value[i] == '}')
            ++i;
    }
    return out;
}

} // namespace

std::string connectionValue(const std::string& value) {
    if (value.find_first_of(";{}=") == std::string::npos && value == trimmed(value))
        return value;
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}')
            out += '}';
    }
    return out + "}";
}

ConnectSettings connectSettings(const kit::InitSettings& settings) {
    ConnectSettings out;
    const std::string dsn = trimmed(textSetting(settings, propDataSource));
    const std::string extra = textSetting(settings, propProviderString);
    const auto pairs = parseConnectionString(extra);
    auto has = [&](const char* key) {
        return std::any_of(pairs.begin(), pairs.end(),
                           [&](const auto& p) { return p.first == key; });
    };
    if (dsn.empty() && !has("DSN") && !has("DRIVER") && !has("FILEDSN"))
        refuse("Chybí datový zdroj ODBC: uveďte jeho název v Data Source, nebo celý připojovací "
               "řetězec (DRIVER={...};...) v Extended Properties");
    std::string text;
    if (!dsn.empty() && !has("DSN") && !has("DRIVER"))
        text = "DSN=" + connectionValue(dsn) + ";";
    for (const auto& [key, value] : pairs)
        text += key + "=" + value + ";";
    const std::string user = textSetting(settings, propUserId);
    if (!user.empty() && !has("UID") && !has("USER"))
        text += "UID=" + connectionValue(user) + ";";
    const std::string password = textSetting(settings, propPassword);
    if (!password.empty() && !has("PWD") && !has("PASSWORD"))
        text += "PWD=" + connectionValue(password) + ";";
    out.connectionString = text;
    out.catalog = textSetting(settings, propCatalog);

    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propTimeout);
        v != nullptr && v->kind == kit::ValueKind::Int) {
        if (v->integer < 0)
            refuse("Connect Timeout nesmí být záporný");
        out.timeout = v->integer == 0 ? defaultConnectTimeout : v->integer;
    }
    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propMode);
        v != nullptr && v->kind == kit::ValueKind::Int)
        out.readOnly = (v->integer & modeWrite) == 0;

    if (!dsn.empty()) {
        out.dataSourceName = dsn;
    } else {
        for (const char* key : {"DSN", "FILEDSN", "DRIVER"})
            for (const auto& [k, value] : pairs)
                if (out.dataSourceName.empty() && k == key)
                    out.dataSourceName = unbraced(value);
    }
    return out;
}

} // namespace vantrel::odbc
