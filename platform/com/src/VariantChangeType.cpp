// VariantChangeType for the scalar types: numbers, booleans, dates (as numbers) and text.
// Text is read and written in the C locale; this runtime has no user locale.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "oleauto.h"

namespace {

// A source value in one of the forms a conversion starts from.
struct Value {
    enum class Kind { empty, signedInteger, unsignedInteger, real, boolean, text } kind;
    long long s = 0;
    unsigned long long u = 0;
    double d = 0;
    bool b = false;
    std::string text; // ASCII only; anything else cannot be a number or a boolean
};

HRESULT readSource(const VARIANT& v, Value& out) {
    using K = Value::Kind;
    switch (v.vt) {
    case VT_EMPTY:
        out.kind = K::empty;
        return S_OK;
    case VT_I1:
        out.kind = K::signedInteger;
        out.s = v.cVal;
        return S_OK;
    case VT_I2:
        out.kind = K::signedInteger;
        out.s = v.iVal;
        return S_OK;
    case VT_I4:
        out.kind = K::signedInteger;
        out.s = v.lVal;
        return S_OK;
    case VT_INT:
        out.kind = K::signedInteger;
        out.s = v.intVal;
        return S_OK;
    case VT_I8:
        out.kind = K::signedInteger;
        out.s = v.llVal;
        return S_OK;
    case VT_UI1:
        out.kind = K::unsignedInteger;
        out.u = v.bVal;
        return S_OK;
    case VT_UI2:
        out.kind = K::unsignedInteger;
        out.u = v.uiVal;
        return S_OK;
    case VT_UI4:
        out.kind = K::unsignedInteger;
        out.u = v.ulVal;
        return S_OK;
    case VT_UINT:
        out.kind = K::unsignedInteger;
        out.u = v.uintVal;
        return S_OK;
    case VT_UI8:
        out.kind = K::unsignedInteger;
        out.u = v.ullVal;
        return S_OK;
    case VT_R4:
        out.kind = K::real;
        out.d = v.fltVal;
        return S_OK;
    case VT_R8:
        out.kind = K::real;
        out.d = v.dblVal;
        return S_OK;
    case VT_DATE:
        out.kind = K::real;
        out.d = v.date;
        return S_OK;
    case VT_BOOL:
        out.kind = K::boolean;
        out.b = v.boolVal != VARIANT_FALSE;
        return S_OK;
    case VT_BSTR: {
        out.kind = K::text;
        const UINT length = SysStringLen(v.bstrVal);
        out.text.reserve(length);
        for (UINT i = 0; i < length; ++i) {
            char16_t c = v.bstrVal[i];
            out.text.push_back(c < 0x80 ? char(c) : '\x7f');
        }
        return S_OK;
    }
    case VT_NULL:
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_BADVARTYPE;
    }
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool equalsIgnoringCase(const std::string& text, const char* word) {
    size_t i = 0;
    for (; word[i]; ++i)
        if (i >= text.size() || (text[i] | 0x20) != word[i])
            return false;
    return i == text.size();
}

// Text as a number: an integer when it is one (kept exact), a real otherwise.
HRESULT parseNumber(const std::string& raw, Value& out) {
    const std::string text = trimmed(raw);
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin == end)
        return DISP_E_TYPEMISMATCH;
    const char* digits = (*begin == '+') ? begin + 1 : begin;
    long long s;
    auto integer = std::from_chars(digits, end, s);
    if (integer.ec == std::errc() && integer.ptr == end) {
        out.kind = Value::Kind::signedInteger;
        out.s = s;
        return S_OK;
    }
    unsigned long long u;
    auto large = std::from_chars(digits, end, u);
    if (large.ec == std::errc() && large.ptr == end) {
        out.kind = Value::Kind::unsignedInteger;
        out.u = u;
        return S_OK;
    }
    double d;
    auto real = std::from_chars(digits, end, d);
    if (real.ptr != end)
        return DISP_E_TYPEMISMATCH;
    if (real.ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    if (real.ec != std::errc())
        return DISP_E_TYPEMISMATCH;
    out.kind = Value::Kind::real;
    out.d = d;
    return S_OK;
}

// The value as a real number (for real targets and range checks).
HRESULT asReal(const Value& v, double& d) {
    using K = Value::Kind;
    switch (v.kind) {
    case K::empty:
        d = 0;
        return S_OK;
    case K::signedInteger:
        d = double(v.s);
        return S_OK;
    case K::unsignedInteger:
        d = double(v.u);
        return S_OK;
    case K::real:
        d = v.d;
        return S_OK;
    case K::boolean:
        d = v.b ? -1.0 : 0.0;
        return S_OK;
    case K::text: {
        Value number;
        HRESULT hr = parseNumber(v.text, number);
        return FAILED(hr) ? hr : asReal(number, d);
    }
    }
    return DISP_E_TYPEMISMATCH;
}

// The value as an integer within [low, high]; reals round half to even, as COM does.
template <typename T> HRESULT asInteger(const Value& v, T& result) {
    using K = Value::Kind;
    constexpr auto low = std::numeric_limits<T>::min();
    constexpr auto high = std::numeric_limits<T>::max();
    switch (v.kind) {
    case K::empty:
        result = 0;
        return S_OK;
    case K::boolean:
        if constexpr (std::is_signed_v<T>) {
            result = v.b ? T(-1) : T(0);
            return S_OK;
        } else {
            if (v.b)
                return DISP_E_OVERFLOW;
            result = 0;
            return S_OK;
        }
    case K::signedInteger:
        if (v.s < 0 ? (!std::is_signed_v<T> || v.s < static_cast<long long>(low))
                    : static_cast<unsigned long long>(v.s) > static_cast<unsigned long long>(high))
            return DISP_E_OVERFLOW;
        result = static_cast<T>(v.s);
        return S_OK;
    case K::unsignedInteger:
        if (v.u > static_cast<unsigned long long>(high))
            return DISP_E_OVERFLOW;
        result = static_cast<T>(v.u);
        return S_OK;
    case K::real: {
        const double rounded = std::nearbyint(v.d);
        // The bounds are exact powers of two (or zero) as doubles, so these tests are exact.
        if (!std::isfinite(rounded) || rounded < static_cast<double>(low) ||
            rounded >= static_cast<double>(high) + 1.0)
            return DISP_E_OVERFLOW;
        result = static_cast<T>(rounded);
        return S_OK;
    }
    case K::text: {
        Value number;
        HRESULT hr = parseNumber(v.text, number);
        return FAILED(hr) ? hr : asInteger(number, result);
    }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT asBoolean(const Value& v, bool& b) {
    if (v.kind == Value::Kind::boolean) {
        b = v.b;
        return S_OK;
    }
    if (v.kind == Value::Kind::text) {
        const std::string text = trimmed(v.text);
        if (equalsIgnoringCase(text, "true")) {
            b = true;
            return S_OK;
        }
        if (equalsIgnoringCase(text, "false")) {
            b = false;
            return S_OK;
        }
    }
    double d;
    HRESULT hr = asReal(v, d);
    if (FAILED(hr))
        return hr;
    if (std::isnan(d))
        return DISP_E_TYPEMISMATCH;
    b = d != 0;
    return S_OK;
}

HRESULT asText(const Value& v, USHORT flags, std::string& text) {
    using K = Value::Kind;
    char buffer[64];
    std::to_chars_result written{};
    switch (v.kind) {
    case K::empty:
        text.clear();
        return S_OK;
    case K::text:
        text = v.text;
        return S_OK;
    case K::boolean:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            text = v.b ? "True" : "False";
        else
            text = v.b ? "-1" : "0";
        return S_OK;
    case K::signedInteger:
        written = std::to_chars(buffer, buffer + sizeof buffer, v.s);
        break;
    case K::unsignedInteger:
        written = std::to_chars(buffer, buffer + sizeof buffer, v.u);
        break;
    case K::real:
        written = std::to_chars(buffer, buffer + sizeof buffer, v.d);
        break;
    }
    if (written.ec != std::errc())
        return E_UNEXPECTED;
    text.assign(buffer, written.ptr);
    return S_OK;
}

HRESULT convert(const Value& v, USHORT flags, VARTYPE vt, VARIANT& out) {
    HRESULT hr = E_UNEXPECTED;
    out.llVal = 0;
    switch (vt) {
    case VT_EMPTY:
        hr = S_OK;
        break;
    case VT_I1:
        hr = asInteger(v, out.cVal);
        break;
    case VT_UI1:
        hr = asInteger(v, out.bVal);
        break;
    case VT_I2:
        hr = asInteger(v, out.iVal);
        break;
    case VT_UI2:
        hr = asInteger(v, out.uiVal);
        break;
    case VT_I4:
        hr = asInteger(v, out.lVal);
        break;
    case VT_UI4:
        hr = asInteger(v, out.ulVal);
        break;
    case VT_INT:
        hr = asInteger(v, out.intVal);
        break;
    case VT_UINT:
        hr = asInteger(v, out.uintVal);
        break;
    case VT_I8:
        hr = asInteger(v, out.llVal);
        break;
    case VT_UI8:
        hr = asInteger(v, out.ullVal);
        break;
    case VT_R8:
        hr = asReal(v, out.dblVal);
        break;
    case VT_DATE:
        hr = asReal(v, out.date);
        break;
    case VT_R4: {
        double d;
        hr = asReal(v, d);
        if (SUCCEEDED(hr) && std::isfinite(d) && std::fabs(d) > FLT_MAX)
            hr = DISP_E_OVERFLOW;
        if (SUCCEEDED(hr))
            out.fltVal = static_cast<float>(d);
        break;
    }
    case VT_BOOL: {
        bool b = false;
        hr = asBoolean(v, b);
        out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_BSTR: {
        std::string text;
        hr = asText(v, flags, text);
        if (FAILED(hr))
            break;
        out.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
        if (!out.bstrVal)
            return E_OUTOFMEMORY;
        for (size_t i = 0; i < text.size(); ++i)
            out.bstrVal[i] = static_cast<unsigned char>(text[i]);
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    if (SUCCEEDED(hr))
        out.vt = vt;
    return hr;
}

bool isConvertibleTarget(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BOOL:
    case VT_BSTR:
        return true;
    default:
        return false;
    }
}

} // namespace

HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                         USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (!isConvertibleTarget(vt))
        return DISP_E_BADVARTYPE;
    if (pvarSrc->vt == vt)
        return VariantCopy(pvargDest, pvarSrc);
    if (vt == VT_NULL || pvarSrc->vt == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    try {
        Value value{};
        HRESULT hr = readSource(*pvarSrc, value);
        if (FAILED(hr))
            return hr;
        // Convert into a temporary first: the destination may be the source, and a failed
        // conversion leaves the destination untouched.
        VARIANT result;
        VariantInit(&result);
        hr = convert(value, wFlags, vt, result);
        if (FAILED(hr))
            return hr;
        hr = VariantClear(pvargDest);
        if (FAILED(hr)) {
            VariantClear(&result);
            return hr;
        }
        *pvargDest = result;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
