#include "SqliteDatabase.h"

#include "SqliteError.h"
#include "kit/Backend.h"

namespace vantrel::sqlite {

namespace {

[[noreturn]] void failOpen(sqlite3* db, int rc, const std::string& path) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    message += ": " + path;
    sqlite3_close_v2(db);
    throw kit::BackendError(classifySqliteError(rc, message, ErrorStage::Open), message, rc);
}

} // namespace

Database::Database(const OpenOptions& options) : path_(options.path) {
    if (options.path.empty())
        throw kit::BackendError(kit::ErrorClass::CantOpen,
                                "není zadán soubor databáze (vlastnost Data Source je prázdná)");
    const int flags =
        (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(options.path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK)
        failOpen(db, rc, options.path);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, options.busyTimeoutMs);
    // SQLite quietly opens a file it cannot write read-only; asked for writing, say so now
    // rather than at the first change.
    if (!options.readOnly && sqlite3_db_readonly(db, "main") == 1) {
        sqlite3_close_v2(db);
        throw kit::BackendError(kit::ErrorClass::ReadOnly,
                                "soubor databáze lze jen číst, nikoli zapisovat (otevřete jej s "
                                "Mode=Read): " +
                                    options.path,
                                SQLITE_READONLY);
    }
    // Opening reads nothing yet; reading the schema now turns "not a database" into an error
    // of Initialize instead of the first statement.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        failOpen(db, rc, options.path);
    for (const std::string& pragma : options.pragmas) {
        rc = sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            failOpen(db, rc, options.path + " (" + pragma + ")");
    }
    db_ = db;
}

Database::~Database() {
    cache_.clear();
    sqlite3_close_v2(db_);
}

StatementHandle Database::prepare(std::string_view sql, const char** tail, bool persistent) const {
    // SQLite compiles text in place only when it ends with a terminator it may count; any other
    // text it copies into memory of its own and frees again, for every statement. A short text
    // goes through one reused, terminated buffer instead; a long one is left to SQLite, so the
    // buffer never holds on to a large script.
    constexpr std::size_t largestCopied = 16 * 1024;
    const char* text = sql.data();
    int length = static_cast<int>(sql.size());
    if (!sql.empty() && sql.size() <= largestCopied) {
        terminated_.assign(sql);
        text = terminated_.c_str();
        length = static_cast<int>(sql.size()) + 1;
    }
    sqlite3_stmt* statement = nullptr;
    const char* end = nullptr;
    const int rc = sqlite3_prepare_v3(db_, text, length, persistent ? SQLITE_PREPARE_PERSISTENT : 0,
                                      &statement, &end);
    // The rest of the caller's own text, whichever copy SQLite read.
    if (tail != nullptr)
        *tail = end != nullptr ? sql.data() + (end - text) : sql.data() + sql.size();
    if (rc != SQLITE_OK) {
        sqlite3_finalize(statement);
        throwSqliteError(db_, rc, ErrorStage::Prepare);
    }
    return StatementHandle(statement);
}

sqlite3_stmt* Database::cached(const std::string& sql) {
    auto found = cache_.find(sql);
    if (found == cache_.end())
        found = cache_.emplace(sql, prepare(sql, nullptr, true)).first;
    sqlite3_stmt* statement = found->second.get();
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return statement;
}

void Database::run(const std::string& sql) {
    step(cached(sql));
}

void Database::runOnce(std::string_view sql) {
    StatementHandle statement = prepare(sql);
    if (statement)
        step(statement.get());
}

void Database::transactionBegun() {
    transactionOpen_ = true;
    transactionEndedBy_.clear();
}

void Database::transactionEnded() {
    transactionOpen_ = false;
    transactionEndedBy_.clear();
}

void Database::checkTransactionAlive() const {
    if (!transactionEndedByEngine())
        return;
    const std::string cause =
        transactionEndedBy_.empty() ? std::string("předchozí chyba") : transactionEndedBy_;
    throw kit::BackendError(kit::ErrorClass::Other,
                            "SQLite transakci odvolal (příčina: " + cause +
                                "); dokud nebude ukončena, nic dalšího v ní neproběhne");
}

void Database::noteFailure(const std::string& message) {
    if (transactionEndedByEngine() && transactionEndedBy_.empty())
        transactionEndedBy_ = message;
}

void Database::step(sqlite3_stmt* statement) {
    checkTransactionAlive();
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        // Keep the message before reset touches the connection's error state.
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(statement);
        noteFailure(message);
        throw kit::BackendError(classifySqliteError(rc, message, ErrorStage::Run), message, rc);
    }
    sqlite3_reset(statement);
}

} // namespace vantrel::sqlite
