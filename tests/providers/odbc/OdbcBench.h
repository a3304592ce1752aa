// TOLEDBCommunicator on the ODBC provider over one driver: the OLE DB environment, message
// boxes recorded instead of shown, and the operation log.
#pragma once

#include "OdbcTargets.h"

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "oledb/OLEDBCommunicator.h"

#include <memory>
#include <string>
#include <vector>

namespace odbctest {

class TestMemo : public TMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

struct RecordedBox {
    std::string text; // cp1250
    std::string caption;
};

// The communicator with its cell reading open to the tests; disconnects when destroyed.
class BenchCommunicator : public TOLEDBCommunicator {
public:
    using TOLEDBCommunicator::TOLEDBCommunicator;
    ~BenchCommunicator() override {
        if (isConnected())
            disconnect();
    }
    std::string cell(int column, int row) { return fetchCellData(column, row); }
};

class BenchTest : public DriverTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connected communicator on the test's database (nullptr after a failed connect, which
    // the test then reports).
    std::unique_ptr<BenchCommunicator> connect(const std::string& extra = "");
    std::unique_ptr<BenchCommunicator> communicatorFor(const std::string& initString);
    int logLines(const std::string& operationName) const;
    // The text of the only box a failed connect showed (and that it was the only one).
    std::string refusedWith(const std::string& initString);

    std::vector<RecordedBox> boxes;
    TestMemo log;

private:
    class Owner : public TCommunicatorOwner {
    public:
        void* nativeWindowHandle() override { return this; }
    } owner_;
    bool environment_ = false;
};

} // namespace odbctest
