#include "OdbcText.h"

#include "kit/KitText.h"

#include <algorithm>

namespace vantrel::odbc {

WideText toWide(std::string_view utf8) {
    const std::u16string wide = kit::utf8ToUtf16(utf8);
    return WideText(reinterpret_cast<const SQLWCHAR*>(wide.data()), wide.size());
}

void assignWide(WideText& out, std::string_view utf8) {
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        out.resize(utf8.size());
        std::copy(utf8.begin(), utf8.end(), out.begin());
        return;
    }
    const std::u16string wide = kit::utf8ToUtf16(utf8);
    out.assign(reinterpret_cast<const SQLWCHAR*>(wide.data()), wide.size());
}

std::string fromWide(const SQLWCHAR* text, std::size_t length) {
    if (text == nullptr)
        return {};
    return kit::utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

std::string fromWideBuffer(const SQLWCHAR* buffer, std::size_t capacity, SQLLEN byteLength) {
    if (buffer == nullptr || capacity == 0 || byteLength <= 0)
        return {};
    const std::size_t said = std::min(std::size_t(byteLength) / sizeof(SQLWCHAR), capacity - 1);
    const std::size_t ends = std::size_t(std::find(buffer, buffer + said, SQLWCHAR(0)) - buffer);
    return fromWide(buffer, ends);
}

} // namespace vantrel::odbc
