// The conversions over iconv, for every platform but Windows (TextWindows.cpp converts with the
// system's own code-page functions there).
#ifndef _WIN32

#include "core/Text.h"

#include <cerrno>
#include <cstddef>
#include <iconv.h>

namespace {

// One iconv conversion direction, opened lazily per thread (iconv descriptors carry state and
// must not be shared between threads).
class Converter {
public:
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter() {
        if (cd != invalid())
            iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd != invalid(); }

    // Converts `in` into `out` (appending). skipInvalid(in, left) tells how many input bytes a
    // sequence that cannot be converted occupies; `replacement` is written in its place.
    template <typename Skip>
    void run(const char* in, std::size_t inLeft, std::string& out, std::string_view replacement,
             Skip skipInvalid) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            char* inPtr = const_cast<char*>(in);
            std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            int error = errno;
            in = inPtr;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (result != static_cast<std::size_t>(-1))
                break;
            if (error == E2BIG)
                continue;
            // EILSEQ: a character the target lacks or a malformed sequence; EINVAL: a
            // sequence cut short at the end. Either way one replacement, then go on.
            std::size_t skip = error == EINVAL ? inLeft : skipInvalid(in, inLeft);
            if (skip == 0 || skip > inLeft)
                skip = inLeft;
            out.append(replacement);
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t cd;
};

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* utf16Name = "UTF-16LE";
#else
constexpr const char* utf16Name = "UTF-16BE";
#endif
constexpr const char* cp1250Name = "WINDOWS-1250";

// Length of the UTF-8 sequence starting at `p` as far as it is well formed (at least 1).
std::size_t utf8SequenceLength(const char* p, std::size_t left) {
    auto lead = static_cast<unsigned char>(p[0]);
    std::size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    std::size_t valid = 1;
    while (valid < length && valid < left && (static_cast<unsigned char>(p[valid]) & 0xC0) == 0x80)
        ++valid;
    return valid;
}

// Bytes of the UTF-16 unit (or surrogate pair) starting at `p`.
std::size_t utf16SequenceLength(const char* p, std::size_t left) {
    if (left < 2)
        return left;
    char16_t unit;
    __builtin_memcpy(&unit, p, sizeof unit);
    if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
        char16_t next;
        __builtin_memcpy(&next, p + 2, sizeof next);
        if (next >= 0xDC00 && next <= 0xDFFF)
            return 4;
    }
    return 2;
}

std::size_t oneByte(const char*, std::size_t) {
    return 1;
}

Converter& converter(int which) {
    thread_local Converter toCp1250FromUtf8(cp1250Name, "UTF-8");
    thread_local Converter toUtf8FromCp1250("UTF-8", cp1250Name);
    thread_local Converter toUtf16FromCp1250(utf16Name, cp1250Name);
    thread_local Converter toCp1250FromUtf16(cp1250Name, utf16Name);
    switch (which) {
    case 0:
        return toCp1250FromUtf8;
    case 1:
        return toUtf8FromCp1250;
    case 2:
        return toUtf16FromCp1250;
    default:
        return toCp1250FromUtf16;
    }
}

// Runs one direction. Should iconv lack the code page, ASCII units still pass and every other
// unit becomes a replacement, so the failure shows instead of bytes passing through unread.
template <typename Skip>
std::string convert(int which, const char* in, std::size_t size, std::string_view replacement,
                    std::size_t inUnit, Skip skip) {
    std::string out;
    out.reserve(size);
    Converter& c = converter(which);
    if (c.ok()) {
        c.run(in, size, out, replacement, skip);
        return out;
    }
    std::size_t outUnit = replacement.size();
    for (std::size_t i = 0; i + inUnit <= size; i += inUnit) {
        unsigned value = static_cast<unsigned char>(in[i]);
        if (inUnit == 2)
            value |= static_cast<unsigned>(static_cast<unsigned char>(in[i + 1])) << 8;
        if (value >= 0x80) {
            out.append(replacement);
            continue;
        }
        char unit[2] = {static_cast<char>(value), 0};
        out.append(unit, outUnit);
    }
    return out;
}

} // namespace

std::string utf8ToCp1250(std::string_view utf8) {
    return convert(0, utf8.data(), utf8.size(), "?", 1, utf8SequenceLength);
}

std::string cp1250ToUtf8(std::string_view cp1250) {
    return convert(1, cp1250.data(), cp1250.size(), "?", 1, oneByte);
}

std::u16string cp1250ToUtf16(std::string_view cp1250) {
    static const char16_t question = u'?';
    std::string bytes =
        convert(2, cp1250.data(), cp1250.size(),
                std::string_view(reinterpret_cast<const char*>(&question), 2), 1, oneByte);
    std::u16string out(bytes.size() / 2, u'\0');
    __builtin_memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string utf16ToCp1250(std::u16string_view utf16) {
    return convert(3, reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, "?", 2,
                   utf16SequenceLength);
}

#endif // _WIN32
