// Text between the seam's UTF-8 and ODBC's wide characters (SQLWCHAR, UTF-16 in unixODBC).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace vantrel::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR is UTF-16");

using WideText = std::basic_string<SQLWCHAR>;

WideText toWide(std::string_view utf8);
// Converts into `out`, keeping its buffer when it is large enough.
void assignWide(WideText& out, std::string_view utf8);
std::string fromWide(const SQLWCHAR* text, std::size_t length);

// A short text (a name, a type, an information string) a driver wrote into a zeroed buffer of
// `capacity` characters, with its length in bytes: as long as the driver says, but never past
// the buffer or its terminating NUL, so a driver that claims more than it wrote adds nothing.
std::string fromWideBuffer(const SQLWCHAR* buffer, std::size_t capacity, SQLLEN byteLength);

// A wide string's characters for SQL*W calls that take (SQLWCHAR*, SQLSMALLINT/SQLINTEGER).
inline SQLWCHAR* wideData(WideText& text) {
    return text.data();
}

} // namespace vantrel::odbc
