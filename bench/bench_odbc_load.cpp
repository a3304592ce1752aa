// generateData through TOLEDBCommunicator and the ODBC provider, against the same 100,011 rows
// inserted by a raw ODBC loop (SQLPrepare once per table, SQLBindParameter, SQLExecute per row,
// three serializable transactions ended with SQLEndTran) through the same driver, on the same
// database, in one run: SQLite ODBC on a temporary file, PostgreSQL's driver and MariaDB
// Connector/ODBC on the test servers. Rounds alternate provider and raw loop; medians and their
// ratio per driver.
//
// Usage: bench_odbc_load [rounds]   (default 3) with the exports of scripts/odbc-config,
//        scripts/pg-cluster and scripts/mariadb-cluster in the environment. A driver whose
//        server is not configured is left out and says so. Works in the database
//        "vantrel_bench_odbc" on each server, dropped and created each round.

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleDbEnvironment.h"

#include "OdbcRawLoad.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const database = "vantrel_bench_odbc";

class LinesMemo : public TMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

class NoWindow : public TCommunicatorOwner {
public:
    void* nativeWindowHandle() override { return nullptr; }
};

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "bench_odbc_load: %s\n", what.c_str());
    std::exit(1);
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

struct Target {
    std::string name;
    double target;     // the ratio not to exceed
    std::string admin; // ODBC connection string where the database is made ("" = file)
    std::string odbc;  // ODBC connection string of the benchmark database
    std::string file;  // SQLite
};

std::vector<Target> targets() {
    std::vector<Target> out;
    if (env("ODBCSYSINI").empty() || env("VANTREL_ODBC_DIR").empty())
        die("no test ODBC configuration: eval the output of scripts/odbc-config DIR");
    Target sqlite{"SQLite ODBC", 1.10, "", "", env("VANTREL_ODBC_DIR") + "/bench.db"};
    sqlite.odbc = "DRIVER={Vantrel SQLite3};Database=" + sqlite.file + ";";
    out.push_back(sqlite);
    if (!env("VANTREL_PG_PORT").empty()) {
        const std::string server =
            "DRIVER={Vantrel PostgreSQL};Servername=" + env("VANTREL_PG_HOST") +
            ";Port=" + env("VANTREL_PG_PORT") + ";UID=" + env("VANTREL_PG_USER") +
            ";PWD=" + env("VANTREL_PG_PASSWORD") + ";";
        out.push_back({"PostgreSQL ODBC", 1.05,
                       server + "Database=" + env("VANTREL_PG_DATABASE") + ";",
                       server + "Database=" + database + ";", ""});
    } else {
        std::printf("PostgreSQL ODBC: left out (VANTREL_PG_* not set)\n");
    }
    if (!env("VANTREL_MARIADB_PORT").empty()) {
        const std::string server =
            "DRIVER={Vantrel MariaDB};Server=" + env("VANTREL_MARIADB_HOST") +
            ";Port=" + env("VANTREL_MARIADB_PORT") + ";UID=" + env("VANTREL_MARIADB_USER") +
            ";PWD=" + env("VANTREL_MARIADB_PASSWORD") + ";";
        out.push_back(
            {"MariaDB Connector/ODBC", 1.05, server, server + "Database=" + database + ";", ""});
    } else {
        std::printf("MariaDB Connector/ODBC: left out (VANTREL_MARIADB_* not set)\n");
    }
    return out;
}

std::string initString(const Target& t) {
    return "Provider=Vantrel.ODBC.1;Extended Properties=\"" + t.odbc + "\"";
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A fresh database with the four tables, created through the communicator as the bench does.
void freshDatabase(const Target& t, NoWindow& window, LinesMemo& log) {
    if (!t.file.empty()) {
        std::filesystem::remove(t.file);
    } else {
        std::string error;
        if (!rawOdbcRun(t.admin, std::string("DROP DATABASE IF EXISTS ") + database, error) ||
            !rawOdbcRun(t.admin, std::string("CREATE DATABASE ") + database, error))
            die(t.name + ": " + error);
    }
    TOLEDBCommunicator communicator(&window, &log, initString(t), 0);
    if (!communicator.connect() || !communicator.createTables())
        die(t.name + ": cannot create the tables through the provider");
    communicator.disconnect();
}

void dropDatabase(const Target& t) {
    if (!t.file.empty()) {
        std::filesystem::remove(t.file);
        return;
    }
    std::string error;
    if (!rawOdbcRun(t.admin, std::string("DROP DATABASE IF EXISTS ") + database, error))
        die(t.name + ": " + error);
}

double providerRound(const Target& t, NoWindow& window, LinesMemo& log) {
    freshDatabase(t, window, log);
    TOLEDBCommunicator communicator(&window, &log, initString(t), 0);
    if (!communicator.connect())
        die(t.name + ": cannot connect through the provider");
    const auto start = Clock::now();
    const bool filled = communicator.generateData();
    const double elapsed = millisecondsSince(start);
    communicator.disconnect();
    if (!filled)
        die(t.name + ": generateData failed");
    return elapsed;
}

double rawRound(const Target& t, NoWindow& window, LinesMemo& log) {
    freshDatabase(t, window, log);
    std::string error;
    const double elapsed = rawOdbcLoad(t.odbc, error);
    if (elapsed < 0)
        die(t.name + ": raw loop: " + error);
    return elapsed;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::vector<Target> all = targets();
    setUpOleDbEnvironment();
    NoWindow window;
    LinesMemo log;
    std::vector<std::string> summary;
    for (const Target& t : all) {
        std::vector<double> provider;
        std::vector<double> raw;
        for (int round = 0; round < rounds; ++round) {
            provider.push_back(providerRound(t, window, log));
            raw.push_back(rawRound(t, window, log));
            std::printf("%s round %d: provider %.0f ms, raw ODBC %.0f ms\n", t.name.c_str(),
                        round + 1, provider.back(), raw.back());
            std::fflush(stdout);
        }
        dropDatabase(t);
        const double p = median(provider);
        const double r = median(raw);
        char line[256];
        std::snprintf(line, sizeof line,
                      "%s: generateData, 100,011 rows: provider median %.0f ms, raw ODBC loop "
                      "median %.0f ms\nratio: %.2f (target at most %.2f)",
                      t.name.c_str(), p, r, p / r, t.target);
        summary.push_back(line);
    }
    tearDownOleDbEnvironment();
    for (const std::string& line : summary)
        std::printf("%s\n", line.c_str());
    return 0;
}
