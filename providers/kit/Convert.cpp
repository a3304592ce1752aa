#include "Convert.h"

#include "KitText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace vantrel::kit {

// The backends' constants must be the published values.
static_assert(dbtype::I2 == DBTYPE_I2 && dbtype::I4 == DBTYPE_I4 && dbtype::R4 == DBTYPE_R4 &&
              dbtype::R8 == DBTYPE_R8 && dbtype::Bstr == DBTYPE_BSTR &&
              dbtype::Bool == DBTYPE_BOOL);
static_assert(dbtype::I1 == DBTYPE_I1 && dbtype::UI1 == DBTYPE_UI1 && dbtype::UI2 == DBTYPE_UI2 &&
              dbtype::UI4 == DBTYPE_UI4 && dbtype::I8 == DBTYPE_I8 && dbtype::UI8 == DBTYPE_UI8);
static_assert(dbtype::Bytes == DBTYPE_BYTES && dbtype::Str == DBTYPE_STR &&
              dbtype::WStr == DBTYPE_WSTR && dbtype::DbDate == DBTYPE_DBDATE &&
              dbtype::DbTime == DBTYPE_DBTIME && dbtype::DbTimestamp == DBTYPE_DBTIMESTAMP);

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A number parsed from text: integral when it has no fraction or exponent.
struct Number {
    bool integral = true;
    std::int64_t integer = 0;
    double real = 0;
};

bool parseNumber(std::string_view text, Number& n) {
    text = trim(text);
    if (text.empty())
        return false;
    if (text.front() == '+')
        text.remove_prefix(1);
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n.integer);
    if (ec == std::errc() && p == text.data() + text.size()) {
        n.integral = true;
        return true;
    }
    auto [q, ec2] = std::from_chars(text.data(), text.data() + text.size(), n.real);
    if ((ec2 != std::errc() && ec2 != std::errc::result_out_of_range) ||
        q != text.data() + text.size())
        return false;
    n.integral = false;
    return true;
}

template <class T> DBSTATUS storeInteger(std::int64_t v, void* dst) {
    if constexpr (std::is_unsigned_v<T>) {
        if (v < 0 || static_cast<std::uint64_t>(v) > std::numeric_limits<T>::max())
            return DBSTATUS_E_DATAOVERFLOW;
    } else {
        if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
            return DBSTATUS_E_DATAOVERFLOW;
    }
    T t = static_cast<T>(v);
    std::memcpy(dst, &t, sizeof t);
    return DBSTATUS_S_OK;
}

DBSTATUS storeIntegerAs(DBTYPE target, std::int64_t v, void* dst) {
    switch (target) {
    case DBTYPE_I1:
        return storeInteger<std::int8_t>(v, dst);
    case DBTYPE_I2:
        return storeInteger<std::int16_t>(v, dst);
    case DBTYPE_I4:
        return storeInteger<std::int32_t>(v, dst);
    case DBTYPE_I8:
        return storeInteger<std::int64_t>(v, dst);
    case DBTYPE_UI1:
        return storeInteger<std::uint8_t>(v, dst);
    case DBTYPE_UI2:
        return storeInteger<std::uint16_t>(v, dst);
    case DBTYPE_UI4:
        return storeInteger<std::uint32_t>(v, dst);
    case DBTYPE_UI8:
        return storeInteger<std::uint64_t>(v, dst);
    case DBTYPE_BOOL: {
        VARIANT_BOOL b = v ? VARIANT_TRUE : VARIANT_FALSE;
        std::memcpy(dst, &b, sizeof b);
        return DBSTATUS_S_OK;
    }
    case DBTYPE_R4: {
        float f = static_cast<float>(v);
        std::memcpy(dst, &f, sizeof f);
        return DBSTATUS_S_OK;
    }
    case DBTYPE_R8: {
        double d = static_cast<double>(v);
        std::memcpy(dst, &d, sizeof d);
        return DBSTATUS_S_OK;
    }
    default:
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
}

DBSTATUS storeRealAs(DBTYPE target, double v, void* dst) {
    if (std::isnan(v) && target != DBTYPE_R4 && target != DBTYPE_R8)
        return DBSTATUS_E_CANTCONVERTVALUE;
    if (target == DBTYPE_R8) {
        std::memcpy(dst, &v, sizeof v);
        return DBSTATUS_S_OK;
    }
    if (target == DBTYPE_R4) {
        if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
            return DBSTATUS_E_DATAOVERFLOW;
        float f = static_cast<float>(v);
        std::memcpy(dst, &f, sizeof f);
        return DBSTATUS_S_OK;
    }
    if (target == DBTYPE_BOOL)
        return storeIntegerAs(target, v != 0 ? 1 : 0, dst);
    double r = std::round(v);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        return DBSTATUS_E_DATAOVERFLOW;
    return storeIntegerAs(target, static_cast<std::int64_t>(r), dst);
}

DBSTATUS storeTextAsNumber(DBTYPE target, std::string_view text, void* dst) {
    if (target == DBTYPE_BOOL) {
        std::string_view t = trim(text);
        auto equals = [&](std::string_view word) {
            if (t.size() != word.size())
                return false;
            for (std::size_t i = 0; i < t.size(); ++i)
                if ((t[i] | 0x20) != word[i])
                    return false;
            return true;
        };
        if (equals("true"))
            return storeIntegerAs(target, 1, dst);
        if (equals("false"))
            return storeIntegerAs(target, 0, dst);
    }
    Number n;
    if (!parseNumber(text, n))
        return DBSTATUS_E_CANTCONVERTVALUE;
    return n.integral ? storeIntegerAs(target, n.integer, dst) : storeRealAs(target, n.real, dst);
}

std::string formatReal(double v) {
    char buffer[64];
    auto [p, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc() ? std::string(buffer, p) : std::string("0");
}

std::string hexOf(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The value's text in UTF-8, or false when it has none (blobs have their hex digits).
bool textOf(const ValueView& v, std::string& out) {
    switch (v.kind) {
    case ValueKind::Int:
        out = std::to_string(v.integer);
        return true;
    case ValueKind::Real:
        out = formatReal(v.real);
        return true;
    case ValueKind::Text:
        out.assign(v.bytes);
        return true;
    case ValueKind::Blob:
        out = hexOf(v.bytes);
        return true;
    case ValueKind::Timestamp:
        out = formatTimestamp(v.timestamp);
        return true;
    case ValueKind::Null:
        break;
    }
    return false;
}

DBSTATUS copyVariable(const char* data, std::size_t size, void* dst, DBLENGTH room,
                      DBLENGTH& length) {
    length = size;
    std::size_t n = size < room ? size : room;
    if (n)
        std::memcpy(dst, data, n);
    return n < size ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

// Single-byte text into a NUL-terminated buffer of maxLength bytes.
DBSTATUS writeNarrow(std::string_view text, void* dst, DBLENGTH maxLength, DBLENGTH& length) {
    length = text.size();
    if (maxLength == 0)
        return text.empty() ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
    std::size_t n = text.size() < maxLength - 1 ? text.size() : maxLength - 1;
    std::memcpy(dst, text.data(), n);
    static_cast<char*>(dst)[n] = 0;
    return n < text.size() ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

// UTF-16 into a NUL-terminated buffer of maxLength bytes; `unit(i)` gives the i-th unit.
template <class Unit>
DBSTATUS writeUnits(std::size_t size, Unit unit, void* dst, DBLENGTH maxLength, DBLENGTH& length) {
    length = size * sizeof(char16_t);
    std::size_t units = maxLength / sizeof(char16_t);
    if (units == 0)
        return size == 0 ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
    std::size_t n = size < units - 1 ? size : units - 1;
    auto* out = static_cast<char*>(dst);
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = unit(i);
        std::memcpy(out + i * sizeof(char16_t), &c, sizeof c);
    }
    const char16_t zero = 0;
    std::memcpy(out + n * sizeof(char16_t), &zero, sizeof zero);
    return n < size ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

// ASCII reads the same in UTF-8, Windows-1250 and UTF-16 (one unit per byte): most values
// are written straight from the cache, without a converted copy.
DBSTATUS writeAnsi(std::string_view utf8, void* dst, DBLENGTH maxLength, DBLENGTH& length) {
    if (isAscii(utf8))
        return writeNarrow(utf8, dst, maxLength, length);
    const std::string ansi = utf8ToAnsi(utf8);
    return writeNarrow(ansi, dst, maxLength, length);
}

DBSTATUS writeWide(std::string_view utf8, void* dst, DBLENGTH maxLength, DBLENGTH& length) {
    if (isAscii(utf8))
        return writeUnits(
            utf8.size(), [utf8](std::size_t i) { return static_cast<char16_t>(utf8[i]); }, dst,
            maxLength, length);
    const std::u16string wide = utf8ToUtf16(utf8);
    return writeUnits(
        wide.size(), [&wide](std::size_t i) { return wide[i]; }, dst, maxLength, length);
}

DBSTATUS writeBstr(std::string_view utf8, void* dst, DBLENGTH& length) {
    std::u16string wide = utf8ToUtf16(utf8);
    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!b)
        return DBSTATUS_E_CANTCONVERTVALUE;
    std::memcpy(dst, &b, sizeof b);
    length = sizeof(BSTR);
    return DBSTATUS_S_OK;
}

DBSTATUS timestampOf(const ValueView& v, Timestamp& t) {
    if (v.kind == ValueKind::Timestamp) {
        t = v.timestamp;
        return DBSTATUS_S_OK;
    }
    if (v.kind == ValueKind::Text)
        return parseTimestamp(v.bytes, t) ? DBSTATUS_S_OK : DBSTATUS_E_CANTCONVERTVALUE;
    return DBSTATUS_E_CANTCONVERTVALUE;
}

DBSTATUS writeVariant(const ValueView& v, void* dst) {
    VARIANT var;
    VariantInit(&var);
    DBSTATUS status = DBSTATUS_S_OK;
    switch (v.kind) {
    case ValueKind::Null:
        var.vt = VT_NULL;
        status = DBSTATUS_S_ISNULL;
        break;
    case ValueKind::Int:
        if (v.integer >= std::numeric_limits<LONG>::min() &&
            v.integer <= std::numeric_limits<LONG>::max()) {
            var.vt = VT_I4;
            var.lVal = static_cast<LONG>(v.integer);
        } else {
            var.vt = VT_I8;
            var.llVal = v.integer;
        }
        break;
    case ValueKind::Real:
        var.vt = VT_R8;
        var.dblVal = v.real;
        break;
    default: {
        std::string text;
        textOf(v, text);
        std::u16string wide = utf8ToUtf16(text);
        var.vt = VT_BSTR;
        var.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (!var.bstrVal)
            return DBSTATUS_E_CANTCONVERTVALUE;
        break;
    }
    }
    std::memcpy(dst, &var, sizeof var);
    return status;
}

// A number or date written as text: formatted first (rare; kept out of the per-cell path).
[[gnu::noinline]] DBSTATUS writeAsText(const ValueView& value, DBTYPE target, void* dst,
                                       DBLENGTH maxLength, DBLENGTH& length) {
    std::string text;
    textOf(value, text);
    if (target == DBTYPE_STR)
        return writeAnsi(text, dst, maxLength, length);
    if (target == DBTYPE_WSTR)
        return writeWide(text, dst, maxLength, length);
    return writeBstr(text, dst, length);
}

[[gnu::noinline]] DBSTATUS writeDate(const ValueView& value, DBTYPE target, void* dst,
                                     DBLENGTH& length) {
    Timestamp t;
    DBSTATUS s = timestampOf(value, t);
    if (s != DBSTATUS_S_OK)
        return s;
    if (target == DBTYPE_DBTIMESTAMP) {
        DBTIMESTAMP out{};
        out.year = t.year;
        out.month = t.month;
        out.day = t.day;
        out.hour = t.hour;
        out.minute = t.minute;
        out.second = t.second;
        out.fraction = t.fraction;
        std::memcpy(dst, &out, sizeof out);
        length = sizeof out;
        return DBSTATUS_S_OK;
    }
    DBDATE out{};
    out.year = t.year;
    out.month = t.month;
    out.day = t.day;
    std::memcpy(dst, &out, sizeof out);
    length = sizeof out;
    bool timeLost = t.hour || t.minute || t.second || t.fraction;
    return timeLost ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

} // namespace

bool isSupportedType(DBTYPE type) {
    return typeClassOf(type) != TypeClass::None;
}

bool canConvert(DBTYPE from, DBTYPE to) {
    return convertibleClasses(typeClassOf(from), typeClassOf(to));
}

DBLENGTH fixedSize(DBTYPE type) {
    switch (type) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
        return 1;
    case DBTYPE_I2:
    case DBTYPE_UI2:
        return 2;
    case DBTYPE_BOOL:
        return sizeof(VARIANT_BOOL);
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_R4:
        return 4;
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R8:
        return 8;
    case DBTYPE_BSTR:
        return sizeof(BSTR);
    case DBTYPE_DBTIMESTAMP:
        return sizeof(DBTIMESTAMP);
    case DBTYPE_DBDATE:
        return sizeof(DBDATE);
    case DBTYPE_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

DBSTATUS writeValue(const ValueView& value, DBTYPE target, void* dst, DBLENGTH maxLength,
                    DBLENGTH& length) {
    length = 0;
    const TypeClass to = typeClassOf(target);
    if (to == TypeClass::Variant) [[unlikely]] {
        length = sizeof(VARIANT);
        return writeVariant(value, dst);
    }
    if (value.isNull())
        return DBSTATUS_S_ISNULL;
    switch (to) {
    case TypeClass::Integer:
    case TypeClass::Real:
    case TypeClass::Bool:
        length = fixedSize(target);
        switch (value.kind) {
        case ValueKind::Int:
            return storeIntegerAs(target, value.integer, dst);
        case ValueKind::Real:
            return storeRealAs(target, value.real, dst);
        case ValueKind::Text:
            return storeTextAsNumber(target, value.bytes, dst);
        default:
            length = 0;
            return DBSTATUS_E_CANTCONVERTVALUE;
        }
    case TypeClass::Text:
        if (value.kind == ValueKind::Text) {
            if (target == DBTYPE_STR)
                return writeAnsi(value.bytes, dst, maxLength, length);
            if (target == DBTYPE_WSTR)
                return writeWide(value.bytes, dst, maxLength, length);
            return writeBstr(value.bytes, dst, length);
        }
        return writeAsText(value, target, dst, maxLength, length);
    case TypeClass::Date:
        return writeDate(value, target, dst, length);
    case TypeClass::Bytes:
        if (value.kind != ValueKind::Blob && value.kind != ValueKind::Text)
            return DBSTATUS_E_CANTCONVERTVALUE;
        return copyVariable(value.bytes.data(), value.bytes.size(), dst, maxLength, length);
    default:
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
}

namespace {

template <class T> DBSTATUS intValue(const void* src, ValueView& v) {
    T t;
    std::memcpy(&t, src, sizeof t);
    v.kind = ValueKind::Int;
    v.integer = static_cast<std::int64_t>(t);
    return DBSTATUS_S_OK;
}

DBSTATUS readVariant(const VARIANT& var, Value& out) {
    out = Value();
    switch (var.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return DBSTATUS_S_OK;
    case VT_I1:
        out.kind = ValueKind::Int;
        out.integer = var.cVal;
        return DBSTATUS_S_OK;
    case VT_UI1:
        out.kind = ValueKind::Int;
        out.integer = var.bVal;
        return DBSTATUS_S_OK;
    case VT_I2:
        out.kind = ValueKind::Int;
        out.integer = var.iVal;
        return DBSTATUS_S_OK;
    case VT_UI2:
        out.kind = ValueKind::Int;
        out.integer = var.uiVal;
        return DBSTATUS_S_OK;
    case VT_I4:
    case VT_INT:
        out.kind = ValueKind::Int;
        out.integer = var.lVal;
        return DBSTATUS_S_OK;
    case VT_UI4:
    case VT_UINT:
        out.kind = ValueKind::Int;
        out.integer = var.ulVal;
        return DBSTATUS_S_OK;
    case VT_I8:
        out.kind = ValueKind::Int;
        out.integer = var.llVal;
        return DBSTATUS_S_OK;
    case VT_BOOL:
        out.kind = ValueKind::Int;
        out.integer = var.boolVal ? 1 : 0;
        return DBSTATUS_S_OK;
    case VT_R4:
        out.kind = ValueKind::Real;
        out.real = var.fltVal;
        return DBSTATUS_S_OK;
    case VT_R8:
        out.kind = ValueKind::Real;
        out.real = var.dblVal;
        return DBSTATUS_S_OK;
    case VT_BSTR:
        out.kind = ValueKind::Text;
        if (var.bstrVal)
            out.bytes = utf16ToUtf8(std::u16string_view(var.bstrVal, SysStringLen(var.bstrVal)));
        return DBSTATUS_S_OK;
    default:
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
}

} // namespace

namespace {

// readValue for texts, bytes, dates and variants. Out of line, so that reading a number (most
// parameters of a load) needs no stack frame.
[[gnu::noinline]] DBSTATUS readVariableValue(DBTYPE source, const void* src, const DBLENGTH* length,
                                             DBLENGTH maxLength, ValueView& out, Value& storage) {
    // A length part beyond the buffer the binding declares would read outside it.
    bool variable = source == DBTYPE_STR || source == DBTYPE_WSTR || source == DBTYPE_BYTES;
    if (variable && length && maxLength > 0 && *length > maxLength)
        return DBSTATUS_E_CANTCONVERTVALUE;
    // Converted text goes to storage; its fields are reset one by one so that it keeps its
    // buffer for the next value.
    auto converted = [&](ValueKind kind) -> std::string& {
        storage.kind = kind;
        storage.bytes.clear();
        out.kind = kind;
        return storage.bytes;
    };
    switch (source) {
    case DBTYPE_STR: {
        const char* text = static_cast<const char*>(src);
        std::size_t n;
        if (length)
            n = *length;
        else if (const void* end = maxLength > 0 ? std::memchr(text, 0, maxLength) : nullptr)
            n = static_cast<std::size_t>(static_cast<const char*>(end) - text);
        else if (maxLength > 0)
            n = maxLength;
        else
            n = std::strlen(text);
        // ASCII text took the path in place (readValue); this one needs converting.
        out.bytes = converted(ValueKind::Text) = ansiToUtf8(std::string_view(text, n));
        return DBSTATUS_S_OK;
    }
    case DBTYPE_WSTR: {
        const char16_t* text = static_cast<const char16_t*>(src);
        std::size_t n;
        if (length)
            n = *length / sizeof(char16_t);
        else if (maxLength > 0)
            n = boundedLength(text, maxLength / sizeof(char16_t));
        else
            n = boundedLength(text, std::numeric_limits<std::size_t>::max());
        std::u16string wide(n, u'\0');
        if (n)
            std::memcpy(wide.data(), text, n * sizeof(char16_t));
        out.bytes = converted(ValueKind::Text) = utf16ToUtf8(wide);
        return DBSTATUS_S_OK;
    }
    case DBTYPE_BSTR: {
        BSTR b;
        std::memcpy(&b, src, sizeof b);
        std::string& text = converted(ValueKind::Text);
        if (b)
            text = utf16ToUtf8(std::u16string_view(b, SysStringLen(b)));
        out.bytes = text;
        return DBSTATUS_S_OK;
    }
    case DBTYPE_BYTES:
        out.kind = ValueKind::Blob;
        out.bytes = std::string_view(static_cast<const char*>(src), length ? *length : maxLength);
        return DBSTATUS_S_OK;
    case DBTYPE_DBTIMESTAMP: {
        DBTIMESTAMP in;
        std::memcpy(&in, src, sizeof in);
        Timestamp t{in.year, in.month, in.day, in.hour, in.minute, in.second, in.fraction};
        if (!isValidTimestamp(t))
            return DBSTATUS_E_CANTCONVERTVALUE;
        out.kind = ValueKind::Timestamp;
        out.timestamp = t;
        return DBSTATUS_S_OK;
    }
    case DBTYPE_DBDATE: {
        DBDATE in;
        std::memcpy(&in, src, sizeof in);
        Timestamp t{in.year, in.month, in.day, 0, 0, 0, 0};
        if (!isValidTimestamp(t))
            return DBSTATUS_E_CANTCONVERTVALUE;
        out.kind = ValueKind::Timestamp;
        out.timestamp = t;
        return DBSTATUS_S_OK;
    }
    case DBTYPE_VARIANT: {
        VARIANT var;
        std::memcpy(&var, src, sizeof var);
        const DBSTATUS status = readVariant(var, storage);
        if (status == DBSTATUS_S_OK)
            out = storage.view();
        return status;
    }
    default:
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
}

} // namespace

namespace {

// A Windows-1250 text of ASCII characters only is already UTF-8, so it is read in place, in one
// pass that finds its end and looks at its bytes. False when the text needs the general path:
// a character to convert, or a length part beyond the buffer.
bool asciiTextInPlace(const char* text, const DBLENGTH* length, DBLENGTH maxLength,
                      ValueView& out) {
    std::size_t n = 0;
    unsigned char seen = 0;
    if (length) {
        if (maxLength > 0 && *length > maxLength)
            return false;
        for (; n < *length; ++n)
            seen |= static_cast<unsigned char>(text[n]);
    } else {
        const std::size_t limit =
            maxLength > 0 ? maxLength : std::numeric_limits<std::size_t>::max();
        for (; n < limit && text[n] != 0; ++n)
            seen |= static_cast<unsigned char>(text[n]);
    }
    if (seen >= 0x80)
        return false;
    out.kind = ValueKind::Text;
    out.bytes = std::string_view(text, n);
    return true;
}

} // namespace

// Hot: runs for every parameter of a load (see Command::Execute).
[[gnu::hot]] DBSTATUS readValue(DBTYPE source, const void* src, const DBLENGTH* length,
                                DBLENGTH maxLength, ValueView& out, Value& storage) {
    out = ValueView();
    switch (source) {
    case DBTYPE_STR:
        if (asciiTextInPlace(static_cast<const char*>(src), length, maxLength, out))
            return DBSTATUS_S_OK;
        return readVariableValue(source, src, length, maxLength, out, storage);
    case DBTYPE_I1:
        return intValue<std::int8_t>(src, out);
    case DBTYPE_I2:
        return intValue<std::int16_t>(src, out);
    case DBTYPE_I4:
        return intValue<std::int32_t>(src, out);
    case DBTYPE_I8:
        return intValue<std::int64_t>(src, out);
    case DBTYPE_UI1:
        return intValue<std::uint8_t>(src, out);
    case DBTYPE_UI2:
        return intValue<std::uint16_t>(src, out);
    case DBTYPE_UI4:
        return intValue<std::uint32_t>(src, out);
    case DBTYPE_UI8: {
        std::uint64_t u;
        std::memcpy(&u, src, sizeof u);
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return DBSTATUS_E_DATAOVERFLOW;
        out.kind = ValueKind::Int;
        out.integer = static_cast<std::int64_t>(u);
        return DBSTATUS_S_OK;
    }
    case DBTYPE_BOOL: {
        VARIANT_BOOL b;
        std::memcpy(&b, src, sizeof b);
        out.kind = ValueKind::Int;
        out.integer = b ? 1 : 0;
        return DBSTATUS_S_OK;
    }
    case DBTYPE_R4: {
        float f;
        std::memcpy(&f, src, sizeof f);
        out.kind = ValueKind::Real;
        out.real = f;
        return DBSTATUS_S_OK;
    }
    case DBTYPE_R8: {
        std::memcpy(&out.real, src, sizeof out.real);
        out.kind = ValueKind::Real;
        return DBSTATUS_S_OK;
    }
    default:
        return readVariableValue(source, src, length, maxLength, out, storage);
    }
}

DBSTATUS readValue(DBTYPE source, const void* src, const DBLENGTH* length, DBLENGTH maxLength,
                   Value& out) {
    ValueView view;
    const DBSTATUS status = readValue(source, src, length, maxLength, view, out);
    // A converted text is already in out.bytes; a value read in place is copied there.
    const bool inOut = view.bytes.data() == out.bytes.data();
    out.kind = view.kind;
    out.integer = view.integer;
    out.real = view.real;
    out.timestamp = view.timestamp;
    if (!inOut)
        out.bytes.assign(view.bytes);
    return status;
}

bool isValidTimestamp(const Timestamp& t) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1)
        return false;
    bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    int limit = days[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
    return t.day <= limit && t.hour < 24 && t.minute < 60 && t.second < 62 &&
           t.fraction < 1000000000u;
}

std::string formatTimestamp(const Timestamp& t) {
    char buffer[48];
    int n = std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month,
                          t.day, t.hour, t.minute, t.second);
    std::string out(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (t.fraction) {
        std::snprintf(buffer, sizeof buffer, ".%09u", t.fraction);
        std::string frac(buffer);
        while (frac.back() == '0')
            frac.pop_back();
        out += frac;
    }
    return out;
}

bool parseTimestamp(std::string_view text, Timestamp& t) {
    text = trim(text);
    std::size_t i = 0;
    auto number = [&](std::size_t digits, unsigned& value) {
        if (i + digits > text.size())
            return false;
        value = 0;
        for (std::size_t k = 0; k < digits; ++k) {
            char c = text[i + k];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        i += digits;
        return true;
    };
    auto expect = [&](char c) {
        if (i < text.size() && text[i] == c) {
            ++i;
            return true;
        }
        return false;
    };
    unsigned y, mo, d, h = 0, mi = 0, s = 0;
    if (!number(4, y) || !expect('-') || !number(2, mo) || !expect('-') || !number(2, d))
        return false;
    std::uint32_t fraction = 0;
    if (i < text.size()) {
        if (!expect(' ') && !expect('T'))
            return false;
        if (!number(2, h) || !expect(':') || !number(2, mi))
            return false;
        if (expect(':')) {
            if (!number(2, s))
                return false;
            if (expect('.')) {
                std::size_t digits = 0;
                while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                    if (digits < 9)
                        fraction = fraction * 10 + (text[i] - '0');
                    ++digits;
                    ++i;
                }
                if (digits == 0)
                    return false;
                for (std::size_t k = digits; k < 9; ++k)
                    fraction *= 10;
            }
        }
        if (i != text.size())
            return false;
    }
    Timestamp r{static_cast<std::int16_t>(y),
                static_cast<std::uint16_t>(mo),
                static_cast<std::uint16_t>(d),
                static_cast<std::uint16_t>(h),
                static_cast<std::uint16_t>(mi),
                static_cast<std::uint16_t>(s),
                fraction};
    if (!isValidTimestamp(r))
        return false;
    t = r;
    return true;
}

} // namespace vantrel::kit
