// Text conversions at the OLE DB edge of the kit. The seam is UTF-8; OLE DB's wide strings
// are UTF-16 and its DBTYPE_STR is the ANSI code page, which for this platform is Windows-1250.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::kit {

// Whether every byte of the text is below 0x80 (then it reads the same in UTF-8 and
// Windows-1250).
bool isAscii(std::string_view text);

// Invalid input sequences become U+FFFD; nothing is cut.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
// The same for a NUL-terminated text (nullptr: empty), written over `out` so that its room is
// reused; returns the text's length in UTF-16 units. ASCII text, as SQL mostly is, is
// measured and narrowed without decoding.
std::size_t assignUtf8(std::string& out, const char16_t* text);

// Characters Windows-1250 cannot hold become '?'; nothing is cut.
std::string utf8ToAnsi(std::string_view utf8);
std::string ansiToUtf8(std::string_view ansi);

// Length of a NUL-terminated UTF-16 string, reading at most `limit` units.
std::size_t boundedLength(const char16_t* text, std::size_t limit);

} // namespace vantrel::kit
