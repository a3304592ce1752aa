// Browsing the benchmark tables on the SQLite provider: the counts the grid is sized from, the
// cell texts, the block of held rows, and the release of everything a prepare obtained.

#include "OperationsFixture.h"

#include "core/Messages.h"

class BrowseTest : public OperationsTest {
protected:
    void SetUp() override {
        OperationsTest::SetUp();
        communicator = connect();
        createAndFillQuickly(*communicator);
    }
    void TearDown() override {
        communicator.reset();
        OperationsTest::TearDown();
    }
    bool prepare(TTableIndex table) {
        return communicator->prepareTableForBrowsing(table, columns, rows);
    }

    std::unique_ptr<TOperationsCommunicator> communicator;
    int columns = -1;
    int rows = -1;
};

TEST_F(BrowseTest, BranchesCells) {
    ASSERT_TRUE(prepare(tiBranches));
    EXPECT_EQ(columns, 4);
    EXPECT_EQ(rows, 2);
    // Column 4 does not exist: answered without touching the rowset.
    EXPECT_EQ(communicator->fetchCellData(4, 1), msgCellError());
    EXPECT_TRUE(communicator->blockInvalid);
    EXPECT_EQ(communicator->fetchCellData(1, 1), "0");
    EXPECT_FALSE(communicator->blockInvalid);
    EXPECT_EQ(communicator->fetchCellData(2, 1), "0");
    EXPECT_EQ(communicator->fetchCellData(3, 1), "filler");
    EXPECT_EQ(communicator->fetchCellData(1, 2), msgCellError());
    EXPECT_EQ(communicator->fetchCellData(0, 1), msgCellError());
    EXPECT_EQ(communicator->getDataForCell(2, 0), "Bbalance");
    EXPECT_EQ(communicator->getDataForCell(0, 1), "1");
    EXPECT_EQ(logLinesOf(opPrepareTableForBrowsing()), 1);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(BrowseTest, EmptyHistoryHasOnlyTheHeaderRow) {
    ASSERT_TRUE(prepare(tiHistory));
    EXPECT_EQ(columns, 7);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(communicator->fetchCellData(1, 1), msgCellError());
    EXPECT_EQ(communicator->getDataForCell(1, 1), "");
    EXPECT_EQ(communicator->getDataForCell(5, 0), "Time");
}

TEST_F(BrowseTest, HistoryShowsEveryColumnAndAReadableTime) {
    sql("INSERT INTO history (Tid, Bid, Aid, Delta, Time, Remark) "
        "VALUES (3, 0, 77, -250, '2026-12-08 14:03:07', 'deposit')");
    ASSERT_TRUE(prepare(tiHistory));
    ASSERT_EQ(rows, 2);
    EXPECT_EQ(communicator->fetchCellData(1, 1), "3");
    EXPECT_EQ(communicator->fetchCellData(3, 1), "77");
    EXPECT_EQ(communicator->fetchCellData(4, 1), "-250");
    EXPECT_EQ(communicator->fetchCellData(5, 1), "2026-12-08 14:03:07");
    EXPECT_EQ(communicator->fetchCellData(6, 1), "deposit");
    EXPECT_EQ(communicator->fetchCellData(7, 1), msgCellError());
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(BrowseTest, TextThatFillsItsColumnArrivesWhole) {
    const std::string full87(87, 'x');
    const std::string full91 = std::string(90, 'y') + "z";
    sql("UPDATE tellers SET Remark = '" + full87 + "' WHERE Tid = 4");
    sql("UPDATE branches SET Remark = '" + full91 + "'");
    ASSERT_TRUE(prepare(tiTellers));
    EXPECT_EQ(communicator->fetchCellData(4, 5), full87);
    EXPECT_EQ(communicator->fetchCellData(4, 4), "filler");
    ASSERT_TRUE(prepare(tiBranches));
    EXPECT_EQ(communicator->fetchCellData(3, 1), full91);
}

TEST_F(BrowseTest, GeneratedAccountsAreServedFromBlocksOfTwentyRows) {
    ASSERT_TRUE(communicator->clearData());
    ASSERT_TRUE(communicator->generateData());
    ASSERT_TRUE(prepare(tiAccounts));
    EXPECT_EQ(columns, 5);
    EXPECT_EQ(rows, 100001);

    for (int row = 1; row <= 20; ++row) {
        EXPECT_EQ(communicator->fetchCellData(1, row), std::to_string(row - 1));
        EXPECT_EQ(communicator->blockFirstRow, 0);
    }
    EXPECT_EQ(communicator->blockRowCount, 20u);

    // Row 21 is outside: a new block starting at row 21.
    EXPECT_EQ(communicator->fetchCellData(1, 21), "20");
    EXPECT_EQ(communicator->blockFirstRow, 20);
    EXPECT_EQ(communicator->fetchCellData(4, 40), "filler");
    EXPECT_EQ(communicator->blockFirstRow, 20);

    // Row 20 again rewinds and fetches the block that starts at row 20.
    EXPECT_EQ(communicator->fetchCellData(1, 20), "19");
    EXPECT_EQ(communicator->blockFirstRow, 19);

    // The last block is short.
    EXPECT_EQ(communicator->fetchCellData(1, 99995), "99994");
    EXPECT_EQ(communicator->blockRowCount, 6u);
    EXPECT_EQ(communicator->fetchCellData(1, 100000), "99999");
    EXPECT_EQ(communicator->blockFirstRow, 99994);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(BrowseTest, RowMissingFromTheBlockShowsEmptyText) {
    ASSERT_TRUE(prepare(tiTellers));
    // As if the table had shrunk after it was counted: rows 11 to 30 are no longer there.
    communicator->preparedRowCount = 30;
    EXPECT_EQ(communicator->fetchCellData(1, 25), "");
    EXPECT_EQ(communicator->blockRowCount, 0u);
    EXPECT_EQ(communicator->fetchCellData(1, 9), "8");
    EXPECT_EQ(communicator->fetchCellData(1, 11), "");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(BrowseTest, UnprepareReleasesEverythingAndTwiceIsHarmless) {
    ASSERT_TRUE(prepare(tiAccounts));
    EXPECT_EQ(communicator->fetchCellData(2, 3), "0");
    ASSERT_NE(communicator->browseRowset, nullptr);
    // Hold a reference of our own: the communicator's references must all be gone after the
    // release, so ours is the last one.
    IRowset* rowset = communicator->browseRowset;
    rowset->AddRef();
    EXPECT_TRUE(communicator->unprepareTableForBrowsing(tiAccounts));
    EXPECT_EQ(communicator->browseRowset, nullptr);
    EXPECT_EQ(communicator->browseAccessor, nullptr);
    EXPECT_EQ(communicator->blockRowCount, 0u);
    EXPECT_FALSE(communicator->isTablePrepared());
    EXPECT_EQ(rowset->Release(), 0u);

    EXPECT_TRUE(communicator->unprepareTableForBrowsing(tiAccounts));
    EXPECT_EQ(logLinesOf(opUnprepareTableForBrowsing()), 0);
}

TEST_F(BrowseTest, PreparingAnotherTableReleasesTheFirst) {
    ASSERT_TRUE(prepare(tiBranches));
    EXPECT_EQ(communicator->fetchCellData(3, 1), "filler");
    IRowset* first = communicator->browseRowset;
    first->AddRef();
    ASSERT_TRUE(prepare(tiAccounts));
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(communicator->preparedTable, tiAccounts);
    EXPECT_EQ(columns, 5);
    EXPECT_EQ(communicator->getDataForCell(1, 0), "Aid");
    EXPECT_EQ(communicator->fetchCellData(1, 100), "99");
}

TEST_F(BrowseTest, MissingTableFailsWithoutBoxAndShowsNoCells) {
    sql("DROP TABLE history");
    EXPECT_FALSE(prepare(tiHistory));
    EXPECT_EQ(columns, 7);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(logLinesOf(opPrepareTableForBrowsing()), 1);
    EXPECT_TRUE(communicator->isTablePrepared());
    EXPECT_TRUE(communicator->unprepareTableForBrowsing(tiHistory));
}

TEST_F(BrowseTest, DisconnectReleasesTheBrowsedTable) {
    ASSERT_TRUE(prepare(tiTellers));
    EXPECT_EQ(communicator->fetchCellData(1, 10), "9");
    IRowset* rowset = communicator->browseRowset;
    rowset->AddRef();
    communicator->disconnect();
    EXPECT_EQ(rowset->Release(), 0u);
    EXPECT_FALSE(communicator->isTablePrepared());
}
