#pragma once
// What the PostgreSQL benchmarks share: the server named by the VANTREL_PG_* variables (as
// scripts/pg-cluster prints them), a raw libpq connection into a schema of the benchmark's own,
// and the provider's connection string for the same server and schema. Every failure ends the
// benchmark with the server's message, prefixed by the program's name.

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

struct TPgServer {
    std::string host, port, user, password, database;
};

[[noreturn]] inline void pgDie(const char* program, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program, what.c_str());
    std::exit(1);
}

// Reads the server from the environment; false when any of the variables is unset or empty.
inline bool pgServerFromEnvironment(TPgServer& server) {
    const char* names[] = {"VANTREL_PG_HOST", "VANTREL_PG_PORT", "VANTREL_PG_USER",
                           "VANTREL_PG_PASSWORD", "VANTREL_PG_DATABASE"};
    std::string* fields[] = {&server.host, &server.port, &server.user, &server.password,
                             &server.database};
    for (int i = 0; i < 5; ++i) {
        const char* value = std::getenv(names[i]);
        if (value == nullptr || *value == '\0')
            return false;
        *fields[i] = value;
    }
    return true;
}

// A raw connection; with `schema`, its search_path is that schema (as the provider's is).
inline PGconn* pgConnect(const char* program, const TPgServer& s, const char* schema) {
    const std::string options = schema != nullptr ? std::string("-c search_path=") + schema : "";
    const char* keys[] = {"host", "port", "user", "password", "dbname", "options", nullptr};
    const char* values[] = {s.host.c_str(),     s.port.c_str(),  s.user.c_str(), s.password.c_str(),
                            s.database.c_str(), options.c_str(), nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(c);
        PQfinish(c);
        pgDie(program, message);
    }
    // "drop cascades to table ..." and the like are no results of a benchmark.
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    return c;
}

// Runs one statement that must succeed.
inline void pgRun(const char* program, PGconn* c, const std::string& sql) {
    PGresult* r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
        const std::string message = sql + ": " + PQresultErrorMessage(r);
        PQclear(r);
        pgDie(program, message);
    }
    PQclear(r);
}

// Drops `schema` with everything in it and creates it empty.
inline void pgFreshSchema(const char* program, const TPgServer& s, const char* schema) {
    PGconn* admin = pgConnect(program, s, nullptr);
    pgRun(program, admin, std::string("DROP SCHEMA IF EXISTS ") + schema + " CASCADE");
    pgRun(program, admin, std::string("CREATE SCHEMA ") + schema);
    PQfinish(admin);
}

inline void pgDropSchema(const char* program, const TPgServer& s, const char* schema) {
    PGconn* admin = pgConnect(program, s, nullptr);
    pgRun(program, admin, std::string("DROP SCHEMA IF EXISTS ") + schema + " CASCADE");
    PQfinish(admin);
}

// The PostgreSQL provider's connection string for the same server, working in `schema`.
inline std::string pgConnectionString(const TPgServer& s, const char* schema) {
    return "Provider=Vantrel.PostgreSQL.1;Data Source=" + s.host + ":" + s.port +
           ";Initial Catalog=" + s.database + ";User ID=" + s.user + ";Password=" + s.password +
           ";Extended Properties=\"options='-c search_path=" + schema + "'\"";
}

} // namespace bench
