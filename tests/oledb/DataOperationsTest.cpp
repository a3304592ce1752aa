// Filling and emptying the benchmark tables on the SQLite provider, checked in the database
// file itself.

#include "OperationsFixture.h"

#include "core/Messages.h"

TEST_F(OperationsTest, GenerateDataWritesExactlyTheBenchmarkRows) {
    auto communicator = connect();
    ASSERT_TRUE(communicator->createTables());
    ASSERT_TRUE(communicator->generateData());
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(logLinesOf(opGenerateData()), 1);

    struct Expected {
        const char* table;
        const char* key;
        const char* balance;
        long long rows;
    };
    for (const Expected& e :
         {Expected{"branches", "Bid", "Bbalance", 1}, Expected{"tellers", "Tid", "Tbalance", 10},
          Expected{"accounts", "Aid", "Abalance", 100000}}) {
        const std::string table = e.table;
        SCOPED_TRACE(table);
        EXPECT_EQ(queryInt("SELECT COUNT(*) FROM " + table), e.rows);
        // Keys 0 .. n-1, each once.
        EXPECT_EQ(queryInt("SELECT COUNT(DISTINCT " + std::string(e.key) + ") FROM " + table),
                  e.rows);
        EXPECT_EQ(queryInt("SELECT MIN(" + std::string(e.key) + ") FROM " + table), 0);
        EXPECT_EQ(queryInt("SELECT MAX(" + std::string(e.key) + ") FROM " + table), e.rows - 1);
        EXPECT_EQ(queryInt("SELECT COUNT(*) FROM " + table + " WHERE Bid <> 0 OR Bid IS NULL"), 0);
        EXPECT_EQ(queryInt("SELECT COUNT(*) FROM " + table + " WHERE " + e.balance + " <> 0 OR " +
                           e.balance + " IS NULL"),
                  0);
        EXPECT_EQ(queryInt("SELECT COUNT(*) FROM " + table + " WHERE Remark = 'filler'"), e.rows);
    }
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM history"), 0);
    EXPECT_TRUE(communicator->dataExist());
}

TEST_F(OperationsTest, GenerateDataOnFilledSchemaSkipsEveryRowAndSucceeds) {
    auto communicator = connect();
    createAndFill(*communicator);
    sql("UPDATE tellers SET Remark = 'kept' WHERE Tid = 3");
    // Every INSERT meets a duplicate key; no box, all three passes commit, true.
    EXPECT_TRUE(communicator->generateData());
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM branches"), 1);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM tellers"), 10);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM accounts"), 100000);
    EXPECT_EQ(queryText("SELECT Remark FROM tellers WHERE Tid = 3"), "kept");
    EXPECT_EQ(logLinesOf(opGenerateData()), 2);
    // No transaction was left open: the file takes a write from another connection.
    EXPECT_EQ(sqlResult("INSERT INTO history (Tid, Bid, Aid, Delta) VALUES (1, 2, 3, 4)"), 0);
}

TEST_F(OperationsTest, GenerateDataWithoutTablesFailsWithOneBoxAndAborts) {
    auto communicator = connect();
    sql("CREATE TABLE branches (Bid INTEGER PRIMARY KEY, Bbalance INTEGER, Remark CHAR(91))");
    // tellers is missing: its INSERT cannot be prepared; branches stays committed.
    EXPECT_FALSE(communicator->generateData());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxCaption(0), "OLE DB Error");
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM branches"), 1);
    EXPECT_EQ(logLinesOf(opGenerateData()), 1);
    EXPECT_EQ(sqlResult("INSERT INTO branches (Bid, Bbalance, Remark) VALUES (5, 0, 'x')"), 0);
}

TEST_F(OperationsTest, ClearDataEmptiesEveryTable) {
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    sql("INSERT INTO history (Tid, Bid, Aid, Delta) VALUES (1, 0, 1, 5)");
    ASSERT_TRUE(communicator->clearData());
    for (const char* table : {"branches", "tellers", "accounts", "history"})
        EXPECT_EQ(queryInt("SELECT COUNT(*) FROM " + std::string(table)), 0) << table;
    EXPECT_FALSE(communicator->dataExist());
    // Already empty: all four statements still run.
    EXPECT_TRUE(communicator->clearData());
    EXPECT_EQ(logLinesOf(opClearData()), 2);
    EXPECT_EQ(logLinesOf(opDataExist()), 0);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationsTest, ClearDataStopsSilentlyAtAMissingTable) {
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    sql("INSERT INTO history (Tid, Bid, Aid, Delta) VALUES (1, 0, 1, 5)");
    sql("DROP TABLE accounts");
    EXPECT_FALSE(communicator->clearData());
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM history"), 0);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM tellers"), 10);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM branches"), 1);
    EXPECT_EQ(logLinesOf(opClearData()), 1);
}

TEST_F(OperationsTest, DataExistLooksAtBranchesOnly) {
    auto communicator = connect();
    EXPECT_FALSE(communicator->dataExist()); // no table at all: no box either
    ASSERT_TRUE(communicator->createTables());
    sql("INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (1, 0, 0, 'x')");
    EXPECT_FALSE(communicator->dataExist());
    sql("INSERT INTO branches (Bid, Bbalance, Remark) VALUES (0, 0, 'x')");
    EXPECT_TRUE(communicator->dataExist());
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationsTest, ClearDataReleasesTheBrowsedTableFirst) {
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(communicator->prepareTableForBrowsing(tiTellers, columns, rows));
    EXPECT_EQ(communicator->getDataForCell(4, 2), "filler");
    EXPECT_TRUE(communicator->clearData());
    EXPECT_FALSE(communicator->isTablePrepared());
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM tellers"), 0);
}
