#include "PgTypes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vantrel::postgres {

namespace {

// PostgreSQL stores the declared length of character types plus this header size in typmod.
constexpr int varHeaderSize = 4;

OleDbType fixed(kit::DbType type, std::size_t size, std::uint8_t precision = 0) {
    return {type, size, precision, 0};
}

std::string lowerTrimmed(std::string_view text) {
    std::string out;
    bool pendingSpace = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out += ' ';
        pendingSpace = false;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

bool isIntegerType(unsigned oid) {
    return oid == pgoid::Int2 || oid == pgoid::Int4 || oid == pgoid::Int8 || oid == pgoid::Oid;
}

void appendInt(std::string& out, std::int64_t v) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
}

// Reads `digits` decimal digits (or, with digits 0, at least one) from text at pos.
bool readNumber(std::string_view text, std::size_t& pos, std::size_t digits, std::int64_t& v) {
    const std::size_t start = pos;
    v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
           (digits == 0 || pos - start < digits)) {
        v = v * 10 + (text[pos] - '0');
        if (v > 1'000'000'000)
            return false;
        ++pos;
    }
    return digits == 0 ? pos > start : pos - start == digits;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void requireNoNul(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                "text v PostgreSQL nemůže obsahovat znak NUL");
}

} // namespace

OleDbType oleDbTypeOf(unsigned oid, int typmod) {
    switch (oid) {
    case pgoid::Bool:
        return fixed(dbtype::Bool, 2);
    case pgoid::Int2:
        return fixed(dbtype::I2, 2, 5);
    case pgoid::Int4:
        return fixed(dbtype::I4, 4, 10);
    case pgoid::Int8:
        return fixed(dbtype::I8, 8, 19);
    case pgoid::Oid:
        return fixed(dbtype::UI4, 4, 10);
    case pgoid::Float4:
        return fixed(dbtype::R4, 4, 7);
    case pgoid::Float8:
    case pgoid::Numeric:
        return fixed(dbtype::R8, 8, 15);
    case pgoid::Bytea:
        return {dbtype::Bytes, 0, 0, 0};
    case pgoid::Char:
        return {dbtype::Str, 1, 0, 0};
    case pgoid::Name:
        return {dbtype::Str, 63, 0, 0};
    case pgoid::Bpchar:
        // bpchar without a modifier (an expression's type) is unlimited text.
        return {dbtype::Str, typmod > varHeaderSize ? std::size_t(typmod - varHeaderSize) : 0, 0,
                0};
    case pgoid::Varchar:
        return {dbtype::Str, typmod > varHeaderSize ? std::size_t(typmod - varHeaderSize) : 0, 0,
                0};
    case pgoid::Date:
        return fixed(dbtype::DbDate, 6);
    case pgoid::Timestamp:
    case pgoid::TimestampTz:
        return fixed(dbtype::DbTimestamp, 16);
    default:
        return {dbtype::WStr, 0, 0, 0};
    }
}

namespace {

// An integer as the server writes it: [-]digits. Up to 18 digits cannot overflow and are read
// here (every key and count); longer ones go through from_chars, which checks the range.
bool readInteger(std::string_view text, std::int64_t& v) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 18) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        return ec == std::errc() && end == text.data() + text.size();
    }
    std::uint64_t n = 0;
    for (char c : digits) {
        const unsigned d = static_cast<unsigned char>(c) - unsigned('0');
        if (d > 9)
            return false;
        n = n * 10 + d;
    }
    v = negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n);
    return true;
}

} // namespace

ValueReading readingOf(unsigned oid) {
    switch (oid) {
    case pgoid::Bool:
        return ValueReading::Bool;
    case pgoid::Int2:
    case pgoid::Int4:
    case pgoid::Int8:
    case pgoid::Oid:
        return ValueReading::Int;
    case pgoid::Float4:
    case pgoid::Float8:
    case pgoid::Numeric:
        return ValueReading::Real;
    case pgoid::Bytea:
        return ValueReading::Bytes;
    case pgoid::Date:
        return ValueReading::Date;
    case pgoid::Timestamp:
    case pgoid::TimestampTz:
        return ValueReading::Timestamp;
    default:
        return ValueReading::Text;
    }
}

kit::ValueView readValue(ValueReading reading, std::string_view text, std::string& scratch) {
    switch (reading) {
    case ValueReading::Int: {
        std::int64_t v = 0;
        if (!readInteger(text, v))
            throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                    "server poslal \"" + std::string(text) + "\" jako celé číslo");
        return kit::ValueView::ofInt(v);
    }
    case ValueReading::Real: {
        // strtod takes "NaN", "Infinity" and "-Infinity" as PostgreSQL writes them.
        scratch.assign(text);
        char* end = nullptr;
        const double v = std::strtod(scratch.c_str(), &end);
        if (end != scratch.c_str() + scratch.size())
            throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                    "server poslal \"" + scratch + "\" jako číslo");
        return kit::ValueView::ofReal(v);
    }
    case ValueReading::Bool:
        return kit::ValueView::ofInt(!text.empty() && (text[0] == 't' || text[0] == 'T'));
    case ValueReading::Bytes: {
        if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2 != 0)
            throw kit::BackendError(
                kit::ErrorClass::TypeMismatch,
                "hodnoty bytea musí přicházet v šestnáctkovém tvaru (bytea_output = hex)");
        scratch.clear();
        scratch.reserve((text.size() - 2) / 2);
        for (std::size_t i = 2; i < text.size(); i += 2) {
            const int hi = hexDigit(text[i]);
            const int lo = hexDigit(text[i + 1]);
            if (hi < 0 || lo < 0)
                throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                        "server poslal poškozený šestnáctkový text hodnoty bytea");
            scratch += static_cast<char>(hi * 16 + lo);
        }
        return kit::ValueView::ofBlob(scratch);
    }
    case ValueReading::Timestamp:
    case ValueReading::Date: {
        kit::Timestamp t;
        // "infinity" and BC dates have no DBTIMESTAMP: they stay text.
        if (!parseTimestamp(text, t))
            return kit::ValueView::ofText(text);
        return kit::ValueView::ofTimestamp(t);
    }
    case ValueReading::Text:
        break;
    }
    return kit::ValueView::ofText(text);
}

void parameterText(const kit::ValueView& value, unsigned oid, std::string& out) {
    out.clear();
    switch (value.kind) {
    case kit::ValueKind::Null:
        return;
    case kit::ValueKind::Int:
        if (oid == pgoid::Bool) {
            out = value.integer != 0 ? "true" : "false";
            return;
        }
        appendInt(out, value.integer);
        return;
    case kit::ValueKind::Real: {
        const double v = value.real;
        if (isIntegerType(oid)) {
            if (!std::isfinite(v) || v != std::trunc(v) || std::fabs(v) > 9.2e18)
                throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                        "číslo nelze uložit do celočíselného parametru");
            appendInt(out, static_cast<std::int64_t>(v));
            return;
        }
        if (std::isnan(v)) {
            out = "NaN";
        } else if (std::isinf(v)) {
            out = v > 0 ? "Infinity" : "-Infinity";
        } else {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.17g", v);
            out = buffer;
        }
        return;
    }
    case kit::ValueKind::Text:
        requireNoNul(value.bytes);
        out.assign(value.bytes);
        return;
    case kit::ValueKind::Blob:
        if (oid == pgoid::Bytea) {
            static constexpr char hex[] = "0123456789abcdef";
            out.reserve(2 + value.bytes.size() * 2);
            out = "\\x";
            for (unsigned char c : value.bytes) {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            return;
        }
        requireNoNul(value.bytes);
        out.assign(value.bytes);
        return;
    case kit::ValueKind::Timestamp:
        out = formatTimestamp(value.timestamp, oid == pgoid::Date);
        return;
    }
}

bool parseTimestamp(std::string_view text, kit::Timestamp& t) {
    std::size_t pos = 0;
    std::int64_t year, month, day;
    if (!readNumber(text, pos, 0, year) || !expect(text, pos, '-') ||
        !readNumber(text, pos, 2, month) || !expect(text, pos, '-') ||
        !readNumber(text, pos, 2, day) || year > 32767)
        return false;
    t = {};
    t.year = static_cast<std::int16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    if (pos == text.size())
        return true;
    std::int64_t hour, minute, second;
    if (!expect(text, pos, ' ') || !readNumber(text, pos, 2, hour) || !expect(text, pos, ':') ||
        !readNumber(text, pos, 2, minute) || !expect(text, pos, ':') ||
        !readNumber(text, pos, 2, second))
        return false;
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::uint32_t fraction = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (digits < 9)
                fraction = fraction * 10 + static_cast<std::uint32_t>(text[pos] - '0');
            ++digits;
            ++pos;
        }
        if (digits == 0)
            return false;
        for (; digits < 9; ++digits)
            fraction *= 10;
        t.fraction = fraction;
    }
    // A zone offset (+01, -05:30) of timestamptz; " BC" is not representable.
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
        while (pos < text.size() && ((text[pos] >= '0' && text[pos] <= '9') || text[pos] == ':'))
            ++pos;
    }
    return pos == text.size();
}

std::string formatTimestamp(const kit::Timestamp& t, bool dateOnly) {
    char buffer[48];
    if (dateOnly) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", t.year, t.month, t.day);
    } else if (t.fraction != 0) {
        // PostgreSQL keeps microseconds; finer digits are rounded by the server.
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u.%09u", t.year, t.month,
                      t.day, t.hour, t.minute, t.second, t.fraction);
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month,
                      t.day, t.hour, t.minute, t.second);
    }
    return buffer;
}

namespace {

// A type name outside the alias table, split into a lower-case catalog name (words of
// letters, digits and underscores) and a plain modifier "(12)" or "(10,2)"; false for any
// other shape.
bool splitCatalogTypeName(std::string_view text, std::string& name, std::string& modifier) {
    const std::string folded = lowerTrimmed(text);
    const std::size_t open = folded.find('(');
    name = folded.substr(0, open);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (name.empty() || name.size() > 63)
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == ' '))
            return false;
    if (open == std::string::npos)
        return true;
    std::string_view args = std::string_view(folded).substr(open + 1);
    if (args.empty() || args.back() != ')')
        return false;
    args.remove_suffix(1);
    modifier = "(";
    int numbers = 0;
    bool digitsSeen = false;
    for (char c : args) {
        if (c >= '0' && c <= '9') {
            modifier += c;
            digitsSeen = true;
        } else if (c == ',' && digitsSeen && numbers == 0) {
            modifier += c;
            ++numbers;
            digitsSeen = false;
        } else if (c != ' ') {
            return false;
        }
    }
    modifier += ")";
    return digitsSeen && modifier.size() <= 24;
}

} // namespace

std::string declarationFor(const kit::ColumnDefinition& column,
                           const std::function<std::string(const std::string&)>& catalogType) {
    const std::string sized =
        column.size > 0 && column.size <= 10'485'760 ? "(" + std::to_string(column.size) + ")" : "";
    if (column.size > 10'485'760)
        throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                                "sloupec " + column.name +
                                    ": znakové typy PostgreSQL pojmou nejvýše "
                                    "10485760 znaků");
    struct Named {
        std::string_view name;
        std::string_view declaration; // "char" and "varchar" get the size appended
    };
    static constexpr std::array<Named, 33> named = {{
        {"char", "char"},
        {"character", "char"},
        {"nchar", "char"},
        {"bpchar", "char"},
        {"varchar", "varchar"},
        {"character varying", "varchar"},
        {"nvarchar", "varchar"},
        {"text", "text"},
        {"ntext", "text"},
        {"clob", "text"},
        {"datetime", "timestamp"},
        {"datetime2", "timestamp"},
        {"smalldatetime", "timestamp"},
        {"timestamp", "timestamp"},
        {"date", "date"},
        {"int", "integer"},
        {"integer", "integer"},
        {"int4", "integer"},
        {"smallint", "smallint"},
        {"int2", "smallint"},
        {"bigint", "bigint"},
        {"int8", "bigint"},
        {"real", "real"},
        {"float4", "real"},
        {"float", "double precision"},
        {"float8", "double precision"},
        {"double precision", "double precision"},
        {"bool", "boolean"},
        {"boolean", "boolean"},
        {"bit", "boolean"},
        {"bytea", "bytea"},
        {"blob", "bytea"},
        {"varbinary", "bytea"},
    }};
    const std::string typeName = lowerTrimmed(column.typeName);
    for (const Named& n : named) {
        if (n.name != typeName)
            continue;
        if (n.declaration == "char")
            return "char" + (sized.empty() ? std::string("(1)") : sized);
        if (n.declaration == "varchar")
            return "varchar" + sized;
        return std::string(n.declaration);
    }
    // Another name: the database decides, through its catalog. The statement gets the
    // catalog's own spelling of the type, never the consumer's text.
    if (!typeName.empty()) {
        std::string catalogName, modifier;
        const std::string found = splitCatalogTypeName(typeName, catalogName, modifier)
                                      ? catalogType(catalogName)
                                      : std::string();
        if (found.empty())
            throw kit::BackendError(kit::ErrorClass::UnknownType, "sloupec " + column.name +
                                                                      ": typ \"" + column.typeName +
                                                                      "\" neexistuje");
        return found + modifier;
    }
    // No type name: the OLE DB type decides.
    switch (column.type) {
    case dbtype::I1:
    case dbtype::I2:
    case dbtype::UI1:
        return "smallint";
    case dbtype::I4:
    case dbtype::UI2:
        return "integer";
    case dbtype::I8:
    case dbtype::UI4:
        return "bigint";
    case dbtype::UI8:
        return "numeric(20)";
    case dbtype::R4:
        return "real";
    case dbtype::R8:
        return "double precision";
    case dbtype::Bool:
        return "boolean";
    case dbtype::Str:
    case dbtype::WStr:
    case dbtype::Bstr:
        return sized.empty() ? "text" : "varchar" + sized;
    case dbtype::Bytes:
        return "bytea";
    case dbtype::DbTimestamp:
        return "timestamp";
    case dbtype::DbDate:
        return "date";
    case dbtype::DbTime:
        return "time";
    default:
        throw kit::BackendError(
            kit::ErrorClass::TypeMismatch,
            "sloupec " + column.name +
                ": pro DBTYPE neexistuje typ PostgreSQL: " + std::to_string(column.type));
    }
}

std::string quoteName(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos)
        throw kit::BackendError(kit::ErrorClass::Syntax,
                                "název nesmí být prázdný ani obsahovat znak NUL");
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string quoteLiteral(std::string_view text) {
    requireNoNul(text);
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out + "'";
}

} // namespace vantrel::postgres
