// PLACEHOLDER bodies for the table, data, browsing, information and conflict-test operations:
// each only runs the base steps. They keep the library linking until the real operations
// replace this file.

#include "oledb/OLEDBCommunicator.h"

bool TOLEDBCommunicator::canCreateTables() {
    return TCommunicator::canCreateTables();
}
bool TOLEDBCommunicator::canDropTables() {
    return TCommunicator::canDropTables();
}
bool TOLEDBCommunicator::isReadOnly() {
    return TCommunicator::isReadOnly();
}
bool TOLEDBCommunicator::createTables() {
    return TCommunicator::createTables();
}
bool TOLEDBCommunicator::dropTables() {
    return TCommunicator::dropTables();
}
bool TOLEDBCommunicator::tablesExist() {
    return TCommunicator::tablesExist();
}
bool TOLEDBCommunicator::generateData() {
    return TCommunicator::generateData();
}
bool TOLEDBCommunicator::clearData() {
    return TCommunicator::clearData();
}
bool TOLEDBCommunicator::dataExist() {
    return TCommunicator::dataExist();
}

bool TOLEDBCommunicator::prepareTableForBrowsing(TTableIndex tableIndex, int& columns, int& rows) {
    return TCommunicator::prepareTableForBrowsing(tableIndex, columns, rows);
}

bool TOLEDBCommunicator::unprepareTableForBrowsing(TTableIndex tableIndex) {
    return TCommunicator::unprepareTableForBrowsing(tableIndex);
}

std::string TOLEDBCommunicator::fetchCellData(int, int) {
    return std::string();
}

bool TOLEDBCommunicator::getInfo(TMemo* memo) {
    return TCommunicator::getInfo(memo);
}

bool TOLEDBCommunicator::testConcurrentEdit(std::uint8_t testType, TMemo* progress) {
    return TCommunicator::testConcurrentEdit(testType, progress);
}
