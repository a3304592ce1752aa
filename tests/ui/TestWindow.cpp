#include "TestWindow.h"

#include "ui/QtText.h"

#include <QApplication>
#include <stdexcept>

FakeCommunicator::FakeCommunicator(TCommunicatorOwner* owner, TMemo* log, FakeDataSource& source)
    : TCommunicator(owner, log), source(source) {
    ++source.alive;
}

FakeCommunicator::~FakeCommunicator() {
    if (connected)
        --source.openConnections;
    --source.alive;
}

bool FakeCommunicator::connect() {
    TCommunicator::connect();
    startTiming();
    ++source.connectAttempts;
    const QCursor* cursor = QApplication::overrideCursor();
    source.cursorBusyDuringConnect = cursor && cursor->shape() == Qt::WaitCursor;
    if (source.connectThrows) {
        stopTiming();
        throw std::runtime_error("driver crashed");
    }
    connected = source.reachable;
    if (connected)
        ++source.openConnections;
    stopTiming();
    return connected;
}

void FakeCommunicator::disconnect() {
    TCommunicator::disconnect();
    startTiming();
    connected = false;
    --source.openConnections;
    stopTiming();
}

bool FakeCommunicator::getInfo(TMemo* memo) {
    TCommunicator::getInfo(memo);
    startTiming();
    ++source.getInfoCalls;
    memo->addLine("visit " + std::to_string(source.getInfoCalls));
    stopTiming();
    return true;
}

bool FakeCommunicator::tablesExist() {
    TCommunicator::tablesExist();
    return source.tablesExist;
}

bool FakeCommunicator::dataExist() {
    TCommunicator::dataExist();
    return source.dataExist;
}

bool FakeCommunicator::isReadOnly() {
    TCommunicator::isReadOnly();
    return source.readOnly;
}

bool FakeCommunicator::canCreateTables() {
    TCommunicator::canCreateTables();
    source.calls.push_back("canCreate");
    return source.canCreate;
}

bool FakeCommunicator::canDropTables() {
    TCommunicator::canDropTables();
    source.calls.push_back("canDrop");
    return source.canDrop;
}

template <typename Change> bool FakeCommunicator::tableOperation(const char* name, Change change) {
    startTiming();
    source.calls.push_back(name);
    const QCursor* cursor = QApplication::overrideCursor();
    source.cursorBusyDuringOperation = cursor && cursor->shape() == Qt::WaitCursor;
    bool done = source.operationsSucceed;
    if (done)
        change();
    stopTiming();
    return done;
}

bool FakeCommunicator::createTables() {
    TCommunicator::createTables();
    return tableOperation("create", [&] { source.tablesExist = true; });
}

bool FakeCommunicator::dropTables() {
    TCommunicator::dropTables();
    return tableOperation("drop", [&] { source.tablesExist = source.dataExist = false; });
}

bool FakeCommunicator::generateData() {
    TCommunicator::generateData();
    return tableOperation("generate", [&] { source.dataExist = true; });
}

bool FakeCommunicator::clearData() {
    TCommunicator::clearData();
    return tableOperation("clear", [&] { source.dataExist = false; });
}

bool FakeCommunicator::prepareTableForBrowsing(TTableIndex table, int& colCount, int& rowCount) {
    TCommunicator::prepareTableForBrowsing(table, colCount, rowCount);
    source.calls.push_back("prepare " + std::to_string(table));
    if (!source.prepareSucceeds || !source.tablesExist || table >= tableCount) {
        preparedTable = noTable;
        return false;
    }
    preparedRowCount = source.dataExist ? source.filledRows[table] : 0;
    colCount = columnCount(table) + 1;
    rowCount = preparedRowCount + 1;
    return true;
}

bool FakeCommunicator::unprepareTableForBrowsing(TTableIndex table) {
    source.calls.push_back("unprepare " + std::to_string(table));
    return TCommunicator::unprepareTableForBrowsing(table);
}

void FakeCommunicator::listErrorMessages() {
    TCommunicator::listErrorMessages();
    ++source.listErrorCalls;
}

std::string FakeCommunicator::fetchCellData(int column, int row) {
    return std::to_string(column) + "/" + std::to_string(row);
}

TestWindow::TestWindow(FakeDataSource& source) : source(source) {
    setWindowTitle(QStringLiteral("Vantrel – zkušební okno"));
    FormCreate();
}

TestWindow::~TestWindow() {
    FormDestroy();
}

std::vector<std::string> TestWindow::logLines() const {
    std::vector<std::string> lines;
    const QString text = MeOpDuration->toPlainText();
    if (text.isEmpty())
        return lines;
    for (const QString& line : text.split(QLatin1Char('\n')))
        lines.push_back(fromQString(line));
    return lines;
}

std::unique_ptr<TCommunicator> TestWindow::createCommunicator() {
    return std::make_unique<FakeCommunicator>(this, operationLog(), source);
}
