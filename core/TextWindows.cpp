// The conversions on Windows, with the system's own code-page functions (Text.cpp uses iconv
// everywhere else). Both agree on what the header promises: a character the target lacks, or a
// malformed sequence, becomes '?'; nothing is cut.
#ifdef _WIN32

#include "core/Text.h"

#include <climits>
#include <windows.h>

namespace {

constexpr UINT cp1250 = 1250;

// Calls MultiByteToWideChar in pieces small enough for its int lengths.
std::u16string toUtf16(UINT codePage, std::string_view bytes) {
    std::u16string out;
    // Pieces end on an ASCII byte where they can, so no sequence is split; a piece of a
    // 256 MB run without one is cut anyway (and then converts to two replacements).
    constexpr std::size_t piece = 1u << 28;
    while (!bytes.empty()) {
        std::size_t length = bytes.size() < piece ? bytes.size() : piece;
        if (length < bytes.size()) {
            std::size_t cut = length;
            while (cut > 0 && static_cast<unsigned char>(bytes[cut - 1]) >= 0x80)
                --cut;
            if (cut > 0)
                length = cut;
        }
        const int inLength = static_cast<int>(length);
        const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), inLength, nullptr, 0);
        if (needed > 0) {
            const std::size_t start = out.size();
            out.resize(start + static_cast<std::size_t>(needed));
            MultiByteToWideChar(codePage, 0, bytes.data(), inLength,
                                reinterpret_cast<wchar_t*>(out.data() + start), needed);
        } else {
            out.append(length, u'?');
        }
        bytes.remove_prefix(length);
    }
    return out;
}

// Calls WideCharToMultiByte in pieces, never splitting a surrogate pair. Characters without an
// exact match become '?' (no best-fit look-alikes: 'ø' must not quietly turn into 'o').
std::string fromUtf16(UINT codePage, std::u16string_view text) {
    std::string out;
    constexpr std::size_t piece = 1u << 27;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    while (!text.empty()) {
        std::size_t length = text.size() < piece ? text.size() : piece;
        if (length < text.size() && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
            --length;
        const auto* in = reinterpret_cast<const wchar_t*>(text.data());
        const int inLength = static_cast<int>(length);
        const char* question = codePage == CP_UTF8 ? nullptr : "?";
        const int needed =
            WideCharToMultiByte(codePage, flags, in, inLength, nullptr, 0, question, nullptr);
        if (needed > 0) {
            const std::size_t start = out.size();
            out.resize(start + static_cast<std::size_t>(needed));
            WideCharToMultiByte(codePage, flags, in, inLength, out.data() + start, needed, question,
                                nullptr);
        } else {
            out.append(length, '?');
        }
        text.remove_prefix(length);
    }
    return out;
}

} // namespace

std::string utf8ToCp1250(std::string_view utf8) {
    return fromUtf16(cp1250, toUtf16(CP_UTF8, utf8));
}

std::string cp1250ToUtf8(std::string_view cp1250Text) {
    return fromUtf16(CP_UTF8, toUtf16(cp1250, cp1250Text));
}

std::u16string cp1250ToUtf16(std::string_view cp1250Text) {
    return toUtf16(cp1250, cp1250Text);
}

std::string utf16ToCp1250(std::u16string_view utf16) {
    return fromUtf16(cp1250, utf16);
}

#endif // _WIN32
