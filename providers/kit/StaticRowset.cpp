#include "StaticRowset.h"

#include "Errors.h"
#include "Properties.h"
#include "Rowset.h"

#include <cstring>

namespace vantrel::kit {
namespace {

DBPROPSTATUS refuseChanges(const PropertyDef& def, const PropertyValue& value, const void*) {
    if (std::memcmp(def.set, &DBPROPSET_ROWSET, sizeof(GUID)) != 0)
        return DBPROPSTATUS_OK;
    if (def.id == DBPROP_IRowsetChange && value.boolean())
        return DBPROPSTATUS_NOTSUPPORTED;
    if (def.id == DBPROP_UPDATABILITY && value.integer != 0)
        return DBPROPSTATUS_NOTSUPPORTED;
    return DBPROPSTATUS_OK;
}

} // namespace

StaticStatement::StaticStatement(std::vector<ColumnInfo> columns,
                                 std::vector<std::vector<Value>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

bool StaticStatement::step() {
    next_ = started_ ? next_ + 1 : 0;
    started_ = true;
    return next_ < rows_.size();
}

ValueView StaticStatement::value(std::size_t index) const {
    const std::vector<Value>& row = rows_[next_];
    return index < row.size() ? row[index].view() : ValueView::null();
}

void StaticStatement::reset() {
    started_ = false;
    next_ = 0;
}

HRESULT createStaticRowset(std::vector<ColumnInfo> columns, std::vector<std::vector<Value>> rows,
                           ULONG cPropertySets, DBPROPSET rgPropertySets[], const char16_t* source,
                           IUnknown* creator, REFIID riid, IUnknown** ppRowset) {
    if (!ppRowset)
        return E_INVALIDARG;
    *ppRowset = nullptr;
    if (cPropertySets && !rgPropertySets)
        return E_INVALIDARG;
    try {
        PropertyStore requested(sharedRowsetProperties());
        HRESULT props =
            requested.setProperties(cPropertySets, rgPropertySets, true, refuseChanges, nullptr);
        for (ULONG s = 0; s < cPropertySets; ++s)
            for (ULONG p = 0; p < rgPropertySets[s].cProperties; ++p) {
                const DBPROP& prop = rgPropertySets[s].rgProperties[p];
                if (prop.dwStatus != DBPROPSTATUS_OK && prop.dwOptions != DBPROPOPTIONS_OPTIONAL)
                    return postError(
                        DB_E_ERRORSOCCURRED,
                        std::string_view("Požadovaná vlastnost sady řádků není u této sady řádků, "
                                         "určené jen pro čtení, podporována."),
                        source, IID_IUnknown);
            }
        auto statement = std::make_shared<StaticStatement>(std::move(columns), std::move(rows));
        bool first = statement->step();
        RowsetSetup setup;
        setup.statement = statement;
        setup.firstRowReady = first;
        setup.source = source;
        setup.creator = creator;
        setup.properties =
            std::make_shared<const RowsetProperties>(effectiveRowsetProperties(requested));
        HRESULT hr =
            handOut(new Rowset(std::move(setup)), riid, reinterpret_cast<void**>(ppRowset));
        return SUCCEEDED(hr) && props != S_OK ? DB_S_ERRORSOCCURRED : hr;
    } catch (...) {
        return postCurrentException(source, IID_IUnknown);
    }
}

} // namespace vantrel::kit
