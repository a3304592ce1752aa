#include "PgResultColumns.h"

#include "PgConnection.h"

#include <algorithm>
#include <cstring>

namespace vantrel::postgres {

[[gnu::hot]] bool ResultColumns::fit(const PGresult* r, int hiddenColumns) const {
    if (hiddenColumns != hidden || PQnfields(r) != static_cast<int>(fields.size()))
        return false;
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        const Field& f = fields[i];
        // The modifier is asked for only where it changes the column's description.
        if (PQftype(r, i) != f.type || PQftable(r, i) != f.table || PQftablecol(r, i) != f.attnum ||
            (f.sizedByTypmod && PQfmod(r, i) != f.typmod) ||
            std::strcmp(PQfname(r, i), f.name.c_str()) != 0)
            return false;
    }
    return true;
}

std::shared_ptr<const ResultColumns> describeResult(PgConnection& connection, const PGresult* r,
                                                    int hidden) {
    auto made = std::make_shared<ResultColumns>();
    ResultColumns& d = *made;
    const int fields = PQnfields(r);
    d.hidden = hidden;
    d.fields.resize(static_cast<std::size_t>(std::max(fields, 0)));
    for (int i = 0; i < fields; ++i) {
        ResultColumns::Field& f = d.fields[i];
        f.name = PQfname(r, i);
        f.type = PQftype(r, i);
        f.typmod = PQfmod(r, i);
        f.sizedByTypmod = typmodSizesType(f.type);
        f.table = PQftable(r, i);
        f.attnum = PQftablecol(r, i);
    }
    const std::size_t visible = static_cast<std::size_t>(std::max(fields - hidden, 0));
    d.columns.reserve(visible);
    d.readings.reserve(visible);
    bool oneTable = true;
    const TableFacts* facts = nullptr; // of d.baseTableOid: columns of one table share them
    for (int i = hidden; i < fields; ++i) {
        const ResultColumns::Field& f = d.fields[i];
        const OleDbType t = oleDbTypeOf(f.type, f.typmod);
        kit::ColumnInfo& c = d.columns.emplace_back();
        c.name = f.name;
        c.type = t.type;
        c.size = t.size;
        c.precision = t.precision;
        c.scale = t.scale;
        if (f.table != 0) {
            if (d.baseTableOid != f.table) {
                oneTable = oneTable && d.baseTableOid == 0;
                d.baseTableOid = f.table;
                facts = connection.tableFacts(f.table);
            }
            if (const TableFacts::Column* base = facts ? facts->column(f.attnum) : nullptr) {
                c.baseTable = facts->name;
                c.baseColumn = base->name;
                c.nullable = !base->notNull;
                c.writable = facts->updatable;
                for (int key : facts->keyAttnums)
                    c.primaryKey = c.primaryKey || key == f.attnum;
            }
        }
        const ValueReading reading = readingOf(f.type);
        d.readings.push_back(reading);
        // Only numbers and bytes are decoded through a copy; most results need none.
        d.needsScratch =
            d.needsScratch || reading == ValueReading::Real || reading == ValueReading::Bytes;
    }
    if (!oneTable)
        d.baseTableOid = 0;
    return made;
}

} // namespace vantrel::postgres
