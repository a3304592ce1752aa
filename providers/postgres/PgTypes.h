// PostgreSQL types seen through OLE DB: type OIDs to DBTYPEs, text values to the kit's values
// and back, and the declarations CreateTable uses.
#pragma once

#include "kit/Backend.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::postgres {

// Built-in type OIDs (pg_type.oid), stable across PostgreSQL releases.
namespace pgoid {
inline constexpr unsigned Bool = 16;
inline constexpr unsigned Bytea = 17;
inline constexpr unsigned Char = 18; // "char", one byte
inline constexpr unsigned Name = 19;
inline constexpr unsigned Int8 = 20;
inline constexpr unsigned Int2 = 21;
inline constexpr unsigned Int4 = 23;
inline constexpr unsigned Text = 25;
inline constexpr unsigned Oid = 26;
inline constexpr unsigned Float4 = 700;
inline constexpr unsigned Float8 = 701;
inline constexpr unsigned Unknown = 705;
inline constexpr unsigned Bpchar = 1042;
inline constexpr unsigned Varchar = 1043;
inline constexpr unsigned Date = 1082;
inline constexpr unsigned Time = 1083;
inline constexpr unsigned Timestamp = 1114;
inline constexpr unsigned TimestampTz = 1184;
inline constexpr unsigned Numeric = 1700;
} // namespace pgoid

namespace dbtype = kit::dbtype;

struct OleDbType {
    kit::DbType type = dbtype::Empty;
    std::size_t size = 0; // characters for STR/WSTR, 0 = unlimited; fixed size otherwise
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
};

// The OLE DB type of a column or parameter of PostgreSQL type `oid` with type modifier
// `typmod` (-1 when unknown). Types without a closer match are text (DBTYPE_WSTR).
OleDbType oleDbTypeOf(unsigned oid, int typmod);
// Whether oleDbTypeOf's answer for `oid` depends on the type modifier (a character length).
inline bool typmodSizesType(unsigned oid) {
    return oid == pgoid::Bpchar || oid == pgoid::Varchar;
}

// How the text form of a result column is read into a kit value.
enum class ValueReading : std::uint8_t { Int, Real, Bool, Text, Bytes, Timestamp, Date };
ValueReading readingOf(unsigned oid);

// The value of one result cell in PostgreSQL's text output (DateStyle ISO, bytea hex).
// `scratch` keeps decoded bytes alive for a Bytes view. Throws BackendError when the text is
// not a value of its type (a server with another DateStyle, say).
kit::ValueView readValue(ValueReading reading, std::string_view text, std::string& scratch);

// The text form of `value` for a parameter of type `oid`, into `out`. Throws BackendError
// (TypeMismatch) for a value the type cannot hold in text (a NUL in text, a fraction for an
// integer).
void parameterText(const kit::ValueView& value, unsigned oid, std::string& out);

// "YYYY-MM-DD HH:MM:SS[.fffffffff]" parsing of PostgreSQL's ISO output; the zone offset of
// timestamptz is dropped (the value stays in the session's time zone). False when malformed.
bool parseTimestamp(std::string_view text, kit::Timestamp& t);
std::string formatTimestamp(const kit::Timestamp& t, bool dateOnly);

// The declaration CreateTable writes for a column: a type that describes back as the same
// OLE DB type and size (DBTYPE_I4 -> integer, "char" DBTYPE_STR of 87 -> char(87), "datetime"
// DBTYPE_DBTIMESTAMP -> timestamp). A type name outside its own list is looked up through
// catalogType (a plain lower-case name in, the server's spelling out, empty when there is no
// such type) and keeps a plain modifier such as "(10,2)". Throws BackendError (UnknownType)
// for a name the database does not know, or for a type it cannot declare.
std::string declarationFor(const kit::ColumnDefinition& column,
                           const std::function<std::string(const std::string&)>& catalogType);

// A double-quoted identifier and a single-quoted literal, escaped.
std::string quoteName(std::string_view name);
std::string quoteLiteral(std::string_view text);

} // namespace vantrel::postgres
