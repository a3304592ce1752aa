#include "OdbcTypes.h"

namespace vantrel::odbc {

namespace {

OleDbType fixed(kit::DbType type, std::size_t size, std::uint8_t precision = 0) {
    return {type, size, precision, 0};
}

std::size_t characters(SQLULEN columnSize) {
    return columnSize == 0 || columnSize > longDataThreshold ? 0 : std::size_t(columnSize);
}

} // namespace

OleDbType oleDbTypeOf(SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                      bool isUnsigned) {
    switch (sqlType) {
    case SQL_BIT:
        return fixed(dbtype::Bool, 2);
    case SQL_TINYINT:
        return isUnsigned ? fixed(dbtype::UI1, 1, 3) : fixed(dbtype::I2, 2, 5);
    case SQL_SMALLINT:
        return isUnsigned ? fixed(dbtype::I4, 4, 10) : fixed(dbtype::I2, 2, 5);
    case SQL_INTEGER:
        return isUnsigned ? fixed(dbtype::I8, 8, 19) : fixed(dbtype::I4, 4, 10);
    case SQL_BIGINT:
        return isUnsigned ? fixed(dbtype::UI8, 8, 20) : fixed(dbtype::I8, 8, 19);
    case SQL_REAL:
        return fixed(dbtype::R4, 4, 7);
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return fixed(dbtype::R8, 8, 15);
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        if (columnSize > 0 && columnSize <= 15) {
            if (decimalDigits == 0 && columnSize <= 9)
                return fixed(dbtype::I4, 4, 10);
            return fixed(dbtype::R8, 8, 15);
        }
        return {dbtype::WStr, columnSize > 0 ? std::size_t(columnSize) + 2 : 0, 0, 0};
    // Unicode drivers describe every character column with the wide types: what they say is
    // how they exchange text, not what the column holds. Character columns are DBTYPE_STR,
    // as the native providers report the same columns; a consumer may still bind them as
    // DBTYPE_WSTR and lose nothing.
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return {dbtype::Str, characters(columnSize), 0, 0};
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
        return {dbtype::Str, 0, 0, 0};
    case SQL_BINARY:
    case SQL_VARBINARY:
        return {dbtype::Bytes, characters(columnSize), 0, 0};
    case SQL_LONGVARBINARY:
        return {dbtype::Bytes, 0, 0, 0};
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return fixed(dbtype::DbDate, 6);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return fixed(dbtype::DbTimestamp, 16);
    default:
        // TIME, GUID, intervals and driver-specific types: their text.
        return {dbtype::WStr, characters(columnSize), 0, 0};
    }
}

Reading readingOf(const OleDbType& type) {
    switch (type.type) {
    case dbtype::Bool:
    case dbtype::I1:
    case dbtype::I2:
    case dbtype::I4:
    case dbtype::I8:
    case dbtype::UI1:
    case dbtype::UI2:
    case dbtype::UI4:
    case dbtype::UI8:
        return Reading::Int;
    case dbtype::R4:
    case dbtype::R8:
        return Reading::Real;
    case dbtype::Bytes:
        return Reading::Bytes;
    case dbtype::DbDate:
        return Reading::Date;
    case dbtype::DbTimestamp:
        return Reading::Timestamp;
    default:
        return Reading::Text;
    }
}

SQLSMALLINT sqlTypeFor(kit::ValueKind kind) {
    switch (kind) {
    case kit::ValueKind::Int:
        return SQL_BIGINT;
    case kit::ValueKind::Real:
        return SQL_DOUBLE;
    case kit::ValueKind::Blob:
        return SQL_VARBINARY;
    case kit::ValueKind::Timestamp:
        return SQL_TYPE_TIMESTAMP;
    case kit::ValueKind::Null:
    case kit::ValueKind::Text:
        break;
    }
    return SQL_WVARCHAR;
}

std::vector<SQLSMALLINT> sqlTypesFor(kit::DbType type, std::size_t size) {
    switch (type) {
    case dbtype::Bool:
        return {SQL_BIT, SQL_SMALLINT, SQL_INTEGER};
    case dbtype::I1:
    case dbtype::UI1:
    case dbtype::I2:
        return {SQL_SMALLINT, SQL_INTEGER};
    case dbtype::UI2:
    case dbtype::I4:
        return {SQL_INTEGER, SQL_BIGINT};
    case dbtype::UI4:
    case dbtype::I8:
    case dbtype::UI8:
        return {SQL_BIGINT, SQL_NUMERIC, SQL_DECIMAL};
    case dbtype::R4:
        return {SQL_REAL, SQL_FLOAT, SQL_DOUBLE};
    case dbtype::R8:
        return {SQL_DOUBLE, SQL_FLOAT};
    case dbtype::Str:
        if (size == 0 || size > longDataThreshold)
            return {SQL_LONGVARCHAR, SQL_WLONGVARCHAR, SQL_VARCHAR};
        return {SQL_VARCHAR, SQL_WVARCHAR, SQL_CHAR};
    case dbtype::WStr:
        if (size == 0 || size > longDataThreshold)
            return {SQL_WLONGVARCHAR, SQL_LONGVARCHAR, SQL_WVARCHAR, SQL_VARCHAR};
        return {SQL_WVARCHAR, SQL_VARCHAR, SQL_WCHAR, SQL_CHAR};
    case dbtype::Bytes:
        if (size == 0 || size > longDataThreshold)
            return {SQL_LONGVARBINARY, SQL_VARBINARY};
        return {SQL_VARBINARY, SQL_LONGVARBINARY};
    case dbtype::DbDate:
        return {SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP};
    case dbtype::DbTime:
        return {SQL_TYPE_TIME, SQL_VARCHAR};
    case dbtype::DbTimestamp:
        return {SQL_TYPE_TIMESTAMP, SQL_TYPE_DATE};
    default:
        return {};
    }
}

} // namespace vantrel::odbc
