// The little the backend needs to know of SQL text: placeholders, the leading keyword, where a
// query's select list starts, and the columns an INSERT names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::postgres {

// OLE DB consumers write parameters as '?'; PostgreSQL wants $1, $2, ... Replaces each '?'
// outside string literals, quoted identifiers, dollar quotes and comments by the next number,
// and counts them. Text that already uses $n (and no '?') passes unchanged.
std::string numberPlaceholders(std::string_view sql, std::size_t& questionMarks);

// The first keyword of the statement in upper case ("SELECT", "INSERT", "WITH"), skipping
// white space, comments and opening parentheses; empty when there is none.
std::string leadingKeyword(std::string_view sql);

// COPY ... FROM STDIN or TO STDOUT: a copy whose data would flow through the client.
bool copiesThroughClient(std::string_view sql);

// What a statement's text holds outside literals, quoted identifiers and comments.
struct TextOutline {
    // A ';' followed by more than blanks, comments and further ';': the extended query
    // protocol refuses such text, the simple one would run each statement.
    bool severalStatements = false;
    // A query that a row limit can be appended to as it is: no ';', balanced parentheses, and
    // no LIMIT, OFFSET, FETCH or INTO outside parentheses.
    bool takesLimit = false;
};
TextOutline outlineOf(std::string_view sql);

// What a query's text proves about the length of its result. OneRow: a select list of
// aggregate calls only (count, sum, min, max, avg, ...), with no GROUP BY, set operation or
// window at top level. KeyLookup: names and '*' of one table, where one column equals a
// constant or a parameter; at most one row when that column alone is the table's primary key,
// which only the catalog can tell. Anything else proves nothing (None).
struct ShortResult {
    enum class Kind : unsigned char { None, OneRow, KeyLookup };
    Kind kind = Kind::None;
    std::string table;  // KeyLookup: as insertShape spells it ("schema.table" kept)
    std::string column; // KeyLookup: the compared column, folded unless quoted
};
ShortResult shortResultOf(std::string_view sql);

// Whether two statement texts differ at most in unsigned whole numbers that stand alone
// (after a blank, an operator, '(' or ',' and before a blank, an operator, ')', ',' or ';'):
// such texts read alike for everything the functions here tell of them.
bool sameButNumbers(std::string_view a, std::string_view b);

// Offset just after the statement's leading SELECT when hidden columns can be put in front of
// its select list; nullopt for anything else (WITH, VALUES, SELECT DISTINCT, parenthesised).
std::optional<std::size_t> selectListStart(std::string_view sql);

// For "INSERT INTO t [(c1, c2, ...)] VALUES ($a, $b, ...)" of one row: the table name as
// written (quotes removed, unquoted parts folded to lower case, "schema.table" kept), the
// columns listed (empty when none are), and per parameter number - 1 the position in the
// VALUES list where it stands alone (-1 when it is part of an expression or absent).
// constantValues: the row holds only parameters and constants and nothing follows it, so
// running the statement again with the same parameters inserts the same row.
struct InsertShape {
    std::string table;
    std::vector<std::string> columns;
    std::vector<int> positionOfParameter;
    std::size_t valueCount = 0;
    bool constantValues = false;
};
std::optional<InsertShape> insertShape(std::string_view numberedSql, std::size_t parameterCount);

// The name PostgreSQL would see for an unquoted identifier: ASCII letters folded to lower case
// when the name is a plain identifier (letters, digits, '_', '$', not starting with a digit);
// any other name is kept exactly.
std::string foldName(std::string_view name);

} // namespace vantrel::postgres
