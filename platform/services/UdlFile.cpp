#include "UdlFile.h"

#include <oledberr.h>
#include <vantrel/ClassRegistry.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

#ifndef STG_E_FILENOTFOUND
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002L)
#endif
#ifndef STG_E_FILEALREADYEXISTS
#define STG_E_FILEALREADYEXISTS ((HRESULT)0x80030050L)
#endif

namespace vantrel::services {
namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::u16string decodeFile(const std::string& bytes) {
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += char16_t(static_cast<unsigned char>(bytes[i]) |
                             (static_cast<unsigned char>(bytes[i + 1]) << 8));
    } else {
        // An 8-bit file: its ASCII part is all a data link needs; other bytes pass as Latin-1.
        for (char c : bytes)
            text += char16_t(static_cast<unsigned char>(c));
    }
    return text;
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

} // namespace

HRESULT loadUdlFile(LPCOLESTR fileName, LPOLESTR* initString) {
    if (!fileName || !initString)
        return E_INVALIDARG;
    *initString = nullptr;
    std::ifstream in(VantrelUtf8(fileName), std::ios::binary);
    if (!in)
        return STG_E_FILENOTFOUND;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::u16string text = decodeFile(bytes);

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string::npos)
            end = text.size();
        std::u16string_view line(text.data() + pos, end - pos);
        while (!line.empty() && isBlank(line.front()))
            line.remove_prefix(1);
        pos = end + 1;
        if (line.empty() || line.front() == u';' || line.front() == u'[')
            continue;
        auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((line.size() + 1) * sizeof(OLECHAR)));
        if (!out)
            return E_OUTOFMEMORY;
        std::copy(line.begin(), line.end(), out);
        out[line.size()] = 0;
        *initString = out;
        return S_OK;
    }
    return DB_E_BADINITSTRING;
}

HRESULT writeUdlFile(LPCOLESTR fileName, LPCOLESTR initString, DWORD creationDisposition) {
    if (!fileName || !initString)
        return E_INVALIDARG;
    const std::string path = VantrelUtf8(fileName);
    const bool exists = fileExists(path);
    switch (creationDisposition) {
    case udlCreateNew:
        if (exists)
            return STG_E_FILEALREADYEXISTS;
        break;
    case udlOpenExisting:
    case udlTruncateExisting:
        if (!exists)
            return STG_E_FILENOTFOUND;
        break;
    case udlCreateAlways:
    case udlOpenAlways:
        break;
    default:
        return E_INVALIDARG;
    }
    const std::u16string text =
        std::u16string(u"\xFEFF[oledb]\r\n; OLE DB initialization string\r\n") + initString +
        u"\r\n";
    std::string bytes;
    for (char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return STG_E_ACCESSDENIED;
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return out ? S_OK : STG_E_ACCESSDENIED;
}

} // namespace vantrel::services
