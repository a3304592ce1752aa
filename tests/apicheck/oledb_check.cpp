// Compiles every header of the OLE DB consumer against the Windows SDK (mingw-w64) and natively
// against platform/com, and uses its main names, so a name or signature that exists on only one
// side fails the check.

#include "oledb/ComPtr.h"
#include "oledb/InsertParameters.h"
#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleDbApi.h"
#include "oledb/OleDbEnvironment.h"
#include "oledb/OleString.h"
#include "oledb/OperationSupport.h"
#include "oledb/ProviderList.h"
#include "oledb/SchemaDefinition.h"

#include <string>

namespace {

class TCheckList : public TProviderList {
public:
    void clear() override {}
    void addItem(const std::string&, int) override {}
};

[[maybe_unused]] void useOleDbNames(IUnknown* session, IUnknown* dataSource) {
    checkHResult(S_OK);
    std::string text;
    checkHResult(E_FAIL, text);
    text = formatNoErrorInfoDump(DB_E_CANCELED) + takeErrorInfoDump(E_FAIL);
    const TOleString wide = toOleString(text);
    text = fromOleString(wide.c_str());
    text += formatErrorInfoDump(E_FAIL, wide.c_str(), nullptr);

    TCheckList list;
    enumerateProviders(list);
    const std::int32_t readOnly =
        getBoolProperty(dataSource, DBPROP_DATASOURCEREADONLY, DBPROPSET_DATASOURCEINFO);
    getStringProperty(text, dataSource, DBPROP_DBMSNAME, DBPROPSET_DATASOURCEINFO);
    TComPtr<IRowset> rowset;
    executeCommand(session, "SELECT 1", IID_IRowset, rowset.outUnknown(), nullptr, readOnly != 0);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
    getColumnInfo(rowset.get(), &count, &info, &strings);
    freeTaskMemory(info);
    freeTaskMemory(strings);
    countRows(session, tiBranches);

    setUpOleDbEnvironment();
    TOLEDBCommunicator communicator(nullptr, nullptr, std::string(), 0);
    communicator.connectionString = text;
    if (communicator.connect() && !communicator.connectionStringPrompted) {
        communicator.disconnect();
    }
    tearDownOleDbEnvironment();
}

} // namespace
