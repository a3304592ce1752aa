#include "oledb/SchemaDefinition.h"

namespace {

enum class TColumnKind { key, notNull, nullable };

// One column of the schema: the provider picks its own 4-byte integer type for the integer
// columns (no type name, no size); the text columns are fixed-length characters.
struct TColumnSpec {
    DBTYPE type;
    DBLENGTH size;
    TColumnKind kind;
};

constexpr TColumnSpec branchesColumns[] = {
    {DBTYPE_I4, 0, TColumnKind::key},
    {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_STR, 91, TColumnKind::nullable},
};
constexpr TColumnSpec tellersColumns[] = {
    {DBTYPE_I4, 0, TColumnKind::key},
    {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_STR, 87, TColumnKind::nullable},
};
constexpr TColumnSpec accountsColumns[] = {
    {DBTYPE_I4, 0, TColumnKind::key},
    {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_STR, 87, TColumnKind::nullable},
};
// history has no key at all.
constexpr TColumnSpec historyColumns[] = {
    {DBTYPE_I4, 0, TColumnKind::notNull},           {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_I4, 0, TColumnKind::notNull},           {DBTYPE_I4, 0, TColumnKind::notNull},
    {DBTYPE_DBTIMESTAMP, 0, TColumnKind::nullable}, {DBTYPE_STR, 75, TColumnKind::nullable},
};

struct TTableSpec {
    const TColumnSpec* columns;
    std::size_t count;
};

constexpr TTableSpec tableSpecs[tableCount] = {
    {branchesColumns, std::size(branchesColumns)},
    {tellersColumns, std::size(tellersColumns)},
    {accountsColumns, std::size(accountsColumns)},
    {historyColumns, std::size(historyColumns)},
};

// An optional boolean column property with no column of its own.
void setColumnProperty(DBPROP& property, DBPROPID id, bool value) {
    property.dwPropertyID = id;
    property.dwOptions = DBPROPOPTIONS_OPTIONAL;
    property.dwStatus = 0;
    property.colid = DB_NULLID;
    VariantInit(&property.vValue);
    V_VT(&property.vValue) = VT_BOOL;
    V_BOOL(&property.vValue) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void nameId(DBID& id, TOleString& name) {
    id = DBID{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = name.data();
}

} // namespace

TTableDefinition::TTableDefinition(TTableIndex table)
    : name(toOleString(tableName(table))), charTypeName(toOleString("char")),
      datetimeTypeName(toOleString("datetime")) {
    nameId(id, name);

    setColumnProperty(keyProperties.properties[0], DBPROP_COL_NULLABLE, false);
    setColumnProperty(keyProperties.properties[1], DBPROP_COL_PRIMARYKEY, true);
    keyProperties.set = {keyProperties.properties, 2, DBPROPSET_COLUMN};
    setColumnProperty(notNullProperties.properties[0], DBPROP_COL_NULLABLE, false);
    notNullProperties.set = {notNullProperties.properties, 1, DBPROPSET_COLUMN};
    setColumnProperty(nullableProperties.properties[0], DBPROP_COL_NULLABLE, true);
    nullableProperties.set = {nullableProperties.properties, 1, DBPROPSET_COLUMN};

    const TTableSpec& shape = tableSpecs[table];
    columnNames.reserve(shape.count); // the descriptions point into these strings
    for (std::size_t i = 0; i < shape.count; ++i)
        columnNames.push_back(toOleString(columnName(table, static_cast<int>(i) + 1)));

    descriptions.resize(shape.count);
    for (std::size_t i = 0; i < shape.count; ++i) {
        const TColumnSpec& column = shape.columns[i];
        DBCOLUMNDESC& description = descriptions[i];
        description = DBCOLUMNDESC{};
        if (column.type == DBTYPE_STR)
            description.pwszTypeName = charTypeName.data();
        else if (column.type == DBTYPE_DBTIMESTAMP)
            description.pwszTypeName = datetimeTypeName.data();
        switch (column.kind) {
        case TColumnKind::key:
            description.rgPropertySets = &keyProperties.set;
            break;
        case TColumnKind::notNull:
            description.rgPropertySets = &notNullProperties.set;
            break;
        case TColumnKind::nullable:
            description.rgPropertySets = &nullableProperties.set;
            break;
        }
        description.cPropertySets = 1;
        description.ulColumnSize = column.size;
        nameId(description.dbcid, columnNames[i]);
        description.wType = column.type;
    }
}
