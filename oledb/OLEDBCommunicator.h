#pragma once
// The OLE DB implementation of the bench's communicator, its exception, the single success test
// and failure report for OLE DB results, and the shared OLE DB routines. A pure OLE DB consumer:
// it reaches providers only through the published COM and OLE DB interfaces.

#include "core/Communicator.h"
#include "core/Exception.h"
#include "core/Memo.h"
#include "oledb/ComPtr.h"
#include "oledb/OleDbApi.h"
#include "oledb/OleDbEnvironment.h"
#include "oledb/ProviderList.h"

#include <cstdint>
#include <string>
#include <vector>

// Signals that an OLE DB call failed and that the failure has already been shown to the user.
// Its message is always empty.
class EResultException : public Exception {
public:
    EResultException() : Exception(std::string()) {}
};

// Signals that a statement over a benchmark table failed for a reason other than the table's
// absence (the connection is broken, a permission is refused); already shown like any
// EResultException.
class EQueryFailed : public EResultException {};

// The error-information dump, the report of one failed call:
// "\nErrorInfo:  HResult: 0x%08x, Description: %S\nSource: %S\n" when the thread has an error
// object, "\nNo Error Info posted; HResult: 0x%08x\n" when it has none. The provider's whole
// description and source are kept, however long.
std::string formatErrorInfoDump(HRESULT result, const OLECHAR* description, const OLECHAR* source);
std::string formatNoErrorInfoDump(HRESULT result);
// Takes the calling thread's error object away (GetErrorInfo) and formats the dump from it, or
// the second form when there is none.
std::string takeErrorInfoDump(HRESULT result);

// Reporting form: returns on a success code (>= 0); on a failure shows the dump in the
// "OLE DB Error" box (MessageBoxA, no owner, MB_OK) and throws EResultException.
void checkHResult(HRESULT result);
// Out-text form: sets outText to the empty text on success and to the dump on failure; shows no
// box and throws nothing.
void checkHResult(HRESULT result, std::string& outText);
// Shows a failure that has no HRESULT of its own (a bad argument found before any call) in the
// same box, then throws EResultException. text is UTF-8 (the bench's Czech), shown in
// Windows-1250 like every other text of the bench.
[[noreturn]] void reportOleDbFailure(const std::string& text);

// Fills items and providerNames from the OLE DB root enumerator: item i of providerNames is the
// SOURCES_NAME of row i, and the item for that row shows its SOURCES_DESCRIPTION and carries i.
// Every source type is listed. Returns true when the enumeration ran to its end; on a failure
// the box has been shown and both lists keep the rows read before it.
bool enumerateProviders(TProviderList& items);

// Reads one boolean property of a data source object: VARIANT_TRUE gives -1, VARIANT_FALSE 0,
// a value of another type 0. Failures go through checkHResult.
std::int32_t getBoolProperty(IUnknown* dataSource, DBPROPID propertyId, REFGUID propertySet);
// Reads one string property of a data source object into value (empty unless VT_BSTR).
void getStringProperty(std::string& value, IUnknown* dataSource, DBPROPID propertyId,
                       REFGUID propertySet);
// Reads one string property that a provider may not have: true with a non-empty value when it
// answers it as text; false (value empty, nothing shown) otherwise.
bool findStringProperty(std::string& value, IUnknown* dataSource, DBPROPID propertyId,
                        REFGUID propertySet);
// Reads the column information of a rowset (any of its interfaces). The caller owns the array
// and the strings buffer and frees both with freeTaskMemory.
void getColumnInfo(IUnknown* rowset, DBORDINAL* columnCount, DBCOLUMNINFO** columnInfo,
                   OLECHAR** stringsBuffer);
// Executes one SQL text (no length limit) on a session (any of its interfaces). result and
// rowsAffected may be null; a returned result object belongs to the caller. changeable asks for
// an updatable rowset (DBPROP_IRowsetChange, required). Returns whether ICommand::Execute
// succeeded; a rejected statement shows no box. Building the command goes through checkHResult.
bool executeCommand(IUnknown* session, const std::string& commandText, REFIID riid,
                    IUnknown** result, DBROWCOUNT* rowsAffected, bool changeable);
// Executes a statement over a benchmark table (any of the session's interfaces) like
// executeCommand. A table that does not exist, as the provider reports it (DB_E_NOTABLE), gives
// false and shows nothing; any other refusal shows the "OLE DB Error" box with the provider's
// error and raises EQueryFailed.
bool executeTableQuery(IUnknown* session, const std::string& commandText, REFIID riid,
                       IUnknown** result);
// Counts the rows of one benchmark table (0 to 3); 0 when the table does not exist, and
// EQueryFailed when the count fails for another reason. A count
// reported in a wider integer type is read at its own width and limited to the int32 range.
std::int32_t countRows(IUnknown* session, TTableIndex table);

// The communicator of the OLE DB layer. A connection is one initialised data source object and
// one session created from it.
class TOLEDBCommunicator : public TCommunicator {
public:
    // Number of row handles the browsing grid holds at once.
    static constexpr int browseBlockSize = 20;

    TOLEDBCommunicator(TCommunicatorOwner* owner, TMemo* logMemo,
                       const std::string& connectionString, std::int32_t providerIndex);
    ~TOLEDBCommunicator() override;

    bool connect() override;
    void disconnect() override;
    bool canCreateTables() override;
    bool canDropTables() override;
    bool isReadOnly() override;
    bool createTables() override;
    bool dropTables() override;
    bool tablesExist() override;
    bool generateData() override;
    bool clearData() override;
    bool dataExist() override;
    bool prepareTableForBrowsing(TTableIndex tableIndex, int& columns, int& rows) override;
    bool unprepareTableForBrowsing(TTableIndex tableIndex) override;
    bool getInfo(TMemo* memo) override;
    bool testConcurrentEdit(std::uint8_t testType, TMemo* progress) override;

    // The OLE DB initialisation string: the one given at construction, or the one the
    // provider's dialog produced during connect (password included).
    std::string connectionString;
    // True when the last connect built connectionString through the dialog.
    bool connectionStringPrompted = false;

protected:
    std::string fetchCellData(int column, int row) override;

    // Connection. connected is true only while both are set.
    IDBInitialize* dataSource = nullptr;
    IOpenRowset* session = nullptr;
    // Index into providerNames of the chosen provider; read on the dialog road only.
    std::int32_t providerIndex = 0;

    // Browsing of the prepared table.
    IRowset* browseRowset = nullptr;
    IAccessor* browseAccessor = nullptr;
    HACCESSOR browseAccessorHandle = DB_NULL_HACCESSOR;
    std::vector<DBBINDING> browseBindings;
    std::vector<BYTE> browseRowBuffer;
    HROW heldRows[browseBlockSize] = {};
    // Always points at heldRows, so GetNextRows writes the handles there and allocates nothing.
    HROW* heldRowsPointer = heldRows;
    bool blockInvalid = true;
    std::int32_t blockFirstRow = 0;
    // Read by GetNextRows at its own (pointer-sized) width.
    DBCOUNTITEM blockRowCount = 0;

private:
    // The clean-up that ends every connect: service objects released, the log line written,
    // and on failure the partial connection released.
    void finishConnect(TComPtr<IDBPromptInitialize>& prompt,
                       TComPtr<IDataInitialize>& dataInitialize, bool done);
    // Releases session and data source without logging; used where no disconnect can run.
    void releaseConnection();
    // After a failure of the data source itself (EQueryFailed, already shown): releases the
    // browsed table and the connection and ends disconnected, so that the window leaves this
    // communicator and the next page visit connects anew.
    void abandonConnection();
};
