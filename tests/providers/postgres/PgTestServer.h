// The PostgreSQL server the tests run against: the one scripts/test starts, described by the
// VANTREL_PG_* environment variables. Without them the tests fail, unless VANTREL_SKIP_POSTGRES=1
// asks to skip them.
//
// Every test works in a schema of its own (put first on the search path through Extended
// Properties), so tests running side by side in one database never meet.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace pgtest {

struct ServerSettings {
    std::string host;
    std::string port;
    std::string user;
    std::string password;
    std::string database;
    std::string clusterDir; // for tests that stop and start the server; may be empty
    std::string dataSource() const { return host + ":" + port; }
};

// Null when the server is not configured; `why` says what is missing.
const ServerSettings* server(std::string& why);

// A fresh schema name for the running test ("t_<test>_<pid>"), lower case.
std::string schemaForCurrentTest();

// Runs SQL through psql-free libpq on a connection of its own; returns the empty string or
// libpq's error message.
std::string runAdminSql(const std::string& sql);

// The first cell a query answers on a connection of its own: "<null>", "<no row>", or
// "<error: message>".
std::string queryText(const std::string& sql);

// Stops / starts the test cluster (pg_ctl on VANTREL_PG_DIR, as the postgres user when root).
// Returns true on success; bounded by pg_ctl's own time-out.
// `immediately` stops it as a crash would, without a word to the connected clients.
bool stopServer(bool immediately = false);
bool startServer();

// Base fixture: checks the server and makes (and drops) the test's schema.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const ServerSettings& settings() const { return *settings_; }
    // "options='-c search_path=<schema>'", for Extended Properties.
    std::string searchPathOption() const;
    // An OLE DB initialisation string for the provider on the test server and schema, with
    // `extra` keywords appended ("Concurrency=Optimistic").
    std::string connectionString(const std::string& extra = "") const;
    std::string schema_;

private:
    const ServerSettings* settings_ = nullptr;
};

} // namespace pgtest
