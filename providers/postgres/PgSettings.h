// The libpq connection keywords made from the provider's initialisation settings.
#pragma once

#include "kit/Backend.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::postgres {

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
inline constexpr std::int64_t modeAllBits = 0x1f;   // read, write and the share modes

// Seconds libpq waits for the server when the consumer leaves Connect Timeout unset.
inline constexpr std::int64_t defaultConnectTimeout = 15;

using Keywords = std::vector<std::pair<std::string, std::string>>;

// Splits Data Source into libpq's host and port: "db.example", "db.example:5433",
// "[::1]:5433", or a socket directory "/run/postgresql". Throws BackendError (CantOpen) for a
// port that is not a number from 1 to 65535.
std::pair<std::string, std::string> splitDataSource(const std::string& dataSource);

// Keywords for PQconnectdbParams: host, port, dbname, user, password, connect_timeout, the
// client encoding (UTF8, the seam's), then whatever Extended Properties adds in libpq's own
// "key=value key='quoted value'" syntax. An unknown keyword or a malformed string throws
// BackendError (CantOpen) with libpq's message; so does a keyword that would change the client
// encoding, which the provider relies on. A read-only Mode adds
// "-c default_transaction_read_only=on" to the server options, after any the consumer gave
// (Extended Properties, else PGOPTIONS), so the server itself refuses writes; a Mode that is
// not a combination of DB_MODE_ flags throws BackendError (CantOpen).
Keywords connectionKeywords(const kit::InitSettings& settings);

} // namespace vantrel::postgres
