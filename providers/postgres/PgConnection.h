// The PostgreSQL backend's connection behind the kit's Connection seam: one libpq connection.
//
// Statement-level atomicity. PostgreSQL aborts a whole transaction when one statement in it
// fails; OLE DB consumers expect only that statement to fail (a refused duplicate key must not
// cost the rows inserted before it). Inside a transaction each statement therefore runs under
// a savepoint, sent in one pipeline with the statement and its release, so the savepoint costs
// no extra network round trip. After a failure the savepoint is rolled back to at the head of
// the next pipeline (again no extra round trip), which leaves the transaction usable.
//
// A savepoint per statement costs the server a subtransaction per row. Statements that can be
// run again to the same effect (Execution::replayable: the bulk INSERTs of a load) share one
// checkpoint savepoint instead, renewed every few hundred statements, and are remembered since
// it. When one of them fails, the connection rolls back to the checkpoint and runs the
// remembered ones again, in one pipeline, so only the failed statement is lost. Should that
// re-run fail (a concurrent transaction changed what they depend on), the transaction cannot
// be restored: every later statement and the commit fail and say so, nothing is committed.
#pragma once

#include "PgPositionMemory.h"
#include "PgResultColumns.h"
#include "PgSettings.h"
#include "PgTextReading.h"
#include "kit/Backend.h"

#include <libpq-fe.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::postgres {

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// What the backend knows of one table, read once from the catalog.
struct TableFacts {
    unsigned oid = 0;
    std::string name;         // as Statement::baseTable reports it: relname, or schema.relname
                              // when the schema is not on the search path
    std::string qualified;    // "schema"."relname", quoted for statements
    bool updatable = false;   // an ordinary or partitioned table
    bool sideEffects = false; // triggers, rules or row security policies act on changes
    struct Column {
        std::string name;
        bool notNull = false;
        unsigned typeOid = 0;
        int typmod = -1;
        bool computedDefault = false; // a default or identity the server computes
    };
    std::vector<Column> columns; // by attnum - 1; dropped columns have an empty name
    std::vector<int> keyAttnums; // primary-key columns in key order; empty without one
    const Column* column(int attnum) const {
        return attnum >= 1 && std::size_t(attnum) <= columns.size() &&
                       !columns[attnum - 1].name.empty()
                   ? &columns[attnum - 1]
                   : nullptr;
    }
    const Column* column(std::string_view name) const;
};

// One statement to send: a prepared statement by name or SQL text, with text parameters.
struct Execution {
    const std::string* preparedName = nullptr; // or
    const std::string* sql = nullptr;
    int parameterCount = 0;
    const char* const* values = nullptr;
    const int* lengths = nullptr;
    const int* formats = nullptr;
    // Wrapped in a statement savepoint inside a transaction (everything but transaction
    // control).
    bool atomic = true;
    // Running it again with the same parameters has the same effect (an INSERT of constants
    // and parameters into a table without triggers or computed defaults): inside a
    // transaction it runs under a checkpoint shared with its neighbours instead of a savepoint
    // of its own (see PgConnection).
    bool replayable = false;
    // Text of one statement without parameters: sent as a simple query where no pipeline
    // carries it, which the server parses and plans in one step instead of three.
    bool simpleQuery = false;
};

class PgConnection final : public kit::Connection {
public:
    // Connects with the keywords; throws BackendError (CantOpen) with libpq's message.
    explicit PgConnection(const Keywords& keywords, std::string dataSource);
    ~PgConnection() override;
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    kit::ConnectionInfo info() const override;

    std::unique_ptr<kit::Statement> prepare(std::string_view sql,
                                            const kit::PrepareOptions& options) override;
    std::shared_ptr<kit::Statement> prepareShared(std::string_view sql,
                                                  const kit::PrepareOptions& options) override;
    std::unique_ptr<kit::Statement> prepareTableScan(std::string_view table,
                                                     const kit::PrepareOptions& options) override;

    // PostgreSQL has all four levels (read uncommitted behaves as read committed).
    void begin(kit::IsolationLevel level) override;
    void commit() override;
    void rollback() override;
    // Outside a transaction the outermost savepoint opens one, which its release commits.
    void savepoint(std::string_view name) override;
    void releaseSavepoint(std::string_view name) override;
    void rollbackToSavepoint(std::string_view name) override;

    // Names that are plain identifiers are folded to lower case, as PostgreSQL folds them in
    // unquoted SQL, so that "SELECT Remark FROM tellers" finds a column created as "Remark".
    void createTable(std::string_view table,
                     std::span<const kit::ColumnDefinition> columns) override;
    void dropTable(std::string_view table) override;
    bool tableExists(std::string_view table) override;

    // Rows are found by their primary key, or by ctid in a table without one (followed across
    // this connection's own updates, which move a row to a new ctid).
    bool readRow(std::string_view table, const kit::RowIdentity& id,
                 std::span<const std::string> columns, std::vector<kit::Value>& values) override;
    bool updateRow(std::string_view table, const kit::RowIdentity& id,
                   std::span<const std::string> columns,
                   std::span<const kit::ValueView> values) override;
    kit::RowIdentity insertRow(std::string_view table, std::span<const std::string> columns,
                               std::span<const kit::ValueView> values) override;
    bool deleteRow(std::string_view table, const kit::RowIdentity& id) override;

    // ---- for PgStatement ----
    PGconn* handle() const { return connection_; }
    // A fresh name for a server-side prepared statement.
    std::string nextStatementName();
    // Prepares `sql` as `name` and describes it, in one round trip. Throws BackendError, and
    // then the server has no statement of that name (a failed Parse makes none, and the Describe
    // of one just parsed fails only with the connection, which takes every statement along).
    Result prepareAndDescribe(const std::string& name, const std::string& sql);
    // Drops a prepared statement; sent with the next request, not on its own (inside a
    // transaction, in a round trip before it).
    void forgetStatement(const std::string& name);
    // Runs one statement (atomically inside a transaction) and returns its result, which is
    // PGRES_TUPLES_OK or PGRES_COMMAND_OK. Throws BackendError with the server's message.
    Result execute(const Execution& execution);
    Result executeText(const std::string& sql, bool atomic = true);
    Result executeParams(const std::string& sql,
                         const std::vector<std::optional<std::string>>& params);
    // Catalog facts of a table by OID (cached); nullptr for OID 0 or a vanished table.
    const TableFacts* tableFacts(unsigned oid);
    // Facts of the table a name refers to (as given, then folded); nullptr when none. With
    // `ask` false only what is cached is looked at: no request is sent.
    const TableFacts* tableNamed(std::string_view table, bool ask = true);
    // What the text of a statement tells (see TextReadings); valid until the next call.
    TextReading& readText(std::string_view numberedSql) { return texts_.of(numberedSql); }
    // Forgets cached catalog facts and the result descriptions made from them (after DDL).
    void catalogChanged() {
        facts_.clear();
        described_.clear();
        ++factsGeneration_;
    }
    // Grows whenever the cached catalog facts are forgotten: an answer drawn from them holds
    // while this stays the same.
    std::uint64_t factsGeneration() const { return factsGeneration_; }
    // The description of a result's columns: one kept from an earlier result of the same
    // shape, or a new one (kept for later ones).
    std::shared_ptr<const ResultColumns> resultColumns(const PGresult* result, int hidden);
    // Identity text of the current form of a row this connection has moved (ctid identities).
    std::string currentIdentity(unsigned table, const std::string& identity) const;

    // ---- for PgCursor ----
    std::string nextCursorName();
    // Sends a cursor's requests in one round trip and returns their results. Inside a
    // transaction they run under the statement savepoint like any statement. Outside one they
    // run in a transaction the connection opens for its cursors (no locks beyond reading, no
    // changes): it stays open while cursors are read and is committed before any other request
    // or when its last cursor closes, so every other statement still commits on its own.
    // `declares`: the requests declare a cursor. Throws BackendError.
    std::vector<Result> runCursorRequests(const std::vector<Execution>& requests, bool declares);
    // Closes a cursor of the current generation; never throws.
    void closeCursor(const std::string& name) noexcept;
    // A cursor was closed by a CLOSE among the requests that declared its successor.
    void cursorClosedAlongside() {
        if (cursorsOpen_ > 0)
            --cursorsOpen_;
    }
    // Cursors declared now run in the connection's own transaction (one snapshot, ended
    // before any other request), not in one the consumer began.
    bool cursorsOnTheirOwn() const { return cursorTransaction_ || !inTransaction(); }
    // Changes whenever cursors declared before may have gone with the end of a transaction.
    std::uint64_t cursorGeneration() const { return cursorGeneration_; }
    // The snapshot of the connection's own cursor transaction and the role reading under it,
    // as text; empty when no such transaction is open.
    const std::string& cursorSnapshot() const {
        return cursorTransaction_ ? cursorSnapshot_ : noSnapshot_;
    }
    // Opens the connection's own cursor transaction when none is open and no transaction of
    // the consumer's is (one round trip). Throws BackendError.
    void openCursorTransaction();
    // Page counts of browsed queries, kept past their statements.
    PgPositionMemory& positionMemory() { return positionMemory_; }
    // A transaction (or part of one) has ended by a statement's own text.
    void transactionEnded() { cursorsGone(); }

private:
    // One request of a pipeline.
    struct Step {
        enum class Kind : std::uint8_t { Run, RunText, Prepare, Describe } kind;
        const Execution* execution = nullptr; // Run
        const char* text = nullptr;           // RunText, Prepare
        const std::string* name = nullptr;    // Prepare, Describe
    };

    static bool sendStep(PGconn* c, const Step& s);
    bool inTransaction() const;
    // Sends queued DEALLOCATEs inside a transaction, under a savepoint, in a round trip of
    // their own.
    void flushForgotten();
    // Outside a transaction, in pipeline mode: queues the DEALLOCATEs in front of a request,
    // each with a sync of its own, and returns how many were sent; readForgotten reads their
    // answers (failures included) before the request's own.
    std::size_t sendForgotten();
    void readForgotten(std::size_t sent);
    // Sends the steps in one pipeline (one round trip), under the statement savepoint when
    // `wrap`, with a pending repair in front. Returns one successful result per step; throws
    // the first failure.
    std::vector<Result> runPipeline(const std::vector<Step>& steps, bool wrap);
    void requireConnection() const;
    // Ends a transaction after a failure; a failure to do so is not reported over the first.
    void rollbackQuietly();
    const TableFacts& requireTable(std::string_view table);
    // The WHERE condition finding a row by identity, with its parameters appended to params.
    std::string identityCondition(const TableFacts& facts, const kit::RowIdentity& id,
                                  std::vector<std::optional<std::string>>& params) const;
    // Identity columns as a select list, and the identity of a returned row.
    std::string identityList(const TableFacts& facts) const;
    std::string identityOf(const TableFacts& facts, const PGresult* result, int row,
                           int firstColumn) const;
    void rememberMove(unsigned table, const std::string& from, const std::string& to);

    PGconn* connection_ = nullptr;
    std::string dataSource_;
    std::uint64_t statementCounter_ = 0;
    std::vector<std::string> forgotten_;
    // Replayable statements that succeeded since the checkpoint, with their parameters.
    struct JournalEntry {
        std::string name;
        std::vector<std::string> values;
        std::vector<char> nulls;
    };
    Result executeReplayable(const Execution& execution);
    // After a replayable statement failed: back to the checkpoint, the remembered statements
    // again, and a new checkpoint, in one round trip. Marks the transaction broken when that
    // does not succeed.
    void restoreCheckpoint();
    void resetTransactionState();
    // Commits the transaction opened for cursors, if one is open, before any other request.
    void settleCursors() noexcept;
    void cursorsGone() {
        ++cursorGeneration_;
        cursorsOpen_ = 0;
    }

    bool repairPending_ = false; // the last statement failed under its savepoint
    bool checkpoint_ = false;    // the checkpoint savepoint is established
    std::vector<JournalEntry> journal_;
    std::string brokenTransaction_;    // why the transaction cannot be committed
    bool implicitTransaction_ = false; // opened by savepoint() outside a transaction
    int implicitSavepoints_ = 0;
    std::map<unsigned, std::unique_ptr<TableFacts>> facts_;
    std::uint64_t factsGeneration_ = 1;
    // The last result descriptions made, replaced in turn.
    std::vector<std::shared_ptr<const ResultColumns>> described_;
    std::size_t nextDescribed_ = 0;
    TextReadings texts_;
    std::uint64_t cursorCounter_ = 0;
    std::uint64_t cursorGeneration_ = 0;
    int cursorsOpen_ = 0;            // declared in the current generation and not closed
    bool cursorTransaction_ = false; // the open transaction is the cursors' own
    std::string cursorSnapshot_;     // of that transaction
    const std::string noSnapshot_;
    PgPositionMemory positionMemory_;
    std::map<std::pair<unsigned, std::string>, std::string> moved_;
};

// Opens a connection from the initialisation settings (the kit's OpenConnection).
std::unique_ptr<kit::Connection> openPgConnection(const kit::InitSettings& settings);

// Identity text from the values of the key columns (or the ctid), and back.
std::string encodeIdentity(const std::vector<std::string_view>& parts);
std::vector<std::string> decodeIdentity(const std::string& identity);

} // namespace vantrel::postgres
