// The shared OLE DB routines: property reads, column information, command execution and row
// counting. Each creates what it needs and releases it before returning, also when an
// EResultException passes through.

#include "core/Schema.h"
#include "oledb/ComPtr.h"
#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleString.h"

#include <cstring>
#include <limits>

namespace {

// Owns the property sets that IDBProperties::GetProperties hands over and frees them as OLE DB
// prescribes: each value cleared, each property array and then the set array freed.
class TReturnedPropertySets {
public:
    TReturnedPropertySets() = default;
    TReturnedPropertySets(const TReturnedPropertySets&) = delete;
    TReturnedPropertySets& operator=(const TReturnedPropertySets&) = delete;
    ~TReturnedPropertySets() {
        for (ULONG i = 0; sets != nullptr && i < count; ++i) {
            for (ULONG j = 0; sets[i].rgProperties != nullptr && j < sets[i].cProperties; ++j) {
                VariantClear(&sets[i].rgProperties[j].vValue);
            }
            CoTaskMemFree(sets[i].rgProperties);
        }
        CoTaskMemFree(sets);
    }
    // The value of the first property of the first set, or null when there is none.
    const VARIANT* firstValue() const {
        if (sets == nullptr || count == 0 || sets[0].rgProperties == nullptr ||
            sets[0].cProperties == 0) {
            return nullptr;
        }
        return &sets[0].rgProperties[0].vValue;
    }
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
};

// Asks a data source object for one property of one set.
void readOneProperty(TReturnedPropertySets& returned, IUnknown* dataSource, DBPROPID propertyId,
                     REFGUID propertySet) {
    TComPtr<IDBProperties> properties;
    checkHResult(dataSource->QueryInterface(IID_IDBProperties, properties.outVoid()));
    DBPROPID ids[1] = {propertyId};
    DBPROPIDSET request;
    request.rgPropertyIDs = ids;
    request.cPropertyIDs = 1;
    request.guidPropertySet = propertySet;
    checkHResult(properties->GetProperties(1, &request, &returned.count, &returned.sets));
}

// Column information freed through the task allocator when it goes out of scope.
struct TColumnInfoHolder {
    TColumnInfoHolder() = default;
    TColumnInfoHolder(const TColumnInfoHolder&) = delete;
    TColumnInfoHolder& operator=(const TColumnInfoHolder&) = delete;
    ~TColumnInfoHolder() {
        freeTaskMemory(info);
        freeTaskMemory(strings);
    }
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
};

// The width in bytes of an integer OLE DB type, or 0 for any other type.
std::size_t integerWidth(DBTYPE type) {
    switch (type) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
        return 1;
    case DBTYPE_I2:
    case DBTYPE_UI2:
        return 2;
    case DBTYPE_I4:
    case DBTYPE_UI4:
        return 4;
    case DBTYPE_I8:
    case DBTYPE_UI8:
        return 8;
    default:
        return 0;
    }
}

// Reads an integer of the given type from the start of a buffer, limited to the int32 range.
std::int32_t readCount(const BYTE* value, DBTYPE type) {
    long long count = 0;
    switch (type) {
    case DBTYPE_I1: {
        signed char v;
        std::memcpy(&v, value, sizeof v);
        count = v;
        break;
    }
    case DBTYPE_UI1:
        count = value[0];
        break;
    case DBTYPE_I2: {
        std::int16_t v;
        std::memcpy(&v, value, sizeof v);
        count = v;
        break;
    }
    case DBTYPE_UI2: {
        std::uint16_t v;
        std::memcpy(&v, value, sizeof v);
        count = v;
        break;
    }
    case DBTYPE_I4: {
        std::int32_t v;
        std::memcpy(&v, value, sizeof v);
        count = v;
        break;
    }
    case DBTYPE_UI4: {
        std::uint32_t v;
        std::memcpy(&v, value, sizeof v);
        count = v;
        break;
    }
    case DBTYPE_I8: {
        std::int64_t v;
        std::memcpy(&v, value, sizeof v);
        count = v;
        break;
    }
    case DBTYPE_UI8: {
        std::uint64_t v;
        std::memcpy(&v, value, sizeof v);
        count = v > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())
                    ? std::numeric_limits<long long>::max()
                    : static_cast<long long>(v);
        break;
    }
    default:
        break;
    }
    if (count > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (count < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(count);
}

} // namespace

std::int32_t getBoolProperty(IUnknown* dataSource, DBPROPID propertyId, REFGUID propertySet) {
    TReturnedPropertySets returned;
    readOneProperty(returned, dataSource, propertyId, propertySet);
    const VARIANT* value = returned.firstValue();
    if (value == nullptr || V_VT(value) != VT_BOOL) {
        return 0;
    }
    return static_cast<std::int32_t>(V_BOOL(value));
}

void getStringProperty(std::string& value, IUnknown* dataSource, DBPROPID propertyId,
                       REFGUID propertySet) {
    value.clear();
    TReturnedPropertySets returned;
    readOneProperty(returned, dataSource, propertyId, propertySet);
    const VARIANT* variant = returned.firstValue();
    if (variant != nullptr && V_VT(variant) == VT_BSTR) {
        value = fromOleString(V_BSTR(variant));
    }
}

bool findStringProperty(std::string& value, IUnknown* dataSource, DBPROPID propertyId,
                        REFGUID propertySet) {
    value.clear();
    TComPtr<IDBProperties> properties;
    if (FAILED(dataSource->QueryInterface(IID_IDBProperties, properties.outVoid()))) {
        return false;
    }
    DBPROPID ids[1] = {propertyId};
    DBPROPIDSET request;
    request.rgPropertyIDs = ids;
    request.cPropertyIDs = 1;
    request.guidPropertySet = propertySet;
    TReturnedPropertySets returned;
    const HRESULT hr = properties->GetProperties(1, &request, &returned.count, &returned.sets);
    if (hr != S_OK) {
        // An unsupported property is an answer here, not a failure to report.
        SetErrorInfo(0, nullptr);
        return false;
    }
    const VARIANT* variant = returned.firstValue();
    if (variant == nullptr || V_VT(variant) != VT_BSTR) {
        return false;
    }
    value = fromOleString(V_BSTR(variant));
    return !value.empty();
}

void getColumnInfo(IUnknown* rowset, DBORDINAL* columnCount, DBCOLUMNINFO** columnInfo,
                   OLECHAR** stringsBuffer) {
    TComPtr<IColumnsInfo> columnsInfo;
    checkHResult(rowset->QueryInterface(IID_IColumnsInfo, columnsInfo.outVoid()));
    checkHResult(columnsInfo->GetColumnInfo(columnCount, columnInfo, stringsBuffer));
}

namespace {

// Builds and executes one command; the HRESULT of ICommand::Execute, with the provider's error
// object still posted when it failed. Building the command goes through checkHResult.
HRESULT runCommand(IUnknown* session, const std::string& commandText, REFIID riid,
                   IUnknown** result, DBROWCOUNT* rowsAffected, bool changeable) {
    if (result != nullptr) {
        *result = nullptr;
    }
    TComPtr<IDBCreateCommand> createCommand;
    checkHResult(session->QueryInterface(IID_IDBCreateCommand, createCommand.outVoid()));
    TComPtr<ICommandText> command;
    checkHResult(createCommand->CreateCommand(nullptr, IID_ICommandText, command.outUnknown()));
    const TOleString text = toOleString(commandText);
    checkHResult(command->SetCommandText(DBGUID_DBSQL, text.c_str()));
    if (changeable) {
        TComPtr<ICommandProperties> commandProperties;
        checkHResult(command->QueryInterface(IID_ICommandProperties, commandProperties.outVoid()));
        DBPROP property;
        std::memset(&property, 0, sizeof property);
        property.dwPropertyID = DBPROP_IRowsetChange;
        property.dwOptions = DBPROPOPTIONS_REQUIRED;
        property.dwStatus = 0;
        VariantInit(&property.vValue);
        V_VT(&property.vValue) = VT_BOOL;
        V_BOOL(&property.vValue) = VARIANT_TRUE;
        DBPROPSET set;
        set.rgProperties = &property;
        set.cProperties = 1;
        set.guidPropertySet = DBPROPSET_ROWSET;
        checkHResult(commandProperties->SetProperties(1, &set));
    }
    const HRESULT executed = command->Execute(nullptr, riid, nullptr, rowsAffected, result);
    if (executed < 0 && result != nullptr && *result != nullptr) {
        (*result)->Release();
        *result = nullptr;
    }
    return executed;
}

} // namespace

bool executeCommand(IUnknown* session, const std::string& commandText, REFIID riid,
                    IUnknown** result, DBROWCOUNT* rowsAffected, bool changeable) {
    const HRESULT executed =
        runCommand(session, commandText, riid, result, rowsAffected, changeable);
    if (executed < 0) {
        // The rejected statement is the answer, not an error to report: drop its error object
        // so that a later report on this thread does not show it as its own.
        SetErrorInfo(0, nullptr);
    }
    return executed >= 0;
}

bool executeTableQuery(IUnknown* session, const std::string& commandText, REFIID riid,
                       IUnknown** result) {
    const HRESULT executed = runCommand(session, commandText, riid, result, nullptr, false);
    if (executed >= 0)
        return true;
    // Only the provider's own answer that the table is missing means "no table"; its text is
    // never read, since it differs from database to database and language to language.
    if (executed == DB_E_NOTABLE) {
        SetErrorInfo(0, nullptr);
        return false;
    }
    try {
        checkHResult(executed);
    } catch (const EResultException&) {
        throw EQueryFailed();
    }
    return false; // not reached: a failure code always raises
}

std::int32_t countRows(IUnknown* session, TTableIndex table) {
    TComPtr<IRowset> rowset;
    executeTableQuery(session, "SELECT COUNT(*) FROM " + tableName(table), IID_IRowset,
                      rowset.outUnknown());
    if (!rowset) {
        return 0;
    }
    TColumnInfoHolder columns;
    getColumnInfo(rowset.get(), &columns.count, &columns.info, &columns.strings);
    if (columns.count == 0 || columns.info == nullptr) {
        return 0;
    }
    // The first column that is not a bookmark holds the count.
    const DBCOLUMNINFO* column = &columns.info[0];
    if (column->iOrdinal == 0 && columns.count > 1) {
        column = &columns.info[1];
    }

    DBBINDING binding;
    std::memset(&binding, 0, sizeof binding);
    binding.iOrdinal = column->iOrdinal;
    binding.obValue = 0;
    binding.dwPart = DBPART_VALUE;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.eParamIO = DBPARAMIO_NOTPARAM;
    binding.wType = column->wType;
    binding.cbMaxLen = column->ulColumnSize;
    binding.bPrecision = column->bPrecision;
    binding.bScale = column->bScale;
    if (integerWidth(column->wType) == 0) {
        // Not an integer column: let the provider convert the count to a 64-bit integer.
        binding.wType = DBTYPE_I8;
        binding.cbMaxLen = sizeof(std::int64_t);
        binding.bPrecision = 0;
        binding.bScale = 0;
    }
    // The value buffer holds at least the bound width, whatever the reported size.
    BYTE value[16] = {};

    TComPtr<IAccessor> accessor;
    checkHResult(rowset->QueryInterface(IID_IAccessor, accessor.outVoid()));
    HACCESSOR accessorHandle = DB_NULL_HACCESSOR;
    DBBINDSTATUS status = 0;
    checkHResult(
        accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &accessorHandle, &status));
    struct TAccessorRelease {
        IAccessor* accessor;
        HACCESSOR handle;
        ~TAccessorRelease() { accessor->ReleaseAccessor(handle, nullptr); }
    } accessorRelease{accessor.get(), accessorHandle};

    HROW row = DB_NULL_HROW;
    HROW* rows = &row;
    DBCOUNTITEM obtained = 0;
    checkHResult(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows));
    if (obtained == 0) {
        return 0;
    }
    // The row is released on every way out, but only after a failed read has been reported:
    // ReleaseRows may clear the thread's error object.
    struct TRowRelease {
        IRowset* rowset;
        HROW row;
        ~TRowRelease() { rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr); }
    } rowRelease{rowset.get(), row};
    checkHResult(rowset->GetData(row, accessorHandle, value));
    return readCount(value, binding.wType);
}
