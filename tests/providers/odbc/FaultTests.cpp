// The server going away under the ODBC provider: PostgreSQL's test cluster stopped while the
// bench is connected through PostgreSQL's driver. These tests stop and start the shared test
// cluster, so CTest runs them alone.
#include "OdbcBench.h"

#include "../postgres/PgTestServer.h"

namespace {

using odbctest::Driver;

class OdbcServerFaults : public odbctest::BenchTest {
protected:
    void TearDown() override {
        // Whatever happened, the next tests need the server.
        if (!IsSkipped() && pgtest::queryText("SELECT 1") != "1") {
            EXPECT_TRUE(pgtest::startServer());
        }
        BenchTest::TearDown();
    }
};

TEST_P(OdbcServerFaults, StoppedWhileConnectedFailsCleanlyAndReconnects) {
    auto c = connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->createTables());
    ASSERT_TRUE(pgtest::stopServer());
    // The lost connection is told once, with the driver's words, and ends the connection;
    // nothing hangs or crashes.
    EXPECT_FALSE(c->tablesExist());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "OLE DB Error");
    EXPECT_NE(boxes[0].text.find("[SQLSTATE "), std::string::npos) << boxes[0].text;
    EXPECT_FALSE(c->isConnected());
    c.reset();

    ASSERT_TRUE(pgtest::startServer());
    boxes.clear();
    auto again = connect();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->tablesExist());
    ASSERT_TRUE(again->generateData());
    EXPECT_EQ(count("accounts"), "100000");
    EXPECT_EQ(boxes.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcServerFaults, ::testing::Values(Driver::PostgreSQL),
                         odbctest::DriverName());

} // namespace
