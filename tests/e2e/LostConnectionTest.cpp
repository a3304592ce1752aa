// The data source going away under the bench, as a user meets it in the OLE DB window: accounts
// browsed, then the PostgreSQL test server stopped (or the SQLite file made unreadable), then
// another tab, the conflict test and the pages again once the source is back. The failure is
// told once with the provider's error, nothing of another table stays on screen, and the next
// page visit connects anew without restarting the bench.
//
// The PostgreSQL case stops the shared test server, so this program runs alone under CTest.

#include "JourneyWindow.h"
#include "support/MessageBoxRecorder.h"

#include "PgTestServer.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "ui/MessageBoxes.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class TWindowBoxes : public TMessageBoxes {
public:
    void information(QWidget*, const std::string& text) override { shown.push_back(text); }
    void error(QWidget*, const std::string& text) override { shown.push_back(text); }
    void errorWithCaption(QWidget*, const std::string&, const std::string& text) override {
        shown.push_back(text);
    }
    std::vector<std::string> shown;
};

// One window over one data source, in a working directory of its own.
class LostConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        before = fs::current_path();
        char pattern[] = "/tmp/vantrel-lost-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        fs::current_path(directory);
        setMessageBoxes(&windowBoxes);
    }
    void TearDown() override {
        window.reset();
        setMessageBoxes(nullptr);
        // A fixture that skipped before this SetUp ran has no directory to leave.
        if (directory.empty())
            return;
        fs::current_path(before);
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    void startBench(const std::string& driver, const std::string& connectionString) {
        std::ofstream("Options.ini")
            << "[General]\nDriver=" << driver << "\nConnectionString=" << connectionString << "\n";
        window = std::make_unique<TJourneyWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void visit(int page) {
        window->clickNavigationItem(page);
        QApplication::processEvents();
    }

    // The data page showing `rows` accounts on the Accounts tab.
    void browseAccounts(int rows) {
        visit(TFoMainAncestor::pageData);
        ASSERT_TRUE(window->communicator);
        ASSERT_TRUE(window->PnlTables->isVisible());
        window->clickTableTab(tiAccounts);
        ASSERT_EQ(fromQString(window->LblCount->text()), "# " + std::to_string(rows));
        ASSERT_EQ(window->gridHeader(1), "Aid");
        ASSERT_EQ(window->gridDataRows(), rows);
        ASSERT_EQ(oledbBoxes.count(), 0u);
        ASSERT_EQ(windowBoxes.shown, std::vector<std::string>());
    }

    // The whole story, with the data source broken and mended by the caller's means.
    void loseAndRegainTheSource(int rows, const std::function<void()>& breakSource,
                                const std::function<void()>& mendSource) {
        ASSERT_NO_FATAL_FAILURE(browseAccounts(rows));
        breakSource();

        // Another tab: one OLE DB box with the provider's error, no box of the window's own,
        // and nothing of accounts left on screen.
        window->clickTableTab(tiTellers);
        ASSERT_EQ(oledbBoxes.count(), 1u);
        EXPECT_EQ(oledbBoxes.boxes()[0].caption, "OLE DB Error");
        EXPECT_EQ(oledbBoxes.boxes()[0].text.find("0x80040e37"), std::string::npos);
        EXPECT_EQ(windowBoxes.shown, std::vector<std::string>());
        EXPECT_FALSE(window->communicator) << "the page left the communicator";
        EXPECT_EQ(window->gridDataRows(), 0);
        EXPECT_EQ(window->gridDataColumns(), 0);
        EXPECT_FALSE(window->PnlTables->isVisible());
        EXPECT_NE(fromQString(window->LblCount->text()), "# " + std::to_string(rows));
        for (QPushButton* button : {window->BtnCreateTables, window->BtnGenData,
                                    window->BtnClearData, window->BtnDropTables})
            EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();

        // The conflict test page, still broken: the connection cannot be made again, which is
        // told as such and not as empty tables.
        oledbBoxes.clear();
        visit(TFoMainAncestor::pageRecordLock);
        ASSERT_FALSE(windowBoxes.shown.empty());
        EXPECT_EQ(windowBoxes.shown.back(), msgConnectFailed());
        for (const std::string& text : windowBoxes.shown)
            EXPECT_NE(text, msgTablesEmptyOrMissing());
        windowBoxes.shown.clear();
        oledbBoxes.clear();

        // Back: every page works without restarting the bench.
        mendSource();
        ASSERT_NO_FATAL_FAILURE(browseAccounts(rows));
        window->clickTableTab(tiTellers);
        EXPECT_EQ(fromQString(window->LblCount->text()), "# 10");
        EXPECT_EQ(window->gridHeader(1), "Tid");
        visit(TFoMainAncestor::pageRecordLock);
        TJourneyWindow::clickButton(window->BtnStartCR);
        ASSERT_FALSE(windowBoxes.shown.empty());
        EXPECT_EQ(windowBoxes.shown.back(), msgTestFinished());
        EXPECT_EQ(oledbBoxes.count(), 0u);
    }

    // The conflict test's Start while the source is gone after the page connected.
    void startTheTestWithTheSourceGone(const std::function<void()>& breakSource,
                                       const std::function<void()>& mendSource) {
        visit(TFoMainAncestor::pageRecordLock);
        ASSERT_TRUE(window->communicator);
        breakSource();
        TJourneyWindow::clickButton(window->BtnStartCR);
        EXPECT_EQ(oledbBoxes.count(), 1u);
        EXPECT_EQ(windowBoxes.shown, std::vector<std::string>()) << "not \"tables are empty\"";
        EXPECT_FALSE(window->communicator);
        mendSource();
        oledbBoxes.clear();
        visit(TFoMainAncestor::pageRecordLock);
        TJourneyWindow::clickButton(window->BtnStartCR);
        ASSERT_EQ(windowBoxes.shown.size(), 1u);
        EXPECT_EQ(windowBoxes.shown[0], msgTestFinished());
        EXPECT_EQ(oledbBoxes.count(), 0u);
    }

    fs::path before;
    fs::path directory;
    TWindowBoxes windowBoxes;
    TMessageBoxRecorder oledbBoxes;
    std::unique_ptr<TJourneyWindow> window;
};

// ---- SQLite: the database file overwritten in place, then put back ----

class SqliteLostTest : public LostConnectionTest {
protected:
    void SetUp() override {
        LostConnectionTest::SetUp();
        file = (directory / "bench.db").string();
        sql("CREATE TABLE branches (Bid INTEGER PRIMARY KEY, Bbalance INTEGER, Remark "
            "VARCHAR(88)); CREATE TABLE tellers (Tid INTEGER PRIMARY KEY, Bid INTEGER, Tbalance "
            "INTEGER, Remark VARCHAR(84)); CREATE TABLE accounts (Aid INTEGER PRIMARY KEY, Bid "
            "INTEGER, Abalance INTEGER, Remark VARCHAR(84)); CREATE TABLE history (Tid INTEGER, "
            "Bid INTEGER, Aid INTEGER, Delta INTEGER, Time TIMESTAMP, Remark VARCHAR(22));"
            "INSERT INTO branches VALUES (0, 0, 'filler');"
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999) "
            "INSERT INTO accounts SELECT i, 0, 0, 'filler' FROM n;"
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9) "
            "INSERT INTO tellers SELECT i, 0, 0, 'filler' FROM n;");
        ASSERT_NO_FATAL_FAILURE(startBench("Vantrel Embedded OLE DB Provider for SQLite",
                                           "Provider=Vantrel.SQLite.1;Data Source=" + file));
    }
    void sql(const std::string& text) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    // The bytes are replaced in place: the provider's open handle then reads no database.
    void garble() {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        saved = bytes.str();
        std::fstream(file, std::ios::binary | std::ios::in | std::ios::out)
            << std::string(saved.size(), '\x5a');
    }
    void restore() { std::fstream(file, std::ios::binary | std::ios::in | std::ios::out) << saved; }

    std::string file;
    std::string saved;
};

TEST_F(SqliteLostTest, AnUnreadableFileIsToldOnceAndTheBenchRecoversWithoutARestart) {
    loseAndRegainTheSource(
        1000, [this] { garble(); }, [this] { restore(); });
}

TEST_F(SqliteLostTest, StartingTheConflictTestOnAnUnreadableFileTellsNoEmptyTables) {
    startTheTestWithTheSourceGone([this] { garble(); }, [this] { restore(); });
}

// ---- PostgreSQL: the test cluster stopped as a crash would, then started again ----

class PostgresLostTest : public LostConnectionTest {
protected:
    void SetUp() override {
        std::string why;
        server = pgtest::server(why);
        if (server == nullptr || server->clusterDir.empty()) {
            if (std::getenv("VANTREL_SKIP_POSTGRES") != nullptr)
                GTEST_SKIP() << "VANTREL_SKIP_POSTGRES=1";
            FAIL() << why;
        }
        LostConnectionTest::SetUp();
        schema = pgtest::schemaForCurrentTest();
        ASSERT_EQ(pgtest::runAdminSql(
                      "DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema +
                      "; SET search_path=" + schema +
                      "; CREATE TABLE branches (Bid INTEGER PRIMARY KEY, Bbalance INTEGER, "
                      "Remark CHAR(88)); CREATE TABLE tellers (Tid INTEGER PRIMARY KEY, Bid "
                      "INTEGER, Tbalance INTEGER, Remark CHAR(84)); CREATE TABLE accounts (Aid "
                      "INTEGER PRIMARY KEY, Bid INTEGER, Abalance INTEGER, Remark CHAR(84)); "
                      "CREATE TABLE history (Tid INTEGER, Bid INTEGER, Aid INTEGER, Delta "
                      "INTEGER, Time TIMESTAMP, Remark CHAR(22)); INSERT INTO branches VALUES "
                      "(0, 0, 'filler'); INSERT INTO tellers SELECT g, 0, 0, 'filler' FROM "
                      "generate_series(0, 9) g; INSERT INTO accounts SELECT g, 0, 0, 'filler' "
                      "FROM generate_series(0, 99999) g"),
                  "");
        ASSERT_NO_FATAL_FAILURE(
            startBench("Vantrel OLE DB Provider for PostgreSQL",
                       "Provider=Vantrel.PostgreSQL.1;Data Source=" + server->dataSource() +
                           ";Initial Catalog=" + server->database + ";User ID=" + server->user +
                           ";Password=" + server->password + ";Extended Properties=\"options='-c " +
                           "search_path=" + schema + "'\""));
    }
    void TearDown() override {
        if (server != nullptr) {
            if (pgtest::queryText("SELECT 1") != "1") {
                EXPECT_TRUE(pgtest::startServer());
            }
            pgtest::runAdminSql("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
        }
        LostConnectionTest::TearDown();
    }
    static void stop() { ASSERT_TRUE(pgtest::stopServer(true)); }
    static void start() { ASSERT_TRUE(pgtest::startServer()); }

    const pgtest::ServerSettings* server = nullptr;
    std::string schema;
};

TEST_F(PostgresLostTest, AStoppedServerIsToldOnceAndTheBenchRecoversWithoutARestart) {
    loseAndRegainTheSource(100000, stop, start);
}

TEST_F(PostgresLostTest, StartingTheConflictTestWithTheServerStoppedTellsNoEmptyTables) {
    startTheTestWithTheSourceGone(stop, start);
}

} // namespace
