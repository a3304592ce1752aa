#include "SqliteSchema.h"

#include "SqlTokens.h"

#include <algorithm>

namespace vantrel::sqlite {

std::optional<ColumnFacts> lookupColumn(sqlite3* db, std::string_view schema,
                                        std::string_view table, std::string_view column) {
    const std::string schemaText(schema);
    const std::string tableText(table);
    const std::string columnText(column);
    const char* declared = nullptr;
    const char* collation = nullptr;
    int notNull = 0;
    int primaryKey = 0;
    int autoIncrement = 0;
    if (sqlite3_table_column_metadata(db, schema.empty() ? nullptr : schemaText.c_str(),
                                      tableText.c_str(), columnText.c_str(), &declared, &collation,
                                      &notNull, &primaryKey, &autoIncrement) != SQLITE_OK)
        return std::nullopt;
    return ColumnFacts{declared != nullptr ? declared : "", notNull != 0, primaryKey != 0};
}

std::vector<std::string> tableColumnNames(sqlite3* db, std::string_view schema,
                                          std::string_view table) {
    std::vector<std::string> names;
    sqlite3_stmt* statement = nullptr;
    const char* sql = "SELECT name FROM pragma_table_info(?1, ?2) ORDER BY cid";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return names;
    }
    sqlite3_bind_text(statement, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    if (!schema.empty())
        sqlite3_bind_text(statement, 2, schema.data(), static_cast<int>(schema.size()),
                          SQLITE_TRANSIENT);
    while (sqlite3_step(statement) == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return names;
}

std::string rowidName(sqlite3* db, std::string_view schema, std::string_view table) {
    // Metadata answers for the rowid's names only on a rowid table (not for views or WITHOUT
    // ROWID tables) - unless a real column carries that name, which then hides the rowid.
    const std::vector<std::string> columns = tableColumnNames(db, schema, table);
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        const bool shadowed =
            std::any_of(columns.begin(), columns.end(),
                        [&](const std::string& c) { return sameName(c, candidate); });
        if (!shadowed && lookupColumn(db, schema, table, candidate))
            return candidate;
    }
    return {};
}

bool tableOrViewExists(sqlite3* db, std::string_view name) {
    sqlite3_stmt* statement = nullptr;
    const char* sql = "SELECT 1 FROM sqlite_schema WHERE type IN ('table','view') AND name = ?1 "
                      "COLLATE NOCASE UNION ALL SELECT 1 FROM sqlite_temp_schema WHERE type IN "
                      "('table','view') AND name = ?1 COLLATE NOCASE";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return false;
    }
    sqlite3_bind_text(statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    const bool exists = sqlite3_step(statement) == SQLITE_ROW;
    sqlite3_finalize(statement);
    return exists;
}

} // namespace vantrel::sqlite
