// BSTR: a 32-bit byte count, then the characters, then a NUL character. The BSTR points at the
// first character, so it reads as an ordinary NUL-terminated string too.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "oleauto.h"

namespace {

constexpr size_t prefixSize = sizeof(std::uint32_t);

// Largest byte count whose whole allocation still has a 32-bit length.
constexpr size_t maxBytes = 0xFFFFFFFFu - prefixSize - sizeof(OLECHAR);

unsigned char* blockOf(BSTR bstr) {
    return reinterpret_cast<unsigned char*>(bstr) - prefixSize;
}

// A BSTR of byteCount bytes, copied from source when it is not null, zeroed otherwise.
BSTR allocateBytes(const void* source, size_t byteCount) {
    if (byteCount > maxBytes)
        return nullptr;
    // Room for the prefix, the bytes and a whole NUL character even when byteCount is odd.
    auto* block = static_cast<unsigned char*>(std::malloc(prefixSize + byteCount + 3));
    if (!block)
        return nullptr;
    const std::uint32_t length = static_cast<std::uint32_t>(byteCount);
    std::memcpy(block, &length, prefixSize);
    if (source)
        std::memcpy(block + prefixSize, source, byteCount);
    else
        std::memset(block + prefixSize, 0, byteCount);
    std::memset(block + prefixSize + byteCount, 0, 3);
    return reinterpret_cast<BSTR>(block + prefixSize);
}

size_t lengthOf(const OLECHAR* psz) {
    size_t n = 0;
    while (psz[n])
        ++n;
    return n;
}

} // namespace

BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    return allocateBytes(psz, lengthOf(psz) * sizeof(OLECHAR));
}

BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    return allocateBytes(pch, size_t(cch) * sizeof(OLECHAR));
}

BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return allocateBytes(psz, len);
}

INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr)
        return FALSE;
    // Allocate first: psz may point into the old string.
    BSTR replacement = psz ? SysAllocString(psz) : nullptr;
    if (psz && !replacement)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = replacement;
    return TRUE;
}

INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr)
        return FALSE;
    BSTR replacement = SysAllocStringLen(psz, len);
    if (!replacement)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = replacement;
    return TRUE;
}

void STDAPICALLTYPE SysFreeString(BSTR bstrString) {
    if (bstrString)
        std::free(blockOf(bstrString));
}

UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr) {
    if (!bstr)
        return 0;
    std::uint32_t length;
    std::memcpy(&length, blockOf(bstr), prefixSize);
    return length;
}

UINT STDAPICALLTYPE SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}
