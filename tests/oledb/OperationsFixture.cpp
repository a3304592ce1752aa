#include "OperationsFixture.h"

#include <sqlite3.h>

void OperationsTest::TearDown() {
    if (raw != nullptr)
        sqlite3_close(raw);
    raw = nullptr;
    TOleDbTest::TearDown();
}

std::unique_ptr<TOperationsCommunicator> OperationsTest::connect(const std::string& extra) {
    return connectWith(sqliteConnectionString() + (extra.empty() ? "" : ";" + extra));
}

std::unique_ptr<TOperationsCommunicator>
OperationsTest::connectWith(const std::string& connectionString) {
    auto communicator =
        std::make_unique<TOperationsCommunicator>(&owner, &log, connectionString, 0);
    EXPECT_TRUE(communicator->connect()) << connectionString;
    return communicator;
}

sqlite3* OperationsTest::rawDatabase() {
    if (raw == nullptr) {
        EXPECT_EQ(sqlite3_open_v2(databasePath().c_str(), &raw,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
                  SQLITE_OK);
        sqlite3_busy_timeout(raw, 2000);
    }
    return raw;
}

void OperationsTest::sql(const std::string& statement) {
    char* error = nullptr;
    const int rc = sqlite3_exec(rawDatabase(), statement.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << statement << ": " << (error != nullptr ? error : "");
    sqlite3_free(error);
}

int OperationsTest::sqlResult(const std::string& statement) {
    return sqlite3_exec(rawDatabase(), statement.c_str(), nullptr, nullptr, nullptr);
}

long long OperationsTest::queryInt(const std::string& query) {
    sqlite3_stmt* statement = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(rawDatabase(), query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    else
        ADD_FAILURE() << query << ": " << sqlite3_errmsg(rawDatabase());
    sqlite3_finalize(statement);
    return value;
}

std::string OperationsTest::queryText(const std::string& query) {
    sqlite3_stmt* statement = nullptr;
    std::string value = "<no row>";
    if (sqlite3_prepare_v2(rawDatabase(), query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        value = text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
    }
    sqlite3_finalize(statement);
    return value;
}

bool OperationsTest::tableExists(const std::string& table) {
    return queryInt("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name='" + table +
                    "'") == 1;
}

void OperationsTest::createAndFill(TOLEDBCommunicator& communicator) {
    ASSERT_TRUE(communicator.createTables());
    ASSERT_TRUE(communicator.generateData());
}

void OperationsTest::createAndFillQuickly(TOLEDBCommunicator& communicator, int accounts) {
    ASSERT_TRUE(communicator.createTables());
    sql("INSERT INTO branches (Bid, Bbalance, Remark) VALUES (0, 0, 'filler')");
    sql("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9) "
        "INSERT INTO tellers (Tid, Bid, Tbalance, Remark) SELECT i, 0, 0, 'filler' FROM n");
    sql("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(accounts - 1) +
        ") INSERT INTO accounts (Aid, Bid, Abalance, Remark) SELECT i, 0, 0, 'filler' FROM n");
}

int OperationsTest::logLinesOf(const std::string& operationName) const {
    int count = 0;
    for (const std::string& line : log.lines)
        if (line.rfind(operationName + ": ", 0) == 0)
            ++count;
    return count;
}
