#include "PgSettings.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <memory>

namespace vantrel::postgres {

namespace {

std::string textSetting(const kit::InitSettings& settings, std::uint32_t id) {
    const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, id);
    return v != nullptr && v->kind == kit::ValueKind::Text ? v->bytes : std::string();
}

[[noreturn]] void refuse(const std::string& message) {
    throw kit::BackendError(kit::ErrorClass::CantOpen, message);
}

void checkPort(const std::string& port) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 ||
        value > 65535)
        refuse("Data Source: \"" + port + "\" není číslo portu (1 až 65535)");
}

// Read-only unless writing is asked for, as with the SQLite provider; the share modes mean
// nothing to a server.
bool readOnlyMode(const kit::InitSettings& settings) {
    const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propMode);
    if (v == nullptr || v->kind != kit::ValueKind::Int)
        return false;
    if (v->integer < 0 || v->integer > modeAllBits)
        refuse("Mode " + std::to_string(v->integer) + " is not a combination of DB_MODE_ flags");
    return (v->integer & modeWrite) == 0 && (v->integer & modeRead) != 0;
}

} // namespace

std::pair<std::string, std::string> splitDataSource(const std::string& dataSource) {
    if (dataSource.empty() || dataSource.front() == '/')
        return {dataSource, ""};
    if (dataSource.front() == '[') {
        const std::size_t close = dataSource.find(']');
        if (close == std::string::npos)
            refuse("Data Source: \"" + dataSource + "\" postrádá uzavírací ']'");
        std::string host = dataSource.substr(1, close - 1);
        if (close + 1 == dataSource.size())
            return {host, ""};
        if (dataSource[close + 1] != ':')
            refuse("Data Source: \"" + dataSource + "\" musí mít tvar [adresa] nebo [adresa]:port");
        std::string port = dataSource.substr(close + 2);
        checkPort(port);
        return {host, port};
    }
    const std::size_t colon = dataSource.find(':');
    // More than one colon: a bare IPv6 address without a port.
    if (colon == std::string::npos || dataSource.find(':', colon + 1) != std::string::npos)
        return {dataSource, ""};
    std::string port = dataSource.substr(colon + 1);
    checkPort(port);
    return {dataSource.substr(0, colon), port};
}

Keywords connectionKeywords(const kit::InitSettings& settings) {
    Keywords keywords;
    const auto [host, port] = splitDataSource(textSetting(settings, propDataSource));
    if (!host.empty())
        keywords.emplace_back("host", host);
    if (!port.empty())
        keywords.emplace_back("port", port);
    if (std::string db = textSetting(settings, propCatalog); !db.empty())
        keywords.emplace_back("dbname", db);
    if (std::string user = textSetting(settings, propUserId); !user.empty())
        keywords.emplace_back("user", user);
    if (std::string password = textSetting(settings, propPassword); !password.empty())
        keywords.emplace_back("password", password);
    std::int64_t timeout = defaultConnectTimeout;
    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propTimeout);
        v != nullptr && v->kind == kit::ValueKind::Int) {
        if (v->integer < 0)
            refuse("Connect Timeout nesmí být záporný");
        // libpq reads 0 as "wait for ever": a window must never hang on a dead server.
        timeout = v->integer == 0 ? defaultConnectTimeout : v->integer;
    }
    keywords.emplace_back("connect_timeout", std::to_string(timeout));

    const std::string extra = textSetting(settings, propProviderString);
    if (extra.find_first_not_of(" \t\r\n") != std::string::npos) {
        char* error = nullptr;
        std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
            PQconninfoParse(extra.c_str(), &error), &PQconninfoFree);
        if (!options) {
            std::string message = error != nullptr ? error : "nedostatek paměti";
            PQfreemem(error);
            while (!message.empty() && message.back() == '\n')
                message.pop_back();
            refuse("Extended Properties: " + message);
        }
        for (const PQconninfoOption* o = options.get(); o->keyword != nullptr; ++o) {
            if (o->val == nullptr)
                continue;
            const std::string keyword = o->keyword;
            if (keyword == "client_encoding")
                refuse("Extended Properties: client_encoding je ovladačem pevně nastaven na UTF8");
            if (keyword == "replication")
                refuse("Extended Properties: replikační spojení nemůže spouštět příkazy SQL");
            keywords.emplace_back(keyword, o->val);
        }
    }
    if (readOnlyMode(settings)) {
        // Later -c settings win, so the consumer's own options cannot turn writing back on.
        std::string options;
        auto given = std::find_if(keywords.begin(), keywords.end(),
                                  [](const auto& k) { return k.first == "options"; });
        if (given != keywords.end()) {
            options = given->second;
            keywords.erase(given);
        } else if (const char* fromEnvironment = std::getenv("PGOPTIONS")) {
            options = fromEnvironment;
        }
        if (!options.empty())
            options += ' ';
        options += "-c default_transaction_read_only=on";
        keywords.emplace_back("options", options);
    }
    keywords.emplace_back("client_encoding", "UTF8");
    keywords.emplace_back("fallback_application_name", "Vantrel");
    return keywords;
}

} // namespace vantrel::postgres
