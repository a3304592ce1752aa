// Capability probes and creating, dropping and probing the benchmark tables on the SQLite
// provider.

#include "OperationsFixture.h"

#include "core/Messages.h"

TEST_F(OperationsTest, ProbesAnswerWithoutBoxOrLogLine) {
    auto communicator = connect();
    const std::size_t linesAfterConnect = log.lines.size();
    EXPECT_TRUE(communicator->canCreateTables());
    EXPECT_TRUE(communicator->canDropTables());
    EXPECT_FALSE(communicator->isReadOnly());
    EXPECT_FALSE(communicator->tablesExist());
    EXPECT_FALSE(communicator->dataExist());
    EXPECT_EQ(log.lines.size(), linesAfterConnect);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationsTest, ReadOnlySourceIsReportedReadOnly) {
    {
        auto writer = connect();
        ASSERT_TRUE(writer->createTables());
    }
    auto communicator = connect("Mode=Read");
    EXPECT_TRUE(communicator->isReadOnly());
    EXPECT_TRUE(communicator->tablesExist());
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationsTest, OperationsOnDisconnectedCommunicatorRaiseWithoutLogLine) {
    TOperationsCommunicator communicator(&owner, &log, sqliteConnectionString(), 0);
    for (auto operation : {&TOLEDBCommunicator::canCreateTables, &TOLEDBCommunicator::canDropTables,
                           &TOLEDBCommunicator::isReadOnly, &TOLEDBCommunicator::createTables,
                           &TOLEDBCommunicator::dropTables, &TOLEDBCommunicator::tablesExist,
                           &TOLEDBCommunicator::generateData, &TOLEDBCommunicator::clearData,
                           &TOLEDBCommunicator::dataExist}) {
        try {
            (communicator.*operation)();
            ADD_FAILURE() << "no exception";
        } catch (const ECommunicator& error) {
            EXPECT_EQ(error.message(), msgNotConnected());
        }
    }
    TVectorMemo memo;
    EXPECT_THROW(communicator.getInfo(&memo), ECommunicator);
    EXPECT_THROW(communicator.testConcurrentEdit(0, &memo), ECommunicator);
    int columns = 0;
    int rows = 0;
    EXPECT_THROW(communicator.prepareTableForBrowsing(tiBranches, columns, rows), ECommunicator);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(OperationsTest, CreateTablesBuildsTheSchemaAndDropRemovesIt) {
    auto communicator = connect();
    ASSERT_TRUE(communicator->createTables());
    for (const char* table : {"branches", "tellers", "accounts", "history"})
        EXPECT_TRUE(tableExists(table)) << table;
    EXPECT_TRUE(communicator->tablesExist());

    // Keys are enforced on the three keyed tables, NOT NULL on the integer columns, and the
    // text columns take their full width.
    sql("INSERT INTO tellers (Tid, Bid, Tbalance, Remark) VALUES (1, 0, 0, 'a')");
    EXPECT_NE(sqlResult("INSERT INTO tellers (Tid, Bid, Tbalance) VALUES (1, 0, 0)"), 0);
    EXPECT_NE(sqlResult("INSERT INTO accounts (Aid, Bid, Abalance) VALUES (1, NULL, 0)"), 0);
    sql("INSERT INTO history (Tid, Bid, Aid, Delta) VALUES (1, 1, 1, 1)");
    sql("INSERT INTO history (Tid, Bid, Aid, Delta) VALUES (1, 1, 1, 1)");
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM history"), 2);

    ASSERT_TRUE(communicator->dropTables());
    for (const char* table : {"branches", "tellers", "accounts", "history"})
        EXPECT_FALSE(tableExists(table)) << table;
    EXPECT_FALSE(communicator->tablesExist());
    EXPECT_EQ(logLinesOf(opCreateTables()), 1);
    EXPECT_EQ(logLinesOf(opDropTables()), 1);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationsTest, CreateTablesStopsAtTheFirstExistingTable) {
    auto communicator = connect();
    ASSERT_TRUE(communicator->createTables());
    // All four exist: the first CreateTable fails, nothing changes.
    EXPECT_FALSE(communicator->createTables());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxCaption(0), "OLE DB Error");
    EXPECT_EQ(logLinesOf(opCreateTables()), 2);

    // Only tellers exists: branches is created and stays, accounts and history are not tried.
    ASSERT_TRUE(communicator->dropTables());
    sql("CREATE TABLE tellers (x INTEGER)");
    boxes.clear();
    EXPECT_FALSE(communicator->createTables());
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(tableExists("branches"));
    EXPECT_FALSE(tableExists("accounts"));
    EXPECT_FALSE(tableExists("history"));
    EXPECT_EQ(logLinesOf(opCreateTables()), 3);
}

TEST_F(OperationsTest, DropTablesWithHistoryMissingDropsNothing) {
    auto communicator = connect();
    ASSERT_TRUE(communicator->createTables());
    sql("DROP TABLE history");
    EXPECT_FALSE(communicator->dropTables());
    EXPECT_EQ(boxes.count(), 1u);
    for (const char* table : {"branches", "tellers", "accounts"})
        EXPECT_TRUE(tableExists(table)) << table;
    EXPECT_EQ(logLinesOf(opDropTables()), 1);
}

TEST_F(OperationsTest, TablesExistProbesBranchesOnly) {
    auto communicator = connect();
    sql("CREATE TABLE branches (Bid INTEGER)");
    EXPECT_TRUE(communicator->tablesExist());
    sql("DROP TABLE branches");
    sql("CREATE TABLE tellers (Tid INTEGER)");
    sql("CREATE TABLE accounts (Aid INTEGER)");
    sql("CREATE TABLE history (Tid INTEGER)");
    EXPECT_FALSE(communicator->tablesExist());
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(logLinesOf(opTablesExist()), 0);
}

TEST_F(OperationsTest, DropTablesReleasesTheBrowsedTableFirst) {
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(communicator->prepareTableForBrowsing(tiAccounts, columns, rows));
    EXPECT_EQ(communicator->getDataForCell(1, 5), "4");
    // The held rows and the open rowset would keep accounts from being dropped.
    EXPECT_TRUE(communicator->dropTables());
    EXPECT_FALSE(communicator->isTablePrepared());
    EXPECT_EQ(communicator->browseRowset, nullptr);
    EXPECT_FALSE(tableExists("accounts"));
    EXPECT_EQ(boxes.count(), 0u);
}
