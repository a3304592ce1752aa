// What the bench-level tests share: the OLE DB environment, message boxes recorded instead of
// shown, the operation log, and TOLEDBCommunicator connected to the provider on the test
// server (in the test's own schema).
#pragma once

#include "PgTestServer.h"

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "oledb/OLEDBCommunicator.h"

#include <memory>
#include <string>
#include <vector>

namespace pgtest {

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

class BenchTest : public ServerTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connected communicator (nullptr after a failed connect, which the test checks).
    std::unique_ptr<BenchCommunicator> connect(const std::string& extra = "");
    // A communicator over a connection string of the caller's, not yet connected.
    std::unique_ptr<BenchCommunicator> communicatorFor(const std::string& connectionString);
    // The row count of a benchmark table in the test's schema, straight from the server.
    std::string count(const std::string& table) const;
    // A query in the test's schema, straight from the server.
    std::string query(const std::string& sql) const;
    // Operation-log lines of one operation.
    int logLines(const std::string& operationName) const;

    std::vector<RecordedBox> boxes;
    TestMemo log;

private:
    class Owner : public TCommunicatorOwner {
    public:
        void* nativeWindowHandle() override { return this; }
    } owner_;
    bool environment_ = false;
};

} // namespace pgtest
