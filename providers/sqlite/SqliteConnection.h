// The SQLite backend's connection behind the kit's Connection seam.
#pragma once

#include "SqliteDatabase.h"
#include "kit/Backend.h"

#include <memory>

namespace vantrel::sqlite {

class SqliteConnection final : public kit::Connection {
public:
    explicit SqliteConnection(const OpenOptions& options) : database_(options) {}

    kit::ConnectionInfo info() const override;

    std::unique_ptr<kit::Statement> prepare(std::string_view sql,
                                            const kit::PrepareOptions& options) override;
    std::shared_ptr<kit::Statement> prepareShared(std::string_view sql,
                                                  const kit::PrepareOptions& options) override;
    std::unique_ptr<kit::Statement> prepareTableScan(std::string_view table,
                                                     const kit::PrepareOptions& options) override;

    // SQLite runs every transaction serializably. Serializable and repeatable-read ones take
    // the write lock at once (BEGIN IMMEDIATE), so two writers never deadlock half-way; the
    // weaker levels start deferred. A read-only database only ever starts deferred.
    void begin(kit::IsolationLevel level) override;
    void commit() override;
    void rollback() override;
    void savepoint(std::string_view name) override;
    void releaseSavepoint(std::string_view name) override;
    void rollbackToSavepoint(std::string_view name) override;

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

private:
    // The rowid's name in table; throws BackendError when the table has none.
    std::string identityColumn(std::string_view table) const;
    // Steps a cached statement to its end; returns the rows it changed.
    std::int64_t runChange(sqlite3_stmt* statement);

    Database database_;
};

// Opens a connection from the initialisation settings (the kit's OpenConnection).
std::unique_ptr<kit::Connection> openSqliteConnection(const kit::InitSettings& settings);

} // namespace vantrel::sqlite
