// Data link files (.udl): an initialisation string kept in a small UTF-16 text file, as
// IDataInitialize::LoadStringFromStorage and WriteStringToStorage read and write them.
//
// Layout written: a byte-order mark, the line "[oledb]", one comment line (starting with ';'),
// then the string on a line of its own. Reading skips the section line, comment lines and blank
// lines and takes the first other line; UTF-16LE with a BOM and plain 8-bit files are read.
#pragma once

#include <objbase.h>

namespace vantrel::services {

// Creation dispositions as published for CreateFile.
inline constexpr DWORD udlCreateNew = 1;
inline constexpr DWORD udlCreateAlways = 2;
inline constexpr DWORD udlOpenExisting = 3;
inline constexpr DWORD udlOpenAlways = 4;
inline constexpr DWORD udlTruncateExisting = 5;

// The string in task memory (caller frees with CoTaskMemFree). STG_E_FILENOTFOUND when the file
// is missing, DB_E_BADINITSTRING when it holds no string, E_INVALIDARG for null arguments.
HRESULT loadUdlFile(LPCOLESTR fileName, LPOLESTR* initString);

// Writes the file; the disposition decides about an existing or missing file
// (STG_E_FILEALREADYEXISTS / STG_E_FILENOTFOUND when it forbids the case at hand).
HRESULT writeUdlFile(LPCOLESTR fileName, LPCOLESTR initString, DWORD creationDisposition);

} // namespace vantrel::services
