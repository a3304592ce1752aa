// generateData through TOLEDBCommunicator and the PostgreSQL provider, against the same 100,011
// rows inserted by a raw libpq loop (one prepared INSERT per table, one execution per row, three
// serializable transactions) on the identical schema, against the same server in one run. Five
// rounds each, alternating; medians and their ratio.
//
// Usage: bench_postgres_load   with VANTREL_PG_HOST, VANTREL_PG_PORT, VANTREL_PG_USER,
//        VANTREL_PG_PASSWORD and VANTREL_PG_DATABASE set (as scripts/pg-cluster prints them).
//        Works in the schema "vantrel_bench_load", which it drops and creates each round.

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleDbEnvironment.h"

#include "PgBenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int rounds = 5;
const char* const schema = "vantrel_bench_load";

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

const char* const program = "bench_postgres_load";

bench::TPgServer serverFromEnvironment() {
    bench::TPgServer server;
    if (!bench::pgServerFromEnvironment(server)) {
        std::fprintf(stderr, "bench_postgres_load: VANTREL_PG_HOST, VANTREL_PG_PORT, "
                             "VANTREL_PG_USER, VANTREL_PG_PASSWORD and VANTREL_PG_DATABASE must be "
                             "set (start a server with scripts/pg-cluster start DIR and eval its "
                             "output)\n");
        std::exit(2);
    }
    return server;
}

[[noreturn]] void die(const std::string& what) {
    bench::pgDie(program, what);
}

void run(PGconn* c, const std::string& sql) {
    bench::pgRun(program, c, sql);
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A fresh schema with the four tables, created through the communicator as the bench does.
void freshSchema(const bench::TPgServer& s, NoWindow& window, LinesMemo& log) {
    bench::pgFreshSchema(program, s, schema);
    TOLEDBCommunicator communicator(&window, &log, bench::pgConnectionString(s, schema), 0);
    if (!communicator.connect() || !communicator.createTables())
        die("cannot create the tables through the provider");
    communicator.disconnect();
}

double providerRound(const bench::TPgServer& s, NoWindow& window, LinesMemo& log) {
    freshSchema(s, window, log);
    TOLEDBCommunicator communicator(&window, &log, bench::pgConnectionString(s, schema), 0);
    if (!communicator.connect())
        die("cannot connect through the provider");
    const auto start = Clock::now();
    const bool filled = communicator.generateData();
    const double elapsed = millisecondsSince(start);
    communicator.disconnect();
    if (!filled)
        die("generateData failed");
    return elapsed;
}

void rawPass(PGconn* c, const char* name, const char* insert, int rows, int bidDivisor,
             int parameters) {
    run(c, "BEGIN ISOLATION LEVEL SERIALIZABLE");
    PGresult* prepared = PQprepare(c, name, insert, 0, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
        die(PQresultErrorMessage(prepared));
    PQclear(prepared);
    std::string key;
    std::string bid;
    for (int row = 0; row < rows; ++row) {
        key = std::to_string(row);
        bid = std::to_string(bidDivisor > 0 ? row / bidDivisor : 0);
        const char* three[] = {key.c_str(), "0", "filler"};
        const char* four[] = {key.c_str(), bid.c_str(), "0", "filler"};
        PGresult* r = PQexecPrepared(c, name, parameters, parameters == 3 ? three : four, nullptr,
                                     nullptr, 0);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            die(PQresultErrorMessage(r));
        PQclear(r);
    }
    run(c, std::string("DEALLOCATE ") + name);
    run(c, "COMMIT");
}

double rawRound(const bench::TPgServer& s, NoWindow& window, LinesMemo& log) {
    freshSchema(s, window, log);
    PGconn* c = bench::pgConnect(program, s, schema);
    const auto start = Clock::now();
    rawPass(c, "b", "INSERT INTO branches (Bid, Bbalance, Remark) VALUES ($1, $2, $3)", 1, 0, 3);
    rawPass(c, "t", "INSERT INTO tellers (Tid, Bid, Tbalance, Remark) VALUES ($1, $2, $3, $4)", 10,
            10, 4);
    rawPass(c, "a", "INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES ($1, $2, $3, $4)",
            100000, 100000, 4);
    const double elapsed = millisecondsSince(start);
    PQfinish(c);
    return elapsed;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    const bench::TPgServer server = serverFromEnvironment();
    setUpOleDbEnvironment();
    NoWindow window;
    LinesMemo log;
    std::vector<double> provider;
    std::vector<double> raw;
    for (int round = 0; round < rounds; ++round) {
        provider.push_back(providerRound(server, window, log));
        raw.push_back(rawRound(server, window, log));
        std::printf("round %d: provider %.0f ms, raw libpq %.0f ms\n", round + 1, provider.back(),
                    raw.back());
    }
    tearDownOleDbEnvironment();
    bench::pgDropSchema(program, server, schema);
    const double p = median(provider);
    const double r = median(raw);
    std::printf("generateData, 100,011 rows on PostgreSQL %s:%s\n", server.host.c_str(),
                server.port.c_str());
    std::printf("  provider (TOLEDBCommunicator): median %.0f ms\n", p);
    std::printf("  raw libpq loop:                median %.0f ms\n", r);
    std::printf("ratio: %.2f (target at most 1.05)\n", p / r);
    return 0;
}
