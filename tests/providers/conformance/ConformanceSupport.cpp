#include "ConformanceSupport.h"

#include "PgTestServer.h"

#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace conformance {

std::string nameOf(Provider provider) {
    switch (provider) {
    case Provider::SQLite:
        return "SQLite";
    case Provider::PostgreSQL:
        return "PostgreSQL";
    case Provider::OdbcSQLite:
        break;
    }
    return "OdbcSQLite";
}

std::u16string u16(const std::string& utf8) {
    // The tests use ASCII text only.
    return std::u16string(utf8.begin(), utf8.end());
}

namespace {

std::string ascii(const OLECHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

} // namespace

void ProviderTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    if (GetParam() == Provider::PostgreSQL) {
        std::string why;
        if (pgtest::server(why) == nullptr) {
            const char* skip = std::getenv("VANTREL_SKIP_POSTGRES");
            if (skip != nullptr && std::string(skip) == "1")
                GTEST_SKIP() << "VANTREL_SKIP_POSTGRES=1";
            FAIL() << why;
        }
        schema_ = pgtest::schemaForCurrentTest();
        ASSERT_EQ(pgtest::runAdminSql("DROP SCHEMA IF EXISTS " + schema_ +
                                      " CASCADE; CREATE SCHEMA " + schema_),
                  "");
    } else {
        if (GetParam() == Provider::OdbcSQLite && std::getenv("ODBCSYSINI") == nullptr) {
            const char* skip = std::getenv("VANTREL_SKIP_ODBC");
            if (skip != nullptr && std::string(skip) == "1")
                GTEST_SKIP() << "VANTREL_SKIP_ODBC=1";
            FAIL() << "no test ODBC configuration: export what scripts/odbc-config prints";
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrel-conformance.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    dataSource_ = createDataSource();
    ASSERT_TRUE(dataSource_);
    ASSERT_EQ(dataSource_->Initialize(), S_OK) << takeErrorDescription();
    auto create = dataSource_.query<IDBCreateSession>(IID_IDBCreateSession);
    ASSERT_TRUE(create);
    ASSERT_EQ(create->CreateSession(nullptr, IID_IUnknown, session_.out()), S_OK);
    run("CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(40), amount INTEGER)");
    run("INSERT INTO t (id, name, amount) VALUES (1, 'one', 10)");
    run("INSERT INTO t (id, name, amount) VALUES (2, 'two', 20)");
    run("INSERT INTO t (id, name, amount) VALUES (3, 'three', 30)");
}

void ProviderTest::TearDown() {
    session_.reset();
    dataSource_.reset();
    if (!schema_.empty())
        pgtest::runAdminSql("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    CoUninitialize();
}

std::string ProviderTest::initString() const {
    if (GetParam() == Provider::SQLite)
        return "Provider=Vantrel.SQLite.1;Data Source=" + directory_ + "/conformance.db";
    if (GetParam() == Provider::OdbcSQLite)
        return "Provider=Vantrel.ODBC.1;Extended Properties=\"DRIVER={Vantrel SQLite3};Database=" +
               directory_ + "/conformance.db;\"";
    std::string why;
    const pgtest::ServerSettings& s = *pgtest::server(why);
    return "Provider=Vantrel.PostgreSQL.1;Data Source=" + s.dataSource() +
           ";Initial Catalog=" + s.database + ";User ID=" + s.user + ";Password=" + s.password +
           ";Extended Properties=\"options='-c search_path=" + schema_ + "'\"";
}

Ptr<IDBInitialize> ProviderTest::createDataSource() const {
    Ptr<IDataInitialize> service;
    Ptr<IDBInitialize> source;
    EXPECT_EQ(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDataInitialize, service.outVoid()),
              S_OK);
    if (!service)
        return source;
    const std::u16string text = u16(initString());
    EXPECT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, text.c_str(), IID_IDBInitialize,
                                     source.outUnknown()),
              S_OK)
        << takeErrorDescription();
    return source;
}

Ptr<ICommandText> ProviderTest::command(const std::string& sql) const {
    Ptr<ICommandText> text;
    auto create = session_.query<IDBCreateCommand>(IID_IDBCreateCommand);
    EXPECT_TRUE(create);
    if (!create)
        return text;
    EXPECT_EQ(create->CreateCommand(nullptr, IID_ICommandText, text.outUnknown()), S_OK);
    const std::u16string wide = u16(sql);
    if (text && !sql.empty()) {
        EXPECT_EQ(text->SetCommandText(DBGUID_DBSQL, wide.c_str()), S_OK);
    }
    return text;
}

HRESULT ProviderTest::execute(const std::string& sql) const {
    Ptr<ICommandText> text = command(sql);
    return text ? text->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr) : E_FAIL;
}

void ProviderTest::run(const std::string& sql) const {
    ASSERT_EQ(execute(sql), S_OK) << sql << ": " << takeErrorDescription();
}

Ptr<IRowset> ProviderTest::open(const std::string& sql, bool changeable) const {
    Ptr<ICommandText> text = command(sql);
    Ptr<IRowset> rowset;
    if (!text)
        return rowset;
    if (changeable) {
        DBPROP props[2]{};
        props[0].dwPropertyID = DBPROP_IRowsetChange;
        props[0].dwOptions = DBPROPOPTIONS_REQUIRED;
        props[0].colid = DB_NULLID;
        props[0].vValue.vt = VT_BOOL;
        props[0].vValue.boolVal = VARIANT_TRUE;
        props[1].dwPropertyID = DBPROP_UPDATABILITY;
        props[1].dwOptions = DBPROPOPTIONS_REQUIRED;
        props[1].colid = DB_NULLID;
        props[1].vValue.vt = VT_I4;
        props[1].vValue.lVal = DBPROPVAL_UP_CHANGE | DBPROPVAL_UP_DELETE | DBPROPVAL_UP_INSERT;
        DBPROPSET set{props, 2, DBPROPSET_ROWSET};
        auto properties = text.query<ICommandProperties>(IID_ICommandProperties);
        EXPECT_EQ(properties->SetProperties(1, &set), S_OK);
    }
    EXPECT_EQ(text->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.outUnknown()), S_OK)
        << sql << ": " << takeErrorDescription();
    return rowset;
}

std::string ProviderTest::firstCell(const std::string& sql) const {
    Ptr<IRowset> rowset = open(sql);
    if (!rowset)
        return "<error>";
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    DBBINDING binding = cellBinding(1, DBTYPE_STR, sizeof(Cell::value), 0);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    if (accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &handle, nullptr) != S_OK)
        return "<error>";
    DBCOUNTITEM got = 0;
    HROW row = DB_NULL_HROW;
    HROW* rows = &row;
    std::string out = "<no row>";
    if (rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows) == S_OK && got == 1) {
        Cell cell{};
        if (FAILED(rowset->GetData(row, handle, &cell)))
            out = "<error>";
        else if (cell.status == DBSTATUS_S_ISNULL)
            out = "<null>";
        else
            out = reinterpret_cast<const char*>(cell.value);
        rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    }
    accessor->ReleaseAccessor(handle, nullptr);
    return out;
}

DBBINDING cellBinding(DBORDINAL ordinal, DBTYPE type, DBLENGTH maxLength, std::size_t index,
                      DBPARAMIO io) {
    DBBINDING b{};
    b.iOrdinal = ordinal;
    b.obStatus = index * sizeof(Cell) + offsetof(Cell, status);
    b.obLength = index * sizeof(Cell) + offsetof(Cell, length);
    b.obValue = index * sizeof(Cell) + offsetof(Cell, value);
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = io;
    b.cbMaxLen = maxLength;
    b.wType = type;
    return b;
}

std::string takeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr)
        return "<none>";
    BSTR description = nullptr;
    info->GetDescription(&description);
    std::string out = ascii(description);
    SysFreeString(description);
    info->Release();
    return out;
}

} // namespace conformance
