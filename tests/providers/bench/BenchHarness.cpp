#include "BenchHarness.h"

#include "core/Messages.h"
#include "core/Text.h"
#include "oledb/OleDbEnvironment.h"
#include "vantrel/MessageBox.h"

#include <gtest/gtest.h>

namespace benchtest {

namespace {

std::vector<RecordedBox>* recording = nullptr;

int recordBox(HWND, const char* text, const char* caption, UINT) {
    if (recording != nullptr)
        recording->push_back({text != nullptr ? text : "", caption != nullptr ? caption : ""});
    return 1; // IDOK
}

std::string cp(const char* utf8) {
    return utf8ToCp1250(utf8);
}

} // namespace

void BenchHarness::startBench() {
    recording = &boxes;
    VantrelSetMessageBoxHandler(&recordBox);
    setUpOleDbEnvironment();
    environment_ = true;
}

void BenchHarness::stopBench() {
    if (environment_)
        tearDownOleDbEnvironment();
    environment_ = false;
    VantrelSetMessageBoxHandler(nullptr);
    recording = nullptr;
}

std::unique_ptr<BenchCommunicator> BenchHarness::communicatorFor(const std::string& initString) {
    return std::make_unique<BenchCommunicator>(&owner_, &log, initString, 0);
}

std::unique_ptr<BenchCommunicator> BenchHarness::connectWith(const std::string& initString) {
    auto c = communicatorFor(initString);
    if (!c->connect()) {
        ADD_FAILURE() << "could not connect: " << (boxes.empty() ? "no box" : lastBox());
        return nullptr;
    }
    return c;
}

std::string BenchHarness::refusedWith(const std::string& initString) {
    auto c = communicatorFor(initString);
    EXPECT_FALSE(c->connect());
    EXPECT_FALSE(c->isConnected());
    EXPECT_EQ(boxes.size(), 1u);
    if (boxes.empty())
        return "";
    EXPECT_EQ(boxes[0].caption, "OLE DB Error");
    return boxes[0].text;
}

int BenchHarness::logLines(const std::string& operationName) const {
    int n = 0;
    for (const std::string& line : log.lines)
        n += line.rfind(operationName + ": ", 0) == 0 ? 1 : 0;
    return n;
}

void expectWholeSequence(BenchHarness& bench, BenchCommunicator& c, const DirectQuery& query) {
    const auto count = [&](const char* table) {
        return query(std::string("SELECT COUNT(*) FROM ") + table);
    };
    EXPECT_FALSE(c.tablesExist());
    EXPECT_TRUE(c.canCreateTables());
    EXPECT_FALSE(c.isReadOnly());
    ASSERT_TRUE(c.createTables()) << bench.lastBox();
    EXPECT_TRUE(c.tablesExist());
    EXPECT_FALSE(c.dataExist());
    ASSERT_TRUE(c.generateData()) << bench.lastBox();
    EXPECT_TRUE(c.dataExist());
    EXPECT_EQ(count("branches"), "1");
    EXPECT_EQ(count("tellers"), "10");
    EXPECT_EQ(count("accounts"), "100000");
    EXPECT_EQ(count("history"), "0");
    EXPECT_EQ(query("SELECT COUNT(*) FROM accounts WHERE bid = 0 AND abalance = 0 AND "
                    "remark = 'filler'"),
              "100000");
    EXPECT_EQ(query("SELECT MAX(aid) FROM accounts"), "99999");

    // Again on the filled database: every row refused by its key, no box, all passes commit.
    const int loads = bench.logLines(opGenerateData());
    ASSERT_TRUE(c.generateData()) << bench.lastBox();
    EXPECT_EQ(bench.boxes.size(), 0u);
    EXPECT_EQ(count("accounts"), "100000");
    EXPECT_EQ(bench.logLines(opGenerateData()), loads + 1);
    EXPECT_EQ(loads, 1);

    // Browsing the accounts: row n anywhere in the 100,000, and back again.
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(c.prepareTableForBrowsing(2, columns, rows));
    EXPECT_EQ(columns, 5); // with the header column and row
    EXPECT_EQ(rows, 100001);
    for (int row : {1, 99990, 50000, 2, 100000})
        EXPECT_EQ(c.cell(1, row), std::to_string(row - 1)) << row;
    EXPECT_EQ(c.cell(4, 7).substr(0, 6), "filler");
    EXPECT_TRUE(c.unprepareTableForBrowsing(2));

    ASSERT_TRUE(c.clearData());
    EXPECT_FALSE(c.dataExist());
    ASSERT_TRUE(c.dropTables());
    EXPECT_FALSE(c.tablesExist());
    EXPECT_EQ(bench.boxes.size(), 0u);
}

void expectConflictRefused(BenchHarness& bench, BenchCommunicator& c, std::uint8_t type,
                           const std::string& refusal, const DirectQuery& query) {
    const std::vector<std::string> start = {type == 0
                                                ? cp("1: Vybrání řádku tabulky tellers kde Tid=1")
                                                : cp("1: Vybrání všech řádků tabulky tellers"),
                                            cp("2: Vybrání řádku tabulky tellers kde Tid=1"),
                                            cp("1: Přemístění kurzoru na řádek s Tid=1"),
                                            cp("2: Přemístění kurzoru na řádek s Tid=1"),
                                            cp("1: Měním řádek ..."),
                                            cp("1: Řádek změněn"),
                                            cp("2: Měním řádek ...")};
    TestMemo progress;
    ASSERT_TRUE(c.testConcurrentEdit(type, &progress)) << bench.lastBox();
    ASSERT_EQ(progress.lines.size(), start.size() + 1);
    for (std::size_t i = 0; i < start.size(); ++i)
        EXPECT_EQ(progress.lines[i], start[i]) << i;
    const std::string prefix =
        cp("2: Při změně řádku došlo k chybě - ") + "\nErrorInfo:  HResult: " + refusal;
    EXPECT_EQ(progress.lines.back().rfind(prefix, 0), 0u) << progress.lines.back();
    EXPECT_EQ(bench.boxes.size(), 0u);
    EXPECT_EQ(query("SELECT COUNT(*) FROM tellers WHERE remark = 'filler'"), "10")
        << query("SELECT remark FROM tellers WHERE tid = 1");
}

} // namespace benchtest
