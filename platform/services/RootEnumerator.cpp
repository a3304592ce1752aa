#include "RootEnumerator.h"

#include "ServiceObject.h"

#include "ErrorReport.h"

#include "kit/StaticRowset.h"

#include <msdaguid.h>
#include <oledberr.h>
#include <vantrel/ClassRegistry.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

namespace vantrel::services {
namespace {

std::u16string braced(REFCLSID clsid) {
    OLECHAR text[CHARS_IN_GUID] = {};
    StringFromGUID2(clsid, text, CHARS_IN_GUID);
    return text;
}

// Text columns are at least this wide, and always one wider than their longest value, so that
// a consumer sizing a fixed buffer by the column size has room for the value and its NUL.
constexpr std::size_t minimumTextColumn = 255;

kit::ColumnInfo textColumn(const char* name, std::size_t widest) {
    kit::ColumnInfo info;
    info.name = name;
    info.type = DBTYPE_WSTR;
    info.size = std::max(minimumTextColumn, widest + 1);
    info.nullable = false;
    return info;
}

kit::Value text(const std::u16string& s) {
    kit::Value v;
    v.kind = kit::ValueKind::Text;
    v.bytes = VantrelUtf8(s);
    return v;
}

kit::Value integer(std::int64_t i) {
    kit::Value v;
    v.kind = kit::ValueKind::Int;
    v.integer = i;
    return v;
}

class RootEnumerator final : public ServiceObject<ISourcesRowset, IID_ISourcesRowset> {
public:
    HRESULT STDMETHODCALLTYPE GetSourcesRowset(IUnknown* outer, REFIID riid, ULONG propertySetCount,
                                               DBPROPSET propertySets[],
                                               IUnknown** rowset) override {
        SetErrorInfo(0, nullptr);
        return createSourcesRowset(registeredSources(), outer, riid, propertySetCount, propertySets,
                                   rowset);
    }

private:
    ~RootEnumerator() = default;
};

} // namespace

std::vector<SourceRow> registeredSources() {
    std::vector<SourceRow> rows;
    for (const VantrelClassRegistration& c : VantrelRegisteredClasses()) {
        if (c.sourceType == 0 || c.clsid == CLSID_OLEDB_ENUMERATOR)
            continue;
        SourceRow row;
        row.clsid = braced(c.clsid);
        row.name = !c.progId.empty()                     ? c.progId
                   : !c.versionIndependentProgId.empty() ? c.versionIndependentProgId
                                                         : row.clsid;
        row.parseName = c.parseName.empty() ? row.clsid : c.parseName;
        row.description = c.description;
        row.type = DBTYPE(c.sourceType);
        row.isParent = false; // the root has no parent to list
        rows.push_back(std::move(row));
    }
    return rows;
}

HRESULT createSourcesRowset(const std::vector<SourceRow>& rows, IUnknown* outer, REFIID riid,
                            ULONG propertySetCount, DBPROPSET* propertySets, IUnknown** rowset) {
    if (!rowset)
        return E_INVALIDARG;
    *rowset = nullptr;
    if (propertySetCount && !propertySets)
        return E_INVALIDARG;
    if (outer)
        return DB_E_NOAGGREGATION;
    try {
        std::size_t widestName = 0, widestParse = 0, widestDescription = 0, widestClsid = 0;
        std::vector<std::vector<kit::Value>> values;
        for (const SourceRow& r : rows) {
            widestName = std::max(widestName, r.name.size());
            widestParse = std::max(widestParse, r.parseName.size());
            widestDescription = std::max(widestDescription, r.description.size());
            widestClsid = std::max(widestClsid, r.clsid.size());
            values.push_back({text(r.name), text(r.parseName), text(r.description), integer(r.type),
                              integer(r.isParent ? 1 : 0), text(r.clsid)});
        }
        kit::ColumnInfo type;
        type.name = "SOURCES_TYPE";
        type.type = DBTYPE_UI2;
        type.size = sizeof(USHORT);
        type.precision = 5;
        type.nullable = false;
        kit::ColumnInfo isParent;
        isParent.name = "SOURCES_ISPARENT";
        isParent.type = DBTYPE_BOOL;
        isParent.size = sizeof(VARIANT_BOOL);
        isParent.nullable = false;
        std::vector<kit::ColumnInfo> columns = {
            textColumn("SOURCES_NAME", widestName),
            textColumn("SOURCES_PARSENAME", widestParse),
            textColumn("SOURCES_DESCRIPTION", widestDescription),
            type,
            isParent,
            textColumn("SOURCES_CLSID", widestClsid)};
        return kit::createStaticRowset(std::move(columns), std::move(values), propertySetCount,
                                       propertySets, u"OLE DB Root Enumerator", nullptr, riid,
                                       rowset);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT createRootEnumerator(IUnknown* outer, REFIID riid, void** ppv) {
    return createServiceObject<RootEnumerator>(outer, riid, ppv);
}

} // namespace vantrel::services
