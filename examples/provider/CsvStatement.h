// A query over one CSV file: the backend's Statement.
//
// Preparing reads the whole file once to describe it: the header line names the columns, a
// column with values that are all whole numbers (written plainly: "42", not "042") is
// DBTYPE_I8, any other is DBTYPE_WSTR as wide as its longest value. A malformed line therefore
// fails the statement before any row is handed out. Stepping then reads the file again from the
// top, one record at a time.
#pragma once

#include "CsvReader.h"

#include <kit/Backend.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace csvprovider {

class CsvStatement : public vantrel::kit::Statement {
public:
    // `selected`: the columns to return, by name; empty for all of them. Throws
    // kit::BackendError for a malformed file (Other) or an unknown column (Syntax).
    CsvStatement(std::filesystem::path file, std::string table, char delimiter,
                 const std::vector<std::string>& selected);

    std::size_t parameterCount() const override { return 0; }
    vantrel::kit::ParameterInfo parameterInfo(std::size_t index) const override;
    const std::vector<vantrel::kit::ColumnInfo>& columns() const override { return columns_; }
    bool returnsRows() const override { return true; }
    // Rows of a text file have no identity that survives a change to the file, so the rowsets
    // of this provider are read-only.
    bool hasRowIdentity() const override { return false; }
    std::string baseTable() const override { return table_; }
    void bind(std::size_t index, const vantrel::kit::ValueView& value) override;
    void clearBindings() override {}
    bool step() override;
    vantrel::kit::ValueView value(std::size_t index) const override;
    vantrel::kit::RowIdentity rowIdentity() const override;
    void reset() override { reader_.reset(); }
    std::int64_t rowsAffected() const override { return -1; }

private:
    void describe(const std::vector<std::string>& selected);
    void checkWidth(const CsvReader& reader, const Record& record) const;

    std::filesystem::path file_;
    std::string table_;
    char delimiter_;
    std::size_t fileColumns_ = 0;       // fields per record
    std::vector<std::size_t> selected_; // for each result column, its field in the record
    std::vector<vantrel::kit::ColumnInfo> columns_;
    std::unique_ptr<CsvReader> reader_; // open between the first step() and reset()
    Record record_;
    std::vector<vantrel::kit::Value> row_; // the current row's values, one per result column
};

} // namespace csvprovider
