#include "PgTextReading.h"

#include <array>

namespace vantrel::postgres {

namespace {

// Statements that end or shape transactions cannot run under a statement savepoint.
bool isTransactionControl(std::string_view keyword) {
    static constexpr std::array<std::string_view, 8> control = {
        "BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT", "RELEASE", "SAVEPOINT"};
    for (std::string_view k : control)
        if (keyword == k)
            return true;
    return false;
}

} // namespace

TextReading readText(std::string_view sql) {
    TextReading r;
    r.keyword = leadingKeyword(sql);
    // Queries whose rows a cursor can give; anything else (data-changing WITH, SELECT INTO,
    // utility statements) runs as it is.
    r.browsable = r.keyword == "SELECT" || r.keyword == "VALUES" || r.keyword == "TABLE";
    r.transactionControl = isTransactionControl(r.keyword);
    r.insert = r.keyword == "INSERT";
    r.copy = r.keyword == "COPY";
    if (r.browsable) {
        std::string_view query = sql;
        while (!query.empty() &&
               (query.back() == ';' || query.back() == ' ' || query.back() == '\t' ||
                query.back() == '\r' || query.back() == '\n' || query.back() == '\f' ||
                query.back() == '\v'))
            query.remove_suffix(1);
        r.trailing = sql.size() - query.size();
        r.shortResult = shortResultOf(query);
        // Text that proves one row is one statement; a key lookup still needs the catalog.
        if (r.shortResult.kind != ShortResult::Kind::OneRow)
            r.outline = outlineOf(query);
    } else if (sql.find(';') != std::string_view::npos) {
        r.outline = outlineOf(sql);
    }
    return r;
}

[[gnu::hot]] TextReading& TextReadings::of(std::string_view sql) {
    // A few cover the statements a consumer repeats; a miss costs a look at each.
    constexpr std::size_t kept = 4;
    // Long texts (a load's INSERT of many rows) are rarely repeated: not kept.
    constexpr std::size_t longest = 4096;
    if (sql.size() > longest) {
        unkept_ = readText(sql);
        return unkept_;
    }
    // The one that matched last is likely to match again (a consumer's loop).
    if (last_ < entries_.size() && sameButNumbers(entries_[last_].text, sql))
        return entries_[last_].reading;
    for (std::size_t k = 0; k < entries_.size(); ++k)
        if (k != last_ && sameButNumbers(entries_[k].text, sql)) {
            last_ = k;
            return entries_[k].reading;
        }
    Entry made{std::string(sql), readText(sql)};
    if (entries_.size() < kept) {
        last_ = entries_.size();
        entries_.push_back(std::move(made));
        return entries_.back().reading;
    }
    last_ = next_;
    Entry& replaced = entries_[next_];
    next_ = (next_ + 1) % kept;
    replaced = std::move(made);
    return replaced.reading;
}

} // namespace vantrel::postgres
