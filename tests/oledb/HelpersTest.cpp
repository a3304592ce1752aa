// The shared OLE DB routines on the real SQLite provider, and on the failing provider where a
// provider must misbehave.

#include "support/CommunicatorProbe.h"
#include "support/FailingProvider.h"
#include "support/OleDbFixture.h"

#include "oledb/ComPtr.h"

#include <filesystem>

namespace {

class HelpersTest : public TOleDbTest {
protected:
    void SetUp() override {
        TOleDbTest::SetUp();
        communicator =
            std::make_unique<TCommunicatorProbe>(&owner, &log, sqliteConnectionString(), 0);
        ASSERT_TRUE(communicator->connect());
        session = communicator->sessionObject();
        dataSource = communicator->dataSourceObject();
    }
    void TearDown() override {
        if (communicator && communicator->isConnected()) {
            communicator->disconnect();
        }
        communicator.reset();
        TOleDbTest::TearDown();
    }
    bool run(const std::string& sql) {
        return executeCommand(session, sql, IID_NULL, nullptr, nullptr, false);
    }

    std::unique_ptr<TCommunicatorProbe> communicator;
    IUnknown* session = nullptr;
    IUnknown* dataSource = nullptr;
};

TEST_F(HelpersTest, RejectedStatementGivesFalseWithoutBox) {
    EXPECT_FALSE(run("SELEKT nothing FROM nowhere"));
    EXPECT_FALSE(run("SELECT COUNT(*) FROM branches"));
    EXPECT_EQ(boxes.count(), 0u);
    // Nothing of the rejected statement is left for a later report to show as its own.
    std::string text;
    checkHResult(E_FAIL, text);
    EXPECT_EQ(text, "\nNo Error Info posted; HResult: 0x80004005\n");
}

TEST_F(HelpersTest, QueryHandsOverItsRowsetAndARejectedOneLeavesNone) {
    ASSERT_TRUE(run("CREATE TABLE branches (Bid INTEGER, Bbalance INTEGER, Remark CHAR(91))"));
    TComPtr<IRowset> rowset;
    EXPECT_TRUE(executeCommand(session, "SELECT * FROM branches", IID_IRowset, rowset.outUnknown(),
                               nullptr, false));
    EXPECT_TRUE(rowset);
    TComPtr<IRowset> none;
    EXPECT_FALSE(executeCommand(session, "SELECT * FROM tellers", IID_IRowset, none.outUnknown(),
                                nullptr, false));
    EXPECT_FALSE(none);
}

TEST_F(HelpersTest, CountRowsOfMissingEmptyAndFilledTables) {
    EXPECT_EQ(countRows(session, tiBranches), 0);
    ASSERT_TRUE(run("CREATE TABLE tellers (Tid INTEGER, Bid INTEGER, Tbalance INTEGER, "
                    "Remark CHAR(87))"));
    EXPECT_EQ(countRows(session, tiTellers), 0);
    for (int i = 0; i < 13; ++i) {
        ASSERT_TRUE(run("INSERT INTO tellers VALUES (" + std::to_string(i) + ", 0, 0, 'x')"));
    }
    EXPECT_EQ(countRows(session, tiTellers), 13);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(HelpersTest, CommandTextLongerThan1023CharactersIsPassedWhole) {
    ASSERT_TRUE(run("CREATE TABLE accounts (Aid INTEGER)"));
    ASSERT_TRUE(run("INSERT INTO accounts VALUES (1)"));
    ASSERT_TRUE(run("INSERT INTO accounts VALUES (2)"));
    // Cut anywhere before its end, this text would fail or delete a different row.
    std::string sql = "DELETE FROM accounts WHERE Aid = 2";
    while (sql.size() < 3000) {
        sql += " AND Aid <> 3";
    }
    sql += " AND Aid <> 1";
    EXPECT_TRUE(run(sql));
    EXPECT_EQ(countRows(session, tiAccounts), 1);
}

TEST_F(HelpersTest, StringAndBoolPropertiesOfTheDataSource) {
    std::string name = "stale";
    getStringProperty(name, dataSource, DBPROP_DBMSNAME, DBPROPSET_DATASOURCEINFO);
    EXPECT_EQ(name, "SQLite");
    EXPECT_EQ(getBoolProperty(dataSource, DBPROP_DATASOURCEREADONLY, DBPROPSET_DATASOURCEINFO), 0);
    // A boolean read as a string, and a string read as a boolean, give the defaults.
    std::string readOnly = "stale";
    getStringProperty(readOnly, dataSource, DBPROP_DATASOURCEREADONLY, DBPROPSET_DATASOURCEINFO);
    EXPECT_EQ(readOnly, "");
    EXPECT_EQ(getBoolProperty(dataSource, DBPROP_DBMSNAME, DBPROPSET_DATASOURCEINFO), 0);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(HelpersTest, UnsupportedPropertyIsReportedOnce) {
    EXPECT_THROW(getBoolProperty(dataSource, 0x7ABC, DBPROPSET_DATASOURCEINFO), EResultException);
    EXPECT_EQ(boxes.count(), 1u);
}

TEST_F(HelpersTest, ColumnInfoOfAQuery) {
    ASSERT_TRUE(run("CREATE TABLE history (Tid INTEGER, Bid INTEGER, Aid INTEGER, Delta INTEGER, "
                    "Time DATETIME, Remark CHAR(75))"));
    TComPtr<IRowset> rowset;
    ASSERT_TRUE(executeCommand(session, "SELECT * FROM history", IID_IRowset, rowset.outUnknown(),
                               nullptr, false));
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
    getColumnInfo(rowset.get(), &count, &info, &strings);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(info[0].iOrdinal, 1u);
    EXPECT_EQ(info[5].iOrdinal, 6u);
    EXPECT_EQ(info[5].ulColumnSize, 75u);
    freeTaskMemory(info);
    freeTaskMemory(strings);
}

class FailingHelpersTest : public TOleDbTest {
protected:
    void SetUp() override {
        TOleDbTest::SetUp();
        communicator = std::make_unique<TCommunicatorProbe>(
            &owner, &log, failing::connectionString(databasePath()), 0);
        ASSERT_TRUE(communicator->connect());
        session = communicator->sessionObject();
        dataSource = communicator->dataSourceObject();
    }
    void TearDown() override {
        failing::reset();
        if (communicator && communicator->isConnected()) {
            communicator->disconnect();
        }
        communicator.reset();
        TOleDbTest::TearDown();
    }

    failing::TRegistration registration;
    std::unique_ptr<TCommunicatorProbe> communicator;
    IUnknown* session = nullptr;
    IUnknown* dataSource = nullptr;
};

TEST_F(FailingHelpersTest, ChangeableRequestRejectedByTheProviderIsReported) {
    failing::failCall("ICommandProperties::SetProperties", DB_E_ERRORSOCCURRED, 0, -1,
                      "IRowsetChange is not offered");
    TComPtr<IRowset> rowset;
    EXPECT_THROW(
        executeCommand(session, "SELECT 1", IID_IRowset, rowset.outUnknown(), nullptr, true),
        EResultException);
    EXPECT_FALSE(rowset);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              "\nErrorInfo:  HResult: 0x80040e21, Description: IRowsetChange is not "
              "offered\nSource: Vantrel.FailingSQLite\n");
    EXPECT_EQ(failing::callCount("ICommand::Execute"), 0);
}

TEST_F(FailingHelpersTest, EmptyPropertyValueReadsAsFalseAndEmptyText) {
    failing::answerEmptyPropertyValues(true);
    EXPECT_EQ(getBoolProperty(dataSource, DBPROP_DATASOURCEREADONLY, DBPROPSET_DATASOURCEINFO), 0);
    std::string name = "stale";
    getStringProperty(name, dataSource, DBPROP_DBMSNAME, DBPROPSET_DATASOURCEINFO);
    EXPECT_EQ(name, "");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(FailingHelpersTest, FailureWhileCountingPassesToTheCaller) {
    ASSERT_TRUE(executeCommand(session, "CREATE TABLE branches (Bid INTEGER)", IID_NULL, nullptr,
                               nullptr, false));
    failing::failCall("IRowset::GetNextRows", E_FAIL);
    EXPECT_THROW(countRows(session, tiBranches), EResultException);
    EXPECT_EQ(boxes.count(), 1u);
}

TEST_F(FailingHelpersTest, AFailedCountReadIsReportedWithTheProvidersOwnMessage) {
    ASSERT_TRUE(executeCommand(session, "CREATE TABLE branches (Bid INTEGER)", IID_NULL, nullptr,
                               nullptr, false));
    failing::failCall("IRowset::GetData", DB_E_BADACCESSORHANDLE, 0, -1, "read failed");
    EXPECT_THROW(countRows(session, tiBranches), EResultException);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_NE(boxes.boxes()[0].text.find("Description: read failed"), std::string::npos)
        << boxes.boxes()[0].text;
    EXPECT_EQ(failing::callCount("IRowset::ReleaseRows"), 1) << "the row is released all the same";
}

TEST_F(FailingHelpersTest, FailureWhileBuildingTheCommandIsReported) {
    failing::failCall("IDBCreateCommand::CreateCommand", E_OUTOFMEMORY);
    EXPECT_THROW(executeCommand(session, "SELECT 1", IID_NULL, nullptr, nullptr, false),
                 EResultException);
    EXPECT_EQ(boxes.count(), 1u);
}

} // namespace
