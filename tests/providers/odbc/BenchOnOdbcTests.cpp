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
    benchtest::expectWholeSequence(*this, *c, directQuery());
}

TEST_P(BenchOnOdbc, InformationLinesComeFromTheDriver) {
    auto c = connect();
    ASSERT_TRUE(c);
    TestMemo memo;
    ASSERT_TRUE(c->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 9u);
    // The first three lines name the ODBC driver reached, as the driver itself reports it.
    const char* driverFiles[] = {"sqlite3odbc", "psqlodbc", "maodbc"};
    EXPECT_NE(memo.lines[0].find(driverFiles[int(driver())]), std::string::npos) << memo.lines[0];
    const odbctest::DriverFacts facts = odbctest::rawDriverFacts(odbcString());
    EXPECT_EQ(memo.lines[0], cp("Jméno použitého ovladače: ") + facts.name);
    EXPECT_EQ(memo.lines[1], cp("Verze použitého ovladače: ") + facts.version);
    EXPECT_EQ(memo.lines[2], cp("Verze ODBC podporovaná ovladačem: ") + facts.odbcVersion);
    EXPECT_EQ(memo.lines[2].substr(memo.lines[2].size() - 5, 3), "03.") << memo.lines[2];
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
            benchtest::expectConflictRefused(*this, *c, type, policy.refusal, directQuery());
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
    EXPECT_NE(text.find(cp("uzavírací '}'")), std::string::npos) << text;
    boxes.clear();
    // Nothing at all to connect to.
    text = refusedWith("Provider=Vantrel.ODBC.1");
    EXPECT_NE(text.find(cp("Chybí datový zdroj ODBC")), std::string::npos) << text;
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
