// The bench's own operations (TOLEDBCommunicator) through the ODBC provider on each of the
// three drivers: the whole sequence a user runs, the information lines, both conflict tests
// under both concurrency policies, and connections that cannot be made.
#include "OdbcBench.h"

#include "core/Messages.h"
#include "core/Text.h"

namespace {

using odbctest::Driver;
using odbctest::TestMemo;

std::string cp(const char* utf8) {
    return utf8ToCp1250(utf8);
}

class BenchOnOdbc : public odbctest::BenchTest {};

TEST_P(BenchOnOdbc, TheWholeSequenceOnAnEmptyAndThenAFilledDatabase) {
    auto c = connect();
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->tablesExist());
    EXPECT_TRUE(c->canCreateTables());
    EXPECT_FALSE(c->isReadOnly());
    ASSERT_TRUE(c->createTables()) << (boxes.empty() ? "" : boxes.back().text);
    EXPECT_TRUE(c->tablesExist());
    EXPECT_FALSE(c->dataExist());
    ASSERT_TRUE(c->generateData()) << (boxes.empty() ? "" : boxes.back().text);
    EXPECT_TRUE(c->dataExist());
    EXPECT_EQ(count("branches"), "1");
    EXPECT_EQ(count("tellers"), "10");
    EXPECT_EQ(count("accounts"), "100000");
    EXPECT_EQ(count("history"), "0");
    EXPECT_EQ(query("SELECT COUNT(*) FROM accounts WHERE bid = 0 AND abalance = 0 AND "
                    "remark = 'filler'"),
              "100000");
    EXPECT_EQ(query("SELECT MAX(aid) FROM accounts"), "99999");

    // Again on the filled database: every row refused by its key, no box, all passes commit.
    ASSERT_TRUE(c->generateData()) << (boxes.empty() ? "" : boxes.back().text);
    EXPECT_EQ(boxes.size(), 0u);
    EXPECT_EQ(count("accounts"), "100000");
    EXPECT_EQ(logLines(opGenerateData()), 2);

    // Browsing the accounts: row n anywhere in the 100,000, and back again.
    int columns = 0;
    int rows = 0;
    ASSERT_TRUE(c->prepareTableForBrowsing(2, columns, rows));
    EXPECT_EQ(columns, 5); // with the header column and row
    EXPECT_EQ(rows, 100001);
    for (int row : {1, 99990, 50000, 2, 100000})
        EXPECT_EQ(c->cell(1, row), std::to_string(row - 1)) << row;
    EXPECT_EQ(c->cell(4, 7).substr(0, 6), "filler");
    EXPECT_TRUE(c->unprepareTableForBrowsing(2));

    ASSERT_TRUE(c->clearData());
    EXPECT_FALSE(c->dataExist());
    ASSERT_TRUE(c->dropTables());
    EXPECT_FALSE(c->tablesExist());
    EXPECT_EQ(boxes.size(), 0u);
}

TEST_P(BenchOnOdbc, InformationLinesComeFromTheDriver) {
    auto c = connect();
    ASSERT_TRUE(c);
    TestMemo memo;
    ASSERT_TRUE(c->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 9u);
    EXPECT_EQ(memo.lines[0],
              cp("Jméno použitého ovladače: Vantrel OLE DB Provider for ODBC Drivers"));
    EXPECT_EQ(memo.lines[4], cp("Je datový zdroj pouze pro čtení: N"));
    const char* dbms[] = {"SQLite", "PostgreSQL", "MariaDB"};
    const std::string prefix = cp("Jméno DBMS produktu, ke kterému přistupujeme: ");
    EXPECT_EQ(memo.lines[5].rfind(prefix, 0), 0u) << memo.lines[5];
    EXPECT_NE(memo.lines[5].find(dbms[int(driver())]), std::string::npos) << memo.lines[5];
    // The DBMS version is the server's own.
    const std::string version = memo.lines[6].substr(cp("Verze DBMS produktu: ").size());
    const std::string serverVersion = driver() == Driver::SQLite ? query("SELECT sqlite_version()")
                                      : driver() == Driver::PostgreSQL
                                          ? query("SHOW server_version")
                                          : query("SELECT VERSION()");
    // The major version, as drivers format the rest in their own way ("15.0.20" for 15.20).
    ASSERT_FALSE(version.empty());
    const std::string major = version.substr(0, version.find('.') + 1);
    EXPECT_EQ(serverVersion.rfind(major, 0), 0u) << version << " / " << serverVersion;
    if (driver() != Driver::SQLite) {
        EXPECT_EQ(memo.lines[8], cp("Jméno databáze: ") + database());
    }
}

std::vector<std::string> conflictStart(std::uint8_t type) {
    return {type == 0 ? cp("1: Vybrání řádku tabulky tellers kde Tid=1")
                      : cp("1: Vybrání všech řádků tabulky tellers"),
            cp("2: Vybrání řádku tabulky tellers kde Tid=1"),
            cp("1: Přemístění kurzoru na řádek s Tid=1"),
            cp("2: Přemístění kurzoru na řádek s Tid=1"),
            cp("1: Měním řádek ..."),
            cp("1: Řádek změněn"),
            cp("2: Měním řádek ...")};
}

TEST_P(BenchOnOdbc, BothConflictTestsUnderBothPolicies) {
    struct Policy {
        const char* keyword; // empty = the default (optimistic)
        const char* refusal;
    };
    for (const Policy policy :
         {Policy{"", "0x80040e38"}, Policy{"Concurrency=Locking", "0x80040e92"}}) {
        for (std::uint8_t type : {std::uint8_t{0}, std::uint8_t{1}}) {
            SCOPED_TRACE(std::string(policy.keyword) + " type " + std::to_string(type));
            auto c = connect(policy.keyword);
            ASSERT_TRUE(c);
            if (!c->tablesExist()) {
                ASSERT_TRUE(c->createTables());
                for (int tid = 0; tid < 10; ++tid)
                    ASSERT_EQ(odbctest::rawRun(odbcString(), "INSERT INTO tellers VALUES (" +
                                                                 std::to_string(tid) +
                                                                 ", 0, 0, 'filler')"),
                              "");
            }
            TestMemo progress;
            ASSERT_TRUE(c->testConcurrentEdit(type, &progress));
            const std::vector<std::string> start = conflictStart(type);
            ASSERT_EQ(progress.lines.size(), start.size() + 1);
            for (std::size_t i = 0; i < start.size(); ++i)
                EXPECT_EQ(progress.lines[i], start[i]) << i;
            const std::string prefix = cp("2: Při změně řádku došlo k chybě - ") +
                                       "\nErrorInfo:  HResult: " + policy.refusal;
            EXPECT_EQ(progress.lines.back().rfind(prefix, 0), 0u) << progress.lines.back();
            EXPECT_EQ(boxes.size(), 0u);
            EXPECT_EQ(query("SELECT COUNT(*) FROM tellers WHERE remark = 'filler'"), "10")
                << query("SELECT remark FROM tellers WHERE tid = 1");
        }
    }
    EXPECT_EQ(logLines(opTestConcurrentEdit()), 4);
}

TEST_P(BenchOnOdbc, ConnectionsThatCannotBeMadeShowTheDriversMessage) {
    // A data source unixODBC does not know.
    std::string text = refusedWith("Provider=Vantrel.ODBC.1;Data Source=NoSuchVantrelDsn");
    EXPECT_NE(text.find("IM002"), std::string::npos) << text;
    boxes.clear();
    // A driver that is not installed.
    text = refusedWith("Provider=Vantrel.ODBC.1;Extended Properties=\"DRIVER={No Such "
                       "Driver};Database=x\"");
    EXPECT_NE(text.find("'No Such Driver'"), std::string::npos) << text;
    boxes.clear();
    // A connection string that is not one.
    text = refusedWith("Provider=Vantrel.ODBC.1;Extended Properties=\"DRIVER={Vantrel "
                       "SQLite3;Database=x\"");
    EXPECT_NE(text.find("closing '}'"), std::string::npos) << text;
    boxes.clear();
    // Nothing at all to connect to.
    text = refusedWith("Provider=Vantrel.ODBC.1");
    EXPECT_NE(text.find("No ODBC data source"), std::string::npos) << text;
    if (driver() != Driver::SQLite) {
        boxes.clear();
        std::string s = initString();
        const std::string login = "Password=" + password();
        s.replace(s.find(login), login.size(), "Password=wrong");
        text = refusedWith(s);
        EXPECT_NE(text.find(driver() == Driver::PostgreSQL ? "password authentication failed"
                                                           : "Access denied"),
                  std::string::npos)
            << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, BenchOnOdbc, ODBC_ALL_DRIVERS);

} // namespace
