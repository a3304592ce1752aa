// The published DBTYPE values a backend reports or declares, as plain constants so a backend
// needs no OLE DB header. One list for every backend: the values are OLE DB's, not a database's.
#pragma once

#include <cstdint>

namespace vantrel::kit {

// An OLE DB DBTYPE value (DBTYPE_I4 = 3, DBTYPE_STR = 129, ...). 0 (DBTYPE_EMPTY) = unknown.
using DbType = std::uint16_t;

namespace dbtype {
inline constexpr DbType Empty = 0;
inline constexpr DbType I2 = 2;
inline constexpr DbType I4 = 3;
inline constexpr DbType R4 = 4;
inline constexpr DbType R8 = 5;
inline constexpr DbType Bstr = 8;
inline constexpr DbType Bool = 11;
inline constexpr DbType I1 = 16;
inline constexpr DbType UI1 = 17;
inline constexpr DbType UI2 = 18;
inline constexpr DbType UI4 = 19;
inline constexpr DbType I8 = 20;
inline constexpr DbType UI8 = 21;
inline constexpr DbType Bytes = 128;
inline constexpr DbType Str = 129;
inline constexpr DbType WStr = 130;
inline constexpr DbType DbDate = 133;
inline constexpr DbType DbTime = 134;
inline constexpr DbType DbTimestamp = 135;
} // namespace dbtype

} // namespace vantrel::kit
