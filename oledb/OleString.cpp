#include "oledb/OleString.h"

#include "core/Text.h"

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLE DB text is 16-bit");

TOleString toOleString(std::string_view cp1250) {
    const std::u16string wide = cp1250ToUtf16(cp1250);
    return TOleString(wide.begin(), wide.end());
}

std::string fromOleString(const OLECHAR* text) {
    if (text == nullptr) {
        return std::string();
    }
    std::u16string wide;
    for (const OLECHAR* p = text; *p != 0; ++p) {
        wide.push_back(static_cast<char16_t>(*p));
    }
    return utf16ToCp1250(wide);
}
