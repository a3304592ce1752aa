// Where a browsed query's rows start, page range by page range, so that a jump to row n reads
// the query from a page near it instead of moving a cursor over every row before n.
//
// A query the server runs as a plain sequential scan of one table gives its rows in the order
// of their physical places (ctid), page after page from the first (the connection turns off
// synchronised scans, which would start elsewhere). One request counts the query's rows in each
// run of pages of about 512 rows (a TID range scan per run, the rows' values unread); a jump to
// row n then declares a cursor over the same query limited to ctid >= the start of the run that
// holds row n, and moves it over fewer rows than one run has. Runs are counted as jumps reach
// beyond them: up to the row when counting costs no more than the cursor's move there, else 32
// at a time, so no one jump pays for counting much more than it would move. The counts hold
// for one snapshot: they are learnt and used only in the transaction the connection opens for
// its cursors (one snapshot, repeatable read). The connection keeps them past the statement
// (PgPositionMemory); a later transaction under the same snapshot takes them up again, any
// other learns them afresh.
#pragma once

#include "PgConnection.h"
#include "PgPositionMemory.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::postgres {

class PgPositions {
public:
    // Positions for `query` (a query without parameters, `columns` result columns, text as the
    // cursor declares it), or nullptr when the server does not plan it as a plain sequential
    // scan of one table (with or without a filter) or cannot read it by ctid ranges (before
    // PostgreSQL 14, a view, a subquery). Asks the server; never throws.
    static std::unique_ptr<PgPositions> forQuery(PgConnection& connection, const std::string& query,
                                                 std::size_t columns);

    // A query giving the rows of the query from row `firstRow` on, firstRow <= row: from the
    // start of the run of pages that holds row n, or from the first page not yet counted. When
    // a cursor would move over `moving` rows to get there, more runs are counted first if row
    // lies beyond those counted and the move is long. Nothing
    // when positions cannot serve now (inside a transaction of the consumer's, or the counting
    // failed, after which these positions retire).
    struct Start {
        std::string query;
        std::uint64_t firstRow = 0;
    };
    // With countAfresh, counts that no longer hold are made again from the first page;
    // otherwise only counts the connection kept under the current snapshot are used.
    std::optional<Start> startFor(std::uint64_t row, std::uint64_t moving, bool countAfresh = true);
    bool retired() const { return retired_; }

private:
    PgPositions(PgConnection& connection, std::string inner, std::size_t columns,
                std::string schema, std::string table);
    // Counts the next runCount runs of pages.
    void learn(std::uint64_t runCount);
    // Runs to count to get past row, at least the usual number.
    std::uint64_t runsToReach(std::uint64_t row) const;
    void forgetCounts();
    // Takes the counts the connection kept for this query when they were made under the
    // snapshot of the cursors' transaction now (opened for it when none is). Throws
    // BackendError.
    bool recall();
    void remember();
    using Run = PageRun;
    Start startAt(const Run& run) const;

    PgConnection& connection_;
    // The query with the row's ctid in front of its select list, and the names its columns are
    // given as a derived table (vantrel_position, vantrel_c1, ...).
    std::string inner_;
    std::string columnNames_;
    std::string outerList_;
    std::string schema_;
    std::string table_;
    std::vector<Run> runs_{Run{0, 0}};
    Run covered_{0, 0};             // the first page not yet counted, and the rows before it
    std::uint64_t pagesPerRun_ = 0; // 0 until the first counting sizes the runs
    std::uint64_t generation_ = 0;  // of the cursors' transaction the counts hold in
    bool complete_ = false;         // every page is counted
    bool retired_ = false;
    // The query as given (the connection keeps counts under it) and its plan. Counts are kept
    // only for a query whose filter gives the same rows under the same snapshot in any
    // transaction: no function calls or session values (now(), CURRENT_USER, random()).
    std::string query_;
    std::string plan_;
    bool keepable_ = false;
};

} // namespace vantrel::postgres
