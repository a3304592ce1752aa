// One prepared ODBC statement behind the kit's Statement seam.
//
// The driver prepares and describes it (SQLPrepare, SQLDescribeCol, SQLNumParams,
// SQLDescribeParam). Parameters of an INSERT with a column list are described from the target
// table's columns instead, which every driver can do; elsewhere a driver that cannot describe a
// parameter leaves it unknown, and the kit asks the consumer to describe it. Values are
// bound as C types chosen by their kind and re-bound only when the kind or the buffer changes,
// so a loop that varies only values costs one SQLExecute per row. Rows are read with
// SQLGetData into buffers that grow to whatever the driver delivers, never past them.
#pragma once

#include "OdbcConnection.h"
#include "OdbcText.h"
#include "OdbcTypes.h"

#include <string>
#include <vector>

namespace vantrel::odbc {

class OdbcStatement final : public kit::Statement {
public:
    OdbcStatement(OdbcConnection& connection, std::string_view sql,
                  const kit::PrepareOptions& options);
    ~OdbcStatement() override = default;

    std::size_t parameterCount() const override { return parameters_.size(); }
    kit::ParameterInfo parameterInfo(std::size_t index) const override {
        return parameters_.at(index).info;
    }
    const std::vector<kit::ColumnInfo>& columns() const override { return columns_; }
    bool returnsRows() const override { return !columns_.empty(); }
    bool hasRowIdentity() const override { return !keyColumns_.empty(); }
    std::string baseTable() const override { return baseTable_; }

    void bind(std::size_t index, const kit::ValueView& value) override;
    void clearBindings() override;
    bool step() override;
    kit::ValueView value(std::size_t index) const override;
    kit::RowIdentity rowIdentity() const override;
    void reset() override;
    std::int64_t rowsAffected() const override { return rowsAffected_; }

private:
    struct Parameter {
        kit::ParameterInfo info;
        SQLSMALLINT describedType = 0; // the SQL type the driver or table gave; 0 = none
        kit::ValueKind kind = kit::ValueKind::Null;
        SQLBIGINT integer = 0;
        double real = 0;
        WideText text;     // Text beyond ASCII
        std::string bytes; // Blob, and Text that is all ASCII (narrow)
        bool narrow = false;
        SQL_TIMESTAMP_STRUCT timestamp{};
        SQLLEN indicator = SQL_NULL_DATA;
        // What SQLBindParameter was last told.
        SQLSMALLINT boundCType = 0;
        SQLSMALLINT boundSqlType = 0;
        SQLPOINTER boundPointer = nullptr;
        SQLULEN boundSize = 0;
        SQLSMALLINT boundDigits = -1;
    };
    struct Column {
        Reading reading = Reading::Text;
        WideText wide;       // chunk buffer for text
        std::string scratch; // chunk buffer for bytes
    };

    void prepareText(const std::string& sql);
    void describeColumns(std::size_t hidden);
    void describeParameters(const std::string& sql);
    bool describeInsertParameters(const std::string& sql);
    void findRowIdentity(const std::string& sql);
    void sizeTextColumnsFromCatalog();
    // Makes read-only a column whose named base column its table does not have.
    void refuseUnknownBaseColumns();
    void bindParameters();
    void bindOne(std::size_t index, Parameter& p);
    void readRow();
    void readColumn(std::size_t index, kit::Value& out);
    void readText(SQLUSMALLINT column, Column& c, kit::Value& out);
    void readBytes(SQLUSMALLINT column, Column& c, kit::Value& out);

    OdbcConnection& connection_;
    Handle statement_;
    std::vector<Parameter> parameters_;
    std::vector<kit::ColumnInfo> columns_;
    std::vector<Column> readers_;         // per result column, hidden ones first
    std::size_t hidden_ = 0;              // hidden leading columns holding the row identity
    std::vector<std::size_t> keyColumns_; // result columns (with hidden) of the identity
    std::string baseTable_;
    std::vector<kit::Value> row_; // the current row, hidden columns first
    bool executed_ = false;
    bool done_ = false;
    std::int64_t rowsAffected_ = -1;
};

} // namespace vantrel::odbc
