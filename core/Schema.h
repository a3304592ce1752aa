#pragma once
// The benchmark schema: four tables addressed by a table index, their names and column lists.
// Every text is Windows-1250 (the names are plain ASCII).

#include <cstdint>
#include <string>

using TTableIndex = std::uint8_t;

constexpr TTableIndex tiBranches = 0;
constexpr TTableIndex tiTellers = 1;
constexpr TTableIndex tiAccounts = 2;
constexpr TTableIndex tiHistory = 3;
constexpr TTableIndex tableCount = 4;
// Not a table: "nothing prepared for browsing".
constexpr TTableIndex noTable = 4;

// "branches", "tellers", "accounts", "history" for 0 to 3; the empty text for anything else.
const std::string& tableName(TTableIndex table);

// 3, 4, 4, 6 for 0 to 3; 0 for anything else.
int columnCount(TTableIndex table);

// Name of column `column` (1-based) of a table; the empty text when the table has no such
// column or is not a table.
const std::string& columnName(TTableIndex table, int column);
