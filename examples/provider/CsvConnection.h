// A directory of CSV files as a read-only database: the backend's Connection.
//
// Each file NAME.csv is the table NAME (names compare without regard to case). Nothing can be
// changed through this provider: DDL and row changes fail with ErrorClass::ReadOnly, which the
// kit reports as DB_SEC_E_PERMISSIONDENIED. Transactions are accepted and do nothing, so a
// consumer that always runs its reads in one still works.
#pragma once

#include <kit/Backend.h>

#include <filesystem>
#include <optional>

namespace csvprovider {

class CsvConnection : public vantrel::kit::Connection {
public:
    // Throws kit::BackendError (CantOpen) when `directory` is not a readable directory.
    CsvConnection(std::filesystem::path directory, char delimiter);

    vantrel::kit::ConnectionInfo info() const override;

    std::unique_ptr<vantrel::kit::Statement>
    prepare(std::string_view sqlUtf8, const vantrel::kit::PrepareOptions& options) override;
    std::unique_ptr<vantrel::kit::Statement>
    prepareTableScan(std::string_view table, const vantrel::kit::PrepareOptions& options) override;

    void begin(vantrel::kit::IsolationLevel) override {}
    void commit() override {}
    void rollback() override {}
    void savepoint(std::string_view) override {}
    void releaseSavepoint(std::string_view) override {}
    void rollbackToSavepoint(std::string_view) override {}

    void createTable(std::string_view table,
                     std::span<const vantrel::kit::ColumnDefinition> columns) override;
    void dropTable(std::string_view table) override;
    bool tableExists(std::string_view table) override { return tableFile(table).has_value(); }

    bool readRow(std::string_view table, const vantrel::kit::RowIdentity& id,
                 std::span<const std::string> columns,
                 std::vector<vantrel::kit::Value>& values) override;
    bool updateRow(std::string_view table, const vantrel::kit::RowIdentity& id,
                   std::span<const std::string> columns,
                   std::span<const vantrel::kit::ValueView> values) override;
    vantrel::kit::RowIdentity insertRow(std::string_view table,
                                        std::span<const std::string> columns,
                                        std::span<const vantrel::kit::ValueView> values) override;
    bool deleteRow(std::string_view table, const vantrel::kit::RowIdentity& id) override;

private:
    // The file of a table, or nothing. A name that would reach outside the directory (one
    // with a '/') names no table.
    std::optional<std::filesystem::path> tableFile(std::string_view table) const;
    std::unique_ptr<vantrel::kit::Statement> open(std::string_view table,
                                                  const std::vector<std::string>& columns);
    [[noreturn]] void refuseChange() const;

    std::filesystem::path directory_;
    char delimiter_;
};

} // namespace csvprovider
