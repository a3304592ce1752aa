// The bench's operations again and again, to find what a long session leaks or wears out: each
// round connects, creates, fills, browses every table, runs both conflict tests, reads the
// information, empties, drops and disconnects, on the SQLite provider and, when the test server
// is described by VANTREL_PG_* (as scripts/pg-cluster prints it), on the PostgreSQL provider.
// After each round it prints the process's resident memory; at the end one line
//   growth: X MB over N rounds (target at most 5)
// where X is the memory after the last round less the memory after the first (the first round
// loads the providers and warms the allocator).
//
// Usage: bench_soak [rounds] [--sqlite-only]   (50 rounds by default)
// Exit status: 0 done; 1 an operation failed or a box was shown; 2 bad arguments; 3 the growth
// exceeded the target over ten rounds or more.

#include "BenchSupport.h"

#include "core/Schema.h"
#include "vantrel/MessageBox.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

constexpr double growthTargetMegabytes = 5;
// Growth is judged only over this many rounds or more: a short run measures the warm-up.
constexpr int roundsToJudgeGrowth = 10;

int boxesShown = 0;

int countBox(HWND, const char* text, const char* caption, UINT) {
    ++boxesShown;
    std::fprintf(stderr, "box \"%s\": %s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "");
    return IDOK;
}

// The process's resident memory now, in MB (VmRSS), or -1.
double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

// The communicator with its session in reach, for the schema the PostgreSQL rounds work in.
class TSoakCommunicator : public TOLEDBCommunicator {
public:
    using TOLEDBCommunicator::TOLEDBCommunicator;
    bool run(const std::string& sql) {
        return executeCommand(session, sql, IID_NULL, nullptr, nullptr, false);
    }
};

struct TTarget {
    std::string name;
    std::string connectionString;
    std::string schema; // PostgreSQL: made before the first round, dropped after the last
};

class TSoak {
public:
    bool round(const TTarget& target) {
        TSoakCommunicator communicator(&window, &log, target.connectionString, 0);
        const int boxesBefore = boxesShown;
        bool ok = step(target, "connect", communicator.connect());
        if (!ok)
            return false;
        ok = step(target, "createTables", communicator.createTables()) &&
             step(target, "generateData", communicator.generateData()) &&
             browse(target, communicator) &&
             step(target, "testConcurrentEdit 0", communicator.testConcurrentEdit(0, &progress)) &&
             step(target, "testConcurrentEdit 1", communicator.testConcurrentEdit(1, &progress)) &&
             step(target, "getInfo", communicator.getInfo(&info)) &&
             step(target, "clearData", communicator.clearData()) &&
             step(target, "dataExist", !communicator.dataExist()) &&
             step(target, "dropTables", communicator.dropTables()) &&
             step(target, "tablesExist", !communicator.tablesExist());
        if (!ok && communicator.isConnected() && communicator.tablesExist())
            communicator.dropTables(); // the next round starts from no tables again
        if (communicator.isConnected())
            communicator.disconnect();
        log.lines.clear();
        progress.lines.clear();
        info.lines.clear();
        return ok && step(target, "no box", boxesShown == boxesBefore);
    }

    bool prepareSchema(const TTarget& target, bool create) {
        if (target.schema.empty())
            return true;
        TSoakCommunicator communicator(&window, &log, target.connectionString, 0);
        if (!step(target, "connect", communicator.connect()))
            return false;
        const bool done =
            communicator.run(create ? "CREATE SCHEMA IF NOT EXISTS " + target.schema
                                    : "DROP SCHEMA IF EXISTS " + target.schema + " CASCADE");
        communicator.disconnect();
        log.lines.clear();
        return step(target, create ? "create schema" : "drop schema", done);
    }

private:
    static bool step(const TTarget& target, const char* what, bool done) {
        if (!done)
            std::fprintf(stderr, "%s: %s failed\n", target.name.c_str(), what);
        return done;
    }

    // Every table: prepared with the rows the load put in, its first screen painted, a jump to
    // its last rows and back.
    static bool browse(const TTarget& target, TSoakCommunicator& communicator) {
        constexpr int loadedRows[tableCount] = {1, 10, 100000, 0};
        for (int table = 0; table < tableCount; ++table) {
            int columns = 0;
            int rows = 0;
            if (!step(target, "prepareTableForBrowsing",
                      communicator.prepareTableForBrowsing(static_cast<TTableIndex>(table), columns,
                                                           rows)))
                return false;
            if (!step(target, "rows loaded", rows == loadedRows[table] + 1))
                return false;
            std::size_t text = 0;
            for (int row : {0, 1, 2, 20, 21, rows - 1, rows - 20, 1})
                for (int column = 0; column < columns; ++column)
                    if (row >= 0 && row < rows)
                        text += communicator.getDataForCell(column, row).size();
            if (!step(target, "unprepareTableForBrowsing",
                      communicator.unprepareTableForBrowsing(static_cast<TTableIndex>(table))) ||
                !step(target, "cells", rows <= 1 || text > 0))
                return false;
        }
        return true;
    }

    bench::TNoWindow window;
    bench::TLinesMemo log;
    bench::TLinesMemo progress;
    bench::TLinesMemo info;
};

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The PostgreSQL target from VANTREL_PG_*, or nothing when the server is not described.
bool postgresTarget(TTarget& target) {
    const std::string host = environment("VANTREL_PG_HOST");
    const std::string port = environment("VANTREL_PG_PORT");
    const std::string user = environment("VANTREL_PG_USER");
    const std::string database = environment("VANTREL_PG_DATABASE");
    if (host.empty() || port.empty() || user.empty() || database.empty())
        return false;
    target.name = "PostgreSQL";
    target.schema = "soak_" + std::to_string(getpid());
    target.connectionString = "Provider=Vantrel.PostgreSQL.1;Data Source=" + host + ":" + port +
                              ";Initial Catalog=" + database + ";User ID=" + user +
                              ";Password=" + environment("VANTREL_PG_PASSWORD") +
                              ";Extended Properties=\"options='-c search_path=" + target.schema +
                              "'\"";
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 50;
    bool sqliteOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sqlite-only") == 0) {
            sqliteOnly = true;
            continue;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || value < 1 || value > 100000) {
            std::fprintf(stderr, "usage: %s [rounds] [--sqlite-only]\n", argv[0]);
            return 2;
        }
        rounds = static_cast<int>(value);
    }

    char pattern[] = "/tmp/vantrel-soak-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path directory = pattern;
    std::vector<TTarget> targets = {
        {"SQLite", bench::connectionStringFor(directory / "soak.db"), ""}};
    TTarget postgres;
    if (!sqliteOnly && postgresTarget(postgres))
        targets.push_back(postgres);
    else if (!sqliteOnly)
        std::printf("PostgreSQL: VANTREL_PG_* not set, SQLite only\n");

    int status = 0;
    {
        bench::TOleDbSession environment;
        VantrelSetMessageBoxHandler(&countBox);
        TSoak soak;
        for (const TTarget& target : targets)
            if (!soak.prepareSchema(target, true))
                status = 1;
        double first = -1;
        double last = -1;
        for (int round = 1; round <= rounds && status == 0; ++round) {
            const auto start = bench::TClock::now();
            for (const TTarget& target : targets)
                if (!soak.round(target))
                    status = 1;
            last = residentMegabytes();
            if (round == 1)
                first = last;
            std::printf("round %d: %.1f MB resident, %.1f s\n", round, last,
                        bench::millisecondsSince(start) / 1000);
            std::fflush(stdout);
        }
        for (const TTarget& target : targets)
            if (!soak.prepareSchema(target, false))
                status = 1;
        VantrelSetMessageBoxHandler(nullptr);
        const double growth = last - first;
        std::printf("growth: %.1f MB over %d rounds (target at most %.0f)\n", growth, rounds,
                    growthTargetMegabytes);
        if (status == 0 && rounds >= roundsToJudgeGrowth && growth > growthTargetMegabytes)
            status = 3;
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return status;
}
