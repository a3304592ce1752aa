// An open SQLite database connection, owned: closed when the object goes.
#pragma once

#include "RowidMemory.h"
#include "SqliteColumnShapes.h"
#include "SqliteTypes.h"

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrel::sqlite {

struct OpenOptions {
    std::string path;                 // the file (relative to the working directory) or ":memory:"
    bool readOnly = false;            // open read-only; the file must exist
    int busyTimeoutMs = 5000;         // how long a statement waits for another connection's lock
    std::vector<std::string> pragmas; // PRAGMA statements run right after opening
};

// Owns one compiled statement.
struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

class Database {
public:
    // Opens the database. A read-write open creates a missing file, but refuses a file it can
    // only read; both reject a file that is not an SQLite database. Throws BackendError
    // (CantOpen, ReadOnly, Timeout) with SQLite's message and the path.
    explicit Database(const OpenOptions& options);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return db_; }
    bool isReadOnly() const { return sqlite3_db_readonly(db_, "main") == 1; }
    const std::string& path() const { return path_; }

    // Compiles sql. Throws BackendError (Syntax, NoTable, ...) on failure. tail receives the
    // text after the first statement when not null.
    StatementHandle prepare(std::string_view sql, const char** tail = nullptr,
                            bool persistent = false) const;

    // Runs one statement that returns no rows the kit needs, through a statement compiled
    // once and kept (BEGIN, COMMIT, ROLLBACK). Throws BackendError.
    void run(const std::string& sql);
    // The same for a text used once or a few times (a savepoint's name changes every time):
    // compiled, run and finalised, nothing kept.
    void runOnce(std::string_view sql);

    // A statement compiled once per text and kept for the connection's life, reset and with
    // its bindings cleared. Contract: the caller resets it again when done.
    sqlite3_stmt* cached(const std::string& sql);

    // The OLE DB types of the column declarations this connection's statements meet.
    DeclaredTypes& declaredTypes() { return declaredTypes_; }
    // The column lists of this connection's latest statements, for statements of their shape.
    ColumnShapes& columnShapes() { return columnShapes_; }
    // The rowid checkpoints this connection's queries learnt, for the next statement over the
    // same query.
    RowidMemory& rowidMemory() { return rowidMemory_; }

    // The explicit transaction the provider began and has not yet committed or rolled back.
    void transactionBegun();
    void transactionEnded();
    // True when SQLite ended that transaction itself: after a full disk, an I/O error or an
    // interrupt it rolls the whole transaction back and runs in autocommit mode again.
    bool transactionEndedByEngine() const {
        return transactionOpen_ && sqlite3_get_autocommit(db_) != 0;
    }
    // Refuses to run anything inside a transaction SQLite already rolled back: in autocommit
    // mode each statement would commit on its own, outside the transaction its caller still
    // believes in. Throws BackendError naming the failure that ended the transaction.
    void checkTransactionAlive() const;
    // Called with SQLite's message whenever a statement fails; keeps the message that ended
    // the transaction, for the refusals that follow.
    void noteFailure(const std::string& message);

private:
    // Steps statement to its end and resets it; throws BackendError with SQLite's message.
    void step(sqlite3_stmt* statement);

    sqlite3* db_ = nullptr;
    std::string path_;
    std::unordered_map<std::string, StatementHandle> cache_;
    // The text being compiled, with its terminator (see prepare).
    mutable std::string terminated_;
    DeclaredTypes declaredTypes_;
    ColumnShapes columnShapes_;
    RowidMemory rowidMemory_;
    bool transactionOpen_ = false;
    std::string transactionEndedBy_;
};

} // namespace vantrel::sqlite
