// What a statement's text says about its parameters and its tables, read from its tokens:
// which column each parameter is compared with or inserted into, and whether a query reads
// exactly one table plainly enough for its rows to be changed by row identity.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::sqlite {

// A column a parameter stands for. table is empty when the text does not qualify the column;
// the caller then looks for it among the statement's tables.
struct ParameterTarget {
    std::string table; // table name or alias as written (unquoted)
    std::string column;
    bool integerOnly = false; // LIMIT / OFFSET: no column, an integer count
};

// A table the statement names (FROM, JOIN, UPDATE, INSERT INTO, DELETE FROM), with its alias.
struct TableReference {
    std::string schema; // empty when not qualified
    std::string name;
    std::string alias; // empty when none
};

// A query over one table, with what is needed to add its row identity as a leading column.
struct SingleTableQuery {
    TableReference table;
    std::string qualifier;      // how the text refers to the table's columns (alias or name)
    std::size_t insertPosition; // byte offset just after SELECT [ALL]
};

struct StatementShape {
    // Indexed by SQLite's parameter number - 1; empty entries have no recognisable context.
    std::vector<std::optional<ParameterTarget>> parameters;
    std::vector<TableReference> tables;
    std::optional<SingleTableQuery> singleTable;
    bool changesData = false; // INSERT, REPLACE, UPDATE or DELETE
    // For INSERT INTO t VALUES (...) without a column list: the parameters stand for the
    // table's columns in declared order; parameters hold the positions as column "#n".
    bool insertWithoutColumnList = false;
};

// Reads the shape of one SQL statement. Never fails; what it cannot recognise stays empty.
StatementShape analyzeStatement(std::string_view sql);

// Table that `qualifierOrEmpty` refers to among tables (by alias first, then by name); the
// first table when the qualifier is empty and there is exactly one. nullptr when unknown.
const TableReference* resolveTable(const std::vector<TableReference>& tables,
                                   std::string_view qualifierOrEmpty);

} // namespace vantrel::sqlite
