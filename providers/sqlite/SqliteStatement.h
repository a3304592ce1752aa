// One compiled SQLite statement behind the kit's Statement seam.
#pragma once

#include "RowidCheckpoints.h"
#include "SqliteDatabase.h"
#include "SqliteTypes.h"
#include "StatementShape.h"
#include "kit/Backend.h"
#include "kit/SmallVector.h"

#include <string>
#include <vector>

namespace vantrel::sqlite {

// How a column's text values are read back: date-time columns give Timestamp values when the
// text is a date-time SQLite understands, all others give what SQLite stored.
enum class ValueReading : std::uint8_t { AsStored, Temporal };

// Reads column `column` of the current row of statement.
kit::ValueView readColumn(sqlite3_stmt* statement, int column, ValueReading reading);

// Binds value to parameter `number` (1-based). Timestamps become ISO text, date-only for a
// DBDATE target. Throws BackendError when SQLite refuses (too big, out of range).
// With `keep`, text and blob bytes are copied into *keep and bound without SQLite's own copy;
// the caller then must leave *keep untouched until the parameter is bound again or the
// statement is finalised (reusing one string per parameter saves an allocation per bind).
void bindValue(sqlite3* db, sqlite3_stmt* statement, int number, const kit::ValueView& value,
               kit::DbType target, std::string* keep = nullptr);

class SqliteStatement final : public kit::Statement {
public:
    // Compiles sql (exactly one statement). With wantRowIdentity, a query over one table
    // that has a rowid reads it as a hidden leading column. Throws BackendError.
    SqliteStatement(Database& database, std::string_view sql, const kit::PrepareOptions& options);

    std::size_t parameterCount() const override { return parameters_.size(); }
    kit::ParameterInfo parameterInfo(std::size_t index) const override {
        return parameters_.at(index);
    }
    const std::vector<kit::ColumnInfo>& columns() const override;
    std::shared_ptr<const std::vector<kit::ColumnInfo>> columnSnapshot() const override;
    // Nullability and key membership cost a catalogue look-up per column: only column
    // descriptions ask for them. The base table and column of rows that cannot be changed
    // are read here too, not for every statement.
    void describeKeys(std::vector<kit::ColumnInfo>& columns) const override;
    bool returnsRows() const override { return returnsRows_; }
    bool hasRowIdentity() const override { return identityColumns_ == 1; }
    std::string baseTable() const override { return baseTable_; }

    void bind(std::size_t index, const kit::ValueView& value) override;
    void clearBindings() override;
    bool step() override;
    kit::ValueView value(std::size_t index) const override {
        return readColumn(current_, static_cast<int>(index) + identityColumns_,
                          columnFacts_[index].reading);
    }
    kit::RowIdentity rowIdentity() const override {
        return static_cast<std::int64_t>(sqlite3_column_int64(current_, 0));
    }
    void reset() override;
    std::int64_t rowsAffected() const override { return rowsAffected_; }
    // A query without parameters seeks through a second statement that wraps it with
    // LIMIT -1 OFFSET ?: SQLite passes over the rows before the offset without building them.
    // A plain scan of one rowid table starts from the nearest rowid checkpoint instead, so a
    // jump passes over a few hundred rows at any depth.
    bool canSeek() const override { return seekable_; }
    bool seek(std::uint64_t row) override;

private:
    void describeParameters(const StatementShape& shape);
    void describeColumns();
    // Types of columns SQLite declares nothing for, from the first row's values.
    void resolveUndeclaredTypes() const;

    Database& database_;
    // Per parameter: what is bound now. SQLite keeps bindings across resets, so a value equal
    // to the bound one is not bound again (a load changes only a few parameters per row).
    struct BoundParameter {
        bool known = false;
        kit::ValueKind kind = kit::ValueKind::Null;
        std::int64_t integer = 0;
        double real = 0;
        std::string bytes; // of the text or blob last bound, which SQLite reads in place
    };
    // Sized once (per parameter): SQLite keeps pointers into the strings, so they never move.
    std::vector<BoundParameter> bound_;
    static bool sameAsBound(const BoundParameter& last, const kit::ValueView& value);
    StatementHandle statement_;
    // Whether the query may run in its positioned form (cleared when SQLite refuses that form),
    // the positioned statement once compiled, and the one stepping now.
    bool seekable_ = false;
    StatementHandle seekStatement_;
    // The rowid checkpoints of a plain scan; looked for at the first seek.
    std::unique_ptr<RowidCheckpoints> checkpoints_;
    bool checkpointsLooked_ = false;
    // The result of a first step taken while positioning, handed out by the next step().
    int primed_ = 0;
    sqlite3_stmt* current_ = nullptr;
    int identityColumns_ = 0; // 1 when column 0 is the hidden rowid
    std::string baseTable_;
    bool returnsRows_ = false;
    bool changesData_ = false;
    bool hasRow_ = false;
    bool running_ = false; // stepped or positioned since the last reset
    std::int64_t rowsAffected_ = -1;
    std::vector<kit::ParameterInfo> parameters_;
    // The result columns, shared with the rowsets as their snapshot; never null once
    // described. Changed only through ownColumns.
    mutable std::shared_ptr<std::vector<kit::ColumnInfo>> columns_;
    std::vector<kit::ColumnInfo>& ownColumns() const;
    // The one empty list of every statement without result columns.
    static const std::shared_ptr<std::vector<kit::ColumnInfo>>& noColumns();
    // Per column, beside columns_ (one list, one allocation per statement).
    struct ColumnFacts {
        ValueReading reading = ValueReading::AsStored;
        mutable bool undeclared = false; // type still to be read from values
    };
    kit::SmallVector<ColumnFacts, 8> columnFacts_;
    mutable bool typesResolved_ = true;
};

} // namespace vantrel::sqlite
