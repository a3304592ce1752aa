// Emptying the benchmark tables with one DELETE per table, and the probe for data in them. No
// transaction of the bench's own encloses the DELETEs: tables emptied before a refused statement
// stay empty.

#include "oledb/OLEDBCommunicator.h"

#include "oledb/OperationSupport.h"

namespace {

constexpr TTableIndex clearOrder[] = {tiHistory, tiAccounts, tiTellers, tiBranches};

} // namespace

bool TOLEDBCommunicator::clearData() {
    TCommunicator::clearData();
    startTiming();
    TScopeExit stop([this] { stopTiming(); });
    try {
        for (TTableIndex table : clearOrder) {
            // A refused DELETE shows no box; it ends the sequence with false.
            if (!executeCommand(session, "DELETE FROM " + tableName(table), IID_NULL, nullptr,
                                nullptr, false))
                return false;
        }
        return true;
    } catch (const EResultException&) {
        return false;
    }
}

bool TOLEDBCommunicator::dataExist() {
    TCommunicator::dataExist();
    try {
        // Only branches is consulted.
        return countRows(session, tiBranches) != 0;
    } catch (const EQueryFailed&) {
        abandonConnection();
        return false;
    } catch (const EResultException&) {
        return false;
    }
}
