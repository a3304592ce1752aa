// The concurrent-edit conflict test on both concurrency policies of the SQLite provider: the
// exact progress lines, the restore, and the early ends.

#include "OperationsFixture.h"

#include "core/Messages.h"
#include "core/Text.h"

namespace {

std::string cp(const char* utf8) {
    return utf8ToCp1250(utf8);
}

const std::string& selectOne(int side) {
    static const std::string lines[2] = {cp("1: Vybrání řádku tabulky tellers kde Tid=1"),
                                         cp("2: Vybrání řádku tabulky tellers kde Tid=1")};
    return lines[side - 1];
}

std::vector<std::string> expectedStart(std::uint8_t type) {
    return {type == 0 ? selectOne(1) : cp("1: Vybrání všech řádků tabulky tellers"),
            selectOne(2),
            cp("1: Přemístění kurzoru na řádek s Tid=1"),
            cp("2: Přemístění kurzoru na řádek s Tid=1"),
            cp("1: Měním řádek ..."),
            cp("1: Řádek změněn"),
            cp("2: Měním řádek ...")};
}

const std::string refusedPrefix2 = "2: Při změně řádku došlo k chybě - ";

} // namespace

class ConcurrentEditTest : public OperationsTest,
                           public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(ConcurrentEditTest, OptimisticPolicyRefusesSideTwo) {
    const std::uint8_t type = GetParam();
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    TVectorMemo progress;
    progress.addLine("from the previous run");
    ASSERT_TRUE(communicator->testConcurrentEdit(type, &progress));

    std::vector<std::string> expected = expectedStart(type);
    ASSERT_EQ(progress.lines.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(progress.lines[i], expected[i]) << i;
    const std::string& refused = progress.lines.back();
    EXPECT_EQ(refused.rfind(cp(refusedPrefix2.c_str()) + "\nErrorInfo:  HResult: 0x80040e38", 0),
              0u)
        << refused; // DB_E_CONCURRENCYVIOLATION with the provider's own description
    EXPECT_NE(refused.find(cp("Description: Řádek byl v databázi změněn poté, co jej tato sada "
                              "řádků načetla; změna byla odmítnuta")),
              std::string::npos)
        << refused;
    EXPECT_EQ(refused.back(), '\n');

    EXPECT_EQ(queryText("SELECT Remark FROM tellers WHERE Tid = 1"), "filler");
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM tellers WHERE Remark = 'filler'"), 10);
    EXPECT_EQ(logLinesOf(opTestConcurrentEdit()), 1);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_P(ConcurrentEditTest, LockingPolicyRefusesSideTwoWithTheLock) {
    const std::uint8_t type = GetParam();
    auto communicator = connect("Concurrency=Locking");
    createAndFillQuickly(*communicator);
    TVectorMemo progress;
    ASSERT_TRUE(communicator->testConcurrentEdit(type, &progress));
    std::vector<std::string> expected = expectedStart(type);
    ASSERT_EQ(progress.lines.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(progress.lines[i], expected[i]) << i;
    const std::string& refused = progress.lines.back();
    EXPECT_EQ(refused.rfind(cp(refusedPrefix2.c_str()) + "\nErrorInfo:  HResult: 0x", 0), 0u)
        << refused;
    EXPECT_NE(refused.find(cp("Description: Řádek je zamčený: jiná sada řádků této relace jej "
                              "změnila")),
              std::string::npos)
        << refused;
    EXPECT_EQ(queryText("SELECT Remark FROM tellers WHERE Tid = 1"), "filler");
    EXPECT_EQ(boxes.count(), 0u);
}

// A provider that reports the changed column as DBTYPE_WSTR (the SQLite provider does for
// NVARCHAR) gets the test's text as UTF-16: both changes and the restore store real text.
TEST_P(ConcurrentEditTest, WideTextColumnGetsWideTextAndIsRestored) {
    const std::uint8_t type = GetParam();
    auto communicator = connect();
    ASSERT_TRUE(communicator->createTables());
    sql("DROP TABLE tellers");
    sql("CREATE TABLE tellers (Tid INTEGER PRIMARY KEY, Bid INTEGER, Tbalance INTEGER, "
        "Remark NVARCHAR(10))");
    sql("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9) "
        "INSERT INTO tellers (Tid, Bid, Tbalance, Remark) SELECT i, 0, 0, 'filler' FROM n");
    // Side 1's change, seen by a statement of the session while the test runs, is the text
    // itself: checked by the optimistic refusal of side 2 (the row holds '111111', not the
    // value side 2 fetched).
    TVectorMemo progress;
    ASSERT_TRUE(communicator->testConcurrentEdit(type, &progress));
    std::vector<std::string> expected = expectedStart(type);
    ASSERT_EQ(progress.lines.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(progress.lines[i], expected[i]) << i;
    EXPECT_EQ(progress.lines.back().rfind(
                  cp(refusedPrefix2.c_str()) + "\nErrorInfo:  HResult: 0x80040e38", 0),
              0u)
        << progress.lines.back();
    EXPECT_EQ(queryText("SELECT Remark FROM tellers WHERE Tid = 1"), "filler");
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM tellers WHERE Remark = 'filler'"), 10);
    EXPECT_EQ(boxes.count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothTypes, ConcurrentEditTest, ::testing::Values(0, 1));

TEST_F(OperationsTest, ConflictTestWithoutTablesEndsAfterTheSelections) {
    auto communicator = connect();
    TVectorMemo progress;
    progress.addLine("old");
    EXPECT_FALSE(communicator->testConcurrentEdit(0, &progress));
    ASSERT_EQ(progress.lines.size(), 2u);
    EXPECT_EQ(progress.lines[0], selectOne(1));
    EXPECT_EQ(progress.lines[1], selectOne(2));
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(logLinesOf(opTestConcurrentEdit()), 1);
}

TEST_F(OperationsTest, ConflictTestOfUnknownTypeListsNothing) {
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    TVectorMemo progress;
    progress.addLine("old");
    EXPECT_FALSE(communicator->testConcurrentEdit(2, &progress));
    EXPECT_TRUE(progress.lines.empty());
    EXPECT_EQ(logLinesOf(opTestConcurrentEdit()), 1);
}

TEST_F(OperationsTest, ConflictTestRunsAgainAfterItself) {
    // Everything the first run held is released: a second run on the same connection sees
    // the same answers, including the restored value.
    auto communicator = connect();
    createAndFillQuickly(*communicator);
    TVectorMemo first;
    TVectorMemo second;
    ASSERT_TRUE(communicator->testConcurrentEdit(0, &first));
    ASSERT_TRUE(communicator->testConcurrentEdit(1, &second));
    EXPECT_EQ(first.lines.size(), second.lines.size());
    EXPECT_EQ(first.lines.back(), second.lines.back());
    EXPECT_TRUE(communicator->clearData());
    EXPECT_EQ(boxes.count(), 0u);
}
