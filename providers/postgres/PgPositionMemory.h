// Page counts of browsed queries, kept by the connection past the statements that made them.
//
// A grid prepares the same query again whenever a table is opened anew, and each statement
// would count its pages afresh from the table's first one: the first far jump of every one of
// them would move a cursor over every row before it. Counts made in one of the connection's
// cursor transactions hold in a later one when both read under the same snapshot: the same
// pg_current_snapshot() (xmin, xmax and the transactions in progress) means no transaction
// ended in between, so the same row versions are visible. Rows move between pages only with a
// change that takes a transaction id (UPDATE, VACUUM FULL, CLUSTER, TRUNCATE, a table rewrite);
// VACUUM and page pruning leave live rows where they are. The role is part of the text (row
// security may show it other rows), and the query's plan must be the one the counts were made
// for (another search_path or planner setting plans the same text otherwise).
#pragma once

#include "kit/RecentlyUsed.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::postgres {

// A run of pages that holds rows: its first page and the rows of the query before it.
struct PageRun {
    std::uint64_t page = 0;
    std::uint64_t rowsBefore = 0;
};

struct CountedPages {
    std::string snapshot; // PgConnection::cursorSnapshot() they were counted under
    std::string plan;     // the query's plan then
    std::vector<PageRun> runs;
    PageRun covered; // the first page not yet counted, and the rows before it
    std::uint64_t pagesPerRun = 0;
    bool complete = false;
};

// Queries remembered: a few, for the tables a user has open side by side.
using PgPositionMemory = kit::RecentlyUsed<CountedPages, 4>;

} // namespace vantrel::postgres
