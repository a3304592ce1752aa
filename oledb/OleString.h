#pragma once
// Conversions between the bench's 8-bit Windows-1250 text and the UTF-16 text of OLE DB calls.
// OLECHAR is char16_t on this platform and wchar_t (also 16 bits) under Windows; these work for
// both. Neither direction has a length limit, so no text is cut or written past a buffer.

#include "oledb/OleDbApi.h"

#include <string>
#include <string_view>

using TOleString = std::basic_string<OLECHAR>;

// cp1250 text to OLE DB text; an empty input gives an empty (still NUL-terminated) string.
TOleString toOleString(std::string_view cp1250);
// OLE DB text (NUL-terminated, null allowed) to cp1250; characters cp1250 lacks become '?'.
std::string fromOleString(const OLECHAR* text);
