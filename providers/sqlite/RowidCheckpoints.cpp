#include "RowidCheckpoints.h"

#include "SqlTokens.h"
#include "SqliteError.h"
#include "SqliteSchema.h"
#include "StatementShape.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>

namespace vantrel::sqlite {

namespace {

constexpr std::int64_t beforeEveryRowid = std::numeric_limits<std::int64_t>::min();

// The lines of SQLite's plan for text; empty when the text does not compile.
std::vector<std::string> planOf(Database& database, const std::string& text) {
    std::vector<std::string> details;
    StatementHandle explain;
    try {
        explain = database.prepare("EXPLAIN QUERY PLAN " + text);
    } catch (const kit::BackendError&) {
        return details;
    }
    while (sqlite3_step(explain.get()) == SQLITE_ROW) {
        const auto* detail = reinterpret_cast<const char*>(sqlite3_column_text(explain.get(), 3));
        details.emplace_back(detail != nullptr ? detail : "");
    }
    return details;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// One loop over the whole table in its storage order: no index, no temporary sort, nothing else.
bool isPlainScan(const std::vector<std::string>& plan) {
    return plan.size() == 1 && startsWith(plan[0], "SCAN ") &&
           plan[0].find(" USING ") == std::string::npos &&
           plan[0].find("VIRTUAL TABLE") == std::string::npos;
}

// One loop over the table from a rowid on, in rowid order.
bool isRowidRange(const std::vector<std::string>& plan) {
    static constexpr std::string_view range = " USING INTEGER PRIMARY KEY (rowid>?)";
    return plan.size() == 1 && startsWith(plan[0], "SEARCH ") && plan[0].size() > range.size() &&
           plan[0].compare(plan[0].size() - range.size(), range.size(), range) == 0;
}

// With reverse_unordered_selects on, SQLite scans unordered queries backwards.
bool scansForwards(Database& database) {
    StatementHandle pragma = database.prepare("PRAGMA reverse_unordered_selects");
    return sqlite3_step(pragma.get()) == SQLITE_ROW && sqlite3_column_int(pragma.get(), 0) == 0;
}

int recompilations(sqlite3_stmt* statement) {
    return sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_REPREPARE, 0);
}

// Steps a statement of the checkpoints; on failure resets it and throws SQLite's error.
int stepChecked(sqlite3* db, sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE)
        return rc;
    sqlite3_reset(statement);
    throwSqliteError(db, rc, ErrorStage::Run);
}

void bindPlace(sqlite3* db, sqlite3_stmt* statement, std::int64_t key, std::uint64_t skip) {
    int rc = sqlite3_bind_int64(statement, 1, key);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(skip));
    if (rc != SQLITE_OK)
        throwSqliteError(db, rc, ErrorStage::Run);
}

// Whether the rows the tokens from `from` on select are the same whenever the data is: no
// function call, whose value may change from one statement to the next (random(),
// date('now'), changes()), and no CURRENT_TIME and the like. Deterministic functions count
// too: telling them apart is not worth it.
bool fixedByTheData(const std::vector<Token>& tokens, std::size_t from, std::size_t end) {
    static constexpr std::array<std::string_view, 18> beforeParentheses = {
        "and",  "or",     "not",  "in",   "where", "like", "glob",   "between", "is",
        "cast", "exists", "when", "then", "else",  "case", "escape", "match",   "regexp"};
    for (std::size_t i = from; i < end; ++i) {
        const Token& t = tokens[i];
        if (isKeyword(t, "current_time") || isKeyword(t, "current_date") ||
            isKeyword(t, "current_timestamp"))
            return false;
        if (i + 1 == end || tokens[i + 1].text != "(" ||
            (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName))
            continue;
        if (t.kind == TokenKind::QuotedName ||
            std::none_of(beforeParentheses.begin(), beforeParentheses.end(),
                         [&](std::string_view k) { return isKeyword(t, k); }))
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<RowidCheckpoints> RowidCheckpoints::forQuery(Database& database,
                                                             sqlite3_stmt* query) {
    const char* text = sqlite3_sql(query);
    if (text == nullptr)
        return nullptr;
    const std::string_view sql(text);
    const StatementShape shape = analyzeStatement(sql);
    if (!shape.singleTable)
        return nullptr;
    const std::vector<Token> tokens = tokenizeSql(sql);
    std::size_t end = tokens.size();
    while (end > 0 && tokens[end - 1].text == ";")
        --end;
    std::optional<std::size_t> from, where;
    for (std::size_t i = 0; i < end; ++i) {
        const Token& t = tokens[i];
        if (t.depth != 0)
            continue;
        // The order and the number of rows must be the scan's own.
        if (isKeyword(t, "order") || isKeyword(t, "limit") || t.text == ";")
            return nullptr;
        if (!from && isKeyword(t, "from"))
            from = i;
        else if (from && !where && isKeyword(t, "where"))
            where = i;
    }
    if (!from || end == 0)
        return nullptr;
    const SingleTableQuery& table = *shape.singleTable;
    const std::string rowid = rowidName(database.handle(), table.table.schema, table.table.name);
    if (rowid.empty() || !isPlainScan(planOf(database, std::string(sql))) ||
        !scansForwards(database))
        return nullptr;

    // The query's own condition, then the rowid's: SQLite reads the table from that rowid on.
    const std::string key = table.qualifier + "." + rowid;
    const Token& last = tokens[end - 1];
    const std::string body(sql.substr(0, last.offset + last.text.size()));
    std::string ranged;
    if (where) {
        const std::size_t condition = tokens[*where].offset + tokens[*where].text.size();
        ranged =
            body.substr(0, condition) + " (" + body.substr(condition) + "\n) AND " + key + " >= ?1";
    } else {
        ranged = body + "\nWHERE " + key + " >= ?1";
    }
    const std::string fromText = ranged + "\nLIMIT -1 OFFSET ?2";
    const std::string nextText =
        "SELECT " + key + " " + ranged.substr(tokens[*from].offset) + "\nLIMIT 1 OFFSET ?2";
    if (!isRowidRange(planOf(database, fromText)) || !isRowidRange(planOf(database, nextText)))
        return nullptr;
    StatementHandle fromStatement, nextStatement;
    try {
        fromStatement = database.prepare(fromText, nullptr, true);
        nextStatement = database.prepare(nextText, nullptr, true);
    } catch (const kit::BackendError&) {
        return nullptr;
    }
    if (!fromStatement || !nextStatement ||
        sqlite3_column_count(fromStatement.get()) != sqlite3_column_count(query) ||
        sqlite3_column_count(nextStatement.get()) != 1)
        return nullptr;
    // Texts that differ only in spacing and comments are the same query. None for a query
    // whose rows may change without the data changing: it is not kept past its statement.
    std::string memoryKey;
    const std::size_t keyEnd = fixedByTheData(tokens, *from, end) ? end : 0;
    for (std::size_t i = 0; i < keyEnd; ++i) {
        memoryKey += i == 0 ? "" : " ";
        memoryKey += tokens[i].text;
    }
    return std::unique_ptr<RowidCheckpoints>(new RowidCheckpoints(
        database, std::move(fromStatement), std::move(nextStatement), std::move(memoryKey)));
}

RowidCheckpoints::RowidCheckpoints(Database& database, StatementHandle from, StatementHandle next,
                                   std::string memoryKey)
    : database_(database), from_(std::move(from)), next_(std::move(next)), keys_{beforeEveryRowid},
      memoryKey_(std::move(memoryKey)) {
    stamp_ = currentStamp();
    recall();
}

bool RowidCheckpoints::memoryApplies() const {
    sqlite3* db = database_.handle();
    return !memoryKey_.empty() && sqlite3_get_autocommit(db) != 0 &&
           sqlite3_db_name(db, 2) == nullptr;
}

void RowidCheckpoints::recall() {
    if (!memoryApplies())
        return;
    const LearntRowids* learnt = database_.rowidMemory().find(memoryKey_);
    if (learnt == nullptr || !(learnt->stamp == stamp_))
        return;
    keys_ = learnt->keys;
    spacing_ = learnt->spacing;
    complete_ = learnt->complete;
}

void RowidCheckpoints::remember() {
    if (!memoryApplies() || stamp_.recompiled != 0 || keys_.size() < 2)
        return;
    database_.rowidMemory().keep(memoryKey_, LearntRowids{keys_, spacing_, complete_, stamp_});
}

RowidCheckpoints::Stamp RowidCheckpoints::currentStamp() const {
    sqlite3* db = database_.handle();
    Stamp stamp;
    stamp.changes = sqlite3_total_changes64(db);
    for (int i = 0; const char* name = sqlite3_db_name(db, i); ++i) {
        unsigned version = 0;
        if (sqlite3_file_control(db, name, SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
            version = 0;
        stamp.dataVersions.push_back(version);
    }
    stamp.recompiled = recompilations(from_.get()) + recompilations(next_.get());
    return stamp;
}

bool RowidCheckpoints::stillTrue(const Stamp& now) {
    if (now == stamp_)
        return true;
    keys_.assign(1, beforeEveryRowid);
    complete_ = false;
    stamp_ = now;
    // Compiled again (the schema changed, or a pragma that changes how SQLite plans): the plan
    // these statements were checked for may be gone.
    return now.recompiled == 0;
}

bool RowidCheckpoints::learnNext() {
    sqlite3* db = database_.handle();
    sqlite3_stmt* next = next_.get();
    bindPlace(db, next, keys_.back(), spacing_);
    const int rc = stepChecked(db, next);
    // Read while the step's snapshot is still open, so the key and the stamp go together.
    const Stamp now = currentStamp();
    const std::int64_t key = rc == SQLITE_ROW ? sqlite3_column_int64(next, 0) : 0;
    sqlite3_reset(next);
    if (!(now == stamp_)) {
        stillTrue(now);
        return false;
    }
    if (rc == SQLITE_DONE) {
        complete_ = true;
        return false;
    }
    keys_.push_back(key);
    if (keys_.size() > mostKept)
        thin();
    return true;
}

void RowidCheckpoints::learnUpTo(std::uint64_t row) {
    // Data that keeps changing under the learning gets three tries, then the jump passes over
    // the rest.
    int restarts = 0;
    while (keys_.size() <= row / spacing_ && !complete_) {
        if (learnNext())
            continue;
        if (stamp_.recompiled != 0 || complete_ || ++restarts == 3)
            break;
    }
}

void RowidCheckpoints::thin() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < keys_.size(); i += 2)
        keys_[kept++] = keys_[i];
    keys_.resize(kept);
    spacing_ *= 2;
}

RowidCheckpoints::Placed RowidCheckpoints::place(std::uint64_t row) {
    sqlite3* db = database_.handle();
    if (!stillTrue(currentStamp()))
        return {};
    // Learnt only outside a transaction: inside one, a ROLLBACK TO could take back rows the
    // checkpoints were read from without anything this connection can see.
    if (sqlite3_get_autocommit(db) != 0 && keys_.size() <= row / spacing_ && !complete_) {
        // One read transaction for all of it: each statement on its own would lock and unlock
        // the file and check it for changes, which costs more than passing over the rows.
        database_.run("BEGIN DEFERRED");
        try {
            learnUpTo(row);
            database_.run("COMMIT");
        } catch (...) {
            // Nothing was written: ending the reading by a rollback loses nothing, and the
            // connection must not stay inside a transaction nobody began.
            try {
                database_.run("ROLLBACK");
            } catch (...) {
            }
            throw;
        }
        if (stamp_.recompiled != 0)
            return {};
        remember();
    }
    const std::uint64_t use = std::min<std::uint64_t>(row / spacing_, keys_.size() - 1);
    sqlite3_stmt* s = from_.get();
    bindPlace(db, s, keys_[use], row - use * spacing_);
    int rc = stepChecked(db, s);
    const Stamp now = currentStamp();
    if (!(now == stamp_)) {
        // The data changed since the checkpoints were read: from the first row, as without them.
        sqlite3_reset(s);
        if (!stillTrue(now))
            return {};
        bindPlace(db, s, beforeEveryRowid, row);
        rc = stepChecked(db, s);
    }
    return {s, rc};
}

void RowidCheckpoints::reset() {
    sqlite3_reset(from_.get());
}

} // namespace vantrel::sqlite
