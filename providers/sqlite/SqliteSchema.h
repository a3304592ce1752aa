// What the database's schema says about a table or column.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::sqlite {

struct ColumnFacts {
    std::string declaredType;
    bool notNull = false;
    bool primaryKey = false;
};

// The column `column` of table `table` (schema may be empty for the usual search order);
// nothing when there is no such table or column, or table is a view.
std::optional<ColumnFacts> lookupColumn(sqlite3* db, std::string_view schema,
                                        std::string_view table, std::string_view column);

// The names of table's columns in declared order; empty when there is no such table.
std::vector<std::string> tableColumnNames(sqlite3* db, std::string_view schema,
                                          std::string_view table);

// The name that reads table's rowid ("rowid", or "_rowid_" / "oid" when a column is called
// rowid); empty when the table has none (a view, a WITHOUT ROWID table, no such table).
std::string rowidName(sqlite3* db, std::string_view schema, std::string_view table);

// True when a table or view of that name exists in the main or temp schema.
bool tableOrViewExists(sqlite3* db, std::string_view name);

} // namespace vantrel::sqlite
