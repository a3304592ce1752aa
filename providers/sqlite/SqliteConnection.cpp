#include "SqliteConnection.h"

#include "SqlTokens.h"
#include "SqliteError.h"
#include "SqlitePragmas.h"
#include "SqliteProvider.h"
#include "SqliteSchema.h"
#include "SqliteStatement.h"
#include "SqliteTimestamp.h"
#include "SqliteTypes.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>

namespace vantrel::sqlite {

namespace {

std::int64_t rowidOf(const kit::RowIdentity& id) {
    if (const auto* rowid = std::get_if<std::int64_t>(&id))
        return *rowid;
    throw kit::BackendError(kit::ErrorClass::Other, "nejde o identitu řádku tohoto ovladače");
}

std::string literalOf(const kit::Value& value) {
    switch (value.kind) {
    case kit::ValueKind::Null:
        return "NULL";
    case kit::ValueKind::Int:
        return std::to_string(value.integer);
    case kit::ValueKind::Real: {
        if (!std::isfinite(value.real))
            throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                    "výchozí hodnota musí být konečné číslo");
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", value.real);
        return buffer;
    }
    case kit::ValueKind::Text:
        return quoteString(value.bytes);
    case kit::ValueKind::Blob: {
        static constexpr char hex[] = "0123456789ABCDEF";
        std::string literal = "X'";
        for (unsigned char c : value.bytes) {
            literal += hex[c >> 4];
            literal += hex[c & 15];
        }
        return literal + "'";
    }
    case kit::ValueKind::Timestamp:
        return quoteString(formatTimestamp(value.timestamp));
    }
    return "NULL";
}

std::string hostName() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return "localhost";
    return buffer;
}

} // namespace

kit::ConnectionInfo SqliteConnection::info() const {
    kit::ConnectionInfo info;
    info.dbmsName = "SQLite";
    info.dbmsVersion = sqlite3_libversion();
    // An embedded engine: the "server" is this machine, running SQLite in-process.
    info.serverName = hostName();
    info.catalog = "main";
    const char* file = sqlite3_db_filename(database_.handle(), "main");
    info.dataSourceName = file != nullptr && *file != '\0' ? file : database_.path();
    info.readOnly = database_.isReadOnly();
    info.isolationLevels = {kit::IsolationLevel::ReadUncommitted,
                            kit::IsolationLevel::ReadCommitted, kit::IsolationLevel::RepeatableRead,
                            kit::IsolationLevel::Serializable};
    return info;
}

std::unique_ptr<kit::Statement> SqliteConnection::prepare(std::string_view sql,
                                                          const kit::PrepareOptions& options) {
    return std::make_unique<SqliteStatement>(database_, sql, options);
}

std::shared_ptr<kit::Statement>
SqliteConnection::prepareShared(std::string_view sql, const kit::PrepareOptions& options) {
    return std::make_shared<SqliteStatement>(database_, sql, options);
}

std::unique_ptr<kit::Statement>
SqliteConnection::prepareTableScan(std::string_view table, const kit::PrepareOptions& options) {
    if (!tableOrViewExists(database_.handle(), table))
        throw kit::BackendError(kit::ErrorClass::NoTable, "no such table: " + std::string(table));
    return prepare("SELECT * FROM " + quoteName(table), options);
}

void SqliteConnection::begin(kit::IsolationLevel level) {
    const bool immediate = (level == kit::IsolationLevel::Serializable ||
                            level == kit::IsolationLevel::RepeatableRead) &&
                           !database_.isReadOnly();
    database_.run(immediate ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
    database_.transactionBegun();
}

void SqliteConnection::commit() {
    // A transaction SQLite already rolled back cannot be committed: the refusal says why, and
    // the caller's rollback then ends it.
    database_.run("COMMIT");
    database_.transactionEnded();
}

void SqliteConnection::rollback() {
    // When SQLite ended the transaction itself, rolling it back has nothing left to undo.
    if (!database_.transactionEndedByEngine())
        database_.run("ROLLBACK");
    database_.transactionEnded();
}

void SqliteConnection::savepoint(std::string_view name) {
    database_.runOnce("SAVEPOINT " + quoteName(name));
}

void SqliteConnection::releaseSavepoint(std::string_view name) {
    database_.runOnce("RELEASE SAVEPOINT " + quoteName(name));
}

void SqliteConnection::rollbackToSavepoint(std::string_view name) {
    database_.runOnce("ROLLBACK TO SAVEPOINT " + quoteName(name));
}

void SqliteConnection::createTable(std::string_view table,
                                   std::span<const kit::ColumnDefinition> columns) {
    if (table.empty())
        throw kit::BackendError(kit::ErrorClass::Syntax, "tabulka musí mít název");
    if (columns.empty())
        throw kit::BackendError(kit::ErrorClass::Syntax,
                                "tabulka musí mít alespoň jeden sloupec: " + std::string(table));
    std::size_t keyColumns = 0;
    for (const kit::ColumnDefinition& c : columns)
        keyColumns += c.primaryKey ? 1 : 0;
    std::string sql = "CREATE TABLE " + quoteName(table) + " (";
    std::string key;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const kit::ColumnDefinition& c = columns[i];
        if (c.name.empty())
            throw kit::BackendError(kit::ErrorClass::Syntax, "sloupec " + std::to_string(i + 1) +
                                                                 " tabulky " + std::string(table) +
                                                                 " nemá název");
        if (i != 0)
            sql += ", ";
        sql += quoteName(c.name) + " " +
               declarationFor(c.type, c.size, c.precision, c.scale, c.typeName);
        if (!c.nullable)
            sql += " NOT NULL";
        // A single INTEGER key becomes SQLite's rowid itself: the fastest key it has.
        if (c.primaryKey && keyColumns == 1)
            sql += " PRIMARY KEY";
        if (c.unique && !(c.primaryKey && keyColumns == 1))
            sql += " UNIQUE";
        if (c.defaultValue)
            sql += " DEFAULT " + literalOf(*c.defaultValue);
        if (c.primaryKey)
            key += (key.empty() ? "" : ", ") + quoteName(c.name);
    }
    if (keyColumns > 1)
        sql += ", PRIMARY KEY (" + key + ")";
    sql += ")";
    database_.checkTransactionAlive();
    StatementHandle statement = database_.prepare(sql);
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_DONE)
        throwSqliteError(database_.handle(), rc, ErrorStage::Run);
}

void SqliteConnection::dropTable(std::string_view table) {
    database_.checkTransactionAlive();
    StatementHandle statement = database_.prepare("DROP TABLE " + quoteName(table));
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_DONE)
        throwSqliteError(database_.handle(), rc, ErrorStage::Run);
}

bool SqliteConnection::tableExists(std::string_view table) {
    return tableOrViewExists(database_.handle(), table);
}

std::string SqliteConnection::identityColumn(std::string_view table) const {
    std::string rowid = rowidName(database_.handle(), "", table);
    if (rowid.empty())
        throw kit::BackendError(tableOrViewExists(database_.handle(), table)
                                    ? kit::ErrorClass::Other
                                    : kit::ErrorClass::NoTable,
                                "řádky objektu " + std::string(table) +
                                    " nemají rowid, podle kterého by je bylo možné najít (pohled "
                                    "nebo tabulka WITHOUT ROWID)");
    return rowid;
}

std::int64_t SqliteConnection::runChange(sqlite3_stmt* statement) {
    database_.checkTransactionAlive();
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        const std::string message = sqlite3_errmsg(database_.handle());
        sqlite3_reset(statement);
        database_.noteFailure(message);
        throw kit::BackendError(classifySqliteError(rc, message, ErrorStage::Run), message, rc);
    }
    const std::int64_t changed = sqlite3_changes64(database_.handle());
    sqlite3_reset(statement);
    return changed;
}

bool SqliteConnection::readRow(std::string_view table, const kit::RowIdentity& id,
                               std::span<const std::string> columns,
                               std::vector<kit::Value>& values) {
    const std::string rowid = identityColumn(table);
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i != 0 ? ", " : "") + quoteName(columns[i]);
    if (columns.empty())
        sql += "1";
    sql += " FROM " + quoteName(table) + " WHERE " + rowid + " = ?1";
    sqlite3_stmt* statement = database_.cached(sql);
    sqlite3_bind_int64(statement, 1, rowidOf(id));
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(statement);
        return false;
    }
    if (rc != SQLITE_ROW) {
        const std::string message = sqlite3_errmsg(database_.handle());
        sqlite3_reset(statement);
        throw kit::BackendError(classifySqliteError(rc, message, ErrorStage::Run), message, rc);
    }
    values.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const char* declared = sqlite3_column_decltype(statement, static_cast<int>(i));
        const auto type = declared != nullptr ? typeOfDeclaration(declared) : std::nullopt;
        const bool temporal =
            type && (type->type == dbtype::DbTimestamp || type->type == dbtype::DbDate);
        values.emplace_back(readColumn(statement, static_cast<int>(i),
                                       temporal ? ValueReading::Temporal : ValueReading::AsStored));
    }
    sqlite3_reset(statement);
    return true;
}

bool SqliteConnection::updateRow(std::string_view table, const kit::RowIdentity& id,
                                 std::span<const std::string> columns,
                                 std::span<const kit::ValueView> values) {
    const std::string rowid = identityColumn(table);
    if (columns.size() != values.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "pro každý sloupec je potřeba právě jedna hodnota");
    if (columns.empty()) {
        std::vector<kit::Value> none;
        return readRow(table, id, columns, none);
    }
    std::string sql = "UPDATE " + quoteName(table) + " SET ";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i != 0 ? ", " : "") + quoteName(columns[i]) + " = ?" + std::to_string(i + 1);
    sql += " WHERE " + rowid + " = ?" + std::to_string(columns.size() + 1);
    sqlite3_stmt* statement = database_.cached(sql);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto facts = lookupColumn(database_.handle(), "", table, columns[i]);
        const auto type = facts ? typeOfDeclaration(facts->declaredType) : std::nullopt;
        bindValue(database_.handle(), statement, static_cast<int>(i) + 1, values[i],
                  type ? type->type : dbtype::Empty);
    }
    sqlite3_bind_int64(statement, static_cast<int>(columns.size()) + 1, rowidOf(id));
    return runChange(statement) > 0;
}

kit::RowIdentity SqliteConnection::insertRow(std::string_view table,
                                             std::span<const std::string> columns,
                                             std::span<const kit::ValueView> values) {
    identityColumn(table);
    if (columns.size() != values.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "pro každý sloupec je potřeba právě jedna hodnota");
    std::string sql = "INSERT INTO " + quoteName(table);
    if (columns.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        sql += " (";
        std::string placeholders;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            sql += (i != 0 ? ", " : "") + quoteName(columns[i]);
            placeholders += (i != 0 ? ", ?" : "?") + std::to_string(i + 1);
        }
        sql += ") VALUES (" + placeholders + ")";
    }
    sqlite3_stmt* statement = database_.cached(sql);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto facts = lookupColumn(database_.handle(), "", table, columns[i]);
        const auto type = facts ? typeOfDeclaration(facts->declaredType) : std::nullopt;
        bindValue(database_.handle(), statement, static_cast<int>(i) + 1, values[i],
                  type ? type->type : dbtype::Empty);
    }
    runChange(statement);
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(database_.handle()));
}

bool SqliteConnection::deleteRow(std::string_view table, const kit::RowIdentity& id) {
    const std::string rowid = identityColumn(table);
    sqlite3_stmt* statement =
        database_.cached("DELETE FROM " + quoteName(table) + " WHERE " + rowid + " = ?1");
    sqlite3_bind_int64(statement, 1, rowidOf(id));
    return runChange(statement) > 0;
}

std::unique_ptr<kit::Connection> openSqliteConnection(const kit::InitSettings& settings) {
    OpenOptions options;
    options.path = "vantrel.db";
    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propDataSource);
        v && v->kind == kit::ValueKind::Text)
        options.path = v->bytes;
    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propMode);
        v && v->kind == kit::ValueKind::Int) {
        if (v->integer < 0 || v->integer > modeAllBits)
            throw kit::BackendError(kit::ErrorClass::CantOpen,
                                    "Mode " + std::to_string(v->integer) +
                                        " není kombinací příznaků DB_MODE_");
        // Read-only unless writing is asked for; share modes are SQLite's own locking.
        options.readOnly = (v->integer & modeWrite) == 0 && (v->integer & modeRead) != 0;
    }
    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propTimeout);
        v && v->kind == kit::ValueKind::Int) {
        if (v->integer < 0)
            throw kit::BackendError(kit::ErrorClass::CantOpen, "Connect Timeout nesmí být záporný");
        options.busyTimeoutMs =
            static_cast<int>(std::min<std::int64_t>(v->integer, INT_MAX / 1000) * 1000);
    }
    if (const kit::Value* v =
            kit::findSetting(settings, kit::PropertySet::DbInit, propProviderString);
        v && v->kind == kit::ValueKind::Text)
        options.pragmas = pragmaStatements(v->bytes);
    if (const kit::Value* v = kit::findSetting(settings, kit::PropertySet::DbInit, propCatalog);
        v && v->kind == kit::ValueKind::Text && !v->bytes.empty() && !sameName(v->bytes, "main"))
        throw kit::BackendError(kit::ErrorClass::CantOpen,
                                "databáze SQLite má jediný katalog \"main\", nikoli \"" + v->bytes +
                                    "\"");
    return std::make_unique<SqliteConnection>(options);
}

} // namespace vantrel::sqlite
