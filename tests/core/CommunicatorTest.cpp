#include "core/Communicator.h"
#include "core/Messages.h"
#include "core/Timing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class VectorMemo : public TMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

// A layer that does its work instantly and records what the base class calls on it.
class RecordingCommunicator : public TCommunicator {
public:
    explicit RecordingCommunicator(TMemo* log) : TCommunicator(nullptr, log) {}

    bool connect() override {
        TCommunicator::connect();
        startTiming();
        connected = connectSucceeds;
        stopTiming();
        return connected;
    }
    void disconnect() override {
        TCommunicator::disconnect();
        connected = false;
    }
    bool prepareTableForBrowsing(TTableIndex table, int& colCount, int& rowCount) override {
        calls.push_back("prepare " + std::to_string(table));
        TCommunicator::prepareTableForBrowsing(table, colCount, rowCount);
        preparedRowCount = rowsToReport;
        colCount = columnCount(table) + 1;
        rowCount = rowsToReport + 1;
        return true;
    }
    bool unprepareTableForBrowsing(TTableIndex table) override {
        calls.push_back("unprepare " + std::to_string(table));
        if (!unprepareSucceeds)
            return false;
        return TCommunicator::unprepareTableForBrowsing(table);
    }
    // A measured operation whose layer work fails with an exception.
    bool createTables() override {
        TCommunicator::createTables();
        startTiming();
        struct Stop {
            RecordingCommunicator* c;
            ~Stop() { c->stopTiming(); }
        } stop{this};
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
        if (createThrows)
            throw std::runtime_error("layer failed");
        return true;
    }

    std::string fetchCellData(int column, int row) override {
        calls.push_back("fetch " + std::to_string(column) + "," + std::to_string(row));
        return "data";
    }

    const std::string& name() const { return operationName; }
    double duration() const { return lastDuration; }
    double started() const { return startTime; }
    TTableIndex prepared() const { return preparedTable; }
    void forceConnected(bool value) { connected = value; }

    bool connectSucceeds = true;
    bool unprepareSucceeds = true;
    bool createThrows = false;
    int sleepMs = 0;
    int rowsToReport = 10;
    std::vector<std::string> calls;
};

class CommunicatorTest : public ::testing::Test {
protected:
    VectorMemo log;
    RecordingCommunicator c{&log};
};

TEST_F(CommunicatorTest, StartsDisconnectedWithNothingPrepared) {
    EXPECT_FALSE(c.isConnected());
    EXPECT_FALSE(c.isTablePrepared());
    EXPECT_EQ(c.name(), "");
    EXPECT_EQ(c.duration(), 0.0);
}

TEST_F(CommunicatorTest, CellRulesForPreparedBranches) {
    ASSERT_TRUE(c.connect());
    int cols = 0, rows = 0;
    ASSERT_TRUE(c.prepareTableForBrowsing(tiBranches, cols, rows));
    EXPECT_EQ(cols, 4);
    EXPECT_EQ(rows, 11);
    EXPECT_EQ(c.getDataForCell(0, 0), "");
    EXPECT_EQ(c.getDataForCell(0, 7), "7");
    EXPECT_EQ(c.getDataForCell(0, 11), "11"); // the row-number column has no upper bound
    EXPECT_EQ(c.getDataForCell(2, 0), "Bbalance");
    EXPECT_EQ(c.getDataForCell(4, 0), "Unknown");
    EXPECT_EQ(c.getDataForCell(1, 11), "");
    c.calls.clear();
    EXPECT_EQ(c.getDataForCell(-1, 3), "");
    EXPECT_EQ(c.getDataForCell(0, -2), "");
    EXPECT_TRUE(c.calls.empty());
    EXPECT_EQ(c.getDataForCell(1, 5), "data");
    EXPECT_EQ(c.calls, std::vector<std::string>{"fetch 1,5"});
    EXPECT_EQ(c.name(), opGetDataForCell());
}

TEST_F(CommunicatorTest, HeadersAreUnknownWithNothingPrepared) {
    ASSERT_TRUE(c.connect());
    EXPECT_EQ(c.getDataForCell(1, 0), "Unknown");
    EXPECT_EQ(c.getDataForCell(3, 0), "Unknown");
    // No table prepared means no data rows either: nothing reaches the layer.
    EXPECT_EQ(c.getDataForCell(1, 1), "");
    EXPECT_TRUE(c.calls.empty());
}

TEST_F(CommunicatorTest, EveryOperationButConnectNeedsAConnection) {
    int cols = 0, rows = 0;
    auto expectNotConnected = [&](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const ECommunicator& e) {
            EXPECT_EQ(e.message(), msgNotConnected());
            EXPECT_STREQ(e.what(), msgNotConnected().c_str());
        }
    };
    expectNotConnected([&] { c.getDataForCell(0, 0); });
    expectNotConnected([&] { c.getDataForCell(2, 3); });
    expectNotConnected([&] { c.canCreateTables(); });
    expectNotConnected([&] { c.TCommunicator::createTables(); });
    expectNotConnected([&] { c.generateData(); });
    expectNotConnected([&] { c.getInfo(nullptr); });
    expectNotConnected([&] { c.testConcurrentEdit(0, nullptr); });
    expectNotConnected([&] { c.listErrorMessages(); });
    expectNotConnected([&] { c.prepareTableForBrowsing(1, cols, rows); });
    EXPECT_FALSE(c.isTablePrepared());
    expectNotConnected([&] { c.unprepareTableForBrowsing(1); });
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(CommunicatorTest, SomeOperationsNameThemselvesBeforeTheCheckOthersAfter) {
    auto nameAfterFailure = [&](auto&& call) {
        c.forceConnected(true);
        c.TCommunicator::connect(); // leaves the connect name, disconnected
        EXPECT_THROW(call(), ECommunicator);
        return c.name();
    };
    EXPECT_EQ(nameAfterFailure([&] { c.isReadOnly(); }), opIsReadOnly());
    EXPECT_EQ(nameAfterFailure([&] { c.tablesExist(); }), opTablesExist());
    EXPECT_EQ(nameAfterFailure([&] { c.dataExist(); }), opDataExist());
    EXPECT_EQ(nameAfterFailure([&] { c.canDropTables(); }), opCanDropTables());
    int cols, rows;
    EXPECT_EQ(nameAfterFailure([&] { c.prepareTableForBrowsing(0, cols, rows); }),
              opPrepareTableForBrowsing());
    // Check first: the name stays what it was.
    EXPECT_EQ(nameAfterFailure([&] { c.disconnect(); }), opConnect());
    EXPECT_EQ(nameAfterFailure([&] { c.dropTables(); }), opConnect());
    EXPECT_EQ(nameAfterFailure([&] { c.clearData(); }), opConnect());
}

TEST_F(CommunicatorTest, PreparingAnotherTableReleasesTheOldOneFirst) {
    ASSERT_TRUE(c.connect());
    int cols = 0, rows = 0;
    c.prepareTableForBrowsing(tiBranches, cols, rows);
    c.calls.clear();
    c.prepareTableForBrowsing(tiAccounts, cols, rows);
    EXPECT_EQ(c.calls, (std::vector<std::string>{"prepare 2", "unprepare 0"}));
    EXPECT_EQ(c.prepared(), tiAccounts);
    EXPECT_EQ(c.name(), opPrepareTableForBrowsing());
}

TEST_F(CommunicatorTest, DropAndClearReleaseAndTakeTheirOwnName) {
    ASSERT_TRUE(c.connect());
    int cols = 0, rows = 0;
    c.prepareTableForBrowsing(tiHistory, cols, rows);
    c.calls.clear();
    EXPECT_FALSE(c.dropTables());
    EXPECT_EQ(c.calls, std::vector<std::string>{"unprepare 3"});
    EXPECT_FALSE(c.isTablePrepared());
    EXPECT_EQ(c.name(), opDropTables());
    c.calls.clear();
    EXPECT_FALSE(c.clearData()); // nothing prepared: no release
    EXPECT_TRUE(c.calls.empty());
    EXPECT_EQ(c.name(), opClearData());
}

TEST_F(CommunicatorTest, AFailedReleaseStopsTheOperationButNotADisconnect) {
    ASSERT_TRUE(c.connect());
    int cols = 0, rows = 0;
    c.prepareTableForBrowsing(tiTellers, cols, rows);
    c.unprepareSucceeds = false;
    for (auto call : std::vector<std::function<void()>>{
             [&] { c.dropTables(); }, [&] { c.clearData(); },
             [&] { c.prepareTableForBrowsing(tiBranches, cols, rows); }}) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const ECommunicator& e) {
            EXPECT_EQ(e.message(), msgUnprepareFailed());
        }
        EXPECT_EQ(c.prepared(), tiTellers);
    }
    c.disconnect();
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(c.name(), opDisconnect());
}

TEST_F(CommunicatorTest, MeasuredOperationLogsNameAndDuration) {
    ASSERT_TRUE(c.connect());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind(opConnect() + ": 0:00:00:", 0), 0u) << log.lines[0];
    c.sleepMs = 30;
    double before = nowAsDateTime();
    ASSERT_TRUE(c.createTables());
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_GE(c.started(), before - 1.0 / 86400000);
    double ms = c.duration() * 86400000.0;
    EXPECT_GE(ms, 29.5);
    EXPECT_LT(ms, 5000.0);
    EXPECT_EQ(log.lines[1].substr(0, opCreateTables().size() + 2), opCreateTables() + ": ");
    EXPECT_EQ(log.lines[1].substr(opCreateTables().size() + 2), formatDuration(c.duration()));
}

TEST_F(CommunicatorTest, FailedMeasuredOperationStillLogs) {
    c.connectSucceeds = false;
    EXPECT_FALSE(c.connect());
    EXPECT_EQ(log.lines.size(), 1u);
    c.forceConnected(true);
    c.createThrows = true;
    EXPECT_THROW(c.createTables(), std::runtime_error);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[1].rfind(opCreateTables() + ": ", 0), 0u);
}

TEST_F(CommunicatorTest, AnInstantOperationLogsZero) {
    // An operation with no work measures 0 ms; retried in case the scheduler steps in.
    bool sawZero = false;
    for (int attempt = 0; attempt < 5 && !sawZero; ++attempt) {
        log.clear();
        c.connect();
        sawZero = log.lines.at(0) == opConnect() + ": 0:00:00:000" && c.duration() == 0.0;
    }
    EXPECT_TRUE(sawZero) << log.lines.at(0);
}

} // namespace
