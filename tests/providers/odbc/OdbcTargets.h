// The three real ODBC drivers the provider is tested against, each on a database of the test's
// own: SQLite ODBC on a temporary file, PostgreSQL's driver on the test cluster, MariaDB
// Connector/ODBC on the test MariaDB server (scripts/test starts both servers and writes the
// test-only unixODBC configuration: ODBCSYSINI, ODBCINI, VANTREL_PG_*, VANTREL_MARIADB_*).
// Without that configuration the tests fail, unless VANTREL_SKIP_ODBC=1 asks to skip them
// (and VANTREL_SKIP_POSTGRES=1 skips the PostgreSQL driver's share).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace odbctest {

enum class Driver { SQLite, PostgreSQL, MariaDB };

// "SQLite", "PostgreSQL", "MariaDB": for test names.
std::string driverName(Driver driver);
struct DriverName {
    std::string operator()(const ::testing::TestParamInfo<Driver>& info) const {
        return driverName(info.param);
    }
};
#define ODBC_ALL_DRIVERS                                                                           \
    ::testing::Values(odbctest::Driver::SQLite, odbctest::Driver::PostgreSQL,                      \
                      odbctest::Driver::MariaDB),                                                  \
        odbctest::DriverName()

// Straight through the driver manager, no provider involved: runs SQL ("" or the error), or
// answers the first cell of a query ("<null>", "<no row>", "<error: ...>").
std::string rawRun(const std::string& odbcConnection, const std::string& sql);
std::string rawQuery(const std::string& odbcConnection, const std::string& sql);
// The driver's own SQLGetInfo answers (SQL_DRIVER_NAME, _VER, _ODBC_VER); "<error>" each when
// the connection fails.
struct DriverFacts {
    std::string name, version, odbcVersion;
};
DriverFacts rawDriverFacts(const std::string& odbcConnection);

// A database of the test's own on the parameter's driver, made in SetUp and removed after.
class DriverTest : public ::testing::TestWithParam<Driver> {
protected:
    void SetUp() override;
    void TearDown() override;

    Driver driver() const { return GetParam(); }
    // The ODBC connection string of the test's database, user and password included.
    const std::string& odbcString() const { return odbc_; }
    // The same without the user and password (those go to User ID and Password).
    const std::string& odbcStringWithoutLogin() const { return odbcNoLogin_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& database() const { return database_; }
    // "Provider=Vantrel.ODBC.1;Extended Properties="...";User ID=...;Password=..." plus
    // `extra` keywords.
    std::string initString(const std::string& extra = "") const;
    // The first cell of a query on the test's database, straight through ODBC.
    std::string query(const std::string& sql) const { return rawQuery(odbc_, sql); }
    std::string count(const std::string& table) const {
        return query("SELECT COUNT(*) FROM " + table);
    }
    // The test MariaDB server's directory (stopping and starting it).
    static std::string mariadbDirectory();

private:
    std::string odbc_;
    std::string odbcNoLogin_;
    std::string admin_; // where the database is made and dropped
    std::string user_;
    std::string password_;
    std::string database_;
    std::string file_; // SQLite
};

} // namespace odbctest
