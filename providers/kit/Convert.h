// The data conversion matrix between the kit's cell values and consumer buffers.
//
// Supported consumer types: DBTYPE_I1..I8, UI1..UI8, R4, R8, BOOL, STR (Windows-1250), WSTR,
// BSTR, DBTIMESTAMP, DBDATE, BYTES and VARIANT. Statuses follow the OLE DB rules:
// DBSTATUS_S_ISNULL for NULL, DBSTATUS_S_TRUNCATED when a variable-length value did not fit
// (the length part still tells the full length), DBSTATUS_E_CANTCONVERTVALUE for a value that
// has no representation in the target type, DBSTATUS_E_DATAOVERFLOW for one out of its range.
#pragma once

#include "Backend.h"

#include "KitCom.h"

namespace vantrel::kit {

// The consumer types by what they convert like: accessor checks and every value written look
// a type up here instead of walking comparisons.
enum class TypeClass : unsigned char { None, Integer, Real, Bool, Text, Date, Bytes, Variant };

namespace detail {
struct TypeClassTable {
    TypeClass of[256] = {};
    constexpr TypeClassTable() {
        for (DBTYPE t : {DBTYPE_I1, DBTYPE_I2, DBTYPE_I4, DBTYPE_I8, DBTYPE_UI1, DBTYPE_UI2,
                         DBTYPE_UI4, DBTYPE_UI8})
            of[t] = TypeClass::Integer;
        of[DBTYPE_R4] = of[DBTYPE_R8] = TypeClass::Real;
        of[DBTYPE_BOOL] = TypeClass::Bool;
        of[DBTYPE_STR] = of[DBTYPE_WSTR] = of[DBTYPE_BSTR] = TypeClass::Text;
        of[DBTYPE_DBTIMESTAMP] = of[DBTYPE_DBDATE] = TypeClass::Date;
        of[DBTYPE_BYTES] = TypeClass::Bytes;
        of[DBTYPE_VARIANT] = TypeClass::Variant;
    }
};
inline constexpr TypeClassTable typeClasses;

// Bit n of row c: a value of class c converts to class n (numbers among themselves, dates
// among themselves, bytes to bytes; anything to and from text and VARIANT).
constexpr unsigned classBit(TypeClass c) {
    return 1u << static_cast<unsigned>(c);
}
inline constexpr unsigned everyClass = classBit(TypeClass::Integer) | classBit(TypeClass::Real) |
                                       classBit(TypeClass::Bool) | classBit(TypeClass::Text) |
                                       classBit(TypeClass::Date) | classBit(TypeClass::Bytes) |
                                       classBit(TypeClass::Variant);
inline constexpr unsigned toTextOrVariant =
    classBit(TypeClass::Text) | classBit(TypeClass::Variant);
inline constexpr unsigned fromNumber = classBit(TypeClass::Integer) | classBit(TypeClass::Real) |
                                       classBit(TypeClass::Bool) | toTextOrVariant;
inline constexpr unsigned convertible[8] = {
    0,                                            // None
    fromNumber,                                   // Integer
    fromNumber,                                   // Real
    fromNumber,                                   // Bool
    everyClass,                                   // Text
    classBit(TypeClass::Date) | toTextOrVariant,  // Date
    classBit(TypeClass::Bytes) | toTextOrVariant, // Bytes
    everyClass,                                   // Variant
};
} // namespace detail

// TypeClass::None for anything else, modifiers such as DBTYPE_BYREF included.
inline TypeClass typeClassOf(DBTYPE type) {
    return type < 256 ? detail::typeClasses.of[type] : TypeClass::None;
}

inline bool convertibleClasses(TypeClass from, TypeClass to) {
    return (detail::convertible[static_cast<unsigned>(from)] >> static_cast<unsigned>(to)) & 1u;
}

// True for the consumer types above (without modifiers such as DBTYPE_BYREF).
bool isSupportedType(DBTYPE type);

// Whether a value of type `from` can in principle be converted to `to` (IConvertType).
bool canConvert(DBTYPE from, DBTYPE to);

// Fixed size of a type in a consumer buffer; 0 for variable-length types (STR, WSTR, BYTES).
DBLENGTH fixedSize(DBTYPE type);

// Writes `value` as `target` into `dst`, which has room for `maxLength` bytes (used by the
// variable-length types only). `length` receives the value's full length in bytes (without a
// terminator), or 0 for NULL. Never writes outside [dst, dst + room), where room is maxLength
// for STR/WSTR/BYTES and fixedSize(target) otherwise.
DBSTATUS writeValue(const ValueView& value, DBTYPE target, void* dst, DBLENGTH maxLength,
                    DBLENGTH& length);

// Reads a consumer value of type `source` at `src`. `length` is the length part when bound
// (nullptr otherwise: STR/WSTR end at their NUL, searched within maxLength when maxLength > 0;
// BYTES take maxLength). A length part larger than a non-zero maxLength is refused
// (DBSTATUS_E_CANTCONVERTVALUE) rather than followed past the buffer. Returns DBSTATUS_S_OK
// with `out` set, or an error status.
DBSTATUS readValue(DBTYPE source, const void* src, const DBLENGTH* length, DBLENGTH maxLength,
                   Value& out);
// The same, without copying: `out` holds a number or date itself, and an ASCII text or bytes
// where they lie at `src`; only a text that needs converting is kept in `storage`, whose
// buffer is reused from call to call. `out` is valid while `src` and `storage` are unchanged.
DBSTATUS readValue(DBTYPE source, const void* src, const DBLENGTH* length, DBLENGTH maxLength,
                   ValueView& out, Value& storage);

// Formatting and parsing shared with the backends' text forms of dates.
std::string formatTimestamp(const Timestamp& t);
bool parseTimestamp(std::string_view text, Timestamp& t);
bool isValidTimestamp(const Timestamp& t);

} // namespace vantrel::kit
