#include "StatementShape.h"

#include "SqlTokens.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>

namespace vantrel::sqlite {

namespace {

using Tokens = std::vector<Token>;

bool isPunct(const Tokens& t, std::size_t i, char c) {
    return i < t.size() && t[i].kind == TokenKind::Punct && t[i].text.size() == 1 &&
           t[i].text[0] == c;
}

bool isWord(const Tokens& t, std::size_t i, std::string_view word) {
    return i < t.size() && isKeyword(t[i], word);
}

bool isNameAt(const Tokens& t, std::size_t i) {
    return i < t.size() && isName(t[i]);
}

bool isComparison(const Token& token) {
    if (token.kind == TokenKind::Operator) {
        static constexpr std::array<std::string_view, 8> ops = {
            "=", "==", "<", "<=", ">", ">=", "<>", "!="};
        return std::find(ops.begin(), ops.end(), token.text) != ops.end();
    }
    return isKeyword(token, "like") || isKeyword(token, "glob") || isKeyword(token, "is") ||
           isKeyword(token, "regexp") || isKeyword(token, "match");
}

bool isLiteralOrParameter(const Token& token) {
    return token.kind == TokenKind::Parameter || token.kind == TokenKind::Number ||
           token.kind == TokenKind::String || isKeyword(token, "null");
}

// The highest parameter number SQLite can be built to accept (Debian's SQLITE_MAX_VARIABLE_NUMBER).
// The text is read before SQLite compiles it, so a larger number ("?2000000000") must neither
// size the shape nor overflow the count: it gets no number here, and SQLite refuses it.
constexpr int maxParameterNumber = 250000;

// SQLite's numbering: '?' takes one more than the largest number so far, '?NNN' takes NNN, a
// named parameter keeps the number its first occurrence took. 0 for tokens that are not
// parameters and for numbers beyond maxParameterNumber.
std::vector<int> parameterNumbers(const Tokens& t) {
    std::vector<int> numbers(t.size(), 0);
    std::map<std::string, int, std::less<>> named;
    int largest = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != TokenKind::Parameter)
            continue;
        const std::string_view text = t[i].text;
        int number = 0;
        if (text == "?") {
            number = largest + 1;
        } else if (text[0] == '?') {
            std::from_chars(text.data() + 1, text.data() + text.size(), number);
        } else if (auto found = named.find(text); found != named.end()) {
            number = found->second;
        } else {
            number = largest + 1;
            named.emplace(std::string(text), number);
        }
        if (number > maxParameterNumber)
            number = 0;
        largest = std::max(largest, number);
        numbers[i] = number;
    }
    return numbers;
}

// The column reference whose last token is at index `end` ("col" or "tbl.col").
std::optional<ParameterTarget> columnEndingAt(const Tokens& t, std::ptrdiff_t end) {
    if (end < 0 || !isNameAt(t, static_cast<std::size_t>(end)))
        return std::nullopt;
    const auto e = static_cast<std::size_t>(end);
    ParameterTarget target;
    target.column = nameOf(t[e]);
    if (e >= 2 && isPunct(t, e - 1, '.') && isNameAt(t, e - 2))
        target.table = nameOf(t[e - 2]);
    return target;
}

// The column reference starting at index `start`, unless it is a function call.
std::optional<ParameterTarget> columnStartingAt(const Tokens& t, std::size_t start) {
    if (!isNameAt(t, start))
        return std::nullopt;
    ParameterTarget target;
    std::size_t last = start;
    if (isPunct(t, start + 1, '.') && isNameAt(t, start + 2)) {
        target.table = nameOf(t[start]);
        last = start + 2;
    }
    if (isPunct(t, last + 1, '(') || isPunct(t, last + 1, '.'))
        return std::nullopt;
    target.column = nameOf(t[last]);
    return target;
}

// The column the parameter at token k is compared with, if the text says.
std::optional<ParameterTarget> comparisonTarget(const Tokens& t, std::size_t k) {
    const auto at = [&](std::ptrdiff_t i) -> const Token* {
        return i >= 0 && static_cast<std::size_t>(i) < t.size() ? &t[static_cast<std::size_t>(i)]
                                                                : nullptr;
    };
    const auto K = static_cast<std::ptrdiff_t>(k);
    // "col op ?", "col NOT LIKE ?", "col IS NOT ?".
    if (const Token* op = at(K - 1); op && isComparison(*op)) {
        const Token* before = at(K - 2);
        return columnEndingAt(t, before && isKeyword(*before, "not") ? K - 3 : K - 2);
    }
    if (const Token* n = at(K - 1);
        n && isKeyword(*n, "not") && at(K - 2) && isKeyword(*at(K - 2), "is"))
        return columnEndingAt(t, K - 3);
    // "? op col".
    if (const Token* op = at(K + 1); op && isComparison(*op) && !isKeyword(*op, "is"))
        return columnStartingAt(t, k + 2);
    // "col [NOT] BETWEEN ? AND ?".
    if (const Token* b = at(K - 1); b && isKeyword(*b, "between")) {
        const Token* before = at(K - 2);
        return columnEndingAt(t, before && isKeyword(*before, "not") ? K - 3 : K - 2);
    }
    if (const Token* a = at(K - 1); a && isKeyword(*a, "and") && at(K - 2) &&
                                    isLiteralOrParameter(*at(K - 2)) && at(K - 3) &&
                                    isKeyword(*at(K - 3), "between")) {
        const Token* before = at(K - 4);
        return columnEndingAt(t, before && isKeyword(*before, "not") ? K - 5 : K - 4);
    }
    // "col [NOT] IN (..., ?, ...)".
    std::ptrdiff_t j = K - 1;
    while (j >= 0 && t[static_cast<std::size_t>(j)].depth == t[k].depth &&
           (isPunct(t, static_cast<std::size_t>(j), ',') ||
            isLiteralOrParameter(t[static_cast<std::size_t>(j)])))
        --j;
    if (j >= 1 && isPunct(t, static_cast<std::size_t>(j), '(') &&
        t[static_cast<std::size_t>(j)].depth + 1 == t[k].depth &&
        isWord(t, static_cast<std::size_t>(j - 1), "in")) {
        const Token* before = at(j - 2);
        return columnEndingAt(t, before && isKeyword(*before, "not") ? j - 3 : j - 2);
    }
    return std::nullopt;
}

bool isCountPosition(const Tokens& t, std::size_t k) {
    if (k >= 1 && (isWord(t, k - 1, "limit") || isWord(t, k - 1, "offset")))
        return true;
    // "LIMIT offset, ?".
    return k >= 3 && isPunct(t, k - 1, ',') && isWord(t, k - 3, "limit");
}

// Reads "[schema.]name [[AS] alias]" at index i; returns the index after it. A '(' after the
// name is a column list after INSERT INTO, and a table-valued function elsewhere.
std::optional<std::size_t> readTableReference(const Tokens& t, std::size_t i, TableReference& ref,
                                              bool columnListMayFollow = false) {
    if (!isNameAt(t, i))
        return std::nullopt;
    std::size_t next = i + 1;
    ref.name = nameOf(t[i]);
    if (isPunct(t, next, '.') && isNameAt(t, next + 1)) {
        ref.schema = ref.name;
        ref.name = nameOf(t[next + 1]);
        next += 2;
    }
    if (isPunct(t, next, '('))
        return columnListMayFollow ? std::optional<std::size_t>(next) : std::nullopt;
    if (isWord(t, next, "as") && isNameAt(t, next + 1)) {
        ref.alias = nameOf(t[next + 1]);
        next += 2;
    } else if (isNameAt(t, next) && !isWord(t, next, "indexed") && !isWord(t, next, "default")) {
        ref.alias = nameOf(t[next]);
        next += 1;
    }
    return next;
}

std::vector<TableReference> collectTables(const Tokens& t) {
    std::vector<TableReference> tables;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!(isWord(t, i, "from") || isWord(t, i, "join") || isWord(t, i, "update") ||
              isWord(t, i, "into")))
            continue;
        std::size_t at = i + 1;
        // UPDATE OR REPLACE t / INSERT OR IGNORE INTO t.
        if (isWord(t, i, "update") && isWord(t, at, "or"))
            at += 2;
        while (true) {
            TableReference ref;
            const auto next = readTableReference(t, at, ref, isWord(t, i, "into"));
            if (!next)
                break;
            tables.push_back(ref);
            // "FROM a, b" lists further tables at the same depth.
            if (!isPunct(t, *next, ',') || !isWord(t, i, "from"))
                break;
            at = *next + 1;
        }
    }
    return tables;
}

bool isAggregate(const Token& token) {
    static constexpr std::array<std::string_view, 10> names = {"count",
                                                               "sum",
                                                               "avg",
                                                               "min",
                                                               "max",
                                                               "total",
                                                               "group_concat",
                                                               "string_agg",
                                                               "json_group_array",
                                                               "json_group_object"};
    return std::any_of(names.begin(), names.end(),
                       [&](std::string_view n) { return isKeyword(token, n); });
}

std::optional<SingleTableQuery> singleTableQuery(std::string_view sql, const Tokens& t) {
    if (t.empty() || !isWord(t, 0, "select"))
        return std::nullopt;
    std::size_t listStart = 1;
    if (isWord(t, 1, "distinct"))
        return std::nullopt;
    if (isWord(t, 1, "all"))
        listStart = 2;
    std::size_t from = listStart;
    while (from < t.size() && !(t[from].depth == 0 && isWord(t, from, "from")))
        ++from;
    if (from == t.size())
        return std::nullopt;
    for (std::size_t i = listStart; i < from; ++i)
        if ((isAggregate(t[i]) && isPunct(t, i + 1, '(')) || isWord(t, i, "over"))
            return std::nullopt;
    for (std::size_t i = from; i < t.size(); ++i) {
        if (t[i].depth != 0)
            continue;
        for (std::string_view word :
             {"group", "having", "union", "except", "intersect", "window", "join", "values"})
            if (isKeyword(t[i], word))
                return std::nullopt;
    }
    SingleTableQuery query;
    const auto next = readTableReference(t, from + 1, query.table);
    if (!next)
        return std::nullopt;
    if (*next < t.size() && !isPunct(t, *next, ';') && !isWord(t, *next, "where") &&
        !isWord(t, *next, "order") && !isWord(t, *next, "limit"))
        return std::nullopt;
    if (!query.table.alias.empty()) {
        query.qualifier = quoteName(query.table.alias);
    } else {
        const std::size_t begin = t[from + 1].offset;
        const Token& last = t[*next - 1];
        query.qualifier = std::string(sql.substr(begin, last.offset + last.text.size() - begin));
    }
    const Token& keyword = t[listStart - 1];
    query.insertPosition = keyword.offset + keyword.text.size();
    return query;
}

// INSERT INTO t [(c1, c2, ...)] VALUES (...), (...): the parameters standing alone as a value
// take the column at their position.
void insertTargets(const Tokens& t, const std::vector<int>& numbers, StatementShape& shape) {
    std::size_t i = 0;
    while (i < t.size() && !isWord(t, i, "into"))
        ++i;
    TableReference table;
    const auto afterTable = i < t.size() ? readTableReference(t, i + 1, table, true) : std::nullopt;
    if (!afterTable)
        return;
    std::vector<std::string> columns;
    std::size_t at = *afterTable;
    if (isPunct(t, at, '(')) {
        const int depth = t[at].depth + 1;
        for (++at; at < t.size() && !(isPunct(t, at, ')') && t[at].depth + 1 == depth); ++at)
            if (t[at].depth == depth && isName(t[at]))
                columns.push_back(nameOf(t[at]));
        ++at;
    } else {
        shape.insertWithoutColumnList = true;
    }
    if (!isWord(t, at, "values"))
        return;
    const int tupleDepth = t[at].depth;
    for (++at; at < t.size(); ++at) {
        if (!isPunct(t, at, '(') || t[at].depth != tupleDepth)
            continue;
        std::size_t position = 0;
        std::size_t itemStart = at + 1;
        for (std::size_t j = at + 1; j < t.size(); ++j) {
            const bool endOfTuple = isPunct(t, j, ')') && t[j].depth == tupleDepth;
            const bool endOfItem =
                endOfTuple || (isPunct(t, j, ',') && t[j].depth == tupleDepth + 1);
            if (!endOfItem)
                continue;
            if (j == itemStart + 1 && t[itemStart].kind == TokenKind::Parameter) {
                ParameterTarget target;
                target.table = table.name;
                if (shape.insertWithoutColumnList)
                    target.column = "#" + std::to_string(position);
                else if (position < columns.size())
                    target.column = columns[position];
                const auto index = static_cast<std::size_t>(numbers[itemStart] - 1);
                if (!target.column.empty() && index < shape.parameters.size() &&
                    !shape.parameters[index])
                    shape.parameters[index] = target;
            }
            ++position;
            itemStart = j + 1;
            if (endOfTuple) {
                at = j;
                break;
            }
        }
    }
}

} // namespace

const TableReference* resolveTable(const std::vector<TableReference>& tables,
                                   std::string_view qualifier) {
    if (qualifier.empty())
        return tables.size() == 1 ? &tables.front() : nullptr;
    for (const TableReference& t : tables)
        if (!t.alias.empty() && sameName(t.alias, qualifier))
            return &t;
    for (const TableReference& t : tables)
        if (sameName(t.name, qualifier))
            return &t;
    return nullptr;
}

StatementShape analyzeStatement(std::string_view sql) {
    StatementShape shape;
    const Tokens t = tokenizeSql(sql);
    if (t.empty())
        return shape;
    const std::vector<int> numbers = parameterNumbers(t);
    const int count = numbers.empty() ? 0 : *std::max_element(numbers.begin(), numbers.end());
    shape.parameters.resize(static_cast<std::size_t>(std::max(count, 0)));
    shape.tables = collectTables(t);

    const bool isInsert = isWord(t, 0, "insert") || isWord(t, 0, "replace");
    shape.changesData = isInsert || isWord(t, 0, "update") || isWord(t, 0, "delete");
    if (isWord(t, 0, "with"))
        for (const Token& token : t)
            if (token.depth == 0 && (isKeyword(token, "insert") || isKeyword(token, "update") ||
                                     isKeyword(token, "delete") || isKeyword(token, "replace")))
                shape.changesData = true;
    if (isInsert)
        insertTargets(t, numbers, shape);

    for (std::size_t k = 0; k < t.size(); ++k) {
        if (numbers[k] <= 0)
            continue;
        auto& slot = shape.parameters[static_cast<std::size_t>(numbers[k] - 1)];
        if (slot)
            continue;
        if (isCountPosition(t, k)) {
            ParameterTarget target;
            target.integerOnly = true;
            slot = target;
        } else {
            slot = comparisonTarget(t, k);
        }
    }
    shape.singleTable = singleTableQuery(sql, t);
    return shape;
}

} // namespace vantrel::sqlite
