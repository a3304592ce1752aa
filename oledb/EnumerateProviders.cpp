// Lists the OLE DB sources of the root enumerator into the window's provider list.

#include "oledb/ComPtr.h"
#include "oledb/OLEDBCommunicator.h"

#include <cstring>
#include <vector>

namespace {

constexpr DBCOUNTITEM fetchBlock = 20;
// Column sizes beyond this are treated as this, so a provider reporting an unbounded text column
// cannot make the row buffer huge.
constexpr DBLENGTH largestTextColumn = 4096;

// A DBTYPE_STR value binding of one column, with room for the terminating NUL.
DBBINDING textBinding(const DBCOLUMNINFO& column, DBBYTEOFFSET offset) {
    DBBINDING binding;
    std::memset(&binding, 0, sizeof binding);
    binding.iOrdinal = column.iOrdinal;
    binding.obValue = offset;
    binding.dwPart = DBPART_VALUE;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.eParamIO = DBPARAMIO_NOTPARAM;
    binding.wType = DBTYPE_STR;
    DBLENGTH size = column.ulColumnSize;
    if (size == 0 || size > largestTextColumn) {
        size = largestTextColumn;
    }
    binding.cbMaxLen = size + 1;
    binding.bPrecision = column.bPrecision;
    binding.bScale = column.bScale;
    return binding;
}

// The text of a DBTYPE_STR value at an offset, up to its NUL or the end of its field.
std::string textAt(const std::vector<BYTE>& buffer, const DBBINDING& binding) {
    const char* start = reinterpret_cast<const char*>(buffer.data() + binding.obValue);
    return std::string(start, strnlen(start, binding.cbMaxLen));
}

struct TColumns {
    TColumns() = default;
    TColumns(const TColumns&) = delete;
    TColumns& operator=(const TColumns&) = delete;
    ~TColumns() {
        freeTaskMemory(info);
        freeTaskMemory(strings);
    }
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
};

struct TAccessorHandle {
    TAccessorHandle() = default;
    TAccessorHandle(const TAccessorHandle&) = delete;
    TAccessorHandle& operator=(const TAccessorHandle&) = delete;
    ~TAccessorHandle() {
        if (accessor != nullptr && handle != DB_NULL_HACCESSOR) {
            accessor->ReleaseAccessor(handle, nullptr);
        }
    }
    IAccessor* accessor = nullptr;
    HACCESSOR handle = DB_NULL_HACCESSOR;
};

void enumerate(TProviderList& items) {
    TComPtr<IUnknown> enumerator;
    checkHResult(CoCreateInstance(CLSID_OLEDB_ENUMERATOR, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IUnknown, enumerator.outVoid()));

    DBPROP properties[2];
    std::memset(properties, 0, sizeof properties);
    const DBPROPID ids[2] = {DBPROP_CANFETCHBACKWARDS, DBPROP_IRowsetLocate};
    for (int i = 0; i < 2; ++i) {
        properties[i].dwPropertyID = ids[i];
        properties[i].dwOptions = DBPROPOPTIONS_REQUIRED;
        properties[i].dwStatus = 0;
        VariantInit(&properties[i].vValue);
        V_VT(&properties[i].vValue) = VT_BOOL;
        V_BOOL(&properties[i].vValue) = VARIANT_TRUE;
    }
    DBPROPSET propertySet;
    propertySet.rgProperties = properties;
    propertySet.cProperties = 2;
    propertySet.guidPropertySet = DBPROPSET_ROWSET;

    TComPtr<ISourcesRowset> sourcesRowset;
    checkHResult(enumerator->QueryInterface(IID_ISourcesRowset, sourcesRowset.outVoid()));
    TComPtr<IRowset> rowset;
    checkHResult(sourcesRowset->GetSourcesRowset(nullptr, IID_IRowset, 1, &propertySet,
                                                 rowset.outUnknown()));

    // With bookmarks on, entry k describes ordinal k and entry 0 is the bookmark.
    TColumns columns;
    getColumnInfo(rowset.get(), &columns.count, &columns.info, &columns.strings);
    if (columns.info == nullptr || columns.count < 4) {
        reportOleDbFailure("Sada řádků se zdroji od enumerátoru OLE DB nemá sloupce s názvem "
                           "a popisem zdroje.");
    }
    DBBINDING bindings[2];
    bindings[0] = textBinding(columns.info[1], 0);
    bindings[1] = textBinding(columns.info[3], bindings[0].cbMaxLen);
    std::vector<BYTE> rowBuffer(bindings[0].cbMaxLen + bindings[1].cbMaxLen);
    DBBINDSTATUS statuses[2] = {};

    TComPtr<IAccessor> accessor;
    checkHResult(rowset->QueryInterface(IID_IAccessor, accessor.outVoid()));
    TAccessorHandle accessorHandle;
    accessorHandle.accessor = accessor.get();
    checkHResult(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, 0,
                                          &accessorHandle.handle, statuses));

    items.clear();
    providerNames->clear();

    HROW rows[fetchBlock] = {};
    for (;;) {
        HROW* rowsPointer = rows;
        DBCOUNTITEM obtained = 0;
        checkHResult(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, fetchBlock, &obtained, &rowsPointer));
        if (obtained == 0) {
            break;
        }
        if (obtained > fetchBlock) {
            reportOleDbFailure("Enumerátor OLE DB vrátil více řádků, než kolik jich bylo "
                               "požadováno.");
        }
        struct TRowsRelease {
            IRowset* rowset;
            HROW* rows;
            DBCOUNTITEM count;
            ~TRowsRelease() { rowset->ReleaseRows(count, rows, nullptr, nullptr, nullptr); }
        } rowsRelease{rowset.get(), rows, obtained};
        for (DBCOUNTITEM i = 0; i < obtained; ++i) {
            std::fill(rowBuffer.begin(), rowBuffer.end(), BYTE(0));
            checkHResult(rowset->GetData(rows[i], accessorHandle.handle, rowBuffer.data()));
            providerNames->push_back(textAt(rowBuffer, bindings[0]));
            const int index = static_cast<int>(providerNames->size()) - 1;
            items.addItem(textAt(rowBuffer, bindings[1]), index);
        }
    }
}

} // namespace

bool enumerateProviders(TProviderList& items) {
    if (providerNames == nullptr) {
        // Outside the OLE DB environment there is nowhere to keep the names.
        return false;
    }
    try {
        enumerate(items);
        return true;
    } catch (const EResultException&) {
        return false;
    }
}
