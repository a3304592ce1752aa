// The server going away under the bench: stopped during the load, restarted while a table is
// browsed. These tests stop and start the test cluster, so CTest runs them alone.
#include "BenchSupport.h"

#include "core/Messages.h"

#include <chrono>
#include <thread>

namespace {

class ServerFaults : public pgtest::BenchTest {
protected:
    void TearDown() override {
        // Whatever happened, the next tests need the server (unless there is none to use).
        if (!IsSkipped() && pgtest::queryText("SELECT 1") != "1") {
            EXPECT_TRUE(pgtest::startServer());
        }
        BenchTest::TearDown();
    }
};

TEST_F(ServerFaults, StoppedDuringTheLoad) {
    auto c = connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->createTables());
    // The accounts pass takes seconds; the server stops in the middle of it.
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        pgtest::stopServer();
    });
    const auto start = std::chrono::steady_clock::now();
    const bool loaded = c->generateData();
    stopper.join();
    EXPECT_FALSE(loaded);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    ASSERT_EQ(boxes.size(), 1u); // the failed commit; aborting the lost transaction succeeds
    EXPECT_EQ(boxes[0].caption, "OLE DB Error");
    EXPECT_EQ(logLines(opGenerateData()), 1);

    ASSERT_TRUE(pgtest::startServer());
    // The old connection is gone: its probe reports that once and gives the connection up.
    EXPECT_FALSE(c->tablesExist());
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(c->isConnected());
    c.reset();
    // A new connection works; the passes before the failure stayed committed.
    auto again = connect();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->tablesExist());
    EXPECT_EQ(count("branches"), "1");
    EXPECT_EQ(count("tellers"), "10");
    EXPECT_EQ(count("accounts"), "0");
}

TEST_F(ServerFaults, RestartedWhileATableIsBrowsed) {
    auto c = connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->createTables());
    ASSERT_EQ(query("INSERT INTO accounts SELECT g, 0, 0, 'filler' FROM "
                    "generate_series(0, 99999) g; SELECT 1"),
              "1");
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(c->prepareTableForBrowsing(2, columns, rows));
    EXPECT_EQ(c->cell(1, 1), "0");
    ASSERT_TRUE(pgtest::stopServer());
    ASSERT_TRUE(pgtest::startServer());
    // Rows of the batch the rowset holds stay readable; nothing crashes.
    EXPECT_EQ(c->cell(1, 1000), "999");
    // A row beyond it needs the server: the cell stays empty, nothing hangs or crashes.
    EXPECT_EQ(c->cell(1, 70000), "");
    EXPECT_TRUE(c->unprepareTableForBrowsing(2));
    // The next request needs the server: it fails (with at most one box), it does not hang.
    boxes.clear();
    EXPECT_FALSE(c->prepareTableForBrowsing(1, columns, rows));
    EXPECT_LE(boxes.size(), 1u);
    EXPECT_EQ(boxes.size(), 1u); // the lost connection, told once
    EXPECT_FALSE(c->isTablePrepared());
    EXPECT_FALSE(c->isConnected());
    auto again = connect();
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->prepareTableForBrowsing(2, columns, rows));
    EXPECT_EQ(rows, 100001);
}

// The server stopped as a crash would while the bench shows a table: each probe and the
// prepare of another table tell that once with the provider's error (not "no table"), and give
// the connection up; once the server is back a new connection finds everything in place.
TEST_F(ServerFaults, StoppedUnderTheBenchIsToldAsSuchNotAsMissingTables) {
    {
        auto filler = connect();
        ASSERT_TRUE(filler);
        ASSERT_TRUE(filler->createTables());
    }
    ASSERT_EQ(query("INSERT INTO branches VALUES (0, 0, 'filler'); INSERT INTO accounts SELECT g, "
                    "0, 0, 'filler' FROM generate_series(0, 999) g; SELECT 1"),
              "1");
    int columns = 0;
    int rows = 0;
    for (int step = 0; step < 3; ++step) {
        const char* const names[] = {"tablesExist", "dataExist", "prepareTableForBrowsing"};
        SCOPED_TRACE(names[step]);
        auto c = connect();
        ASSERT_TRUE(c);
        ASSERT_TRUE(c->prepareTableForBrowsing(2, columns, rows));
        ASSERT_EQ(rows, 1001);
        ASSERT_TRUE(c->unprepareTableForBrowsing(2)); // the tab is left
        ASSERT_TRUE(pgtest::stopServer(true));
        boxes.clear();
        bool answer = true;
        if (step == 0)
            answer = c->tablesExist();
        else if (step == 1)
            answer = c->dataExist();
        else
            answer = c->prepareTableForBrowsing(1, columns, rows);
        EXPECT_FALSE(answer);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "OLE DB Error");
        // The provider's own words about the connection, not a missing table's code.
        EXPECT_EQ(boxes[0].text.find("0x80040e37"), std::string::npos) << boxes[0].text;
        EXPECT_FALSE(c->isConnected());
        EXPECT_FALSE(c->isTablePrepared());
        if (step == 2) {
            EXPECT_EQ(rows, 0);
        }
        ASSERT_TRUE(pgtest::startServer());
    }
    auto again = connect();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->tablesExist());
    EXPECT_TRUE(again->dataExist());
    ASSERT_TRUE(again->prepareTableForBrowsing(2, columns, rows));
    EXPECT_EQ(rows, 1001);
    EXPECT_EQ(boxes.size(), 1u); // nothing more than the last failure
}

} // namespace
