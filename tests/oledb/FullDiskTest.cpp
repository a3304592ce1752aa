// The load on a disk that fills up: a real 600 KB file system (tmpfs) under the SQLite database.
// SQLite rolls the transaction back itself when a write fails; the bench must then show one box,
// keep only whole passes in the tables, and go on working once there is space again.

#include "OperationsFixture.h"

#include "core/Messages.h"

#include <sqlite3.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

class FullDiskTest : public OperationsTest {
protected:
    void SetUp() override {
        OperationsTest::SetUp();
        smallDirectory = directory + "/small";
        std::filesystem::create_directory(smallDirectory);
        if (mount("tmpfs", smallDirectory.c_str(), "tmpfs", 0, "size=600k,mode=0700") != 0)
            GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            umount2(smallDirectory.c_str(), MNT_DETACH);
        OperationsTest::TearDown();
    }

    // Gives the file system room for the whole load.
    void makeRoom() {
        ASSERT_EQ(mount("tmpfs", smallDirectory.c_str(), "tmpfs", MS_REMOUNT, "size=64m"), 0)
            << std::strerror(errno);
    }
    std::string smallDatabase() const { return smallDirectory + "/bench.db"; }

    // Row count of a table, read straight from the file on a connection of its own (one that
    // may write: a journal left by the failed spill is rolled back by the next reader).
    long long rowsIn(const std::string& table) {
        sqlite3* db = nullptr;
        long long count = -1;
        if (sqlite3_open_v2(smallDatabase().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            const std::string query = "SELECT COUNT(*) FROM " + table;
            if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_ROW)
                count = sqlite3_column_int64(statement, 0);
            else
                ADD_FAILURE() << query << ": " << sqlite3_errmsg(db);
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
        return count;
    }

    std::string smallDirectory;
    bool mounted = false;
};

TEST_F(FullDiskTest, TheLoadStopsWithOneBoxAndTheBenchGoesOnOnceThereIsRoom) {
    auto communicator = connectWith("Provider=Vantrel.SQLite.1;Data Source=" + smallDatabase());
    ASSERT_TRUE(communicator->isConnected());
    ASSERT_TRUE(communicator->createTables());
    ASSERT_EQ(boxes.count(), 0u);

    EXPECT_FALSE(communicator->generateData());
    // The full disk is told once; the end of the transaction SQLite already rolled back is no
    // second failure.
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxCaption(0), "OLE DB Error");
    EXPECT_NE(boxes.boxes()[0].text.find("full"), std::string::npos) << boxes.boxes()[0].text;
    EXPECT_EQ(logLinesOf(opGenerateData()), 1);
    // Whole passes only: the small ones went in, none of the accounts the full disk stopped.
    EXPECT_EQ(rowsIn("branches"), 1);
    EXPECT_EQ(rowsIn("tellers"), 10);
    EXPECT_EQ(rowsIn("accounts"), 0);

    // The same connection goes on: probes, clearing, dropping, and the load once there is room.
    boxes.clear();
    EXPECT_TRUE(communicator->tablesExist());
    EXPECT_TRUE(communicator->dataExist());
    EXPECT_TRUE(communicator->clearData());
    EXPECT_FALSE(communicator->dataExist());
    EXPECT_TRUE(communicator->dropTables());
    makeRoom();
    ASSERT_TRUE(communicator->createTables());
    EXPECT_TRUE(communicator->generateData());
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(rowsIn("accounts"), 100000);
}

TEST_F(FullDiskTest, RowsAfterTheEngineEndedTheTransactionAreNotCommittedOnTheirOwn) {
    // A tiny page cache spills to the file in the middle of the accounts pass, so the disk
    // fills at an INSERT and not at the commit; the INSERTs that follow must not run in
    // autocommit mode.
    auto communicator = connectWith("Provider=Vantrel.SQLite.1;Data Source=" + smallDatabase() +
                                    ";Extended Properties=\"cache_size=8\"");
    ASSERT_TRUE(communicator->isConnected());
    ASSERT_TRUE(communicator->createTables());
    EXPECT_FALSE(communicator->generateData());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_NE(boxes.boxes()[0].text.find("full"), std::string::npos) << boxes.boxes()[0].text;
    EXPECT_EQ(rowsIn("branches"), 1);
    EXPECT_EQ(rowsIn("tellers"), 10);
    EXPECT_EQ(rowsIn("accounts"), 0);
}

} // namespace
