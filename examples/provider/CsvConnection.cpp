#include "CsvConnection.h"

#include "CsvQuery.h"
#include "CsvStatement.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace csvprovider {

namespace kit = vantrel::kit;
using kit::BackendError;
using kit::ErrorClass;
namespace fs = std::filesystem;

CsvConnection::CsvConnection(fs::path directory, char delimiter)
    : directory_(std::move(directory)), delimiter_(delimiter) {
    std::error_code error;
    const fs::file_status status = fs::status(directory_, error);
    if (status.type() == fs::file_type::not_found)
        throw BackendError(ErrorClass::CantOpen,
                           "the directory " + directory_.string() + " does not exist");
    if (error)
        throw BackendError(ErrorClass::CantOpen,
                           "cannot open " + directory_.string() + ": " + error.message());
    if (!fs::is_directory(status))
        throw BackendError(ErrorClass::CantOpen, directory_.string() + " is not a directory");
    fs::directory_iterator probe(directory_, error);
    if (error)
        throw BackendError(ErrorClass::CantOpen,
                           "cannot list " + directory_.string() + ": " + error.message());
}

kit::ConnectionInfo CsvConnection::info() const {
    kit::ConnectionInfo info;
    info.dbmsName = "CSV files";
    info.dbmsVersion = "1.0";
    info.dataSourceName = directory_.string();
    info.readOnly = true;
    // Each statement reads the file as it is when the statement runs.
    info.isolationLevels = {kit::IsolationLevel::ReadCommitted};
    return info;
}

std::optional<fs::path> CsvConnection::tableFile(std::string_view table) const {
    if (table.empty() || table.find('/') != std::string_view::npos ||
        table.find('\0') != std::string_view::npos)
        return std::nullopt;
    const fs::path exact = directory_ / (std::string(table) + ".csv");
    std::error_code error;
    if (fs::is_regular_file(exact, error))
        return exact;
    // Unquoted SQL names are case-insensitive; file names are not.
    for (const fs::directory_entry& entry : fs::directory_iterator(directory_, error)) {
        const fs::path& path = entry.path();
        const std::string stem = path.stem().string();
        if (path.extension() == ".csv" && entry.is_regular_file(error) &&
            std::equal(stem.begin(), stem.end(), table.begin(), table.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return path;
    }
    return std::nullopt;
}

std::unique_ptr<kit::Statement> CsvConnection::open(std::string_view table,
                                                    const std::vector<std::string>& columns) {
    std::optional<fs::path> file = tableFile(table);
    if (!file)
        throw BackendError(ErrorClass::NoTable, "no table \"" + std::string(table) +
                                                    "\": " + directory_.string() + " has no " +
                                                    std::string(table) + ".csv");
    return std::make_unique<CsvStatement>(*file, file->stem().string(), delimiter_, columns);
}

std::unique_ptr<kit::Statement> CsvConnection::prepare(std::string_view sql,
                                                       const kit::PrepareOptions&) {
    const CsvQuery query = parseQuery(sql);
    return open(query.table, query.columns);
}

std::unique_ptr<kit::Statement> CsvConnection::prepareTableScan(std::string_view table,
                                                                const kit::PrepareOptions&) {
    return open(table, {});
}

void CsvConnection::refuseChange() const {
    throw BackendError(ErrorClass::ReadOnly,
                       "the CSV files in " + directory_.string() + " are read-only");
}

void CsvConnection::createTable(std::string_view, std::span<const kit::ColumnDefinition>) {
    refuseChange();
}
void CsvConnection::dropTable(std::string_view) {
    refuseChange();
}
bool CsvConnection::readRow(std::string_view, const kit::RowIdentity&, std::span<const std::string>,
                            std::vector<kit::Value>&) {
    refuseChange();
}
bool CsvConnection::updateRow(std::string_view, const kit::RowIdentity&,
                              std::span<const std::string>, std::span<const kit::ValueView>) {
    refuseChange();
}
kit::RowIdentity CsvConnection::insertRow(std::string_view, std::span<const std::string>,
                                          std::span<const kit::ValueView>) {
    refuseChange();
}
bool CsvConnection::deleteRow(std::string_view, const kit::RowIdentity&) {
    refuseChange();
}

} // namespace csvprovider
