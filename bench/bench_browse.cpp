// Browsing accounts as the data page's grid does: prepareTableForBrowsing, then every cell of a
// 20-row x 5-column screen (row numbers and the four columns) through getDataForCell. Three
// patterns on one prepared table: all 100,000 rows forwards, then backwards, then 1,000 screens
// at random positions. The same screens are read straight through the SQLite C API (one
// prepared SELECT ... LIMIT 20 OFFSET ? per screen, every cell formatted as text) in the same
// run. Five rounds; the medians of the per-round median and worst screen are printed with their
// ratio, then a cold jump to the last screen, the prepare time and the process's peak memory.
// A figure judged against a fixed limit (milliseconds, megabytes) is printed as its ratio to
// that limit, so every judged figure reads "ratio: X (target at most Y)".
//
// Usage: bench_browse [directory]   (default: a fresh folder under the system temp dir)

#include "BenchSupport.h"

#include <sqlite3.h>

#include <random>
#include <unistd.h>

namespace {

constexpr int rounds = 5;
constexpr int screenRows = 20;
constexpr int screenColumns = 5; // the row-number column and Aid, Bid, Abalance, Remark
constexpr int accountRows = 100000;
constexpr int randomScreens = 1000;

struct TPattern {
    const char* name;
    std::vector<int> firstRows; // 1-based first data row of each screen
};

std::vector<TPattern> patterns() {
    TPattern forwards{"forwards", {}};
    for (int first = 1; first <= accountRows; first += screenRows)
        forwards.firstRows.push_back(first);
    TPattern backwards{"backwards", {forwards.firstRows.rbegin(), forwards.firstRows.rend()}};
    TPattern random{"random", {}};
    std::mt19937 generator(20261208);
    std::uniform_int_distribution<int> position(1, accountRows - screenRows + 1);
    for (int i = 0; i < randomScreens; ++i)
        random.firstRows.push_back(position(generator));
    return {forwards, backwards, random};
}

struct TScreenTimes {
    double median = 0;
    double worst = 0;
};

TScreenTimes summarise(const std::vector<double>& screens) {
    return {bench::median(screens), *std::max_element(screens.begin(), screens.end())};
}

// Keeps the compiler from dropping the reads.
std::size_t checksum = 0;

TScreenTimes oledbPattern(TOLEDBCommunicator& communicator, const TPattern& pattern) {
    std::vector<double> screens;
    screens.reserve(pattern.firstRows.size());
    for (int first : pattern.firstRows) {
        const auto start = bench::TClock::now();
        for (int row = first; row < first + screenRows; ++row)
            for (int column = 0; column < screenColumns; ++column)
                checksum += communicator.getDataForCell(column, row).size();
        screens.push_back(bench::millisecondsSince(start));
    }
    return summarise(screens);
}

TScreenTimes rawPattern(sqlite3* db, const TPattern& pattern) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT Aid, Bid, Abalance, Remark FROM accounts LIMIT 20 OFFSET ?",
                           -1, &statement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "prepare: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    std::vector<double> screens;
    screens.reserve(pattern.firstRows.size());
    for (int first : pattern.firstRows) {
        const auto start = bench::TClock::now();
        sqlite3_bind_int(statement, 1, first - 1);
        int row = first;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            checksum += std::to_string(row++).size();
            for (int column = 0; column < 4; ++column) {
                const auto* text = sqlite3_column_text(statement, column);
                checksum +=
                    std::string(text != nullptr ? reinterpret_cast<const char*>(text) : "").size();
            }
        }
        sqlite3_reset(statement);
        screens.push_back(bench::millisecondsSince(start));
    }
    sqlite3_finalize(statement);
    return summarise(screens);
}

// Prints a figure with its fixed limit, then the line a script reads.
void judge(const char* what, double value, double limit, const char* unit) {
    std::printf("%s: %.4f %s, limit %.0f %s\n", what, value, unit, limit, unit);
    std::printf("ratio: %.2f (target at most 1.00)\n", value / limit);
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::temp_directory_path() /
                       ("vantrel-bench-browse-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path database = folder / "bench.db";
    bench::removeDatabase(database);

    bench::TOleDbSession environment;
    bench::TNoWindow window;
    bench::TLinesMemo log;
    auto communicator = bench::connectTo(window, log, database);
    if (!communicator->createTables() || !communicator->generateData()) {
        std::fprintf(stderr, "cannot build the benchmark schema\n");
        return 1;
    }

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", database.string().c_str());
        return 1;
    }

    // Each round prepares accounts once and pages through the three patterns in turn on that
    // one prepared table, as the grid does after its tab is entered; the raw path reads the
    // same screens. A cold jump (a fresh prepare, then straight to the last screen) is timed on
    // its own: it makes the provider read every row up to there.
    const std::vector<TPattern> all = patterns();
    std::vector<double> prepares, coldJumps, rawColdJumps;
    std::vector<std::vector<TScreenTimes>> oledbTimes(all.size()), rawTimes(all.size());
    const TPattern lastScreen{"cold jump", {accountRows - screenRows + 1}};
    for (int round = 0; round < rounds; ++round) {
        int columns = 0;
        int rows = 0;
        const auto start = bench::TClock::now();
        if (!communicator->prepareTableForBrowsing(tiAccounts, columns, rows)) {
            std::fprintf(stderr, "prepareTableForBrowsing failed\n");
            return 1;
        }
        prepares.push_back(bench::millisecondsSince(start));
        if (rows != accountRows + 1) {
            std::fprintf(stderr, "accounts holds %d rows\n", rows - 1);
            return 1;
        }
        for (std::size_t i = 0; i < all.size(); ++i)
            oledbTimes[i].push_back(oledbPattern(*communicator, all[i]));
        communicator->unprepareTableForBrowsing(tiAccounts);
        for (std::size_t i = 0; i < all.size(); ++i)
            rawTimes[i].push_back(rawPattern(db, all[i]));

        if (!communicator->prepareTableForBrowsing(tiAccounts, columns, rows)) {
            std::fprintf(stderr, "prepareTableForBrowsing failed\n");
            return 1;
        }
        coldJumps.push_back(oledbPattern(*communicator, lastScreen).worst);
        communicator->unprepareTableForBrowsing(tiAccounts);
        rawColdJumps.push_back(rawPattern(db, lastScreen).worst);
    }

    std::printf("%-10s %14s %14s %14s %14s %7s\n", "pattern", "median screen", "worst screen",
                "raw median", "raw worst", "ratio");
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::vector<double> medians, worsts, rawMedians, rawWorsts;
        for (int round = 0; round < rounds; ++round) {
            medians.push_back(oledbTimes[i][round].median);
            worsts.push_back(oledbTimes[i][round].worst);
            rawMedians.push_back(rawTimes[i][round].median);
            rawWorsts.push_back(rawTimes[i][round].worst);
        }
        const double median = bench::median(medians);
        const double rawMedian = bench::median(rawMedians);
        std::printf("%-10s %11.4f ms %11.4f ms %11.4f ms %11.4f ms %7.2f\n", all[i].name, median,
                    bench::median(worsts), rawMedian, bench::median(rawWorsts), median / rawMedian);
        std::printf("%-10s worst screen of all %d rounds: %.4f ms\n", "", rounds,
                    *std::max_element(worsts.begin(), worsts.end()));
        const std::string what = std::string(all[i].name) + ": median of the rounds' worst screen";
        judge(what.c_str(), bench::median(worsts), 5, "ms");
    }
    std::printf("cold jump to the last screen after a fresh prepare: median %.4f ms (%.4f to "
                "%.4f), raw %.4f ms\n",
                bench::median(coldJumps), *std::min_element(coldJumps.begin(), coldJumps.end()),
                *std::max_element(coldJumps.begin(), coldJumps.end()), bench::median(rawColdJumps));
    judge("cold jump to the last screen", bench::median(coldJumps), 5, "ms");
    sqlite3_close(db);
    communicator->disconnect();

    std::printf("prepareTableForBrowsing(accounts): median %.2f ms, worst %.2f ms\n",
                bench::median(prepares), *std::max_element(prepares.begin(), prepares.end()));
    judge("prepareTableForBrowsing(accounts), median", bench::median(prepares), 100, "ms");
    judge("peak memory after the three patterns", bench::peakMemoryMegabytes(), 150, "MB");
    std::printf("(checksum %zu)\n", checksum);
    communicator.reset();
    bench::removeDatabase(database);
    if (argc <= 1)
        std::filesystem::remove(folder);
    return 0;
}
