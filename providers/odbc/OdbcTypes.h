// ODBC SQL types seen through OLE DB: the DBTYPE a column or parameter reports, how its values
// are read with SQLGetData, and the SQL type a value is bound as.
#pragma once

#include "kit/Backend.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <vector>

namespace vantrel::odbc {

namespace dbtype = kit::dbtype;

// Character columns longer than this are reported as long data (size 0).
inline constexpr std::size_t longDataThreshold = 65535;

struct OleDbType {
    kit::DbType type = dbtype::Empty;
    std::size_t size = 0; // characters for STR/WSTR, bytes for BYTES, fixed size otherwise
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
};

// The OLE DB type of an ODBC SQL type with its column size and decimal digits. Exact numbers
// (DECIMAL, NUMERIC) are read as R8 when their precision fits a double exactly (15 digits),
// else as text; types without a closer match are text (DBTYPE_WSTR).
OleDbType oleDbTypeOf(SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                      bool isUnsigned);

// How a result column's value is fetched.
enum class Reading : std::uint8_t { Int, Real, Text, Bytes, Timestamp, Date };
Reading readingOf(const OleDbType& type);

// The SQL type a parameter value of `kind` is sent as when the parameter's type is unknown.
SQLSMALLINT sqlTypeFor(kit::ValueKind kind);

// The SQL types to ask SQLGetTypeInfo about for a column of OLE DB type `type`, best first.
std::vector<SQLSMALLINT> sqlTypesFor(kit::DbType type, std::size_t size);

} // namespace vantrel::odbc
