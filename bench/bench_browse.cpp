// Browsing accounts as the data page's grid does: prepareTableForBrowsing, then every cell of a
// 20-row x 5-column screen (row numbers and the four columns) through getDataForCell. Three
// patterns on one prepared table: forwards, backwards, and screens at random positions; then a
// cold jump (a fresh prepare, straight to the last screen). The same screens are read straight
// through the database's own C API in the same run (one prepared SELECT ... WHERE Aid >= ?
// ORDER BY Aid LIMIT 20 per screen, every cell formatted as text: reading by key costs the raw
// path the same at any depth, where an OFFSET would itself grow with the table).
//
// Two table sizes, so that growth shows: the bench's own 100,000 accounts (generateData), and
// 1,000,000 filled by SQL into a schema of the same shape. On 100,000 rows the forward and
// backward patterns cover the whole table; on 1,000,000 they cover the last 100,000 rows
// (forwards from there, backwards from the end), and the random screens span the whole table.
// Both sizes run on the SQLite provider, then on the PostgreSQL provider when a server is
// given by VANTREL_PG_HOST, VANTREL_PG_PORT, VANTREL_PG_USER, VANTREL_PG_PASSWORD and
// VANTREL_PG_DATABASE (as scripts/pg-cluster prints them); without them the PostgreSQL part is
// skipped and says so.
//
// Every round prepares the table afresh on the same connection, as switching tabs in the window
// does; what the providers learnt about positions in one round may serve the next, so the
// first round's worst screens are printed on their own too.
//
// Per pattern the medians over the rounds of the per-round median and worst screen are
// printed with their ratio to the raw path; the worst screens, the cold jump, the prepare time
// and the process's peak memory are judged against fixed limits (milliseconds, megabytes),
// printed as their ratio to the limit, so every judged figure reads "ratio: X (target at most
// Y)". The worst screens are judged twice: in wall-clock time, and in this thread's CPU time,
// which leaves out the waits for a core that dominate the former on a shared machine.
//
// Usage: bench_browse [directory [sqlite|postgres]]
//        directory: for the SQLite files (default: a fresh folder under the system temp dir);
//        the second argument runs only that provider's part.

#include "BenchSupport.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int rounds = 5;
constexpr int screenRows = 20;
constexpr int screenColumns = 5; // the row-number column and Aid, Bid, Abalance, Remark
constexpr int benchRows = 100000;
constexpr int largeRows = 1000000;
// Screens of the forward and backward patterns, and of the random one.
constexpr int sweepScreens = benchRows / screenRows;
constexpr int randomScreens = 1000;

struct TPattern {
    const char* name;
    std::vector<int> firstRows; // 1-based first data row of each screen
};

std::vector<TPattern> patterns(int tableRows) {
    const int lastFirst = tableRows - screenRows + 1;
    TPattern forwards{"forwards", {}};
    for (int i = 0, first = tableRows - sweepScreens * screenRows + 1; i < sweepScreens;
         ++i, first += screenRows)
        forwards.firstRows.push_back(first);
    TPattern backwards{"backwards", {}};
    for (int i = 0; i < sweepScreens; ++i)
        backwards.firstRows.push_back(lastFirst - i * screenRows);
    TPattern random{"random", {}};
    std::mt19937 generator(20261208);
    std::uniform_int_distribution<int> position(1, lastFirst);
    for (int i = 0; i < randomScreens; ++i)
        random.firstRows.push_back(position(generator));
    return {forwards, backwards, random};
}

struct TScreenTimes {
    double median = 0;
    double worst = 0;
    // The worst screen in this thread's CPU time: on a shared machine the wall-clock worst is
    // mostly time spent waiting for a core. With SQLite all the work is in this thread; with
    // PostgreSQL the server's part is not counted.
    double worstCpu = 0;
};

TScreenTimes summarise(const std::vector<double>& screens, const std::vector<double>& cpu) {
    return {bench::median(screens), *std::max_element(screens.begin(), screens.end()),
            *std::max_element(cpu.begin(), cpu.end())};
}

// Keeps the compiler from dropping the reads.
std::size_t checksum = 0;

TScreenTimes oledbPattern(TOLEDBCommunicator& communicator, const TPattern& pattern) {
    std::vector<double> screens, cpu;
    screens.reserve(pattern.firstRows.size());
    cpu.reserve(pattern.firstRows.size());
    for (int first : pattern.firstRows) {
        const double cpuStart = bench::threadCpuMilliseconds();
        const auto start = bench::TClock::now();
        for (int row = first; row < first + screenRows; ++row)
            for (int column = 0; column < screenColumns; ++column)
                checksum += communicator.getDataForCell(column, row).size();
        screens.push_back(bench::millisecondsSince(start));
        cpu.push_back(bench::threadCpuMilliseconds() - cpuStart);
    }
    return summarise(screens, cpu);
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "bench_browse: %s\n", what.c_str());
    std::exit(1);
}

// The raw path of one database: reads the screen whose first Aid is given, as text.
using TRawScreen = std::function<void(long long firstAid)>;

TScreenTimes rawPattern(const TRawScreen& screen, long long firstAid, const TPattern& pattern) {
    std::vector<double> screens, cpu;
    screens.reserve(pattern.firstRows.size());
    cpu.reserve(pattern.firstRows.size());
    for (int first : pattern.firstRows) {
        const double cpuStart = bench::threadCpuMilliseconds();
        const auto start = bench::TClock::now();
        screen(firstAid + first - 1);
        screens.push_back(bench::millisecondsSince(start));
        cpu.push_back(bench::threadCpuMilliseconds() - cpuStart);
    }
    return summarise(screens, cpu);
}

const char* const rawScreenSql =
    "SELECT Aid, Bid, Abalance, Remark FROM accounts WHERE Aid >= %s ORDER BY Aid LIMIT 20";

class TSqliteRaw {
public:
    explicit TSqliteRaw(const std::filesystem::path& database) {
        if (sqlite3_open_v2(database.string().c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            die("cannot open " + database.string());
        char sql[256];
        std::snprintf(sql, sizeof sql, rawScreenSql, "?");
        if (sqlite3_prepare_v2(db_, sql, -1, &screen_, nullptr) != SQLITE_OK)
            die(std::string("prepare: ") + sqlite3_errmsg(db_));
    }
    ~TSqliteRaw() {
        sqlite3_finalize(screen_);
        sqlite3_close(db_);
    }
    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
            die(sql + ": " + (message ? message : "?"));
    }
    long long firstAid() {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_, "SELECT MIN(Aid) FROM accounts", -1, &s, nullptr);
        const long long aid = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
        sqlite3_finalize(s);
        return aid;
    }
    void screen(long long aid) {
        sqlite3_bind_int64(screen_, 1, aid);
        int row = 0;
        while (sqlite3_step(screen_) == SQLITE_ROW) {
            checksum += std::to_string(row++).size();
            for (int column = 0; column < 4; ++column) {
                const auto* text = sqlite3_column_text(screen_, column);
                checksum +=
                    std::string(text != nullptr ? reinterpret_cast<const char*>(text) : "").size();
            }
        }
        sqlite3_reset(screen_);
    }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* screen_ = nullptr;
};

struct TPgServer {
    std::string host, port, user, password, database;
};

// The server of the environment; empty when any variable is missing (the part is skipped).
std::optional<TPgServer> pgServerFromEnvironment(std::string& missing) {
    TPgServer s;
    const std::pair<const char*, std::string*> names[] = {{"VANTREL_PG_HOST", &s.host},
                                                          {"VANTREL_PG_PORT", &s.port},
                                                          {"VANTREL_PG_USER", &s.user},
                                                          {"VANTREL_PG_PASSWORD", &s.password},
                                                          {"VANTREL_PG_DATABASE", &s.database}};
    for (const auto& [name, value] : names) {
        const char* v = std::getenv(name);
        if (v == nullptr || *v == '\0') {
            missing = name;
            return std::nullopt;
        }
        *value = v;
    }
    return s;
}

class TPgRaw {
public:
    TPgRaw(const TPgServer& s, const std::string& schema) {
        const std::string options = schema.empty() ? "" : "-c search_path=" + schema;
        const char* keys[] = {"host", "port", "user", "password", "dbname", "options", nullptr};
        const char* values[] = {
            s.host.c_str(),     s.port.c_str(),  s.user.c_str(), s.password.c_str(),
            s.database.c_str(), options.c_str(), nullptr};
        c_ = PQconnectdbParams(keys, values, 0);
        if (PQstatus(c_) != CONNECTION_OK)
            die(PQerrorMessage(c_));
        PQsetNoticeProcessor(
            c_, [](void*, const char*) {}, nullptr);
    }
    ~TPgRaw() { PQfinish(c_); }
    void exec(const std::string& sql) {
        PGresult* r = PQexec(c_, sql.c_str());
        const ExecStatusType status = PQresultStatus(r);
        const std::string message = PQresultErrorMessage(r);
        PQclear(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            die(sql + ": " + message);
    }
    long long firstAid() {
        PGresult* r = PQexec(c_, "SELECT MIN(Aid) FROM accounts");
        const long long aid = PQntuples(r) == 1 ? std::atoll(PQgetvalue(r, 0, 0)) : 0;
        PQclear(r);
        return aid;
    }
    void prepareScreen() {
        char sql[256];
        std::snprintf(sql, sizeof sql, rawScreenSql, "$1");
        PGresult* r = PQprepare(c_, "screen", sql, 1, nullptr);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
        if (!ok)
            die(PQerrorMessage(c_));
    }
    void screen(long long aid) {
        const std::string value = std::to_string(aid);
        const char* values[] = {value.c_str()};
        PGresult* r = PQexecPrepared(c_, "screen", 1, values, nullptr, nullptr, 0);
        for (int row = 0; row < PQntuples(r); ++row) {
            checksum += std::to_string(row).size();
            for (int column = 0; column < 4; ++column)
                checksum += std::string(PQgetvalue(r, row, column)).size();
        }
        PQclear(r);
    }

private:
    PGconn* c_ = nullptr;
};

// Prints a figure with its fixed limit, then the line a script reads.
void judge(const std::string& what, double value, double limit, const char* unit) {
    std::printf("%s: %.4f %s, limit %.0f %s\n", what.c_str(), value, unit, limit, unit);
    std::printf("ratio: %.2f (target at most 1.00)\n", value / limit);
}

// The rounds on one prepared table of `tableRows` rows, printed under `title`.
void browseRounds(const std::string& title, TOLEDBCommunicator& communicator, int tableRows,
                  const TRawScreen& raw, long long firstAid) {
    const std::vector<TPattern> all = patterns(tableRows);
    std::vector<double> prepares, coldJumps, rawColdJumps;
    std::vector<std::vector<TScreenTimes>> oledbTimes(all.size()), rawTimes(all.size());
    const TPattern lastScreen{"cold jump", {tableRows - screenRows + 1}};
    for (int round = 0; round < rounds; ++round) {
        int columns = 0;
        int rows = 0;
        const auto start = bench::TClock::now();
        if (!communicator.prepareTableForBrowsing(tiAccounts, columns, rows))
            die("prepareTableForBrowsing failed");
        prepares.push_back(bench::millisecondsSince(start));
        if (rows != tableRows + 1)
            die("accounts holds " + std::to_string(rows - 1) + " rows");
        for (std::size_t i = 0; i < all.size(); ++i)
            oledbTimes[i].push_back(oledbPattern(communicator, all[i]));
        communicator.unprepareTableForBrowsing(tiAccounts);
        for (std::size_t i = 0; i < all.size(); ++i)
            rawTimes[i].push_back(rawPattern(raw, firstAid, all[i]));

        if (!communicator.prepareTableForBrowsing(tiAccounts, columns, rows))
            die("prepareTableForBrowsing failed");
        coldJumps.push_back(oledbPattern(communicator, lastScreen).worst);
        communicator.unprepareTableForBrowsing(tiAccounts);
        rawColdJumps.push_back(rawPattern(raw, firstAid, lastScreen).worst);
    }

    std::printf("\n== %s ==\n", title.c_str());
    std::printf("%-10s %14s %14s %14s %14s %7s\n", "pattern", "median screen", "worst screen",
                "raw median", "raw worst", "ratio");
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::vector<double> medians, worsts, worstsCpu, rawMedians, rawWorsts, rawWorstsCpu;
        for (int round = 0; round < rounds; ++round) {
            medians.push_back(oledbTimes[i][round].median);
            worsts.push_back(oledbTimes[i][round].worst);
            worstsCpu.push_back(oledbTimes[i][round].worstCpu);
            rawWorstsCpu.push_back(rawTimes[i][round].worstCpu);
            rawMedians.push_back(rawTimes[i][round].median);
            rawWorsts.push_back(rawTimes[i][round].worst);
        }
        const double median = bench::median(medians);
        const double rawMedian = bench::median(rawMedians);
        std::printf("%-10s %11.4f ms %11.4f ms %11.4f ms %11.4f ms %7.2f\n", all[i].name, median,
                    bench::median(worsts), rawMedian, bench::median(rawWorsts), median / rawMedian);
        std::printf("%-10s rounds' median screens %.4f to %.4f ms, worst screens %.4f to %.4f ms\n",
                    "", *std::min_element(medians.begin(), medians.end()),
                    *std::max_element(medians.begin(), medians.end()),
                    *std::min_element(worsts.begin(), worsts.end()),
                    *std::max_element(worsts.begin(), worsts.end()));
        // The providers keep what a connection learnt about positions for the next prepare of
        // the same table: the first round pays for learning it, and is shown on its own.
        std::printf("%-10s first round's worst screen %.4f ms (CPU %.4f ms)\n", "",
                    oledbTimes[i][0].worst, oledbTimes[i][0].worstCpu);
        judge(title + ", " + all[i].name + ": median of the rounds' median screen", median, 1,
              "ms");
        judge(title + ", " + all[i].name + ": median of the rounds' worst screen",
              bench::median(worsts), 5, "ms");
        std::printf(
            "%-10s worst screen in this thread's CPU time: median of the rounds %.4f ms "
            "(%.4f to %.4f), raw %.4f ms\n",
            "", bench::median(worstsCpu), *std::min_element(worstsCpu.begin(), worstsCpu.end()),
            *std::max_element(worstsCpu.begin(), worstsCpu.end()), bench::median(rawWorstsCpu));
        judge(title + ", " + all[i].name + ": median of the rounds' worst screen in CPU time",
              bench::median(worstsCpu), 5, "ms");
    }
    std::printf("cold jump to the last screen after a fresh prepare: median %.4f ms (%.4f to "
                "%.4f, first round %.4f), raw %.4f ms\n",
                bench::median(coldJumps), *std::min_element(coldJumps.begin(), coldJumps.end()),
                *std::max_element(coldJumps.begin(), coldJumps.end()), coldJumps.front(),
                bench::median(rawColdJumps));
    judge(title + ", cold jump to the last screen", bench::median(coldJumps), 5, "ms");
    std::printf("prepareTableForBrowsing(accounts): median %.2f ms (%.2f to %.2f)\n",
                bench::median(prepares), *std::min_element(prepares.begin(), prepares.end()),
                *std::max_element(prepares.begin(), prepares.end()));
    judge(title + ", prepareTableForBrowsing(accounts), median", bench::median(prepares), 20, "ms");
    judge(title + ", peak memory of the process so far", bench::peakMemoryMegabytes(), 150, "MB");
    std::fflush(stdout);
}

// Accounts rows from 0 to rows - 1, as generateData shapes them, filled by SQL.
std::string fillAccountsSql(const char* numbers, int rows) {
    return "INSERT INTO accounts SELECT g, g / 100000, 0, '" + std::string(84, 'x') + "' FROM " +
           std::string(numbers) + " WHERE g < " + std::to_string(rows);
}

void sqlitePart(const std::filesystem::path& folder) {
    bench::TNoWindow window;
    bench::TLinesMemo log;
    for (int size : {benchRows, largeRows}) {
        const std::filesystem::path database = folder / ("browse-" + std::to_string(size) + ".db");
        bench::removeDatabase(database);
        auto communicator = bench::connectTo(window, log, database);
        if (!communicator->createTables())
            die("cannot create the benchmark schema");
        TSqliteRaw raw(database);
        if (size == benchRows) {
            if (!communicator->generateData())
                die("generateData failed");
        } else {
            raw.exec(fillAccountsSql("(WITH RECURSIVE n(g) AS (SELECT 0 UNION ALL SELECT g + 1 "
                                     "FROM n WHERE g < 999999) SELECT g FROM n)",
                                     size));
        }
        browseRounds(
            "SQLite, " + std::to_string(size) + " rows", *communicator, size,
            [&](long long aid) { raw.screen(aid); }, raw.firstAid());
        communicator->disconnect();
        communicator.reset();
        bench::removeDatabase(database);
    }
}

void postgresPart() {
    std::string missing;
    const std::optional<TPgServer> server = pgServerFromEnvironment(missing);
    if (!server) {
        std::printf("\n== PostgreSQL: SKIPPED, %s is not set (start a server with "
                    "scripts/pg-cluster start DIR and eval its output) ==\n",
                    missing.c_str());
        return;
    }
    bench::TNoWindow window;
    bench::TLinesMemo log;
    for (int size : {benchRows, largeRows}) {
        const std::string schema = "vantrel_bench_browse_" + std::to_string(size);
        {
            TPgRaw admin(*server, "");
            admin.exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
            admin.exec("CREATE SCHEMA " + schema);
        }
        const std::string connection =
            "Provider=Vantrel.PostgreSQL.1;Data Source=" + server->host + ":" + server->port +
            ";Initial Catalog=" + server->database + ";User ID=" + server->user +
            ";Password=" + server->password +
            ";Extended Properties=\"options='-c search_path=" + schema + "'\"";
        TOLEDBCommunicator communicator(&window, &log, connection, 0);
        if (!communicator.connect() || !communicator.createTables())
            die("cannot create the benchmark schema on PostgreSQL");
        TPgRaw raw(*server, schema);
        if (size == benchRows) {
            if (!communicator.generateData())
                die("generateData failed on PostgreSQL");
        } else {
            raw.exec(fillAccountsSql("generate_series(0, 999999) g", size));
        }
        raw.exec("VACUUM ANALYZE accounts");
        raw.prepareScreen();
        browseRounds(
            "PostgreSQL, " + std::to_string(size) + " rows", communicator, size,
            [&](long long aid) { raw.screen(aid); }, raw.firstAid());
        communicator.disconnect();
        TPgRaw admin(*server, "");
        admin.exec("DROP SCHEMA " + schema + " CASCADE");
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::temp_directory_path() /
                       ("vantrel-bench-browse-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string only = argc > 2 ? argv[2] : "";
    bench::TOleDbSession environment;
    if (only.empty() || only == "sqlite")
        sqlitePart(folder);
    if (only.empty() || only == "postgres")
        postgresPart();
    std::printf("(checksum %zu)\n", checksum);
    if (argc <= 1)
        std::filesystem::remove_all(folder);
    return 0;
}
