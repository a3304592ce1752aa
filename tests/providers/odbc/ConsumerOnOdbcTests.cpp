// The ODBC provider through the OLE DB interfaces, as a consumer other than the bench uses it,
// on each of the three drivers: values and NULLs in both directions, long text read in pieces,
// every diagnostic record in the error object, transactions with a refused row, parameter
// description, read-only mode, and the data sources the driver manager lists.
#include "OdbcTargets.h"

#include "../sqlite/ProviderTestSupport.h"

#include <msdasc.h>
#include <oleauto.h>

#include <clocale>
#include <cstddef>
#include <cstdint>

namespace {

using odbctest::Driver;
using sqlitetest::Ptr;

class ConsumerOnOdbc : public odbctest::DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The window takes the user's locale, whose character set unixODBC converts the text
        // of drivers without wide functions (SQLite ODBC) through; a UTF-8 one, as on any
        // current desktop.
        std::setlocale(LC_CTYPE, "C.UTF-8");
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        apartment_ = true;
        session = open(initString());
        ASSERT_TRUE(session);
    }
    void TearDown() override {
        session.reset();
        dataSource.reset();
        if (apartment_)
            CoUninitialize();
        DriverTest::TearDown();
    }

    // A session on a data source made from an initialisation string by the data
    // initialisation service; null (and the error object posted) when Initialize fails.
    Ptr<IUnknown> open(const std::string& init, HRESULT* initializeResult = nullptr) {
        Ptr<IDataInitialize> service;
        EXPECT_EQ(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDataInitialize, service.outVoid()),
                  S_OK);
        Ptr<IUnknown> source;
        EXPECT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER,
                                         sqlitetest::u16(init).c_str(), IID_IDBInitialize,
                                         source.out()),
                  S_OK);
        if (!source)
            return Ptr<IUnknown>();
        dataSource = source.query<IDBInitialize>(IID_IDBInitialize);
        const HRESULT hr = dataSource->Initialize();
        if (initializeResult != nullptr)
            *initializeResult = hr;
        if (FAILED(hr))
            return Ptr<IUnknown>();
        auto create = dataSource.query<IDBCreateSession>(IID_IDBCreateSession);
        Ptr<IUnknown> out;
        EXPECT_EQ(create->CreateSession(nullptr, IID_IUnknown, out.out()), S_OK);
        return out;
    }

    void run(const std::string& sql) { sqlitetest::run(session.get(), sql); }
    HRESULT execute(const std::string& sql) { return sqlitetest::execute(session.get(), sql); }
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        return sqlitetest::query(session.get(), sql);
    }
    // The first column of the first row as a BSTR the provider sizes itself: the whole value,
    // however long.
    std::string wholeText(const std::string& sql) {
        const auto texts = sqlitetest::wholeTexts(session.get(), sql);
        if (texts.empty())
            return "<no row>";
        EXPECT_TRUE(texts[0]);
        return texts[0] ? sqlitetest::utf8(texts[0]->c_str()) : "<null>";
    }
    std::string timestampType() const {
        return driver() == Driver::MariaDB ? "DATETIME" : "TIMESTAMP";
    }

    Ptr<IDBInitialize> dataSource;
    Ptr<IUnknown> session;

private:
    bool apartment_ = false;
};

TEST_P(ConsumerOnOdbc, ValuesAndNullsRoundTripInEveryKind) {
    run("CREATE TABLE kinds (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE PRECISION, "
        "big BIGINT, stamp " +
        timestampType() + ")");
    run("INSERT INTO kinds VALUES (1, 'Žluťoučký kůň', 2.5, 9000000000, "
        "{ts '2024-02-29 13:45:59'})");
    run("INSERT INTO kinds VALUES (2, NULL, NULL, NULL, NULL)");
    run("INSERT INTO kinds VALUES (3, '', -0.125, -1, {ts '1999-12-31 00:00:00'})");
    const auto cells = rows("SELECT id, name, amount, big, stamp FROM kinds ORDER BY id");
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0][1], "Žluťoučký kůň");
    EXPECT_EQ(cells[0][2], "2.5");
    EXPECT_EQ(cells[0][3], "9000000000");
    EXPECT_EQ(cells[0][4].substr(0, 19), "2024-02-29 13:45:59");
    for (int column = 1; column <= 4; ++column)
        EXPECT_EQ(cells[1][column], "<null>") << column;
    EXPECT_EQ(cells[2][1], ""); // empty text stays empty, not NULL
    EXPECT_EQ(cells[2][2], "-0.125");
    EXPECT_EQ(cells[2][3], "-1");
}

TEST_P(ConsumerOnOdbc, LongTextArrivesWholeThroughSeveralPieces) {
    const std::string type = driver() == Driver::MariaDB ? "LONGTEXT" : "TEXT";
    run("CREATE TABLE notes (id INTEGER PRIMARY KEY, body " + type + ")");
    std::string body;
    for (int i = 0; body.size() < 20000; ++i)
        body += "řádek " + std::to_string(i) + "; ";
    run("INSERT INTO notes VALUES (1, '" + body + "')");
    const std::string read = wholeText("SELECT body FROM notes");
    EXPECT_EQ(read.size(), body.size());
    EXPECT_TRUE(read == body);
}

TEST_P(ConsumerOnOdbc, FailuresCarryTheDriversRecordsAndAPublishedResult) {
    run("CREATE TABLE keyed (id INTEGER PRIMARY KEY, name VARCHAR(10))");
    run("INSERT INTO keyed VALUES (1, 'one')");
    EXPECT_EQ(execute("INSERT INTO keyed VALUES (1, 'again')"), DB_E_INTEGRITYVIOLATION);
    auto error = sqlitetest::takeError();
    ASSERT_TRUE(error);
    // PostgreSQL and MariaDB say 23xxx; SQLite's driver says HY000 with SQLite's code 19.
    EXPECT_NE(error->description.find(driver() == Driver::SQLite ? "[SQLSTATE HY000, native 19]"
                                                                 : "[SQLSTATE 23"),
              std::string::npos)
        << error->description;
    EXPECT_EQ(error->source, "Vantrel OLE DB Provider for ODBC Drivers");

    EXPECT_EQ(execute("SELEKT * FROM keyed"), DB_E_ERRORSINCOMMAND);
    error = sqlitetest::takeError();
    ASSERT_TRUE(error);
    EXPECT_NE(error->description.find("[SQLSTATE "), std::string::npos) << error->description;

    // The statement's failure is its own: the session goes on.
    EXPECT_EQ(rows("SELECT name FROM keyed")[0][0], "one");
}

TEST_P(ConsumerOnOdbc, ATransactionKeepsItsRowsAcrossARefusedOneAndAbortsWhole) {
    run("CREATE TABLE keyed (id INTEGER PRIMARY KEY, name VARCHAR(10))");
    auto transaction = session.query<ITransactionLocal>(IID_ITransactionLocal);
    ASSERT_TRUE(transaction);
    ASSERT_EQ(transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr),
              S_OK);
    run("INSERT INTO keyed VALUES (1, 'one')");
    EXPECT_EQ(execute("INSERT INTO keyed VALUES (1, 'twice')"), DB_E_INTEGRITYVIOLATION);
    run("INSERT INTO keyed VALUES (2, 'two')");
    ASSERT_EQ(transaction->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
    EXPECT_EQ(query("SELECT COUNT(*) FROM keyed"), "2");

    ASSERT_EQ(transaction->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr),
              S_OK);
    run("INSERT INTO keyed VALUES (3, 'three')");
    run("DELETE FROM keyed WHERE id = 1");
    ASSERT_EQ(transaction->Abort(nullptr, FALSE, FALSE), S_OK);
    EXPECT_EQ(query("SELECT COUNT(*) FROM keyed"), "2");
    EXPECT_EQ(query("SELECT name FROM keyed WHERE id = 1"), "one");
}

TEST_P(ConsumerOnOdbc, InsertParametersAreDescribedFromTheTable) {
    run("CREATE TABLE described (id INTEGER PRIMARY KEY, name VARCHAR(33) NOT NULL)");
    Ptr<IDBCreateCommand> create = session.query<IDBCreateCommand>(IID_IDBCreateCommand);
    Ptr<ICommandText> command;
    ASSERT_EQ(create->CreateCommand(nullptr, IID_ICommandText,
                                    reinterpret_cast<IUnknown**>(command.out())),
              S_OK);
    ASSERT_EQ(
        command->SetCommandText(DBGUID_DBSQL, u"INSERT INTO described (name, id) VALUES (?, ?)"),
        S_OK);
    auto prepare = command.query<ICommandPrepare>(IID_ICommandPrepare);
    ASSERT_EQ(prepare->Prepare(1), S_OK);
    auto parameters = command.query<ICommandWithParameters>(IID_ICommandWithParameters);
    DB_UPARAMS count = 0;
    DBPARAMINFO* info = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(parameters->GetParameterInfo(&count, &info, &names), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(info[0].wType, DBTYPE_STR);
    EXPECT_EQ(info[0].ulParamSize, 33u);
    EXPECT_EQ(info[0].dwFlags & DBPARAMFLAGS_ISNULLABLE, 0u);
    EXPECT_EQ(info[1].wType, DBTYPE_I4);
    CoTaskMemFree(info);
    CoTaskMemFree(names);
}

TEST_P(ConsumerOnOdbc, AParameterTheDriverCannotDescribeIsDescribedByTheConsumer) {
    run("CREATE TABLE looked (id INTEGER PRIMARY KEY, name VARCHAR(10))");
    run("INSERT INTO looked VALUES (7, 'seven')");
    run("INSERT INTO looked VALUES (8, 'eight')");
    Ptr<IDBCreateCommand> create = session.query<IDBCreateCommand>(IID_IDBCreateCommand);
    Ptr<ICommandText> command;
    ASSERT_EQ(create->CreateCommand(nullptr, IID_ICommandText,
                                    reinterpret_cast<IUnknown**>(command.out())),
              S_OK);
    ASSERT_EQ(command->SetCommandText(DBGUID_DBSQL, u"SELECT name FROM looked WHERE id = ? + 0"),
              S_OK);
    ASSERT_EQ(command.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(1), S_OK);
    auto parameters = command.query<ICommandWithParameters>(IID_ICommandWithParameters);
    DB_UPARAMS count = 0;
    DBPARAMINFO* info = nullptr;
    OLECHAR* names = nullptr;
    // Described by the driver, or said to be missing; never made up.
    const HRESULT described = parameters->GetParameterInfo(&count, &info, &names);
    EXPECT_TRUE(described == S_OK || described == DB_E_PARAMUNAVAILABLE) << std::hex << described;
    if (described == DB_E_PARAMUNAVAILABLE) {
        auto error = sqlitetest::takeError();
        ASSERT_TRUE(error);
        EXPECT_NE(error->description.find("SetParameterInfo"), std::string::npos);
    }
    CoTaskMemFree(info);
    CoTaskMemFree(names);

    DB_UPARAMS ordinal = 1;
    DBPARAMBINDINFO bindInfo{};
    bindInfo.pwszDataSourceType = const_cast<OLECHAR*>(u"DBTYPE_I4");
    bindInfo.ulParamSize = sizeof(std::int32_t);
    bindInfo.dwFlags = DBPARAMFLAGS_ISINPUT;
    const HRESULT set = parameters->SetParameterInfo(1, &ordinal, &bindInfo);
    EXPECT_TRUE(set == S_OK || set == DB_S_TYPEINFOOVERRIDDEN) << std::hex << set;

    struct Buffer {
        std::int32_t id;
        DBSTATUS status;
    } buffer{8, DBSTATUS_S_OK};
    DBBINDING binding{};
    binding.iOrdinal = 1;
    binding.obValue = offsetof(Buffer, id);
    binding.obStatus = offsetof(Buffer, status);
    binding.dwPart = DBPART_VALUE | DBPART_STATUS;
    binding.eParamIO = DBPARAMIO_INPUT;
    binding.wType = DBTYPE_I4;
    binding.cbMaxLen = sizeof(std::int32_t);
    auto accessor = command.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &binding, sizeof buffer,
                                       &handle, nullptr),
              S_OK);
    DBPARAMS params{&buffer, 1, handle};
    Ptr<IRowset> rowset;
    ASSERT_EQ(command->Execute(nullptr, IID_IRowset, &params, nullptr,
                               reinterpret_cast<IUnknown**>(rowset.out())),
              S_OK);
    DBCOUNTITEM fetched = 0;
    HROW row = DB_NULL_HROW;
    HROW* rows = &row;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 2, &fetched, &rows), DB_S_ENDOFROWSET);
    EXPECT_EQ(fetched, 1u);
    if (fetched == 1)
        rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
}

TEST_P(ConsumerOnOdbc, ReadOnlyModeRefusesChangesWhereTheDatabaseCan) {
    if (driver() == Driver::SQLite)
        GTEST_SKIP() << "SQLite ODBC has no read-only connection attribute";
    run("CREATE TABLE guarded (id INTEGER PRIMARY KEY)");
    session.reset();
    dataSource.reset();
    session = open(initString("Mode=Read"));
    ASSERT_TRUE(session);
    EXPECT_EQ(execute("INSERT INTO guarded VALUES (1)"), DB_SEC_E_PERMISSIONDENIED);
    EXPECT_EQ(query("SELECT COUNT(*) FROM guarded"), "0");
}

TEST_P(ConsumerOnOdbc, DataSourcesOfTheDriverManagerConnectByName) {
    // The test configuration's data source for this driver, by name alone.
    const char* dsn[] = {"VantrelSQLite", "VantrelPostgreSQL", "VantrelMariaDB"};
    session.reset();
    dataSource.reset();
    std::string init = std::string("Provider=Vantrel.ODBC.1;Data Source=") + dsn[int(driver())];
    if (!user().empty())
        init += ";User ID=" + user() + ";Password=" + password();
    session = open(init);
    ASSERT_TRUE(session) << sqlitetest::takeError().value_or(sqlitetest::ErrorText{}).description;
    EXPECT_EQ(rows("SELECT 1 + 1")[0][0], "2");
}

INSTANTIATE_TEST_SUITE_P(Drivers, ConsumerOnOdbc, ODBC_ALL_DRIVERS);

} // namespace
