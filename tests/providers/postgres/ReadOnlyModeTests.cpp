// Mode (DBPROP_INIT_MODE) on the PostgreSQL provider: Mode=Read gives a session the server
// itself keeps from writing, reported as a read-only data source to a consumer written from the
// reference and to the bench; ReadWrite writes as before.
#include "BenchSupport.h"

#include "core/Text.h"
#include "tests/apicheck/reference_consumer.h"

#include <string>

namespace {

std::u16string u16(const std::string& utf8) {
    return cp1250ToUtf16(utf8ToCp1250(utf8));
}

std::string text(BSTR value) {
    return value ? cp1250ToUtf8(utf16ToCp1250(std::u16string_view(value, SysStringLen(value))))
                 : std::string("<null>");
}

// Frees the BSTRs the consumer hands back.
struct Result : ReferenceConsumerResult {
    Result() : ReferenceConsumerResult{} {}
    ~Result() {
        SysFreeString(firstValue);
        SysFreeString(errorDescription);
    }
};

class ReadOnlyMode : public pgtest::BenchTest {
protected:
    HRESULT run(const std::string& extra, const char16_t* statement, const char16_t* query,
                Result& result) {
        return RunReferenceConsumer(u16(connectionString(extra)).c_str(), statement, query,
                                    &result);
    }
};

TEST_F(ReadOnlyMode, ReadModeReadsButTheServerRefusesEveryWrite) {
    ASSERT_EQ(pgtest::runAdminSql("CREATE TABLE " + schema_ + ".t (n int); INSERT INTO " + schema_ +
                                  ".t VALUES (7)"),
              "");
    for (const char* mode : {"Mode=Read", "Mode=Read|Share Deny None", "Mode=1"}) {
        Result reading;
        ASSERT_EQ(S_OK,
                  run(mode, OLESTR("INSERT INTO t VALUES (8)"), OLESTR("SELECT n FROM t"), reading))
            << mode << ": " << text(reading.errorDescription);
        EXPECT_TRUE(reading.readOnly) << mode;
        // The server's read_only_sql_transaction is a denied permission.
        EXPECT_EQ(DB_SEC_E_PERMISSIONDENIED, reading.statementResult) << mode;
        EXPECT_NE(text(reading.errorDescription).find("read-only"), std::string::npos)
            << mode << ": " << text(reading.errorDescription);
        EXPECT_EQ(1u, reading.rows) << mode;
        EXPECT_EQ("7", text(reading.firstValue)) << mode;
    }
    EXPECT_EQ(count("t"), "1");
}

TEST_F(ReadOnlyMode, ReadWriteAndNoModeWriteAsBefore) {
    ASSERT_EQ(pgtest::runAdminSql("CREATE TABLE " + schema_ + ".t (n int)"), "");
    for (const char* mode : {"Mode=ReadWrite", "Mode=Write", ""}) {
        Result writing;
        ASSERT_EQ(S_OK, run(mode, OLESTR("INSERT INTO t VALUES (1)"), nullptr, writing)) << mode;
        EXPECT_FALSE(writing.readOnly) << mode;
        EXPECT_EQ(S_OK, writing.statementResult) << mode << ": " << text(writing.errorDescription);
    }
    EXPECT_EQ(count("t"), "3");
}

TEST_F(ReadOnlyMode, TheConsumersOwnServerOptionsNeitherGetLostNorTurnWritingBackOn) {
    ASSERT_EQ(pgtest::runAdminSql("CREATE TABLE " + schema_ + ".t (n int)"), "");
    // The search path comes from the same options keyword the read-only setting joins.
    const std::string options = "Extended Properties=\"options='-c search_path=" + schema_ +
                                " -c default_transaction_read_only=off'\"";
    Result reading;
    ASSERT_EQ(S_OK, run("Mode=Read;" + options, OLESTR("INSERT INTO t VALUES (1)"),
                        OLESTR("SELECT count(*) FROM t"), reading))
        << text(reading.errorDescription);
    EXPECT_TRUE(reading.readOnly);
    EXPECT_TRUE(FAILED(reading.statementResult));
    EXPECT_EQ("0", text(reading.firstValue));
    EXPECT_EQ(count("t"), "0");
}

TEST_F(ReadOnlyMode, AModeThatIsNoCombinationOfFlagsIsRefusedAtInitialize) {
    Result refused;
    EXPECT_TRUE(FAILED(run("Mode=64", nullptr, OLESTR("SELECT 1"), refused)));
    EXPECT_NE(text(refused.errorDescription).find("Mode 64"), std::string::npos)
        << text(refused.errorDescription);
}

TEST_F(ReadOnlyMode, TheBenchSeesAReadOnlySourceAndCannotChangeIt) {
    {
        auto writer = connect();
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->createTables());
    }
    auto c = connect("Mode=Read");
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isReadOnly());
    EXPECT_TRUE(c->tablesExist());
    pgtest::TestMemo memo;
    ASSERT_TRUE(c->getInfo(&memo));
    ASSERT_GE(memo.lines.size(), 5u);
    EXPECT_EQ(memo.lines[4], utf8ToCp1250("Je datový zdroj pouze pro čtení: Y"));
    // Browsing works; writing is refused by the server and nothing changes.
    int columns = 0;
    int rows = 0;
    EXPECT_TRUE(c->prepareTableForBrowsing(0, columns, rows));
    EXPECT_TRUE(c->unprepareTableForBrowsing(0));
    EXPECT_FALSE(c->dropTables());
    EXPECT_FALSE(boxes.empty());
    EXPECT_EQ(count("branches"), "0");
    EXPECT_TRUE(c->tablesExist());
}

} // namespace
