// How the columns of a result are described to the kit and read: made from the result's own
// description (names, types, base table and column) and the catalog facts of its tables. A
// connection keeps the last few it made, so a statement whose result has the shape of an
// earlier one (the same query with other constants) shares that description instead of
// building its own, and its rowsets share one column list.
#pragma once

#include "PgTypes.h"
#include "kit/Backend.h"

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

namespace vantrel::postgres {

class PgConnection;

struct ResultColumns {
    std::vector<kit::ColumnInfo> columns; // the visible ones, after the hidden identity columns
    std::vector<ValueReading> readings;   // per visible column
    bool needsScratch = false;            // a reading decodes through a copy (numbers, bytea)
    unsigned baseTableOid = 0;            // the one table the visible columns come from, or 0

    // Whether `result`, with `hidden` leading identity columns, has the shape these columns
    // were made from: the same fields with the same names, types, base columns and, where it
    // sizes the column, type modifier.
    bool fit(const PGresult* result, int hidden) const;

    struct Field {
        std::string name;
        unsigned type = 0;
        int typmod = -1;
        bool sizedByTypmod = false; // the typmod decides the column's size
        unsigned table = 0;
        int attnum = 0;
    };
    std::vector<Field> fields; // every field of the result, the hidden ones too
    int hidden = 0;
};

// Describes `result`'s columns; base tables' facts come from the connection's catalog cache.
std::shared_ptr<const ResultColumns> describeResult(PgConnection& connection,
                                                    const PGresult* result, int hidden);

} // namespace vantrel::postgres
