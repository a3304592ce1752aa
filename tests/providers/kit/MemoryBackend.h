// A small in-memory backend for testing what is kit-only through real OLE DB calls. It
// understands a handful of space-separated statements instead of SQL:
//   SCAN t                   every row of table t
//   SCAN t WHERE c = ?       the rows whose column c equals the parameter
//   COUNT t                  one row, one DBTYPE_I4 column
//   INSERT t                 one parameter per column, inserts a row
//   UNKNOWN ?                a statement whose parameter the backend cannot describe
//   FAIL <class>             prepares, and fails when run with that error class
// anything else fails to prepare with a syntax error. A table named unreachableCatalogue reads
// as any other, but describing its columns' keys fails (a catalogue look-up that fails).
#pragma once

#include "kit/Backend.h"

#include <map>
#include <string>
#include <vector>

namespace memdb {

using namespace vantrel::kit;

struct Table {
    std::vector<ColumnInfo> columns;
    std::map<std::int64_t, std::vector<Value>> rows;
    std::int64_t nextRowid = 1;
};

using Tables = std::map<std::string, Table>;

inline constexpr const char* unreachableCatalogue = "unreachable";

// The one database every connection of the test provider opens.
Tables& database();

// The provider's description; register it with registerKitProvider.
const ProviderDescriptor& descriptor();

// A table with an I4 key "id" and a STR(20) "name".
void createPeople(const std::string& name);

} // namespace memdb
