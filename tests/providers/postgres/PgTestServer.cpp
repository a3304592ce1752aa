#include "PgTestServer.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace pgtest {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

PGconn* adminConnection() {
    std::string why;
    const ServerSettings* s = server(why);
    if (s == nullptr)
        return nullptr;
    const char* keys[] = {"host", "port", "user", "password", "dbname", "connect_timeout", nullptr};
    const char* values[] = {s->host.c_str(),
                            s->port.c_str(),
                            s->user.c_str(),
                            s->password.c_str(),
                            s->database.c_str(),
                            "10",
                            nullptr};
    return PQconnectdbParams(keys, values, 0);
}

bool pgCtl(const std::string& action, const char* stopMode = "fast") {
    std::string why;
    const ServerSettings* s = server(why);
    if (s == nullptr || s->clusterDir.empty())
        return false;
    const std::string bin = "/usr/lib/postgresql/15/bin/pg_ctl";
    const std::string runAs = getuid() == 0 ? "runuser -u postgres -- " : "";
    std::string command = runAs + bin + " -D '" + s->clusterDir + "/data' -w -t 30 ";
    if (action == "stop")
        command += std::string("-m ") + stopMode + " stop";
    else
        command += "-l '" + s->clusterDir + "/server.log' -o '-c listen_addresses=127.0.0.1 -p " +
                   s->port + " -k " + s->clusterDir + " -c fsync=off -c max_connections=40' start";
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

const ServerSettings* server(std::string& why) {
    static const ServerSettings settings{env("VANTREL_PG_HOST"),     env("VANTREL_PG_PORT"),
                                         env("VANTREL_PG_USER"),     env("VANTREL_PG_PASSWORD"),
                                         env("VANTREL_PG_DATABASE"), env("VANTREL_PG_DIR")};
    if (settings.host.empty() || settings.port.empty() || settings.user.empty() ||
        settings.database.empty()) {
        why = "no PostgreSQL server: set VANTREL_PG_HOST, VANTREL_PG_PORT, VANTREL_PG_USER, "
              "VANTREL_PG_PASSWORD and VANTREL_PG_DATABASE (scripts/test does), or "
              "VANTREL_SKIP_POSTGRES=1 to skip these tests";
        return nullptr;
    }
    return &settings;
}

std::string schemaForCurrentTest() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "t_";
    for (char c : std::string(info->test_suite_name()) + "_" + info->name())
        name +=
            std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    name = name.substr(0, 40) + "_" + std::to_string(getpid());
    return name;
}

std::string runAdminSql(const std::string& sql) {
    PGconn* c = adminConnection();
    if (c == nullptr)
        return "no server";
    std::string error;
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    if (PQstatus(c) != CONNECTION_OK) {
        error = PQerrorMessage(c);
    } else {
        PGresult* r = PQexec(c, sql.c_str());
        const ExecStatusType s = PQresultStatus(r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
            error = PQresultErrorMessage(r);
        PQclear(r);
    }
    PQfinish(c);
    return error;
}

std::string queryText(const std::string& sql) {
    PGconn* c = adminConnection();
    if (c == nullptr)
        return "<error: no server>";
    std::string out;
    if (PQstatus(c) != CONNECTION_OK) {
        out = std::string("<error: ") + PQerrorMessage(c) + ">";
    } else {
        PGresult* r = PQexec(c, sql.c_str());
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            out = std::string("<error: ") + PQresultErrorMessage(r) + ">";
        else if (PQntuples(r) == 0)
            out = "<no row>";
        else if (PQgetisnull(r, 0, 0))
            out = "<null>";
        else
            out = PQgetvalue(r, 0, 0);
        PQclear(r);
    }
    PQfinish(c);
    return out;
}

bool stopServer(bool immediately) {
    return pgCtl("stop", immediately ? "immediate" : "fast");
}

bool startServer() {
    return pgCtl("start");
}

void ServerTest::SetUp() {
    std::string why;
    settings_ = server(why);
    if (settings_ == nullptr) {
        if (env("VANTREL_SKIP_POSTGRES") == "1")
            GTEST_SKIP() << "VANTREL_SKIP_POSTGRES=1";
        FAIL() << why;
    }
    schema_ = schemaForCurrentTest();
    ASSERT_EQ(
        runAdminSql("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE; CREATE SCHEMA " + schema_), "");
}

void ServerTest::TearDown() {
    if (settings_ != nullptr && !schema_.empty())
        runAdminSql("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
}

std::string ServerTest::connectionString(const std::string& extra) const {
    std::string s = "Provider=Vantrel.PostgreSQL.1;Data Source=" + settings_->dataSource() +
                    ";Initial Catalog=" + settings_->database + ";User ID=" + settings_->user +
                    ";Password=" + settings_->password + ";Extended Properties=\"" +
                    searchPathOption() + "\"";
    return extra.empty() ? s : s + ";" + extra;
}

std::string ServerTest::searchPathOption() const {
    return "options='-c search_path=" + schema_ + "'";
}

} // namespace pgtest
