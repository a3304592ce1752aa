// One unixODBC connection to one driver behind the kit's Connection seam.
//
// Transactions turn autocommit off and end with SQLEndTran. A failed statement inside one costs
// only itself on the drivers the provider is tested with (SQLite and InnoDB undo just that
// statement, psqlODBC wraps each in a savepoint of its own), so the provider adds none per
// statement. Rows of updatable rowsets are found by SQLPrimaryKeys.
#pragma once

#include "OdbcHandle.h"
#include "OdbcOpen.h"
#include "OdbcSettings.h"
#include "kit/Backend.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::odbc {

class OdbcStatement;

// One row of SQLGetTypeInfo.
struct TypeInfo {
    std::string name;
    SQLSMALLINT sqlType = 0;
    SQLINTEGER columnSize = 0;
    std::string createParams; // "length", "precision,scale", ...
    bool autoUnique = false;
    bool isUnsigned = false;
};

// One column of a table as the catalog describes it (SQLColumns).
struct TableColumn {
    std::string name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    bool nullable = true;
};

class OdbcConnection final : public kit::Connection {
public:
    // Connects with SQLDriverConnect; throws BackendError (CantOpen) with every diagnostic record.
    explicit OdbcConnection(const ConnectSettings& settings);
    ~OdbcConnection() override;
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    kit::ConnectionInfo info() const override { return info_; }

    std::unique_ptr<kit::Statement> prepare(std::string_view sql,
                                            const kit::PrepareOptions& options) override;
    std::unique_ptr<kit::Statement> prepareTableScan(std::string_view table,
                                                     const kit::PrepareOptions& options) override;

    // Isolation levels the driver lacks are raised to the next stronger one it has.
    void begin(kit::IsolationLevel level) override;
    void commit() override;
    void rollback() override;
    // Outside a transaction the outermost savepoint opens one, which its release commits.
    void savepoint(std::string_view name) override;
    void releaseSavepoint(std::string_view name) override;
    void rollbackToSavepoint(std::string_view name) override;

    // Type names come from the driver (SQLGetTypeInfo).
    void createTable(std::string_view table,
                     std::span<const kit::ColumnDefinition> columns) override;
    void dropTable(std::string_view table) override;
    bool tableExists(std::string_view table) override;

    bool readRow(std::string_view table, const kit::RowIdentity& id,
                 std::span<const std::string> columns, std::vector<kit::Value>& values) override;
    bool updateRow(std::string_view table, const kit::RowIdentity& id,
                   std::span<const std::string> columns,
                   std::span<const kit::ValueView> values) override;
    kit::RowIdentity insertRow(std::string_view table, std::span<const std::string> columns,
                               std::span<const kit::ValueView> values) override;
    bool deleteRow(std::string_view table, const kit::RowIdentity& id) override;

    // ---- for OdbcStatement ----
    SQLHDBC handle() const { return dbc_.get(); }
    // A new statement handle; throws BackendError.
    Handle newStatement();
    // The primary-key columns of a table in key order (cached); empty without one.
    const std::vector<std::string>& primaryKey(const std::string& table);
    // The columns of a table from the catalog (cached); empty when the driver finds none.
    const std::vector<TableColumn>& tableColumns(const std::string& table);
    // A name as the database reads it in SQL: plain identifiers as they are (the database folds
    // them as it does in the consumer's own SQL), others in the driver's quote character.
    std::string sqlName(std::string_view name) const;
    // The data-source's DBMS name from SQLGetInfo ("PostgreSQL", "MariaDB", "SQLite").
    const std::string& dbms() const { return info_.dbmsName; }

private:
    // Runs SQL without parameters or rows; throws BackendError.
    void run(const std::string& sql);
    // Runs SQL with parameters; returns the statement positioned on its first row (or done).
    std::unique_ptr<OdbcStatement>
    runWith(const std::string& sql, std::span<const kit::ValueView> parameters, bool& hasRow);
    void setAutocommit(bool on);
    void endTransaction(SQLSMALLINT completion);
    std::string infoText(SQLUSMALLINT what) const;
    void describe(const ConnectSettings& settings);
    const std::vector<TypeInfo>& typesOf(SQLSMALLINT sqlType);
    std::string declarationFor(const kit::ColumnDefinition& column);
    // The driver's best type among `sqlTypes` for the column, with its size where it takes one.
    std::optional<std::string> typeFor(std::span<const SQLSMALLINT> sqlTypes,
                                       const kit::ColumnDefinition& column);
    // The table's key condition ("k1 = ? AND k2 = ?") and its values from a row identity.
    std::string keyCondition(const std::string& table, const kit::RowIdentity& id,
                             std::vector<kit::Value>& keyValues);
    const std::vector<std::string>& requireKey(const std::string& table);

    Handle environment_;
    Handle dbc_;
    bool connected_ = false;
    kit::ConnectionInfo info_;
    std::string quote_ = "\"";
    std::uint32_t isolationMask_ = 0;
    std::optional<SQLUINTEGER> isolation_;
    bool autocommit_ = true;
    bool implicitTransaction_ = false;
    int implicitSavepoints_ = 0;
    std::map<std::string, std::vector<std::string>> keys_;
    std::map<std::string, std::vector<TableColumn>> columns_;
    std::map<SQLSMALLINT, std::vector<TypeInfo>> types_;
    // Identities of rows whose key this connection changed: old identity -> new.
    std::map<std::pair<std::string, std::string>, std::string> moved_;
};

// A row identity from the values of the key columns, and back.
std::string encodeIdentity(std::span<const kit::Value> keyValues);
std::vector<kit::Value> decodeIdentity(const std::string& identity);

} // namespace vantrel::odbc
