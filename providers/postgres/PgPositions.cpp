#include "PgPositions.h"

#include "PgSqlText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace vantrel::postgres {

namespace {

// Rows a run of pages should hold; a jump moves its cursor over fewer than that.
constexpr int rowsPerRun = 512;
// Runs counted per request at least: about 16,000 rows, a millisecond or two of the server's
// time; and at most, should a filter pass few rows.
constexpr std::uint64_t runsPerLearning = 32;
constexpr std::uint64_t mostRunsPerLearning = 1 << 14;
// The server counts a row in about twice the time a cursor moves over one (a TID range scan
// under count(*) against MOVE; 1,000,000 rows: ~130 ms against ~70 ms): pages are counted up
// to a row only when that costs no more than the move it saves.
constexpr std::uint64_t countCostPerMove = 2;
// Counting the usual number of runs costs about what moving over their rows does: a jump
// counts pages only when its cursor would move over more rows than this.
constexpr std::uint64_t learnAbove = 24000;

// The values of every `"key": "value"` of a JSON plan, in order. Values holding an escape are
// given as they stand (they then match nothing the caller expects).
std::vector<std::string> valuesOf(const std::string& json, const std::string& key) {
    std::vector<std::string> values;
    const std::string marker = "\"" + key + "\": \"";
    for (std::size_t at = json.find(marker); at != std::string::npos; at = json.find(marker, at)) {
        at += marker.size();
        const std::size_t end = json.find('"', at);
        if (end == std::string::npos)
            break;
        values.push_back(json.substr(at, end - at));
        at = end;
    }
    return values;
}

// The plans of the texts as JSON (with the relations' schemas), asked in one round trip in
// the cursors' transaction; empty when any cannot be planned.
std::vector<std::string> plansOf(PgConnection& connection, const std::vector<std::string>& texts) {
    std::vector<std::string> explains;
    for (const std::string& text : texts)
        explains.push_back("EXPLAIN (FORMAT JSON, VERBOSE, COSTS OFF) " + text);
    std::vector<Execution> requests(explains.size());
    for (std::size_t i = 0; i < explains.size(); ++i)
        requests[i].sql = &explains[i];
    std::vector<std::string> plans;
    try {
        for (const Result& r : connection.runCursorRequests(requests, false)) {
            if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1)
                return {};
            plans.emplace_back(PQgetvalue(r.get(), 0, 0));
        }
    } catch (const kit::BackendError&) {
        return {};
    }
    return plans;
}

std::vector<std::string> nodesOf(const std::string& plan) {
    return valuesOf(plan, "Node Type");
}

bool plainName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

// Whether every filter of a plan (as EXPLAIN deparses it, one key a line) compares columns
// with constants only: no function call, whose value may differ from one transaction to the
// next (now(), random(), current_setting()), and no SQL value function (CURRENT_DATE,
// LOCALTIME, CURRENT_USER and the like). Conservative: a type with a modifier or a '(' in a
// string constant after a letter also counts as a call.
bool filtersAreFixed(const std::string& plan) {
    static constexpr std::string_view marker = "\"Filter\": ";
    for (std::size_t at = plan.find(marker); at != std::string::npos;
         at = plan.find(marker, at + 1)) {
        // The value, from after its opening quote to the end of its line.
        const std::size_t from = at + marker.size() + 1;
        const std::size_t end = plan.find('\n', from);
        const std::string_view filter = std::string_view(plan).substr(
            std::min(from, plan.size()), end == std::string::npos ? end : end - from);
        for (std::string_view word : {"CURRENT_", "LOCALTIME", "USER"})
            if (filter.find(word) != std::string_view::npos)
                return false;
        for (std::size_t i = 1; i < filter.size(); ++i) {
            const unsigned char before = static_cast<unsigned char>(filter[i - 1]);
            if (filter[i] == '(' && (std::isalnum(before) || before == '_' || before == '"' ||
                                     before == '\\' || before >= 0x80))
                return false;
        }
    }
    return true;
}

} // namespace

std::unique_ptr<PgPositions> PgPositions::forQuery(PgConnection& connection,
                                                   const std::string& query, std::size_t columns) {
    const std::optional<std::size_t> start = selectListStart(query);
    if (!start || columns == 0)
        return nullptr;
    // Planned for all rows and for the first one (a cursor plans for a fraction between), the
    // query must be one sequential scan: no index, sort, join, subplan, aggregate or limit.
    // The query limited by ctid must read the pages from there on, in their order.
    std::string inner = query.substr(0, *start) + " ctid," + query.substr(*start);
    std::unique_ptr<PgPositions> positions(
        new PgPositions(connection, std::move(inner), columns, "", ""));
    std::vector<std::string> texts = {query, positions->startAt({0, 0}).query};
    if (outlineOf(query).takesLimit)
        texts.push_back(query + "\nLIMIT 1");
    const std::vector<std::string> plans = plansOf(connection, texts);
    if (plans.size() != texts.size() || nodesOf(plans[0]) != std::vector<std::string>{"Seq Scan"})
        return nullptr;
    const std::vector<std::string> ranged = nodesOf(plans[1]);
    if (ranged != std::vector<std::string>{"Tid Range Scan"} &&
        ranged != std::vector<std::string>{"Subquery Scan", "Tid Range Scan"})
        return nullptr;
    if (plans.size() > 2 && nodesOf(plans[2]) != std::vector<std::string>{"Limit", "Seq Scan"})
        return nullptr;
    const std::vector<std::string> schemas = valuesOf(plans[0], "Schema");
    const std::vector<std::string> tables = valuesOf(plans[0], "Relation Name");
    if (schemas.size() != 1 || tables.size() != 1 || !plainName(schemas[0]) ||
        !plainName(tables[0]))
        return nullptr;
    positions->schema_ = schemas[0];
    positions->table_ = tables[0];
    positions->query_ = query;
    positions->keepable_ = filtersAreFixed(plans[0]);
    positions->plan_ = plans[0];
    return positions;
}

PgPositions::PgPositions(PgConnection& connection, std::string inner, std::size_t columns,
                         std::string schema, std::string table)
    : connection_(connection), inner_(std::move(inner)), schema_(std::move(schema)),
      table_(std::move(table)) {
    columnNames_ = "(vantrel_position";
    for (std::size_t i = 1; i <= columns; ++i) {
        const std::string name = "vantrel_c" + std::to_string(i);
        columnNames_ += ", " + name;
        outerList_ += (i > 1 ? ", vantrel_range." : "vantrel_range.") + name;
    }
    columnNames_ += ")";
}

void PgPositions::forgetCounts() {
    runs_.assign(1, Run{0, 0});
    covered_ = Run{0, 0};
    complete_ = false;
}

bool PgPositions::recall() {
    if (!keepable_)
        return false;
    const CountedPages* kept = connection_.positionMemory().find(query_);
    if (kept == nullptr)
        return false;
    connection_.openCursorTransaction();
    const std::string& now = connection_.cursorSnapshot();
    if (now.empty() || kept->snapshot != now || kept->plan != plan_)
        return false;
    runs_ = kept->runs;
    covered_ = kept->covered;
    pagesPerRun_ = kept->pagesPerRun;
    complete_ = kept->complete;
    generation_ = connection_.cursorGeneration();
    return true;
}

void PgPositions::remember() {
    const std::string& snapshot = connection_.cursorSnapshot();
    if (!keepable_ || snapshot.empty() || generation_ != connection_.cursorGeneration())
        return;
    connection_.positionMemory().keep(
        query_, CountedPages{snapshot, plan_, runs_, covered_, pagesPerRun_, complete_});
}

std::uint64_t PgPositions::runsToReach(std::uint64_t row) const {
    if (row < covered_.rowsBefore)
        return runsPerLearning;
    // At the density counted so far, or at about rowsPerRun rows a run before anything is,
    // with a tenth more.
    double perRun = rowsPerRun;
    if (covered_.rowsBefore > 0 && covered_.page > 0 && pagesPerRun_ > 0)
        perRun = static_cast<double>(covered_.rowsBefore) * static_cast<double>(pagesPerRun_) /
                 static_cast<double>(covered_.page);
    const double runs = static_cast<double>(row - covered_.rowsBefore + 1) / perRun * 1.1 + 1;
    return runs >= static_cast<double>(mostRunsPerLearning)
               ? mostRunsPerLearning
               : std::max(runsPerLearning, static_cast<std::uint64_t>(runs));
}

void PgPositions::learn(std::uint64_t runCount) {
    // Another transaction, another snapshot: what was counted may no longer hold.
    if (generation_ != connection_.cursorGeneration())
        forgetCounts();
    // The next runs of pages after those counted, each sized (once, from the table's
    // statistics) to hold about rowsPerRun rows, counted in the cursors' snapshot.
    const std::string sql =
        "SELECT r.first, s.pages, s.total, (SELECT count(*) FROM (\n" + inner_ +
        "\n) AS vantrel_range " + columnNames_ +
        " WHERE vantrel_position >= format('(%s,0)', r.first)::tid AND vantrel_position < "
        "format('(%s,0)', r.first + s.pages)::tid) FROM (SELECT CASE WHEN $5::int > 0 THEN "
        "$5::int ELSE greatest(1, least(1024, CASE WHEN c.reltuples > 0 AND c.relpages > 0 THEN "
        "(" +
        std::to_string(rowsPerRun) +
        " * c.relpages / c.reltuples)::int ELSE 8 END)) END AS pages, pg_relation_size(c.oid) / "
        "current_setting('block_size')::bigint AS total FROM pg_class c WHERE c.oid = "
        "format('%I.%I', $1::text, $2::text)::regclass) AS s, LATERAL generate_series($3::bigint, "
        "least(s.total, $3::bigint + ($4::bigint - 1) * s.pages), s.pages) AS r(first) ORDER BY "
        "r.first";
    const std::string firstPage = std::to_string(covered_.page);
    const std::string runs = std::to_string(runCount);
    const std::string pages = std::to_string(pagesPerRun_);
    const char* values[] = {schema_.c_str(), table_.c_str(), firstPage.c_str(), runs.c_str(),
                            pages.c_str()};
    Execution e;
    e.sql = &sql;
    e.parameterCount = 5;
    e.values = values;
    std::vector<Result> results = connection_.runCursorRequests({e}, false);
    generation_ = connection_.cursorGeneration();
    const PGresult* r = results.back().get();
    const int count = PQntuples(r);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t page = std::strtoull(PQgetvalue(r, i, 0), nullptr, 10);
        pagesPerRun_ = std::strtoull(PQgetvalue(r, i, 1), nullptr, 10);
        const std::uint64_t total = std::strtoull(PQgetvalue(r, i, 2), nullptr, 10);
        const std::uint64_t rows = std::strtoull(PQgetvalue(r, i, 3), nullptr, 10);
        if (rows > 0 && covered_.rowsBefore > runs_.back().rowsBefore)
            runs_.push_back({page, covered_.rowsBefore});
        covered_ = Run{page + pagesPerRun_, covered_.rowsBefore + rows};
        complete_ = covered_.page > total;
    }
    if (count == 0)
        complete_ = true;
    remember();
}

std::optional<PgPositions::Start> PgPositions::startFor(std::uint64_t row, std::uint64_t moving,
                                                        bool countAfresh) {
    if (retired_ || !connection_.cursorsOnTheirOwn())
        return std::nullopt;
    try {
        bool stale = generation_ != connection_.cursorGeneration();
        if (stale) {
            forgetCounts();
            stale = !recall() && countAfresh;
            if (!stale)
                generation_ = connection_.cursorGeneration();
        }
        // Up to the row when that costs no more than the move it saves: the pages counted then
        // serve every later jump. Otherwise the next few runs, so that no one jump pays much
        // more than its move. A filter that passes fewer rows than the pages counted so far
        // suggest needs another request or two.
        const bool learnMore = moving > learnAbove;
        const auto farAhead = [&] { return row >= covered_.rowsBefore && !complete_; };
        const auto toRow = [&] {
            return (row - covered_.rowsBefore) * countCostPerMove <= moving ? runsToReach(row)
                                                                            : runsPerLearning;
        };
        if (stale)
            learn(learnMore && farAhead() ? toRow() : runsPerLearning);
        for (int i = 0; learnMore && i < 3 && farAhead(); ++i)
            learn(toRow());
    } catch (const kit::BackendError&) {
        retired_ = true;
        return std::nullopt;
    }
    // Every row before the first page not yet counted is counted: the rows from there on
    // start at that number.
    if (row >= covered_.rowsBefore)
        return startAt(covered_);
    const auto after =
        std::upper_bound(runs_.begin(), runs_.end(), row,
                         [](std::uint64_t r, const Run& run) { return r < run.rowsBefore; });
    return startAt(*(after - 1));
}

PgPositions::Start PgPositions::startAt(const Run& run) const {
    Start start;
    start.firstRow = run.rowsBefore;
    start.query = "SELECT " + outerList_ + " FROM (\n" + inner_ + "\n) AS vantrel_range " +
                  columnNames_ + " WHERE vantrel_position >= '(" + std::to_string(run.page) +
                  ",0)'::tid";
    return start;
}

} // namespace vantrel::postgres
