#include "KitText.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel::kit {

bool isAscii(std::string_view text) {
    // Eight bytes at a time: a byte loop with an early exit is not vectorised, and at about
    // four instructions a byte it was a good part of reading a row's text.
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= sizeof(std::uint64_t); p += sizeof(std::uint64_t), n -= sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080u)
            return false;
    }
    unsigned char high = 0;
    for (; n; --n)
        high |= static_cast<unsigned char>(*p++);
    return high < 0x80;
}

namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point at `i`, advancing it; malformed input gives U+FFFD.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || c > 0xF4)
        return 0xFFFD;
    char32_t cp = c & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    return cp;
}

// Runs one iconv conversion; unconvertible characters become '?' (or U+FFFD in UTF-8).
std::string convert(const char* to, const char* from, std::string_view in, const char* bad) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in);
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[256];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // EILSEQ or EINVAL: replace one input unit and go on.
            out += bad;
            if (std::string_view(from) == "UTF-8") {
                std::size_t i = 0;
                nextCodePoint(std::string_view(src, srcLeft), i);
                src += i;
                srcLeft -= i;
            } else {
                ++src;
                --srcLeft;
            }
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = nextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    // Most text (SQL, names) is ASCII: one unit per byte, no decoding.
    std::string out(utf16.size(), '\0');
    std::size_t ascii = 0;
    for (; ascii < utf16.size() && utf16[ascii] < 0x80; ++ascii)
        out[ascii] = static_cast<char>(utf16[ascii]);
    if (ascii == utf16.size())
        return out;
    out.resize(ascii);
    out.reserve(utf16.size() + utf16.size() / 2);
    for (std::size_t i = ascii; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

namespace {

// Units before the first one that is the terminator or not ASCII. Reads 16-byte blocks at
// aligned addresses, which never reach into a page the text does not touch: a block may hold
// units after the terminator, which are looked at but never used (hence no address
// sanitizing here).
#if defined(__SSE2__)
__attribute__((no_sanitize("address"))) std::size_t asciiRun(const char16_t* text) {
    std::size_t n = 0;
    for (; reinterpret_cast<std::uintptr_t>(text + n) % 16 != 0; ++n)
        if (static_cast<char16_t>(text[n] - 1) >= 0x7F)
            return n;
    const __m128i zero = _mm_setzero_si128();
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    for (;; n += 8) {
        const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(text + n));
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, high), zero);
        const __m128i end = _mm_cmpeq_epi16(units, zero);
        const int stop =
            _mm_movemask_epi8(_mm_or_si128(end, _mm_xor_si128(ascii, _mm_set1_epi8(-1))));
        if (stop != 0)
            return n + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(stop))) / 2;
    }
}

void narrowAscii(const char16_t* text, std::size_t length, char* out) {
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(units, units));
    }
    for (; i < length; ++i)
        out[i] = static_cast<char>(text[i]);
}
#else
std::size_t asciiRun(const char16_t* text) {
    std::size_t n = 0;
    while (static_cast<char16_t>(text[n] - 1) < 0x7F)
        ++n;
    return n;
}

void narrowAscii(const char16_t* text, std::size_t length, char* out) {
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>(text[i]);
}
#endif

} // namespace

std::size_t assignUtf8(std::string& out, const char16_t* text) {
    if (!text) {
        out.clear();
        return 0;
    }
    const std::size_t ascii = asciiRun(text);
    if (text[ascii] != 0) {
        const std::size_t length = ascii + std::char_traits<char16_t>::length(text + ascii);
        out = utf16ToUtf8(std::u16string_view(text, length));
        return length;
    }
    out.resize(ascii);
    narrowAscii(text, ascii, out.data());
    return ascii;
}

std::string utf8ToAnsi(std::string_view utf8) {
    if (isAscii(utf8))
        return std::string(utf8);
    return convert("WINDOWS-1250", "UTF-8", utf8, "?");
}

std::string ansiToUtf8(std::string_view ansi) {
    if (isAscii(ansi))
        return std::string(ansi);
    return convert("UTF-8", "WINDOWS-1250", ansi, "\xEF\xBF\xBD");
}

std::size_t boundedLength(const char16_t* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != 0)
        ++n;
    return n;
}

} // namespace vantrel::kit
