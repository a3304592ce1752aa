#include "OdbcTargets.h"

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace odbctest {

namespace {

// The driver manager loads its configuration library on demand and unloads it again, leaving the
// blocks it parsed behind under a name the leak checker can no longer show. Kept loaded for the
// whole test process, its blocks stay named (scripts/lsan.supp names the library).
[[maybe_unused]] const bool configurationLibraryKept =
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE) != nullptr;

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

// One raw connection; every call's outcome as text.
class Raw {
public:
    explicit Raw(const std::string& connection) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        std::string text = connection;
        const SQLRETURN rc =
            SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                             SQLSMALLINT(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (SQL_SUCCEEDED(rc))
            connected_ = true;
        else
            error_ = diagnostics(SQL_HANDLE_DBC, dbc_);
    }
    ~Raw() {
        if (connected_)
            SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    const std::string& error() const { return error_; }
    // SQLGetInfo text, or "<error>".
    std::string info(SQLUSMALLINT what) {
        char buffer[256] = {};
        SQLSMALLINT length = 0;
        if (!connected_ || !SQL_SUCCEEDED(SQLGetInfo(dbc_, what, buffer, sizeof buffer, &length)))
            return "<error>";
        return buffer;
    }
    // Runs sql; for a query, the first cell into `cell`.
    std::string run(const std::string& sql, std::string* cell) {
        if (!connected_)
            return error_;
        SQLHSTMT s = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s);
        std::string text = sql;
        std::string out;
        const SQLRETURN rc =
            SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(text.data()), SQLINTEGER(text.size()));
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
            out = diagnostics(SQL_HANDLE_STMT, s);
        } else if (cell != nullptr) {
            if (!SQL_SUCCEEDED(SQLFetch(s))) {
                *cell = "<no row>";
            } else {
                char buffer[4096] = {};
                SQLLEN length = 0;
                if (!SQL_SUCCEEDED(SQLGetData(s, 1, SQL_C_CHAR, buffer, sizeof buffer, &length)))
                    *cell = "<error: " + diagnostics(SQL_HANDLE_STMT, s) + ">";
                else
                    *cell = length == SQL_NULL_DATA ? "<null>" : buffer;
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        return out;
    }

private:
    static std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
        std::string out;
        for (SQLSMALLINT n = 1; n < 10; ++n) {
            SQLCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLCHAR message[1024] = {};
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, n, state, &native, message,
                                             sizeof message, &length)))
                break;
            out += std::string(reinterpret_cast<char*>(state)) + " " +
                   reinterpret_cast<char*>(message) + "\n";
        }
        return out.empty() ? "failed without a diagnostic record" : out;
    }

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    std::string error_;
};

std::string databaseForCurrentTest() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "t_";
    for (char c : std::string(info->test_suite_name()) + "_" + info->name())
        name +=
            std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    // Unique per process and short enough for every server's identifier limit.
    std::size_t hash = std::hash<std::string>()(name);
    return name.substr(0, 30) + "_" + std::to_string(hash % 100000) + "_" +
           std::to_string(getpid());
}

} // namespace

std::string driverName(Driver driver) {
    switch (driver) {
    case Driver::SQLite:
        return "SQLite";
    case Driver::PostgreSQL:
        return "PostgreSQL";
    case Driver::MariaDB:
        break;
    }
    return "MariaDB";
}

std::string rawRun(const std::string& odbcConnection, const std::string& sql) {
    Raw raw(odbcConnection);
    return raw.run(sql, nullptr);
}

std::string rawQuery(const std::string& odbcConnection, const std::string& sql) {
    Raw raw(odbcConnection);
    std::string cell;
    const std::string error = raw.run(sql, &cell);
    return error.empty() ? cell : "<error: " + error + ">";
}

DriverFacts rawDriverFacts(const std::string& odbcConnection) {
    Raw raw(odbcConnection);
    return {raw.info(SQL_DRIVER_NAME), raw.info(SQL_DRIVER_VER), raw.info(SQL_DRIVER_ODBC_VER)};
}

std::string DriverTest::mariadbDirectory() {
    return env("VANTREL_MARIADB_DIR");
}

void DriverTest::SetUp() {
    if (env("VANTREL_SKIP_ODBC") == "1")
        GTEST_SKIP() << "VANTREL_SKIP_ODBC=1";
    if (env("ODBCSYSINI").empty() || env("VANTREL_ODBC_DIR").empty())
        FAIL() << "no test ODBC configuration: run scripts/odbc-config and export what it prints "
                  "(scripts/test does), or VANTREL_SKIP_ODBC=1 to skip these tests";
    database_ = databaseForCurrentTest();
    switch (driver()) {
    case Driver::SQLite:
        file_ = env("VANTREL_ODBC_DIR") + "/" + database_ + ".db";
        std::filesystem::remove(file_);
        odbcNoLogin_ = "DRIVER={Vantrel SQLite3};Database=" + file_ + ";";
        odbc_ = odbcNoLogin_;
        return;
    case Driver::PostgreSQL: {
        if (env("VANTREL_PG_PORT").empty()) {
            if (env("VANTREL_SKIP_POSTGRES") == "1")
                GTEST_SKIP() << "VANTREL_SKIP_POSTGRES=1";
            FAIL() << "no PostgreSQL server: VANTREL_PG_* are not set";
        }
        user_ = env("VANTREL_PG_USER");
        password_ = env("VANTREL_PG_PASSWORD");
        const std::string server =
            "DRIVER={Vantrel PostgreSQL};Servername=" + env("VANTREL_PG_HOST") +
            ";Port=" + env("VANTREL_PG_PORT") + ";";
        const std::string login = "UID=" + user_ + ";PWD=" + password_ + ";";
        admin_ = server + "Database=" + env("VANTREL_PG_DATABASE") + ";" + login;
        ASSERT_EQ(rawRun(admin_, "CREATE DATABASE " + database_), "");
        odbcNoLogin_ = server + "Database=" + database_ + ";";
        break;
    }
    case Driver::MariaDB: {
        if (env("VANTREL_MARIADB_PORT").empty())
            FAIL() << "no MariaDB server: VANTREL_MARIADB_* are not set (scripts/mariadb-cluster)";
        user_ = env("VANTREL_MARIADB_USER");
        password_ = env("VANTREL_MARIADB_PASSWORD");
        const std::string server =
            "DRIVER={Vantrel MariaDB};Server=" + env("VANTREL_MARIADB_HOST") +
            ";Port=" + env("VANTREL_MARIADB_PORT") + ";";
        const std::string login = "UID=" + user_ + ";PWD=" + password_ + ";";
        admin_ = server + login;
        ASSERT_EQ(rawRun(admin_, "CREATE DATABASE " + database_), "");
        odbcNoLogin_ = server + "Database=" + database_ + ";";
        break;
    }
    }
    odbc_ = odbcNoLogin_ + "UID=" + user_ + ";PWD=" + password_ + ";";
}

void DriverTest::TearDown() {
    if (!file_.empty())
        std::filesystem::remove(file_);
    if (!admin_.empty()) {
        const std::string force = driver() == Driver::PostgreSQL ? " WITH (FORCE)" : "";
        rawRun(admin_, "DROP DATABASE IF EXISTS " + database_ + force);
    }
}

std::string DriverTest::initString(const std::string& extra) const {
    std::string s = "Provider=Vantrel.ODBC.1;Extended Properties=\"" + odbcNoLogin_ + "\"";
    if (!user_.empty())
        s += ";User ID=" + user_ + ";Password=" + password_;
    return extra.empty() ? s : s + ";" + extra;
}

} // namespace odbctest
