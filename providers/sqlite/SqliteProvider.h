// The Vantrel OLE DB Provider for SQLite: the embedded default provider, over the system's
// libsqlite3, built on the provider kit.
//
// Initialisation properties (DBPROPSET_DBINIT unless noted):
//   Data Source          the database file, relative to the working directory; created when
//                        missing unless Mode is read-only. Default "vantrel.db".
//   Mode                 DB_MODE_READ opens read-only; any mode with DB_MODE_WRITE opens for
//                        writing and refuses a file that can only be read. Default
//                        DB_MODE_READWRITE.
//   Connect Timeout      seconds a statement waits for another connection's lock before it
//                        fails (SQLite's busy timeout). Default 5.
//   Extended Properties  pragmas run after opening: "journal_mode=WAL;synchronous=NORMAL".
//   Initial Catalog      "main", SQLite's only catalog.
//   Concurrency          (the kit's property set) "Optimistic", the default: a change through
//                        an updatable rowset is refused with DB_E_CONCURRENCYVIOLATION when the
//                        row no longer holds the values the rowset fetched. "Locking": a row
//                        changed through one rowset stays locked against changes through the
//                        session's other rowsets until that rowset releases it.
#pragma once

#include "kit/Backend.h"
#include "kit/KitProvider.h"

#include <cstdint>

namespace vantrel::sqlite {

// The published ids of the initialisation properties the provider declares.
inline constexpr std::uint32_t propDataSource = 0x3b;     // DBPROP_INIT_DATASOURCE
inline constexpr std::uint32_t propMode = 0x3f;           // DBPROP_INIT_MODE
inline constexpr std::uint32_t propTimeout = 0x42;        // DBPROP_INIT_TIMEOUT
inline constexpr std::uint32_t propProviderString = 0xa0; // DBPROP_INIT_PROVIDERSTRING
inline constexpr std::uint32_t propCatalog = 0xe9;        // DBPROP_INIT_CATALOG
inline constexpr std::int64_t modeRead = 0x01;            // DB_MODE_READ
inline constexpr std::int64_t modeWrite = 0x02;           // DB_MODE_WRITE
inline constexpr std::int64_t modeReadWrite = 0x03;       // DB_MODE_READWRITE
inline constexpr std::int64_t modeAllBits = 0x1f;         // read, write and the share modes

// The provider as the kit registers it.
const kit::ProviderDescriptor& sqliteProviderDescriptor();

} // namespace vantrel::sqlite
