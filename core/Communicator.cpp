#include "core/Communicator.h"

#include "core/Messages.h"
#include "core/Timing.h"

#include <string>

TCommunicator::TCommunicator(TCommunicatorOwner* owner, TMemo* logMemo)
    : lastDuration(0), operationName(), startTime(0), owner(owner), logMemo(logMemo),
      connected(false), preparedTable(noTable), preparedRowCount(0) {}

// A still-connected communicator runs its own disconnect steps here; the implementation's part
// is already gone, so the release is this class's own unprepare.
TCommunicator::~TCommunicator() {
    if (connected) {
        preparedTable = noTable;
        operationName = opDisconnect();
    }
}

void TCommunicator::checkConnected() const {
    if (!connected)
        throw ECommunicator(msgNotConnected());
}

bool TCommunicator::releasePreparedTable() {
    if (preparedTable == noTable)
        return true;
    return unprepareTableForBrowsing(preparedTable);
}

bool TCommunicator::connect() {
    operationName = opConnect();
    connected = false;
    return false;
}

void TCommunicator::disconnect() {
    checkConnected();
    releasePreparedTable(); // a failed release does not stop a disconnect
    operationName = opDisconnect();
}

bool TCommunicator::canCreateTables() {
    operationName = opCanCreateTables();
    checkConnected();
    return false;
}

bool TCommunicator::canDropTables() {
    operationName = opCanDropTables();
    checkConnected();
    return false;
}

bool TCommunicator::isReadOnly() {
    operationName = opIsReadOnly();
    checkConnected();
    return false;
}

bool TCommunicator::createTables() {
    operationName = opCreateTables();
    checkConnected();
    return false;
}

bool TCommunicator::dropTables() {
    checkConnected();
    if (!releasePreparedTable())
        throw ECommunicator(msgUnprepareFailed());
    operationName = opDropTables();
    return false;
}

bool TCommunicator::tablesExist() {
    operationName = opTablesExist();
    checkConnected();
    return false;
}

bool TCommunicator::generateData() {
    operationName = opGenerateData();
    checkConnected();
    return false;
}

bool TCommunicator::clearData() {
    checkConnected();
    if (!releasePreparedTable())
        throw ECommunicator(msgUnprepareFailed());
    operationName = opClearData();
    return false;
}

bool TCommunicator::dataExist() {
    operationName = opDataExist();
    checkConnected();
    return false;
}

bool TCommunicator::prepareTableForBrowsing(TTableIndex table, int& colCount, int& rowCount) {
    if (!releasePreparedTable())
        throw ECommunicator(msgUnprepareFailed());
    operationName = opPrepareTableForBrowsing();
    checkConnected();
    colCount = 0;
    rowCount = 0;
    preparedTable = table;
    return true;
}

std::string TCommunicator::getDataForCell(int column, int row) {
    operationName = opGetDataForCell();
    checkConnected();
    // No grid has negative cells; they never reach the layer.
    if (column < 0 || row < 0)
        return std::string();
    if (column == 0)
        return row == 0 ? std::string() : std::to_string(row);
    if (row > preparedRowCount)
        return std::string();
    if (row == 0) {
        const std::string& name = columnName(preparedTable, column);
        return name.empty() ? litUnknown() : name;
    }
    return fetchCellData(column, row);
}

bool TCommunicator::unprepareTableForBrowsing(TTableIndex) {
    operationName = opUnprepareTableForBrowsing();
    checkConnected();
    preparedTable = noTable;
    return true;
}

bool TCommunicator::getInfo(TMemo*) {
    operationName = opGetInfo();
    checkConnected();
    return true;
}

bool TCommunicator::testConcurrentEdit(std::uint8_t, TMemo*) {
    operationName = opTestConcurrentEdit();
    checkConnected();
    return false;
}

void TCommunicator::listErrorMessages() {
    operationName = opListErrorMessages();
    checkConnected();
}

void TCommunicator::startTiming() {
    lastDuration = 0;
    startTime = nowAsDateTime();
    monotonicStart = std::chrono::steady_clock::now();
    timing = true;
}

void TCommunicator::stopTiming() {
    long long elapsedMs = 0;
    if (timing) {
        auto elapsed = std::chrono::steady_clock::now() - monotonicStart;
        elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    }
    timing = false;
    lastDuration = static_cast<double>(elapsedMs) / millisecondsPerDay;
    if (logMemo)
        logMemo->addLine(operationName + litNameSeparator() + formatDuration(lastDuration));
}
