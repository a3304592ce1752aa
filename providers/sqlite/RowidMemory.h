// The rowid checkpoints a connection has learnt, kept past the statements that learnt them.
//
// A grid prepares the same query again whenever a table is opened anew (another tab, a fresh
// prepare), and each prepared statement would learn its checkpoints from the table's first row
// again: the first far jump of every one of them would pass over every row before it. The
// connection keeps what the last few queries learnt, by their text, with the stamp of the data
// it was read from; a new statement over the same text takes them only while that stamp is
// still the database's, so a change anywhere in between voids them.
#pragma once

#include "kit/RecentlyUsed.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::sqlite {

// What learnt rowids are true for: this connection's row changes, the data version of every
// attached database (it moves with any write to the file, this connection's own schema changes
// included), and whether the statements that read them were compiled again.
struct RowidStamp {
    std::int64_t changes = 0;
    std::vector<unsigned> dataVersions;
    int recompiled = 0;
    bool operator==(const RowidStamp&) const = default;
};

struct LearntRowids {
    std::vector<std::int64_t> keys; // the rowid of row i * spacing
    std::uint64_t spacing = 0;
    bool complete = false; // the result ends before the row the next key would be
    RowidStamp stamp;      // what they were read under
};

// Queries remembered: a few, for the tables a user has open side by side; each holds at most
// RowidCheckpoints::mostKept rowids.
using RowidMemory = kit::RecentlyUsed<LearntRowids, 4>;

} // namespace vantrel::sqlite
