// Creating, dropping and probing the four benchmark tables. Tables are made and removed through
// the session's ITableDefinition, not through SQL; no transaction encloses either, so tables
// handled before a failure stay as they are.

#include "oledb/OLEDBCommunicator.h"

#include "oledb/ComPtr.h"
#include "oledb/OperationSupport.h"
#include "oledb/SchemaDefinition.h"

#include <memory>

namespace {

constexpr TTableIndex creationOrder[] = {tiBranches, tiTellers, tiAccounts, tiHistory};
constexpr TTableIndex dropOrder[] = {tiHistory, tiAccounts, tiTellers, tiBranches};

} // namespace

bool TOLEDBCommunicator::createTables() {
    TCommunicator::createTables();
    startTiming();
    TScopeExit stop([this] { stopTiming(); });
    try {
        TComPtr<ITableDefinition> tableDefinition;
        checkHResult(session->QueryInterface(IID_ITableDefinition, tableDefinition.outVoid()));
        for (TTableIndex table : creationOrder) {
            auto definition = std::make_unique<TTableDefinition>(table);
            checkHResult(tableDefinition->CreateTable(
                nullptr, definition->tableId(), definition->columnCount(), definition->columns(),
                IID_NULL, 0, nullptr, nullptr, nullptr));
        }
        return true;
    } catch (const EResultException&) {
        return false;
    }
}

bool TOLEDBCommunicator::dropTables() {
    TCommunicator::dropTables();
    startTiming();
    TScopeExit stop([this] { stopTiming(); });
    try {
        TComPtr<ITableDefinition> tableDefinition;
        checkHResult(session->QueryInterface(IID_ITableDefinition, tableDefinition.outVoid()));
        for (TTableIndex table : dropOrder) {
            auto definition = std::make_unique<TTableDefinition>(table);
            checkHResult(tableDefinition->DropTable(definition->tableId()));
        }
        return true;
    } catch (const EResultException&) {
        return false;
    }
}

bool TOLEDBCommunicator::tablesExist() {
    TCommunicator::tablesExist();
    try {
        // Only branches is probed; the count itself is never read.
        return executeTableQuery(session, "SELECT COUNT(*) FROM " + tableName(tiBranches), IID_NULL,
                                 nullptr);
    } catch (const EQueryFailed&) {
        abandonConnection();
        return false;
    } catch (const EResultException&) {
        return false;
    }
}
