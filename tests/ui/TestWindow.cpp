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
