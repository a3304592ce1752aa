// An OLE DB consumer written the way the published reference teaches, including nothing but
// <oledb.h>, <oledberr.h> and <msdasc.h>: everything else it calls (COM start-up, the task
// allocator, BSTR, VARIANT, error objects) must come in through those headers, as it does on
// Windows. scripts/apicheck compiles it against the Windows SDK and against platform/com; the
// OLE DB tests run it against the real providers.
#include <msdasc.h>
#include <oledb.h>
#include <oledberr.h>

#include "tests/apicheck/reference_consumer.h"

namespace {

template <typename T> void release(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Copies the description of the calling thread's error object into `description` (a BSTR the
// caller frees) and answers hr unchanged.
HRESULT keepError(HRESULT hr, BSTR* description) {
    IErrorInfo* error = nullptr;
    if (FAILED(hr) && description && !*description && GetErrorInfo(0, &error) == S_OK && error) {
        error->GetDescription(description);
        error->Release();
    }
    return hr;
}

// DBPROP_DATASOURCEREADONLY of an initialised data source.
HRESULT readOnlyOf(IUnknown* dataSource, BOOL* readOnly) {
    IDBProperties* properties = nullptr;
    HRESULT hr =
        dataSource->QueryInterface(IID_IDBProperties, reinterpret_cast<void**>(&properties));
    if (FAILED(hr))
        return hr;
    DBPROPID id = DBPROP_DATASOURCEREADONLY;
    DBPROPIDSET wanted = {&id, 1, DBPROPSET_DATASOURCEINFO};
    ULONG setCount = 0;
    DBPROPSET* sets = nullptr;
    hr = properties->GetProperties(1, &wanted, &setCount, &sets);
    properties->Release();
    if (FAILED(hr))
        return hr;
    *readOnly = FALSE;
    for (ULONG s = 0; s < setCount; ++s) {
        for (ULONG p = 0; p < sets[s].cProperties; ++p) {
            DBPROP& prop = sets[s].rgProperties[p];
            if (prop.dwStatus == DBPROPSTATUS_OK && V_VT(&prop.vValue) == VT_BOOL)
                *readOnly = V_BOOL(&prop.vValue) == VARIANT_TRUE;
            VariantClear(&prop.vValue);
        }
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
    return S_OK;
}

// Executes `sql` on the session and reads the first column of every row as text.
HRESULT readFirstColumn(IUnknown* session, LPCOLESTR sql, ReferenceConsumerResult* result) {
    IDBCreateCommand* createCommand = nullptr;
    ICommandText* command = nullptr;
    IRowset* rowset = nullptr;
    IColumnsInfo* columnsInfo = nullptr;
    IAccessor* accessor = nullptr;
    HACCESSOR hAccessor = DB_NULL_HACCESSOR;
    DBORDINAL columnCount = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* names = nullptr;

    HRESULT hr =
        session->QueryInterface(IID_IDBCreateCommand, reinterpret_cast<void**>(&createCommand));
    if (SUCCEEDED(hr))
        hr = createCommand->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(&command));
    if (SUCCEEDED(hr))
        hr = command->SetCommandText(DBGUID_DEFAULT, sql);
    if (SUCCEEDED(hr))
        hr = command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                              reinterpret_cast<IUnknown**>(&rowset));
    if (SUCCEEDED(hr) && !rowset)
        hr = E_UNEXPECTED;
    if (SUCCEEDED(hr))
        hr = rowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&columnsInfo));
    if (SUCCEEDED(hr))
        hr = columnsInfo->GetColumnInfo(&columnCount, &columns, &names);
    if (SUCCEEDED(hr) && columnCount == 0)
        hr = DB_E_BADORDINAL;

    struct Row {
        DBLENGTH length;
        DBSTATUS status;
        WCHAR text[64];
    };
    if (SUCCEEDED(hr)) {
        DBBINDING binding = {};
        binding.iOrdinal = columns[0].iOrdinal == 0 && columnCount > 1 ? 1 : columns[0].iOrdinal;
        binding.obValue = offsetof(Row, text);
        binding.obLength = offsetof(Row, length);
        binding.obStatus = offsetof(Row, status);
        binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        binding.eParamIO = DBPARAMIO_NOTPARAM;
        binding.cbMaxLen = sizeof(Row::text);
        binding.wType = DBTYPE_WSTR;
        DBBINDSTATUS bindStatus = DBBINDSTATUS_OK;
        hr = rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor));
        if (SUCCEEDED(hr))
            hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, sizeof(Row), &hAccessor,
                                          &bindStatus);
    }
    while (SUCCEEDED(hr)) {
        HROW rows[8];
        HROW* rowsOut = rows;
        DBCOUNTITEM obtained = 0;
        hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 8, &obtained, &rowsOut);
        for (DBCOUNTITEM i = 0; i < obtained && SUCCEEDED(hr); ++i) {
            Row row = {};
            hr = rowset->GetData(rows[i], hAccessor, &row);
            if (FAILED(hr))
                break;
            ++result->rows;
            if (result->rows == 1) {
                SysFreeString(result->firstValue);
                result->firstValue =
                    row.status == DBSTATUS_S_ISNULL ? nullptr : SysAllocString(row.text);
            }
        }
        if (obtained > 0)
            rowset->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr);
        if (hr == DB_S_ENDOFROWSET || obtained == 0) {
            hr = S_OK;
            break;
        }
    }

    if (accessor && hAccessor != DB_NULL_HACCESSOR)
        accessor->ReleaseAccessor(hAccessor, nullptr);
    CoTaskMemFree(columns);
    CoTaskMemFree(names);
    release(accessor);
    release(columnsInfo);
    release(rowset);
    release(command);
    release(createCommand);
    return hr;
}

// Executes a statement that returns no rows.
HRESULT executeStatement(IUnknown* session, LPCOLESTR sql) {
    IDBCreateCommand* createCommand = nullptr;
    ICommandText* command = nullptr;
    HRESULT hr =
        session->QueryInterface(IID_IDBCreateCommand, reinterpret_cast<void**>(&createCommand));
    if (SUCCEEDED(hr))
        hr = createCommand->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(&command));
    if (SUCCEEDED(hr))
        hr = command->SetCommandText(DBGUID_DEFAULT, sql);
    DBROWCOUNT affected = 0;
    if (SUCCEEDED(hr))
        hr = command->Execute(nullptr, IID_NULL, nullptr, &affected, nullptr);
    release(command);
    release(createCommand);
    return hr;
}

} // namespace

HRESULT RunReferenceConsumer(LPCOLESTR initString, LPCOLESTR statement, LPCOLESTR query,
                             ReferenceConsumerResult* result) {
    if (!initString || !result)
        return E_INVALIDARG;
    result->readOnly = FALSE;
    result->rows = 0;
    result->statementResult = S_OK;
    result->firstValue = nullptr;
    result->errorDescription = nullptr;

    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return hr;

    IDataInitialize* services = nullptr;
    IDBInitialize* dataSource = nullptr;
    IDBCreateSession* createSession = nullptr;
    IUnknown* session = nullptr;
    hr = CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                          reinterpret_cast<void**>(&services));
    if (SUCCEEDED(hr))
        hr = keepError(services->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, initString,
                                               IID_IDBInitialize,
                                               reinterpret_cast<IUnknown**>(&dataSource)),
                       &result->errorDescription);
    if (SUCCEEDED(hr))
        hr = keepError(dataSource->Initialize(), &result->errorDescription);
    if (SUCCEEDED(hr))
        hr = readOnlyOf(dataSource, &result->readOnly);
    if (SUCCEEDED(hr))
        hr = dataSource->QueryInterface(IID_IDBCreateSession,
                                        reinterpret_cast<void**>(&createSession));
    if (SUCCEEDED(hr))
        hr = createSession->CreateSession(nullptr, IID_IOpenRowset, &session);
    if (SUCCEEDED(hr) && statement)
        result->statementResult =
            keepError(executeStatement(session, statement), &result->errorDescription);
    if (SUCCEEDED(hr) && query)
        hr = keepError(readFirstColumn(session, query, result), &result->errorDescription);

    release(session);
    release(createSession);
    if (dataSource)
        dataSource->Uninitialize();
    release(dataSource);
    release(services);
    CoUninitialize();
    return hr;
}
