// One server-side prepared statement behind the kit's Statement seam.
//
// Parameters and result columns are described by the server (PQdescribePrepared); a '?' in the
// consumer's text is a parameter. A query runs at the first step and its rows are read from
// the result as the kit fetches them. A query a read-only rowset may browse (SELECT, VALUES or
// TABLE without row identities) is read in batches: the first execution asks for one batch and
// one row more (LIMIT), which is the whole answer of every small query in one round trip; a
// larger result continues through a server-side cursor (PgCursor), batch by batch, and can
// seek to any row without reading the rows before it. A far jump in a plain scan of one table
// starts a cursor at a counted place near the row (PgPositions) instead of moving one over every
// row before it. A query whose text proves its result short (aggregates only, or a lookup by
// the table's one-column primary key) is sent as it is and read whole: the limit would only
// cost the server planning and a step per row. With PrepareOptions::wantRowIdentity, a query
// over one table is prepared again with the table's primary key (or ctid) as hidden leading
// columns. A statement that runs once without parameters (PrepareOptions::runOnce) is not
// prepared on the server at all: its text is sent with its execution and it is described from
// the result, one round trip.
#pragma once

#include "PgConnection.h"
#include "PgCursor.h"
#include "PgPositions.h"
#include "PgTypes.h"

#include <string>
#include <vector>

namespace vantrel::postgres {

class PgStatement final : public kit::Statement {
public:
    PgStatement(PgConnection& connection, std::string_view sql, const kit::PrepareOptions& options);
    ~PgStatement() override;

    std::size_t parameterCount() const override { return parameters_.size(); }
    kit::ParameterInfo parameterInfo(std::size_t index) const override {
        return parameters_.at(index);
    }
    const std::vector<kit::ColumnInfo>& columns() const override { return described_->columns; }
    std::shared_ptr<const std::vector<kit::ColumnInfo>> columnSnapshot() const override;
    bool returnsRows() const override { return returnsRows_; }
    bool hasRowIdentity() const override { return identityColumns_ > 0; }
    std::string baseTable() const override { return baseTable_; }

    void bind(std::size_t index, const kit::ValueView& value) override;
    void clearBindings() override;
    bool step() override;
    kit::ValueView value(std::size_t index) const override;
    kit::RowIdentity rowIdentity() const override;
    void reset() override;
    bool canSeek() const override { return batched_; }
    bool seek(std::uint64_t row) override;
    std::int64_t rowsAffected() const override { return rowsAffected_; }

    // Rows of one batch of a browsed query, and of the first batch after a jump: a jump
    // usually wants one screen, and reading on grows the batches back to full size.
    static constexpr int batchRows = 1024;
    static constexpr int batchAfterJump = 64;

private:
    // Whether what the query's text shows proves its result short (one row, or a lookup by
    // primary key), so that it is sent without a row limit and read whole. `ask`: the table's
    // key may be asked of the server; otherwise only facts this connection already has count.
    // The answer the facts give is kept with the reading, for the same lookup's next key.
    bool provesShort(TextReading& reading, bool ask);
    // Reads the description of the prepared statement `name_`.
    void describe(const PGresult* description);
    // The parameters' types and the lists their values are kept in.
    void describeParameters(const PGresult* description, int parameterCount);
    // Tries the statement again with hidden identity columns; keeps the plain one on failure.
    void addRowIdentity(std::string_view numberedSql);
    // Sizes of parameters put into an INSERT's columns, from the table's declarations, and
    // whether the INSERT can be repeated to the same effect (Execution::replayable).
    void describeInsert(std::string_view numberedSql);
    // The first execution: one request, and the rows of a browsed query's first batch.
    void run();
    // A batch of up to `rows` of a browsed query's rows from row `from`, through the cursor.
    void fetchBatch(std::uint64_t from, int rows);
    // For a row the cursor would otherwise reach by moving over `moving` rows: the query from
    // a place near it (PgPositions), or nothing when the cursor moves there itself.
    std::optional<PgPositions::Start> farStart(std::uint64_t row, std::uint64_t moving);
    // A cursor moves over up to this many rows instead of starting afresh near the row.
    static constexpr std::uint64_t nearRows = 1024;
    // A counted place is taken only when the row is fewer rows than this after it.
    static constexpr std::uint64_t farFromStart = 4096;

    PgConnection& connection_;
    std::string name_; // empty for a direct statement
    std::string directText_;
    bool oneStatement_ = false; // directText_ holds one statement
    std::vector<kit::ParameterInfo> parameters_;
    // Per parameter: its server type and the text of the value bound now. One list, so that a
    // statement without parameters (most text run once) builds and frees one empty vector.
    struct BoundParameter {
        unsigned type = 0;
        bool isNull = true;
        std::string text;
    };
    std::vector<BoundParameter> bound_;
    std::vector<const char*> parameterValues_; // as libpq takes them, filled before each request

    // The columns and how to read them, shared with statements of the same result shape and
    // with rowsets (as their column snapshot).
    std::shared_ptr<const ResultColumns> described_;
    int identityColumns_ = 0; // hidden leading columns holding the row identity
    unsigned baseTableOid_ = 0;
    std::string baseTable_;
    bool returnsRows_ = false;
    bool atomic_ = true;
    bool replayable_ = false;

    // Browsed in batches: query_ is the query itself, the statement sent is its first batch.
    bool batched_ = false;
    bool wholeResult_ = false; // the query itself is sent: its text proves the result short
    std::string query_;
    PgCursor cursor_;
    std::unique_ptr<PgPositions> positions_;
    bool positionsLooked_ = false;
    std::uint64_t farJumps_ = 0;
    std::uint64_t batchStart_ = 0; // row number of result_'s first row
    int batchLength_ = 0;          // rows of result_ that belong to the batch
    int batchAsked_ = 0;           // rows asked for in the last fetch
    bool moreRows_ = false;        // rows follow the batch

    Result result_;
    int row_ = -1; // current row of result_
    bool done_ = false;
    std::int64_t rowsAffected_ = -1;
    // Per column, for decoded numbers and bytea; empty when no column needs one, and then
    // readings that copy nothing are handed unusedScratch_.
    mutable std::vector<std::string> scratch_;
    mutable std::string unusedScratch_;
};

} // namespace vantrel::postgres
