// The consumer written from the published reference alone (tests/apicheck/reference_consumer.cpp)
// run against the SQLite provider: it compiles with nothing but the OLE DB headers and gets the
// answers the reference promises.
#include "ProviderTestSupport.h"

#include "tests/apicheck/reference_consumer.h"

using namespace sqlitetest;

namespace {

// Frees the BSTRs the consumer hands back.
struct Result : ReferenceConsumerResult {
    Result() : ReferenceConsumerResult{} {}
    ~Result() {
        SysFreeString(firstValue);
        SysFreeString(errorDescription);
    }
};

class ReferenceConsumer : public ProviderTest {
protected:
    std::u16string initString(const std::string& extra = "") const {
        return u16("Provider=Vantrel.SQLite;Data Source=" + pathOf("consumer.db") + extra);
    }
};

TEST_F(ReferenceConsumer, WritesAndReadsBackThroughTheDataInitialisationService) {
    Result created;
    ASSERT_EQ(S_OK, RunReferenceConsumer(initString().c_str(), OLESTR("CREATE TABLE t (name TEXT)"),
                                         nullptr, &created));
    EXPECT_EQ(S_OK, created.statementResult);
    EXPECT_FALSE(created.readOnly);

    Result filled;
    ASSERT_EQ(S_OK, RunReferenceConsumer(initString().c_str(),
                                         OLESTR("INSERT INTO t VALUES ('příliš'), ('b')"),
                                         OLESTR("SELECT name FROM t ORDER BY name DESC"), &filled));
    EXPECT_EQ(S_OK, filled.statementResult);
    EXPECT_EQ(2u, filled.rows);
    ASSERT_NE(nullptr, filled.firstValue);
    EXPECT_EQ("příliš", utf8(filled.firstValue));
}

TEST_F(ReferenceConsumer, ReadModeReportsReadOnlyAndRefusesWrites) {
    Result created;
    ASSERT_EQ(S_OK, RunReferenceConsumer(initString().c_str(), OLESTR("CREATE TABLE t (n INT)"),
                                         nullptr, &created));
    Result reading;
    ASSERT_EQ(S_OK, RunReferenceConsumer(initString(";Mode=Read").c_str(),
                                         OLESTR("INSERT INTO t VALUES (1)"),
                                         OLESTR("SELECT COUNT(*) FROM t"), &reading));
    EXPECT_TRUE(reading.readOnly);
    EXPECT_TRUE(FAILED(reading.statementResult));
    ASSERT_NE(nullptr, reading.errorDescription);
    ASSERT_NE(nullptr, reading.firstValue);
    EXPECT_EQ("0", utf8(reading.firstValue));
}

TEST_F(ReferenceConsumer, AnUnknownProviderFailsWithoutLeavingAnApartment) {
    Result result;
    EXPECT_TRUE(FAILED(RunReferenceConsumer(OLESTR("Provider=Vantrel.NoSuchProvider"), nullptr,
                                            OLESTR("SELECT 1"), &result)));
    EXPECT_EQ(0u, result.rows);
    // The consumer balanced its own CoInitializeEx: the fixture's apartment is still there.
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
}

} // namespace
