#pragma once
// Conversions between the bench's 8-bit text (Windows-1250 bytes in std::string) and the
// encodings at its edges: UTF-8 for source literals and Qt, UTF-16 for OLE DB calls.
// Characters the target cannot hold become '?'; a conversion never throws and never cuts.

#include <string>
#include <string_view>

std::string utf8ToCp1250(std::string_view utf8);
std::string cp1250ToUtf8(std::string_view cp1250);
std::u16string cp1250ToUtf16(std::string_view cp1250);
std::string utf16ToCp1250(std::u16string_view utf16);
