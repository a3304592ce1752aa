// The ODBC connection string made from the provider's initialisation settings.
#pragma once

#include "kit/Backend.h"

#include <cstdint>
#include <string>

namespace vantrel::odbc {

// The published ids of the initialisation properties the provider declares.
inline constexpr std::uint32_t propPassword = 0x09;       // DBPROP_AUTH_PASSWORD
inline constexpr std::uint32_t propUserId = 0x0c;         // DBPROP_AUTH_USERID
inline constexpr std::uint32_t propDataSource = 0x3b;     // DBPROP_INIT_DATASOURCE
inline constexpr std::uint32_t propMode = 0x3f;           // DBPROP_INIT_MODE
inline constexpr std::uint32_t propTimeout = 0x42;        // DBPROP_INIT_TIMEOUT
inline constexpr std::uint32_t propProviderString = 0xa0; // DBPROP_INIT_PROVIDERSTRING
inline constexpr std::uint32_t propCatalog = 0xe9;        // DBPROP_INIT_CATALOG

inline constexpr std::int64_t modeRead = 0x01;      // DB_MODE_READ
inline constexpr std::int64_t modeWrite = 0x02;     // DB_MODE_WRITE
inline constexpr std::int64_t modeReadWrite = 0x03; // DB_MODE_READWRITE

// Seconds the driver may take to log in when the consumer leaves Connect Timeout unset (or 0),
// so that a dead server never hangs the window.
inline constexpr std::int64_t defaultConnectTimeout = 15;

struct ConnectSettings {
    std::string connectionString; // for SQLDriverConnect
    std::string catalog;          // Initial Catalog, set after connecting; empty = the driver's
    std::int64_t timeout = defaultConnectTimeout;
    bool readOnly = false;      // Mode without DB_MODE_WRITE
    std::string dataSourceName; // as the consumer named it (DSN, or the driver of a string)
};

// Data Source is a DSN ("DSN=name"); Extended Properties is a whole connection string
// ("DRIVER={...};SERVER=...") whose keywords come after the DSN's. User ID and Password become
// UID and PWD unless the string already has them. Values holding ';', '{' or '}' are braced.
// Throws BackendError (CantOpen) when neither names a data source, for a malformed string
// (an unclosed brace, a keyword without '='), or a negative time-out.
ConnectSettings connectSettings(const kit::InitSettings& settings);

// "{value}" with '}' doubled when the value needs braces in a connection string, else value.
std::string connectionValue(const std::string& value);

} // namespace vantrel::odbc
