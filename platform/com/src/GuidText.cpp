// GUIDs as text ("{0C733A7C-2A1C-11CE-ADE5-00AA0044773D}") and back, and fresh GUIDs.
#include <cstdio>
#include <random>

#include "RuntimeInternal.h"
#include "objbase.h"

namespace {

constexpr char16_t hexDigits[] = u"0123456789ABCDEF";

// Writes value as `digits` upper-case hex characters.
char16_t* putHex(char16_t* out, unsigned long long value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = hexDigits[value & 0xF];
        value >>= 4;
    }
    return out + digits;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Reads exactly `digits` hex characters; false (and nothing consumed reliably) otherwise.
bool getHex(const char16_t*& in, int digits, unsigned long long& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = hexValue(in[i]);
        if (v < 0)
            return false; // also stops at the terminating NUL, so nothing is read past it
        value = (value << 4) | unsigned(v);
    }
    in += digits;
    return true;
}

bool expect(const char16_t*& in, char16_t c) {
    if (*in != c)
        return false;
    ++in;
    return true;
}

HRESULT guidToTaskString(REFGUID guid, LPOLESTR* out) {
    if (!out)
        return E_POINTER;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(CHARS_IN_GUID * sizeof(OLECHAR)));
    if (!*out)
        return E_OUTOFMEMORY;
    StringFromGUID2(guid, *out, CHARS_IN_GUID);
    return S_OK;
}

} // namespace

namespace vantrel::com {

bool parseBracedGuid(const char16_t* in, GUID* guid) {
    unsigned long long data1, data2, data3, byte;
    GUID result{};
    if (!expect(in, u'{') || !getHex(in, 8, data1) || !expect(in, u'-') || !getHex(in, 4, data2) ||
        !expect(in, u'-') || !getHex(in, 4, data3) || !expect(in, u'-'))
        return false;
    result.Data1 = static_cast<unsigned int>(data1);
    result.Data2 = static_cast<unsigned short>(data2);
    result.Data3 = static_cast<unsigned short>(data3);
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !expect(in, u'-'))
            return false;
        if (!getHex(in, 2, byte))
            return false;
        result.Data4[i] = static_cast<unsigned char>(byte);
    }
    if (!expect(in, u'}') || *in != 0)
        return false;
    *guid = result;
    return true;
}

} // namespace vantrel::com

int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < CHARS_IN_GUID)
        return 0;
    char16_t* out = lpsz;
    *out++ = u'{';
    out = putHex(out, rguid.Data1, 8);
    *out++ = u'-';
    out = putHex(out, rguid.Data2, 4);
    *out++ = u'-';
    out = putHex(out, rguid.Data3, 4);
    *out++ = u'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            *out++ = u'-';
        out = putHex(out, rguid.Data4[i], 2);
    }
    *out++ = u'}';
    *out++ = 0;
    return CHARS_IN_GUID;
}

HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    return guidToTaskString(rclsid, lplpsz);
}

HRESULT STDAPICALLTYPE StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return guidToTaskString(rclsid, lplpsz);
}

HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid)
        return E_INVALIDARG;
    *pclsid = GUID_NULL;
    if (!lpsz)
        return S_OK;
    if (vantrel::com::parseBracedGuid(lpsz, pclsid))
        return S_OK;
    if (*lpsz != u'{' && CLSIDFromProgID(lpsz, pclsid) == S_OK)
        return S_OK;
    *pclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid)
        return E_INVALIDARG;
    *lpiid = GUID_NULL;
    if (!lpsz)
        return S_OK;
    return vantrel::com::parseBracedGuid(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT STDAPICALLTYPE CoCreateGuid(GUID* pguid) {
    if (!pguid)
        return E_INVALIDARG;
    try {
        thread_local std::mt19937_64 generator{std::random_device{}()};
        unsigned long long high = generator(), low = generator();
        pguid->Data1 = static_cast<unsigned int>(high >> 32);
        pguid->Data2 = static_cast<unsigned short>(high >> 16);
        // Version 4 (random) in the top nibble of Data3, variant 10xx in Data4[0].
        pguid->Data3 = static_cast<unsigned short>((high & 0x0FFF) | 0x4000);
        for (int i = 0; i < 8; ++i)
            pguid->Data4[i] = static_cast<unsigned char>(low >> (8 * i));
        pguid->Data4[0] = static_cast<unsigned char>((pguid->Data4[0] & 0x3F) | 0x80);
    } catch (...) {
        return E_FAIL; // no entropy source
    }
    return S_OK;
}
