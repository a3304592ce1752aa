// What the bench-level provider tests share, whatever the provider: TOLEDBCommunicator with its
// OLE DB environment, message boxes recorded instead of shown, the operation log, and the
// checks of the sequence a user runs and of the conflict test's lines.
#pragma once

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "oledb/OLEDBCommunicator.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace benchtest {

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

// Mixed into a test fixture: startBench() in its SetUp, stopBench() in its TearDown.
class BenchHarness {
public:
    void startBench();
    void stopBench();

    // A communicator over an initialisation string, not yet connected.
    std::unique_ptr<BenchCommunicator> communicatorFor(const std::string& initString);
    // A connected communicator, or nullptr after a failed connect (reported as a failure).
    std::unique_ptr<BenchCommunicator> connectWith(const std::string& initString);
    // The text of the only box a failed connect showed (and that it was the only one).
    std::string refusedWith(const std::string& initString);
    // Operation-log lines of one operation.
    int logLines(const std::string& operationName) const;
    // The last box's text, for failure messages.
    std::string lastBox() const { return boxes.empty() ? std::string() : boxes.back().text; }

    std::vector<RecordedBox> boxes;
    TestMemo log;

private:
    class Owner : public TCommunicatorOwner {
    public:
        void* nativeWindowHandle() override { return this; }
    } owner_;
    bool environment_ = false;
};

// The first cell of a query on the test's database, straight from the database.
using DirectQuery = std::function<std::string(const std::string& sql)>;

// The sequence a user runs on an empty database: create, fill, fill again (every row refused
// by its key, no box), browse the accounts both ways, clear, drop.
void expectWholeSequence(BenchHarness& bench, BenchCommunicator& c, const DirectQuery& query);

// Runs the conflict test of `type` on tellers holding 'filler' and expects side 2 refused with
// an error dump starting with HResult `refusal` ("0x80040e38"), the rows restored, no box.
void expectConflictRefused(BenchHarness& bench, BenchCommunicator& c, std::uint8_t type,
                           const std::string& refusal, const DirectQuery& query);

} // namespace benchtest
