// Just enough reading of SQL text to describe what a driver cannot: the first keyword, the
// target columns of an INSERT, and the one table a simple SELECT reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::odbc {

// The first keyword, upper case ("SELECT", "INSERT", ...); empty when the text starts otherwise.
std::string firstKeyword(std::string_view sql);

// "INSERT INTO t (c1, c2, ...) VALUES (e1, e2, ...)": the table and, per '?' marker in the
// VALUES list in order, the column it fills. Nullopt for any other shape (no column list,
// INSERT ... SELECT, a marker inside an expression).
struct InsertShape {
    std::string table;
    std::vector<std::string> markerColumns;
};
std::optional<InsertShape> insertShape(std::string_view sql);

// "SELECT ... FROM t [WHERE ...|ORDER BY ...]": t, for a statement reading one plain table;
// nullopt for joins, several tables, subqueries in FROM.
std::optional<std::string> singleTable(std::string_view sql);

// The text after the leading SELECT keyword (for adding hidden columns in front of the list);
// nullopt when the statement does not start with SELECT or starts with SELECT DISTINCT.
std::optional<std::string_view> afterSelect(std::string_view sql);

} // namespace vantrel::odbc
