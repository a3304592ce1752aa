// The database becoming unreadable under a connected communicator (its file overwritten with
// bytes that are no database): the probes and the prepare report the provider's error once and
// give the connection up, instead of answering "no table" or "no data"; a missing table still
// answers quietly.

#include "OperationsFixture.h"

#include "core/Messages.h"

#include <fstream>

namespace {

class LostConnectionTest : public OperationsTest {
protected:
    // Replaces the database file's bytes in place (the provider keeps its handle open), so
    // that the next read finds no database in it. Returns the old bytes.
    std::string garbleDatabase() {
        std::ifstream in(databasePath(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::fstream out(databasePath(), std::ios::binary | std::ios::in | std::ios::out);
        out << std::string(bytes.size(), '\x5a');
        return bytes;
    }
    void restoreDatabase(const std::string& bytes) {
        std::fstream out(databasePath(), std::ios::binary | std::ios::in | std::ios::out);
        out << bytes;
    }
    bool boxTellsNoDatabase(std::size_t i) const {
        return boxes.boxes().at(i).text.find("not a database") != std::string::npos;
    }
};

TEST_F(LostConnectionTest, AMissingTableIsStillAQuietAnswer) {
    auto communicator = connect();
    int columns = 0;
    int rows = 0;
    EXPECT_FALSE(communicator->tablesExist());
    EXPECT_FALSE(communicator->dataExist());
    EXPECT_FALSE(communicator->prepareTableForBrowsing(tiAccounts, columns, rows));
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_TRUE(communicator->isConnected());
}

TEST_F(LostConnectionTest, EachProbeReportsTheProvidersErrorOnceAndGivesTheConnectionUp) {
    {
        auto filler = connect();
        createAndFillQuickly(*filler, 100);
    }
    for (int probe = 0; probe < 2; ++probe) {
        SCOPED_TRACE(probe == 0 ? "tablesExist" : "dataExist");
        auto communicator = connect();
        const std::string bytes = garbleDatabase();
        boxes.clear();
        EXPECT_FALSE(probe == 0 ? communicator->tablesExist() : communicator->dataExist());
        ASSERT_EQ(boxes.count(), 1u);
        EXPECT_EQ(boxCaption(0), "OLE DB Error");
        EXPECT_TRUE(boxTellsNoDatabase(0)) << boxes.boxes()[0].text;
        EXPECT_FALSE(communicator->isConnected());
        EXPECT_THROW(communicator->tablesExist(), ECommunicator);
        EXPECT_EQ(boxes.count(), 1u);
        restoreDatabase(bytes);
    }
    // With the file whole again a new connection sees the data.
    auto again = connect();
    EXPECT_TRUE(again->tablesExist());
    EXPECT_TRUE(again->dataExist());
}

TEST_F(LostConnectionTest, APrepareThatLosesTheConnectionLeavesNoTablePrepared) {
    {
        auto filler = connect();
        createAndFillQuickly(*filler, 100);
    }
    auto communicator = connect();
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(communicator->prepareTableForBrowsing(tiAccounts, columns, rows));
    ASSERT_EQ(rows, 101);
    ASSERT_TRUE(communicator->unprepareTableForBrowsing(tiAccounts));
    const std::string bytes = garbleDatabase();
    log.lines.clear();

    EXPECT_FALSE(communicator->prepareTableForBrowsing(tiTellers, columns, rows));
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(boxTellsNoDatabase(0)) << boxes.boxes()[0].text;
    EXPECT_EQ(rows, 0);
    EXPECT_FALSE(communicator->isTablePrepared());
    EXPECT_EQ(communicator->browseRowset, nullptr);
    EXPECT_FALSE(communicator->isConnected());
    // The prepare still wrote its own log line, under its own name.
    EXPECT_EQ(logLinesOf(opPrepareTableForBrowsing()), 1);
    EXPECT_EQ(log.lines.size(), 1u);
    restoreDatabase(bytes);
}

} // namespace
