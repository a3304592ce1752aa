#include "SqliteTypes.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <string>
#include <vector>

namespace vantrel::sqlite {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The declaration split into its base name (upper case, inner white space collapsed to one
// blank) and up to two numeric arguments: "varchar ( 87 )" -> "VARCHAR", 87.
struct Declaration {
    std::string base;
    std::optional<std::size_t> first;
    std::optional<std::size_t> second;
    bool malformedArguments = false;
};

std::optional<std::size_t> parseSize(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    std::size_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

Declaration splitDeclaration(std::string_view text) {
    Declaration d;
    const std::size_t open = text.find('(');
    const std::string_view name = text.substr(0, open);
    bool pendingSpace = false;
    for (char c : name) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pendingSpace = !d.base.empty();
            continue;
        }
        if (pendingSpace)
            d.base += ' ';
        pendingSpace = false;
        d.base += upper(c);
    }
    if (open != std::string_view::npos) {
        const std::size_t close = text.find(')', open);
        std::string_view args = text.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
        const std::size_t comma = args.find(',');
        d.first = parseSize(args.substr(0, comma));
        if (comma != std::string_view::npos)
            d.second = parseSize(args.substr(comma + 1));
        d.malformedArguments = !d.first || (comma != std::string_view::npos && !d.second);
    }
    return d;
}

struct NamedType {
    std::string_view name;
    kit::DbType type;
};

// Names that map to one OLE DB type exactly. The first entry of each type is the name
// CreateTable declares when the consumer gives none.
constexpr std::array<NamedType, 45> namedTypes = {{
    {"INTEGER", dbtype::I4},
    {"INT", dbtype::I4},
    {"INT4", dbtype::I4},
    {"MEDIUMINT", dbtype::I4},
    {"SIGNED INT", dbtype::I4},
    {"SMALLINT", dbtype::I2},
    {"INT2", dbtype::I2},
    {"TINYINT", dbtype::I1},
    {"BIGINT", dbtype::I8},
    {"INT8", dbtype::I8},
    {"UNSIGNED TINYINT", dbtype::UI1},
    {"UNSIGNED SMALLINT", dbtype::UI2},
    {"UNSIGNED INT", dbtype::UI4},
    {"UNSIGNED INTEGER", dbtype::UI4},
    {"UNSIGNED BIGINT", dbtype::UI8},
    {"UNSIGNED BIG INT", dbtype::UI8},
    {"BOOLEAN", dbtype::Bool},
    {"BOOL", dbtype::Bool},
    {"BIT", dbtype::Bool},
    {"FLOAT4", dbtype::R4},
    {"SINGLE", dbtype::R4},
    {"DOUBLE", dbtype::R8},
    {"DOUBLE PRECISION", dbtype::R8},
    {"REAL", dbtype::R8},
    {"FLOAT", dbtype::R8},
    {"FLOAT8", dbtype::R8},
    {"NUMERIC", dbtype::R8},
    {"DECIMAL", dbtype::R8},
    {"VARCHAR", dbtype::Str},
    {"CHAR", dbtype::Str},
    {"CHARACTER", dbtype::Str},
    {"CHARACTER VARYING", dbtype::Str},
    {"VARYING CHARACTER", dbtype::Str},
    {"NVARCHAR", dbtype::WStr},
    {"NCHAR", dbtype::WStr},
    {"NATIVE CHARACTER", dbtype::WStr},
    {"TEXT", dbtype::WStr},
    {"NTEXT", dbtype::WStr},
    {"CLOB", dbtype::WStr},
    {"BLOB", dbtype::Bytes},
    {"VARBINARY", dbtype::Bytes},
    {"BINARY", dbtype::Bytes},
    {"DATETIME", dbtype::DbTimestamp},
    {"TIMESTAMP", dbtype::DbTimestamp},
    {"DATE", dbtype::DbDate},
}};

bool isVariableLength(kit::DbType type) {
    return type == dbtype::Str || type == dbtype::WStr || type == dbtype::Bytes;
}

bool contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

// A type name CreateTable accepts: words of letters, digits and underscores that this
// provider lists or that SQLite's affinity rules recognise. Anything else would silently get
// NUMERIC affinity, which is no type the consumer asked for.
bool isKnownTypeName(const Declaration& d) {
    if (d.base.empty() || d.malformedArguments)
        return false;
    for (char c : d.base)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ' '))
            return false;
    // Words that would end the type and start a column constraint.
    const std::string padded = " " + d.base + " ";
    for (std::string_view word :
         {" PRIMARY ", " NOT ", " NULL ", " UNIQUE ", " DEFAULT ", " CHECK ", " REFERENCES ",
          " COLLATE ", " CONSTRAINT ", " GENERATED ", " AS "})
        if (contains(padded, word))
            return false;
    for (const NamedType& named : namedTypes)
        if (named.name == d.base)
            return true;
    for (std::string_view affinity :
         {"INT", "CHAR", "CLOB", "TEXT", "BLOB", "REAL", "FLOA", "DOUB", "TIME"})
        if (contains(d.base, affinity))
            return true;
    return false;
}

} // namespace

std::size_t fixedSizeOf(kit::DbType type) {
    switch (type) {
    case dbtype::I1:
    case dbtype::UI1:
        return 1;
    case dbtype::I2:
    case dbtype::UI2:
    case dbtype::Bool:
        return 2;
    case dbtype::I4:
    case dbtype::UI4:
    case dbtype::R4:
        return 4;
    case dbtype::I8:
    case dbtype::UI8:
    case dbtype::R8:
        return 8;
    case dbtype::DbDate:
        return 6;
    case dbtype::DbTimestamp:
        return 16;
    default:
        return 0;
    }
}

std::optional<OleDbType> typeOfDeclaration(std::string_view declaredType) {
    const Declaration d = splitDeclaration(declaredType);
    if (d.base.empty())
        return std::nullopt;
    for (const NamedType& named : namedTypes) {
        if (named.name != d.base)
            continue;
        OleDbType t{named.type, fixedSizeOf(named.type), 0, 0};
        if (isVariableLength(named.type))
            t.size = d.first.value_or(0);
        if (named.type == dbtype::R8 && (d.base == "NUMERIC" || d.base == "DECIMAL")) {
            // Reported as the double SQLite computes with; precision kept for the consumer.
            t.precision =
                static_cast<std::uint8_t>(std::min<std::size_t>(d.first.value_or(15), 255));
            t.scale = static_cast<std::uint8_t>(std::min<std::size_t>(d.second.value_or(0), 255));
        }
        return t;
    }
    // SQLite's own affinity rules, in its order, for names this table does not know.
    if (contains(d.base, "INT"))
        return OleDbType{dbtype::I8, 8, 0, 0};
    if (contains(d.base, "CHAR") || contains(d.base, "CLOB") || contains(d.base, "TEXT"))
        return OleDbType{dbtype::WStr, d.first.value_or(0), 0, 0};
    if (contains(d.base, "BLOB"))
        return OleDbType{dbtype::Bytes, d.first.value_or(0), 0, 0};
    if (contains(d.base, "REAL") || contains(d.base, "FLOA") || contains(d.base, "DOUB"))
        return OleDbType{dbtype::R8, 8, 0, 0};
    if (contains(d.base, "TIME"))
        return OleDbType{dbtype::WStr, 0, 0, 0};
    return OleDbType{dbtype::R8, 8, 0, 0};
}

std::optional<OleDbType> DeclaredTypes::typeOf(std::string_view declaredType) {
    constexpr std::size_t capacity = 64;
    for (const Known& k : known_)
        if (k.declaration == declaredType)
            return k.type;
    Known fresh{std::string(declaredType), typeOfDeclaration(declaredType)};
    const std::optional<OleDbType> type = fresh.type;
    if (known_.size() < capacity) {
        known_.push_back(std::move(fresh));
    } else {
        known_[nextReplaced_] = std::move(fresh);
        nextReplaced_ = (nextReplaced_ + 1) % capacity;
    }
    return type;
}

OleDbType typeOfStorageClass(int storageClass) {
    switch (storageClass) {
    case SQLITE_INTEGER:
        return {dbtype::I8, 8, 0, 0};
    case SQLITE_FLOAT:
        return {dbtype::R8, 8, 0, 0};
    case SQLITE_BLOB:
        return {dbtype::Bytes, 0, 0, 0};
    default:
        return {dbtype::WStr, 0, 0, 0};
    }
}

std::string declarationFor(kit::DbType type, std::size_t size, std::uint8_t precision,
                           std::uint8_t scale, std::string_view typeName) {
    if (type == dbtype::Bstr)
        type = dbtype::WStr;
    std::string declaration;
    if (!typeName.empty()) {
        const Declaration given = splitDeclaration(typeName);
        if (!isKnownTypeName(given))
            throw kit::BackendError(kit::ErrorClass::UnknownType, "název typu '" +
                                                                      std::string(typeName) +
                                                                      "' není typem této databáze");
        const std::optional<OleDbType> named = typeOfDeclaration(typeName);
        if (!named || (type != dbtype::Empty && named->type != type))
            throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                    "název typu '" + std::string(typeName) +
                                        "' neodpovídá typu OLE DB " + std::to_string(type));
        // Written from its parts, so nothing of the consumer's text but the name reaches SQL.
        declaration = given.base;
        type = named->type;
        if (given.first)
            return declaration + "(" + std::to_string(*given.first) +
                   (given.second ? "," + std::to_string(*given.second) : std::string()) + ")";
    } else {
        for (const NamedType& named : namedTypes)
            if (named.type == type) {
                declaration = std::string(named.name);
                break;
            }
        if (declaration.empty())
            throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                    "OLE DB type " + std::to_string(type) +
                                        " cannot be stored in an SQLite column");
    }
    // Sizes of variable-length types (0 and ~0 mean no limit); a decimal keeps the precision
    // and scale the consumer gave with its type name.
    if (isVariableLength(type) && size != 0 && size != static_cast<std::size_t>(-1))
        declaration += "(" + std::to_string(size) + ")";
    else if (type == dbtype::R8 && precision != 0 && !typeName.empty())
        declaration += "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    return declaration;
}

} // namespace vantrel::sqlite
