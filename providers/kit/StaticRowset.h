// Read-only rowsets over rows held in memory (enumerators, schema information, tests). They
// are ordinary kit rowsets: the rows are a Statement that never touches a database.
#pragma once

#include "Backend.h"
#include "KitCom.h"

#include <memory>
#include <vector>

namespace vantrel::kit {

// A statement over a fixed table of values; each row has as many values as there are columns.
class StaticStatement final : public Statement {
public:
    StaticStatement(std::vector<ColumnInfo> columns, std::vector<std::vector<Value>> rows);

    std::size_t parameterCount() const override { return 0; }
    ParameterInfo parameterInfo(std::size_t) const override { return {}; }
    const std::vector<ColumnInfo>& columns() const override { return columns_; }
    bool returnsRows() const override { return true; }
    bool hasRowIdentity() const override { return false; }
    std::string baseTable() const override { return {}; }
    void bind(std::size_t, const ValueView&) override {}
    void clearBindings() override {}
    bool step() override;
    ValueView value(std::size_t index) const override;
    RowIdentity rowIdentity() const override { return std::int64_t(next_); }
    void reset() override;
    std::int64_t rowsAffected() const override { return -1; }

private:
    std::vector<ColumnInfo> columns_;
    std::vector<std::vector<Value>> rows_;
    std::size_t next_ = 0;
    bool started_ = false;
};

// Creates the rowset. Properties are those of DBPROPSET_ROWSET; asking for changes is
// refused (DBPROPSTATUS_NOTSUPPORTED; DB_E_ERRORSOCCURRED when required). `source` names the
// error objects' source and must outlive the rowset.
HRESULT createStaticRowset(std::vector<ColumnInfo> columns, std::vector<std::vector<Value>> rows,
                           ULONG cPropertySets, DBPROPSET rgPropertySets[], const char16_t* source,
                           IUnknown* creator, REFIID riid, IUnknown** ppRowset);

} // namespace vantrel::kit
