// Jumps into a plain scan of one rowid table by the rowids of every Kth row.
//
// A query that SQLite runs as a plain SCAN of one table gives its rows in rowid order, so the
// rows from row n on are the rows from some rowid on. The rowid of row 0, K, 2K, ... is learnt
// once, K rows at a time (SQLite passes over the rows between inside the engine), and a jump to
// row n then runs the query from the checkpoint at or before n and passes over fewer than K
// rows, at any depth. What the checkpoints say holds only for the data they were read from:
// they are dropped when this connection changed rows, another connection committed, or the
// statements were compiled again; the jump then starts from the table's first row again. The
// connection keeps them past the statement (RowidMemory), for the next one over the same query.
#pragma once

#include "SqliteDatabase.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vantrel::sqlite {

class RowidCheckpoints {
public:
    // Checkpoints for `query` (compiled, without parameters), or nullptr when the query is not a
    // plain scan of one rowid table in rowid order (anything SQLite plans otherwise, ORDER BY,
    // LIMIT, joins, grouping, DISTINCT, compounds), or the forms that jump cannot be compiled.
    static std::unique_ptr<RowidCheckpoints> forQuery(Database& database, sqlite3_stmt* query);

    // Rows between two checkpoints at first; more when the list would grow past mostKept.
    static constexpr std::uint64_t firstSpacing = 512;
    static constexpr std::size_t mostKept = 1 << 16;

    struct Placed {
        sqlite3_stmt* statement = nullptr; // null: these checkpoints cannot serve any more
        int firstStep = 0;                 // SQLITE_ROW or SQLITE_DONE of its first step
    };
    // Runs the query from row `row` (0-based), its first step already taken, learning the
    // checkpoints up to there first when no transaction is open. Throws BackendError.
    Placed place(std::uint64_t row);
    // Makes the jumping statement runnable again.
    void reset();

    // For tests: how many checkpoints are known and their spacing.
    std::size_t known() const { return keys_.size(); }
    std::uint64_t spacing() const { return spacing_; }

private:
    RowidCheckpoints(Database& database, StatementHandle from, StatementHandle next,
                     std::string memoryKey);

    using Stamp = RowidStamp;
    Stamp currentStamp() const;
    // Whether the connection's memory may serve and be served: outside a transaction (inside
    // one, a ROLLBACK TO takes rows back unseen) and with no database attached beside main and
    // temp (another file attached under a name once used could show the same data version).
    bool memoryApplies() const;
    // Takes what an earlier statement over the same query learnt, when its stamp is the
    // database's now; hands what this one learnt to the connection.
    void recall();
    void remember();
    // Compares with the stamp of the checkpoints, and starts them afresh on a difference.
    // Returns false when the statements were compiled again (these checkpoints retire).
    bool stillTrue(const Stamp& now);
    // Learns the checkpoint after the last one known; false at the end of the result.
    bool learnNext();
    void learnUpTo(std::uint64_t row);
    void thin();

    Database& database_;
    // ... WHERE (condition) AND rowid >= ?1 LIMIT -1 OFFSET ?2: the query from a checkpoint.
    StatementHandle from_;
    // SELECT rowid ... WHERE (condition) AND rowid >= ?1 LIMIT 1 OFFSET ?2: the next checkpoint.
    StatementHandle next_;
    // keys_[i]: the rowid of row i * spacing_; keys_[0] is below every rowid.
    std::vector<std::int64_t> keys_;
    std::uint64_t spacing_ = firstSpacing;
    bool complete_ = false; // the result ends before the row the next checkpoint would be
    Stamp stamp_;
    // The query's text as tokens, under which the connection keeps them; empty for a query
    // they are not kept for.
    std::string memoryKey_;
};

} // namespace vantrel::sqlite
