// Many small statements, as an OLE DB consumer writes them, against the same statements through
// the database's own API in the same run: point lookups by key with a parameter (one prepared
// command executed again and again) and as literal SQL text (a command made per statement),
// short aggregates, and single-row UPDATEs in autocommit. On SQLite (a fresh file) and, when
// the VANTREL_PG_* variables are set (scripts/pg-cluster prints them), on PostgreSQL.
//
// OLE DB side: CreateCommand, SetCommandText, Execute, GetNextRows, GetData, ReleaseRows and the
// releases, through the data initialisation service and the real provider. Raw side: SQLite's
// sqlite3_prepare_v2/bind/step/finalize, libpq's PQexec for text and PQexecPrepared for the
// parameterised form. The statement texts are made before the timing, on both sides alike, so
// only the statements are timed.
//
// Fifteen rounds; a round times one side's statements and then the other's, back to back, the
// first side alternating from round to round, and the figure is the median of the rounds' ratios.
// On a shared virtual machine the host's speed drifts by tens of per cent within seconds; a pair
// of adjacent timings sees the same drift, so the pairing cancels what separate medians of each
// side would keep. The medians per side are printed too, and the CPU time per statement of the
// bench's thread and, on PostgreSQL, of each side's server process (when /proc lets it be read).
//
// Usage: bench_small_statements [--placement one-core|split|any] [statements per round and side]
//        (default one-core, 400 statements)
//
// On PostgreSQL both sides wait for a server process per statement, and on a small virtual machine
// where that process runs decides the figure: a backend the scheduler happens to keep on the
// bench's CPU answers in ~25 us, one woken on the other CPU in ~90 us, and the two connections (the
// provider's and the raw one) do not get the same luck. So the bench places both backends alike:
//   one-core  the bench and both backends on the CPU the bench starts on (the default: each side's
//             own work adds up undiluted, so the ratio is the strictest);
//   split     the bench on its CPU, both backends on another one (client and server apart, as over
//             a network, every statement paying the same cross-CPU wake-up);
//   any       no pinning: the scheduler's choice, which may differ between the two sides.
// Pinning another user's server process needs that user or CAP_SYS_NICE; when either backend
// cannot be pinned, neither is, and the bench says the PostgreSQL figures are unplaced.
// `--one-core` is the same as `--placement one-core`.

#include "BenchSupport.h"
#include "PgBenchSupport.h"
#include "oledb/ComPtr.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sched.h>
#include <unistd.h>

namespace {

constexpr int rounds = 15;
constexpr int accountRows = 100000;
const char* const pgSchema = "vantrel_bench_small";

enum class Placement { oneCore, split, any };
Placement placement = Placement::oneCore;
int benchCpu = -1;  // the CPU the bench runs on, or -1 when unpinned
int serverCpu = -1; // the CPU both server processes run on, or -1 when unpinned

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "bench_small_statements: %s\n", what.c_str());
    std::exit(1);
}

void check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s failed: 0x%08X", what, static_cast<unsigned>(hr));
        die(text);
    }
}

std::u16string widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The key of the i-th statement: spread over the table, the same on both sides.
int keyOf(int i) {
    return static_cast<int>((static_cast<unsigned>(i) * 7919u) % accountRows);
}

bool pinTo(pid_t pid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(pid, sizeof set, &set) == 0;
}

// Chooses the CPUs for the placement asked for and pins the bench to its own.
void placeBench() {
    if (placement == Placement::any) {
        std::printf("Placement: unpinned (--placement any); PostgreSQL figures depend on where the "
                    "scheduler runs each server process\n");
        return;
    }
    benchCpu = sched_getcpu();
    serverCpu = benchCpu;
    if (placement == Placement::split) {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
            for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
                if (cpu != benchCpu && CPU_ISSET(cpu, &allowed)) {
                    serverCpu = cpu;
                    break;
                }
        if (serverCpu == benchCpu)
            std::printf("Only one CPU is available: both sides on it\n");
    }
    if (!pinTo(0, benchCpu)) {
        std::printf("The bench cannot pin itself (%s): unpinned\n", std::strerror(errno));
        benchCpu = serverCpu = -1;
        return;
    }
    std::printf("Placement: the bench on CPU %d, the server processes on CPU %d\n", benchCpu,
                serverCpu);
}

// Pins both server processes to the chosen CPU, or neither: one pinned and one not would time the
// two sides under different conditions.
void placeServers(pid_t provider, pid_t raw) {
    if (serverCpu < 0)
        return;
    cpu_set_t before;
    CPU_ZERO(&before);
    const bool known = sched_getaffinity(provider, sizeof before, &before) == 0;
    if (known && pinTo(provider, serverCpu) && pinTo(raw, serverCpu))
        return;
    const int error = errno;
    if (known)
        sched_setaffinity(provider, sizeof before, &before);
    std::printf("The server processes (%d, %d) cannot be pinned (%s): PostgreSQL figures are "
                "unplaced and depend on the scheduler\n",
                static_cast<int>(provider), static_cast<int>(raw), std::strerror(error));
}

// ---- the OLE DB consumer ----

struct OleDbSession {
    TComPtr<IDBInitialize> dataSource;
    TComPtr<IDBCreateCommand> create;
};

void openSession(const std::string& connectionString, OleDbSession& s) {
    TComPtr<IDataInitialize> init;
    check(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                           init.outVoid()),
          "CoCreateInstance(MSDAINITIALIZE)");
    const std::u16string text = widen(connectionString);
    check(init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, text.c_str(), IID_IDBInitialize,
                              reinterpret_cast<IUnknown**>(s.dataSource.outVoid())),
          "GetDataSource");
    check(s.dataSource->Initialize(), "Initialize");
    TComPtr<IDBCreateSession> sessions;
    check(s.dataSource->QueryInterface(IID_IDBCreateSession, sessions.outVoid()),
          "IDBCreateSession");
    check(sessions->CreateSession(nullptr, IID_IDBCreateCommand,
                                  reinterpret_cast<IUnknown**>(s.create.outVoid())),
          "CreateSession");
}

// A row accessor over the rowset's first `columns` columns, each read as an 8-byte integer
// or, for text, into 100 bytes.
struct RowReader {
    TComPtr<IAccessor> accessor;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    unsigned char buffer[512] = {};
    ~RowReader() {
        if (accessor)
            accessor->ReleaseAccessor(handle, nullptr);
    }
};

std::size_t checksum = 0;

// Reads the rowset's rows the way a consumer does and releases it.
void readAll(IRowset* rowset, int columns, bool textLast) {
    RowReader reader;
    check(rowset->QueryInterface(IID_IAccessor, reader.accessor.outVoid()), "IAccessor");
    DBBINDING bindings[4] = {};
    for (int c = 0; c < columns; ++c) {
        DBBINDING& b = bindings[c];
        const bool text = textLast && c == columns - 1;
        b.iOrdinal = static_cast<DBORDINAL>(c + 1);
        b.obValue = static_cast<DBBYTEOFFSET>(c * 16);
        b.dwPart = DBPART_VALUE;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_NOTPARAM;
        b.wType = text ? DBTYPE_STR : DBTYPE_I8;
        b.cbMaxLen = text ? 100 : 8;
        if (text)
            b.obValue = 64;
    }
    check(reader.accessor->CreateAccessor(DBACCESSOR_ROWDATA, static_cast<DBCOUNTITEM>(columns),
                                          bindings, 0, &reader.handle, nullptr),
          "CreateAccessor");
    HROW rows[1];
    HROW* p = rows;
    DBCOUNTITEM obtained = 0;
    while (SUCCEEDED(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &p)) && obtained) {
        check(rowset->GetData(rows[0], reader.handle, reader.buffer), "GetData");
        std::int64_t first;
        std::memcpy(&first, reader.buffer, sizeof first);
        checksum += static_cast<std::size_t>(first);
        rowset->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr);
    }
}

// One statement as literal text: a command made, set, executed and released.
void oledbText(IDBCreateCommand* create, const std::u16string& text, int columns, bool textLast) {
    TComPtr<ICommandText> command;
    check(create->CreateCommand(nullptr, IID_ICommandText,
                                reinterpret_cast<IUnknown**>(command.outVoid())),
          "CreateCommand");
    check(command->SetCommandText(DBGUID_DBSQL, text.c_str()), "SetCommandText");
    if (columns == 0) {
        DBROWCOUNT affected = 0;
        check(command->Execute(nullptr, IID_NULL, nullptr, &affected, nullptr), "Execute");
        checksum += static_cast<std::size_t>(affected);
        return;
    }
    TComPtr<IRowset> rowset;
    check(command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.outVoid())),
          "Execute");
    readAll(rowset.get(), columns, textLast);
}

// The value of a one-row, one-integer query.
std::int64_t oledbInteger(IDBCreateCommand* create, const std::string& sql) {
    const std::size_t before = checksum;
    checksum = 0;
    oledbText(create, widen(sql), 1, false);
    const auto value = static_cast<std::int64_t>(checksum);
    checksum = before;
    return value;
}

// The parameterised lookup: prepared once, executed per key.
class OleDbLookup {
public:
    OleDbLookup(IDBCreateCommand* create, const std::string& sql) {
        check(create->CreateCommand(nullptr, IID_ICommandText,
                                    reinterpret_cast<IUnknown**>(command_.outVoid())),
              "CreateCommand");
        const std::u16string text = widen(sql);
        check(command_->SetCommandText(DBGUID_DBSQL, text.c_str()), "SetCommandText");
        TComPtr<ICommandPrepare> prepare;
        check(command_->QueryInterface(IID_ICommandPrepare, prepare.outVoid()), "ICommandPrepare");
        check(prepare->Prepare(0), "Prepare");
        check(command_->QueryInterface(IID_IAccessor, accessor_.outVoid()), "IAccessor");
        DBBINDING b{};
        b.iOrdinal = 1;
        b.dwPart = DBPART_VALUE;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_INPUT;
        b.wType = DBTYPE_I4;
        b.cbMaxLen = 4;
        check(accessor_->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &b, 4, &handle_, nullptr),
              "CreateAccessor(parameters)");
    }
    ~OleDbLookup() { accessor_->ReleaseAccessor(handle_, nullptr); }
    void run(int key) {
        std::int32_t value = key;
        DBPARAMS params{&value, 1, handle_};
        TComPtr<IRowset> rowset;
        check(command_->Execute(nullptr, IID_IRowset, &params, nullptr,
                                reinterpret_cast<IUnknown**>(rowset.outVoid())),
              "Execute");
        readAll(rowset.get(), 4, true);
    }

private:
    TComPtr<ICommandText> command_;
    TComPtr<IAccessor> accessor_;
    HACCESSOR handle_ = DB_NULL_HACCESSOR;
};

// ---- the statements ----

std::string lookupText(int key) {
    return "SELECT Aid, Bid, Abalance, Remark FROM accounts WHERE Aid = " + std::to_string(key);
}
std::string aggregateText(int key) {
    return "SELECT COUNT(*), SUM(Abalance) FROM accounts WHERE Aid BETWEEN " + std::to_string(key) +
           " AND " + std::to_string(key + 99);
}
std::string updateText(int key) {
    return "UPDATE accounts SET Abalance = Abalance + 1 WHERE Aid = " + std::to_string(key);
}

// The texts of a run's statements, made once before the timing: statement i of either side.
struct StatementTexts {
    std::vector<std::string> narrow;  // for the database's own API
    std::vector<std::u16string> wide; // for ICommandText
    StatementTexts(std::string (*make)(int key), int statements) {
        narrow.reserve(static_cast<std::size_t>(statements));
        wide.reserve(static_cast<std::size_t>(statements));
        for (int i = 0; i < statements; ++i) {
            narrow.push_back(make(keyOf(i)));
            wide.push_back(widen(narrow.back()));
        }
    }
};

struct Workload {
    const char* name;
    std::function<void(int)> oledb; // statement i
    std::function<void(int)> raw;
};

// The server processes that answer each side, when there are any (0: none, as on SQLite).
struct Servers {
    pid_t oledb = 0;
    pid_t raw = 0;
};

// CPU time a local process has run, in milliseconds, from the scheduler's own account; -1 when it
// cannot be read (another user's process on a hardened system, a remote server).
double processCpuMilliseconds(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/schedstat";
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr)
        return -1;
    unsigned long long ns = 0;
    const bool read = std::fscanf(f, "%llu", &ns) == 1;
    std::fclose(f);
    return read ? static_cast<double>(ns) / 1e6 : -1;
}

// One side's round: wall time and the CPU time of the bench's thread and of the side's server,
// each in microseconds per statement (server -1 when there is none or it cannot be read).
struct SideTimes {
    double wall = 0;
    double client = 0;
    double server = -1;
};

// Times `count` statements of each side per round, the two sides back to back and the first side
// alternating; prints the medians per side (microseconds per statement) and the median of the
// rounds' ratios. It also prints where each side's time went: the bench thread's CPU time and the
// server's. On one CPU the server shares the caches with the client, so a client that touches more
// code and data also makes the server slower; this line shows how much of a ratio that is.
void measure(const char* database, const std::vector<Workload>& workloads, int count,
             Servers servers = {}) {
    auto timeSide = [count](const std::function<void(int)>& side, int round, pid_t server) {
        const double serverStart = server != 0 ? processCpuMilliseconds(server) : -1;
        const double cpuStart = bench::threadCpuMilliseconds();
        const auto start = bench::TClock::now();
        for (int i = 0; i < count; ++i)
            side(round * count + i);
        SideTimes t;
        t.wall = bench::millisecondsSince(start) * 1000 / count;
        t.client = (bench::threadCpuMilliseconds() - cpuStart) * 1000 / count;
        const double serverEnd = serverStart >= 0 ? processCpuMilliseconds(server) : -1;
        if (serverEnd >= 0)
            t.server = (serverEnd - serverStart) * 1000 / count;
        return t;
    };
    for (const Workload& w : workloads) {
        std::vector<SideTimes> oledb, raw;
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                oledb.push_back(timeSide(w.oledb, round, servers.oledb));
                raw.push_back(timeSide(w.raw, round, servers.raw));
            } else {
                raw.push_back(timeSide(w.raw, round, servers.raw));
                oledb.push_back(timeSide(w.oledb, round, servers.oledb));
            }
            ratios.push_back(oledb.back().wall / raw.back().wall);
        }
        auto all = [](const std::vector<SideTimes>& times, double SideTimes::*field) {
            std::vector<double> values;
            for (const SideTimes& t : times)
                values.push_back(t.*field);
            return values;
        };
        const std::vector<double> oledbWall = all(oledb, &SideTimes::wall);
        const std::vector<double> rawWall = all(raw, &SideTimes::wall);
        std::printf("%s, %s: OLE DB median %.1f us (%.1f to %.1f), raw median %.1f us (%.1f to "
                    "%.1f) per statement; ratio of each round %.2f to %.2f\n",
                    database, w.name, bench::median(oledbWall),
                    *std::min_element(oledbWall.begin(), oledbWall.end()),
                    *std::max_element(oledbWall.begin(), oledbWall.end()), bench::median(rawWall),
                    *std::min_element(rawWall.begin(), rawWall.end()),
                    *std::max_element(rawWall.begin(), rawWall.end()),
                    *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()));
        const std::vector<double> oledbServer = all(oledb, &SideTimes::server);
        const std::vector<double> rawServer = all(raw, &SideTimes::server);
        const bool serversKnown = *std::min_element(oledbServer.begin(), oledbServer.end()) >= 0 &&
                                  *std::min_element(rawServer.begin(), rawServer.end()) >= 0;
        std::printf("  CPU per statement, medians: OLE DB %.1f us in the bench",
                    bench::median(all(oledb, &SideTimes::client)));
        if (serversKnown)
            std::printf(" + %.1f us in its server", bench::median(oledbServer));
        std::printf(", raw %.1f us in the bench", bench::median(all(raw, &SideTimes::client)));
        if (serversKnown)
            std::printf(" + %.1f us in its server", bench::median(rawServer));
        std::printf("\n");
        std::printf("ratio: %.2f (target at most 1.10)\n", bench::median(ratios));
        std::fflush(stdout);
    }
}

// ---- SQLite ----

void sqliteCheck(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        die(std::string(what) + ": " + sqlite3_errmsg(db));
}

// Steps a compiled statement through its rows, reading every column as the consumer does.
void sqliteRows(sqlite3_stmt* s, bool textLast) {
    const int columns = sqlite3_column_count(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
        checksum += static_cast<std::size_t>(sqlite3_column_int64(s, 0));
        for (int c = 1; c < columns; ++c)
            if (textLast && c == columns - 1)
                checksum += static_cast<std::size_t>(sqlite3_column_bytes(s, c));
            else
                checksum += static_cast<std::size_t>(sqlite3_column_int64(s, c));
    }
}

void sqliteText(sqlite3* db, const std::string& sql, bool textLast) {
    sqlite3_stmt* s = nullptr;
    sqliteCheck(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), "prepare");
    sqliteRows(s, textLast);
    if (sqlite3_column_count(s) == 0)
        checksum += static_cast<std::size_t>(sqlite3_changes(db));
    sqlite3_finalize(s);
}

void runSqlite(int count) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("vantrel-bench-small-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path database = folder / "bench.db";
    bench::removeDatabase(database);
    {
        bench::TNoWindow window;
        bench::TLinesMemo log;
        auto communicator = bench::connectTo(window, log, database);
        if (!communicator->createTables() || !communicator->generateData())
            die("cannot build the benchmark schema on SQLite");
        communicator->disconnect();
    }
    {
        OleDbSession session;
        openSession(bench::connectionStringFor(database), session);
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(database.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            die("cannot open " + database.string());
        sqlite3_busy_timeout(db, 5000);
        const char* lookup = "SELECT Aid, Bid, Abalance, Remark FROM accounts WHERE Aid = ?";
        OleDbLookup oledbLookup(session.create.get(), lookup);
        sqlite3_stmt* rawLookup = nullptr;
        sqliteCheck(db, sqlite3_prepare_v2(db, lookup, -1, &rawLookup, nullptr), "prepare");
        IDBCreateCommand* create = session.create.get();
        const StatementTexts lookups(lookupText, rounds * count);
        const StatementTexts aggregates(aggregateText, rounds * count);
        const StatementTexts updates(updateText, rounds * count);
        std::vector<Workload> workloads = {
            {"point lookup with a parameter", [&](int i) { oledbLookup.run(keyOf(i)); },
             [&](int i) {
                 sqlite3_bind_int(rawLookup, 1, keyOf(i));
                 sqliteRows(rawLookup, true);
                 sqlite3_reset(rawLookup);
             }},
            {"point lookup as text", [&](int i) { oledbText(create, lookups.wide[i], 4, true); },
             [&](int i) { sqliteText(db, lookups.narrow[i], true); }},
            {"short aggregate", [&](int i) { oledbText(create, aggregates.wide[i], 2, false); },
             [&](int i) { sqliteText(db, aggregates.narrow[i], false); }},
            {"single-row UPDATE in autocommit",
             [&](int i) { oledbText(create, updates.wide[i], 0, false); },
             [&](int i) { sqliteText(db, updates.narrow[i], false); }},
        };
        measure("SQLite", workloads, count);
        sqlite3_finalize(rawLookup);
        sqlite3_close(db);
    }
    bench::removeDatabase(database);
    std::filesystem::remove(folder);
}

// ---- PostgreSQL ----

const char* const program = "bench_small_statements";

// Reads every cell of a result as the consumer does, then frees it.
void pgRows(PGresult* r) {
    if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK)
        die(PQresultErrorMessage(r));
    for (int row = 0; row < PQntuples(r); ++row)
        for (int c = 0; c < PQnfields(r); ++c)
            checksum += static_cast<std::size_t>(PQgetlength(r, row, c));
    checksum += static_cast<std::size_t>(std::atoi(PQcmdTuples(r)));
    PQclear(r);
}

void runPostgres(const bench::TPgServer& server, int count) {
    bench::pgFreshSchema(program, server, pgSchema);
    {
        bench::TNoWindow window;
        bench::TLinesMemo log;
        TOLEDBCommunicator communicator(&window, &log, bench::pgConnectionString(server, pgSchema),
                                        0);
        if (!communicator.connect() || !communicator.createTables() || !communicator.generateData())
            die("cannot build the benchmark schema on PostgreSQL");
        communicator.disconnect();
    }
    {
        OleDbSession session;
        openSession(bench::pgConnectionString(server, pgSchema), session);
        PGconn* c = bench::pgConnect(program, server, pgSchema);
        const char* lookup = "SELECT Aid, Bid, Abalance, Remark FROM accounts WHERE Aid = ?";
        OleDbLookup oledbLookup(session.create.get(), lookup);
        PGresult* prepared =
            PQprepare(c, "lookup", "SELECT Aid, Bid, Abalance, Remark FROM accounts WHERE Aid = $1",
                      0, nullptr);
        if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
            die(PQresultErrorMessage(prepared));
        PQclear(prepared);
        IDBCreateCommand* create = session.create.get();
        const Servers servers{static_cast<pid_t>(oledbInteger(create, "SELECT pg_backend_pid()")),
                              PQbackendPID(c)};
        placeServers(servers.oledb, servers.raw);
        const StatementTexts lookups(lookupText, rounds * count);
        const StatementTexts aggregates(aggregateText, rounds * count);
        const StatementTexts updates(updateText, rounds * count);
        std::vector<Workload> workloads = {
            {"point lookup with a parameter", [&](int i) { oledbLookup.run(keyOf(i)); },
             [&](int i) {
                 const std::string key = std::to_string(keyOf(i));
                 const char* values[] = {key.c_str()};
                 pgRows(PQexecPrepared(c, "lookup", 1, values, nullptr, nullptr, 0));
             }},
            {"point lookup as text", [&](int i) { oledbText(create, lookups.wide[i], 4, true); },
             [&](int i) { pgRows(PQexec(c, lookups.narrow[i].c_str())); }},
            {"short aggregate", [&](int i) { oledbText(create, aggregates.wide[i], 2, false); },
             [&](int i) { pgRows(PQexec(c, aggregates.narrow[i].c_str())); }},
            {"single-row UPDATE in autocommit",
             [&](int i) { oledbText(create, updates.wide[i], 0, false); },
             [&](int i) { pgRows(PQexec(c, updates.narrow[i].c_str())); }},
        };
        measure("PostgreSQL", workloads, count, servers);
        PQfinish(c);
    }
    bench::pgDropSchema(program, server, pgSchema);
}

} // namespace

int main(int argc, char** argv) {
    const std::string usage =
        "usage: bench_small_statements [--placement one-core|split|any] [statements per round]";
    int count = 400;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--one-core")
            placement = Placement::oneCore;
        else if (arg == "--placement" && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value == "one-core")
                placement = Placement::oneCore;
            else if (value == "split")
                placement = Placement::split;
            else if (value == "any")
                placement = Placement::any;
            else
                die(usage);
        } else if (std::atoi(argv[i]) > 0)
            count = std::atoi(argv[i]);
        else
            die(usage);
    }
    placeBench();
    bench::TOleDbSession environment;
    runSqlite(count);
    bench::TPgServer server;
    if (bench::pgServerFromEnvironment(server))
        runPostgres(server, count);
    else
        std::printf("PostgreSQL: left out (VANTREL_PG_* not set)\n");
    std::printf("(checksum %zu)\n", checksum);
    return 0;
}
