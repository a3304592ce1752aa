// How SQLite's declared column types and OLE DB types map onto each other.
//
// SQLite stores any value in any column; the declared type is only a name. The provider reads
// that name to give each column an OLE DB type, and when ITableDefinition creates a table it
// writes names that read back as the very type the consumer asked for: DBTYPE_I4 becomes
// "INTEGER" and reads back as DBTYPE_I4, a DBTYPE_STR of 87 becomes "VARCHAR(87)" (or the
// consumer's own name, "char(87)") and reads back as DBTYPE_STR of 87, DBTYPE_DBTIMESTAMP
// becomes "DATETIME" and reads back as DBTYPE_DBTIMESTAMP.
#pragma once

#include "kit/Backend.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::sqlite {

namespace dbtype = kit::dbtype;

struct OleDbType {
    kit::DbType type = dbtype::Empty;
    std::size_t size = 0; // characters or bytes for variable types; 0 = no limit
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
};

// The OLE DB type of a column declared as declaredType. An empty declaration (a column
// without a type, an expression) gives nothing: the caller decides from the values.
std::optional<OleDbType> typeOfDeclaration(std::string_view declaredType);

// typeOfDeclaration remembered for the declarations seen last: every statement describes each
// of its columns, and a database declares few distinct types. One per connection, used from
// one thread at a time as the connection is, so it needs no lock.
class DeclaredTypes {
public:
    std::optional<OleDbType> typeOf(std::string_view declaredType);

private:
    struct Known {
        std::string declaration;
        std::optional<OleDbType> type;
    };
    std::vector<Known> known_;
    std::size_t nextReplaced_ = 0;
};

// The OLE DB type of a value of SQLite storage class storageClass (SQLITE_INTEGER, ...), for
// columns whose declaration says nothing.
OleDbType typeOfStorageClass(int storageClass);

// The fixed byte size OLE DB reports for a fixed-length type, 0 for variable-length ones.
std::size_t fixedSizeOf(kit::DbType type);

// The declaration that CreateTable writes for a column. typeName is the consumer's own type
// name (may be empty). Throws BackendError: UnknownType when typeName is no type SQLite
// recognises, TypeMismatch when it names a type other than type or type cannot be stored.
std::string declarationFor(kit::DbType type, std::size_t size, std::uint8_t precision,
                           std::uint8_t scale, std::string_view typeName);

} // namespace vantrel::sqlite
