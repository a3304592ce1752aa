#pragma once
// The column descriptions of the benchmark schema as ITableDefinition::CreateTable takes them:
// types, sizes, nullability and keys of the four tables. The names come from core/Schema.h.

#include "core/Schema.h"
#include "oledb/OleDbApi.h"
#include "oledb/OleString.h"

#include <vector>

// The DBCOLUMNDESC array of one table together with everything its pointers refer to (names,
// type names, property sets); neither copied nor moved, since the descriptions point into it.
class TTableDefinition {
public:
    explicit TTableDefinition(TTableIndex table);
    TTableDefinition(const TTableDefinition&) = delete;
    TTableDefinition& operator=(const TTableDefinition&) = delete;

    // DBKIND_NAME identifier of the table.
    DBID* tableId() { return &id; }
    DBORDINAL columnCount() const { return descriptions.size(); }
    DBCOLUMNDESC* columns() { return descriptions.data(); }

private:
    // One column property set of the schema: its properties and the set that points at them.
    struct TPropertySet {
        DBPROP properties[2]{};
        DBPROPSET set{};
    };

    TOleString name;
    TOleString charTypeName;
    TOleString datetimeTypeName;
    TPropertySet keyProperties;      // not nullable, primary key
    TPropertySet notNullProperties;  // not nullable
    TPropertySet nullableProperties; // nullable
    DBID id{};
    std::vector<TOleString> columnNames;
    std::vector<DBCOLUMNDESC> descriptions;
};
