// The communicator's operations when the provider fails a call part-way: one box, the clean-up,
// the failure value, and what stays in the database. The SQLite provider is wrapped by the test
// provider that fails named calls on demand.

#include "OperationsFixture.h"

#include "support/FailingProvider.h"

#include "core/Messages.h"
#include "core/Text.h"

class OperationFailuresTest : public OperationsTest {
protected:
    void SetUp() override {
        OperationsTest::SetUp();
        registration = std::make_unique<failing::TRegistration>();
    }
    void TearDown() override {
        registration.reset();
        OperationsTest::TearDown();
    }
    std::unique_ptr<TOperationsCommunicator> connectFailing() {
        return connectWith(failing::connectionString(databasePath()));
    }
    // The schema, created and filled through the plain provider.
    void filledSchema() {
        auto plain = connect();
        createAndFillQuickly(*plain, 1000);
    }

    std::unique_ptr<failing::TRegistration> registration;
};

TEST_F(OperationFailuresTest, GenerateDataFailingToDescribeParametersInsertsNothing) {
    {
        auto plain = connect();
        ASSERT_TRUE(plain->createTables());
    }
    auto communicator = connectFailing();
    failing::failCall("ICommandWithParameters::GetParameterInfo", E_FAIL);
    EXPECT_FALSE(communicator->generateData());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxCaption(0), "OLE DB Error");
    EXPECT_NE(boxes.boxes()[0].text.find("Failure on demand"), std::string::npos);
    EXPECT_EQ(failing::callCount("ITransactionLocal::StartTransaction"), 1);
    EXPECT_EQ(failing::callCount("ITransaction::Commit"), 0);
    EXPECT_EQ(failing::callCount("ITransaction::Abort"), 1);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM branches"), 0);
    EXPECT_EQ(logLinesOf(opGenerateData()), 1);
    // The pass was aborted, not left open: another connection can write.
    EXPECT_EQ(sqlResult("INSERT INTO branches (Bid, Bbalance, Remark) VALUES (7, 0, 'x')"), 0);
}

TEST_F(OperationFailuresTest, GenerateDataFailingInTheAccountsPassKeepsTheEarlierPasses) {
    {
        auto plain = connect();
        ASSERT_TRUE(plain->createTables());
    }
    auto communicator = connectFailing();
    failing::failCall("ICommandWithParameters::GetParameterInfo", E_FAIL, 2);
    EXPECT_FALSE(communicator->generateData());
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM branches"), 1);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM tellers"), 10);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM accounts"), 0);
    // The failed pass still unprepared its command, then aborted instead of committing.
    EXPECT_EQ(failing::callCount("ICommandPrepare::Unprepare"), 3);
    EXPECT_EQ(failing::callCount("ITransactionLocal::StartTransaction"), 3);
    EXPECT_EQ(failing::callCount("ITransaction::Commit"), 2);
    EXPECT_EQ(failing::callCount("ITransaction::Abort"), 1);
    EXPECT_EQ(logLinesOf(opGenerateData()), 1);
    EXPECT_EQ(sqlResult("INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (1, 0, 0, 'x')"),
              0);
}

TEST_F(OperationFailuresTest, GenerateDataRunsEachPassInItsOwnCommittedTransaction) {
    {
        auto plain = connect();
        ASSERT_TRUE(plain->createTables());
    }
    auto communicator = connectFailing();
    ASSERT_TRUE(communicator->generateData());
    EXPECT_EQ(failing::callCount("IDBCreateCommand::CreateCommand"), 1);
    EXPECT_EQ(failing::callCount("ITransactionLocal::StartTransaction"), 3);
    EXPECT_EQ(failing::callCount("ICommandPrepare::Prepare"), 3);
    EXPECT_EQ(failing::callCount("ICommandWithParameters::GetParameterInfo"), 3);
    EXPECT_EQ(failing::callCount("ICommandPrepare::Unprepare"), 3);
    EXPECT_EQ(failing::callCount("ITransaction::Commit"), 3);
    EXPECT_EQ(failing::callCount("ITransaction::Abort"), 0);
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM accounts"), 100000);
}

TEST_F(OperationFailuresTest, BrowsingWithAFailedAccessorLeavesNothingToCrashOn) {
    filledSchema();
    auto communicator = connectFailing();
    // The row count's accessor succeeds, the browsing accessor fails.
    failing::failCall("IAccessor::CreateAccessor", E_FAIL, 1);
    int columns = 0;
    int rows = 0;
    EXPECT_FALSE(communicator->prepareTableForBrowsing(tiTellers, columns, rows));
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(columns, 5);
    EXPECT_EQ(rows, 11);
    EXPECT_TRUE(communicator->isTablePrepared());
    EXPECT_NE(communicator->browseRowset, nullptr);
    EXPECT_EQ(communicator->getDataForCell(1, 1), "");
    EXPECT_EQ(communicator->getDataForCell(1, 0), "Tid");
    EXPECT_TRUE(communicator->unprepareTableForBrowsing(tiTellers));
    EXPECT_EQ(communicator->browseRowset, nullptr);
    EXPECT_EQ(boxes.count(), 1u);
}

TEST_F(OperationFailuresTest, AFailedReadShowsEmptyTextAndTheNextCellTriesAgain) {
    filledSchema();
    auto communicator = connectFailing();
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(communicator->prepareTableForBrowsing(tiAccounts, columns, rows));
    failing::failCall("IRowset::GetData", E_FAIL, 0, 1);
    EXPECT_EQ(communicator->fetchCellData(1, 3), "");
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(communicator->fetchCellData(1, 3), "2");
    failing::failCall("IRowset::GetNextRows", E_FAIL, 0, 1);
    EXPECT_EQ(communicator->fetchCellData(1, 500), "");
    EXPECT_EQ(communicator->blockRowCount, 0u);
    EXPECT_EQ(communicator->fetchCellData(1, 500), "499");
    EXPECT_EQ(boxes.count(), 2u);
}

TEST_F(OperationFailuresTest, ConflictTestWhoseRestoreFailsEndsWithSideTwo) {
    filledSchema();
    auto communicator = connectFailing();
    // Both test changes pass through to the provider; the restore is refused.
    failing::failCall("IRowsetChange::SetData", E_FAIL, 2);
    TVectorMemo progress;
    EXPECT_FALSE(communicator->testConcurrentEdit(0, &progress));
    ASSERT_EQ(progress.lines.size(), 8u);
    EXPECT_EQ(progress.lines[6], utf8ToCp1250("2: Měním řádek ..."));
    EXPECT_EQ(progress.lines[7].rfind(utf8ToCp1250("2: Při změně řádku došlo k chybě - "), 0), 0u);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_NE(boxes.boxes()[0].text.find("Failure on demand"), std::string::npos);
    EXPECT_EQ(logLinesOf(opTestConcurrentEdit()), 1);
    // Side 1's change stayed, since the restore never reached the database.
    EXPECT_EQ(queryText("SELECT Remark FROM tellers WHERE Tid = 1"), "111111");
    // Every row and accessor was released: the tables can be emptied at once.
    EXPECT_TRUE(communicator->clearData());
}

TEST_F(OperationFailuresTest, ConflictTestOnAProviderThatAcceptsBothChanges) {
    filledSchema();
    auto communicator = connectFailing();
    failing::swallowCall("IRowsetChange::SetData");
    TVectorMemo progress;
    ASSERT_TRUE(communicator->testConcurrentEdit(1, &progress));
    ASSERT_EQ(progress.lines.size(), 8u);
    EXPECT_EQ(progress.lines[0], utf8ToCp1250("1: Vybrání všech řádků tabulky tellers"));
    EXPECT_EQ(progress.lines[5], utf8ToCp1250("1: Řádek změněn"));
    EXPECT_EQ(progress.lines[7], utf8ToCp1250("2: Řádek změněn"));
    EXPECT_EQ(failing::callCount("IRowsetChange::SetData"), 3);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationFailuresTest, ConflictTestRefusedUpdatableRowsetShowsOneBox) {
    filledSchema();
    auto communicator = connectFailing();
    failing::failCall("ICommandProperties::SetProperties", DB_E_ERRORSOCCURRED);
    TVectorMemo progress;
    EXPECT_FALSE(communicator->testConcurrentEdit(0, &progress));
    EXPECT_EQ(progress.lines.size(), 2u);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(logLinesOf(opTestConcurrentEdit()), 1);
}

TEST_F(OperationFailuresTest, InfoStopsAtTheFailingProperty) {
    { auto plain = connect(); }
    auto communicator = connectFailing();
    failing::failCall("IDBProperties::GetProperties:" + std::to_string(DBPROP_SERVERNAME),
                      DB_E_ERRORSOCCURRED);
    TVectorMemo memo;
    EXPECT_FALSE(communicator->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 7u);
    EXPECT_EQ(memo.lines[6].rfind(utf8ToCp1250("Verze DBMS produktu: "), 0), 0u);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(logLinesOf(opGetInfo()), 1);
}

TEST_F(OperationFailuresTest, InfoWithValuesOfAnotherTypeShowsEmptyTextAndN) {
    { auto plain = connect(); }
    auto communicator = connectFailing();
    failing::answerEmptyPropertyValues(true);
    TVectorMemo memo;
    ASSERT_TRUE(communicator->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 9u);
    EXPECT_EQ(memo.lines[0], utf8ToCp1250("Jméno použitého ovladače: "));
    EXPECT_EQ(memo.lines[4], utf8ToCp1250("Je datový zdroj pouze pro čtení: N"));
    failing::answerEmptyPropertyValues(false);
}

TEST_F(OperationFailuresTest, ReadOnlyProbeThatCannotReadThePropertyAnswersWritable) {
    { auto plain = connect(); }
    auto communicator = connectFailing();
    const std::size_t linesAfterConnect = log.lines.size();
    failing::failCall("IDBProperties::GetProperties", DB_E_ERRORSOCCURRED);
    EXPECT_FALSE(communicator->isReadOnly());
    EXPECT_EQ(boxes.count(), 1u);
    failing::failCall("IDBCreateCommand::CreateCommand", E_FAIL);
    EXPECT_FALSE(communicator->tablesExist());
    EXPECT_FALSE(communicator->dataExist());
    EXPECT_EQ(boxes.count(), 3u);
    EXPECT_EQ(log.lines.size(), linesAfterConnect); // probes are not logged
}
