// TOLEDBCommunicator: construction, destruction, connect (by connection string or through the
// provider's dialog) and disconnect.

#include "oledb/OLEDBCommunicator.h"

#include "oledb/ComPtr.h"
#include "oledb/OleString.h"

TOLEDBCommunicator::TOLEDBCommunicator(TCommunicatorOwner* owner, TMemo* logMemo,
                                       const std::string& connectionString,
                                       std::int32_t providerIndex)
    : TCommunicator(owner, logMemo), connectionString(connectionString),
      connectionStringPrompted(false), providerIndex(providerIndex) {}

// The window disconnects before it destroys a connected communicator; should that ever be
// missed, the OLE DB objects are still released here, without a log line.
TOLEDBCommunicator::~TOLEDBCommunicator() {
    if (connected && preparedTable != noTable) {
        try {
            unprepareTableForBrowsing(preparedTable);
        } catch (...) {
            // A destructor reports nothing; the base clears its own state below.
        }
    }
    releaseConnection();
}

void TOLEDBCommunicator::releaseConnection() {
    if (session != nullptr) {
        session->Release();
        session = nullptr;
    }
    if (dataSource != nullptr) {
        dataSource->Uninitialize();
        dataSource->Release();
        dataSource = nullptr;
    }
}

void TOLEDBCommunicator::abandonConnection() {
    // The operation that met the failure still writes its log line under its own name.
    const std::string failedOperation = operationName;
    if (connected && preparedTable != noTable)
        unprepareTableForBrowsing(preparedTable);
    releaseConnection();
    connected = false;
    operationName = failedOperation;
}

namespace {

// The window handle of the owner, the parent of the provider's dialog.
HWND ownerWindow(TCommunicatorOwner* owner) {
    return owner != nullptr ? static_cast<HWND>(owner->nativeWindowHandle()) : nullptr;
}

} // namespace

bool TOLEDBCommunicator::connect() {
    TCommunicator::connect();
    startTiming();
    TComPtr<IDataInitialize> dataInitialize;
    TComPtr<IDBPromptInitialize> prompt;
    bool done = false;
    try {
        checkHResult(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IDataInitialize, dataInitialize.outVoid()));
        if (!connectionString.empty()) {
            const TOleString initString = toOleString(connectionString);
            checkHResult(dataInitialize->GetDataSource(nullptr, CLSCTX_INPROC_SERVER,
                                                       initString.c_str(), IID_IDBInitialize,
                                                       reinterpret_cast<IUnknown**>(&dataSource)));
            connectionStringPrompted = false;
        } else {
            if (providerNames == nullptr || providerIndex < 0 ||
                static_cast<std::size_t>(providerIndex) >= providerNames->size()) {
                reportOleDbFailure("Pro připojení není vybrán žádný ovladač OLE DB.");
            }
            const TOleString progId = toOleString((*providerNames)[providerIndex]);
            CLSID providerClass;
            checkHResult(CLSIDFromProgID(progId.c_str(), &providerClass));
            checkHResult(dataInitialize->CreateDBInstance(
                providerClass, nullptr, CLSCTX_INPROC_SERVER, nullptr, IID_IDBInitialize,
                reinterpret_cast<IUnknown**>(&dataSource)));
            checkHResult(CoCreateInstance(CLSID_DataLinks, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IDBPromptInitialize, prompt.outVoid()));
            checkHResult(prompt->PromptDataSource(
                nullptr, ownerWindow(owner),
                DBPROMPTOPTIONS_PROPERTYSHEET | DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION, 0,
                nullptr, nullptr, IID_IDBInitialize, reinterpret_cast<IUnknown**>(&dataSource)));
            LPOLESTR initString = nullptr;
            checkHResult(dataInitialize->GetInitializationString(dataSource, TRUE, &initString));
            connectionString = fromOleString(initString);
            CoTaskMemFree(initString);
            connectionStringPrompted = true;
        }
        checkHResult(dataSource->Initialize());
        TComPtr<IDBCreateSession> createSession;
        checkHResult(dataSource->QueryInterface(IID_IDBCreateSession, createSession.outVoid()));
        checkHResult(createSession->CreateSession(nullptr, IID_IOpenRowset,
                                                  reinterpret_cast<IUnknown**>(&session)));
        connected = true;
        done = true;
    } catch (const EResultException&) {
        done = false;
    } catch (...) {
        finishConnect(prompt, dataInitialize, false);
        throw;
    }
    finishConnect(prompt, dataInitialize, done);
    return done;
}

void TOLEDBCommunicator::finishConnect(TComPtr<IDBPromptInitialize>& prompt,
                                       TComPtr<IDataInitialize>& dataInitialize, bool done) {
    prompt.reset();
    dataInitialize.reset();
    stopTiming();
    if (!done) {
        releaseConnection();
        connected = false;
    }
}

void TOLEDBCommunicator::disconnect() {
    TCommunicator::disconnect();
    startTiming();
    try {
        if (session != nullptr) {
            session->Release();
            session = nullptr;
        }
        if (dataSource != nullptr) {
            IDBInitialize* held = dataSource;
            dataSource = nullptr;
            // The data source is released even when the second reference cannot be had.
            struct TRelease {
                IDBInitialize* object;
                ~TRelease() { object->Release(); }
            } release{held};
            TComPtr<IDBInitialize> initialize;
            checkHResult(held->QueryInterface(IID_IDBInitialize, initialize.outVoid()));
            initialize->Uninitialize();
        }
    } catch (const EResultException&) {
        // Already shown; the communicator ends disconnected all the same.
    } catch (...) {
        stopTiming();
        connected = false;
        throw;
    }
    stopTiming();
    connected = false;
}
