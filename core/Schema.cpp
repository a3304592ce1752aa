#include "core/Schema.h"

#include <array>
#include <vector>

namespace {

struct TableDef {
    std::string name;
    std::vector<std::string> columns;
};

// Built once, before first use, in table-index order; never changed afterwards.
const std::array<TableDef, tableCount>& tables() {
    static const std::array<TableDef, tableCount> defs = {{
        {"branches", {"Bid", "Bbalance", "Remark"}},
        {"tellers", {"Tid", "Bid", "Tbalance", "Remark"}},
        {"accounts", {"Aid", "Bid", "Abalance", "Remark"}},
        {"history", {"Tid", "Bid", "Aid", "Delta", "Time", "Remark"}},
    }};
    return defs;
}

const std::string& emptyText() {
    static const std::string empty;
    return empty;
}

} // namespace

const std::string& tableName(TTableIndex table) {
    return table < tableCount ? tables()[table].name : emptyText();
}

int columnCount(TTableIndex table) {
    return table < tableCount ? static_cast<int>(tables()[table].columns.size()) : 0;
}

const std::string& columnName(TTableIndex table, int column) {
    if (table >= tableCount || column < 1 || column > columnCount(table))
        return emptyText();
    return tables()[table].columns[static_cast<std::size_t>(column - 1)];
}
