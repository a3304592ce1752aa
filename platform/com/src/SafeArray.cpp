// One-dimensional SAFEARRAYs. One block holds a private header (the element type and a mark
// that the block is ours), the descriptor and the elements, so an array is one allocation.
#include "oleauto.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::uint32_t ownMark = 0x56534131; // "VSA1"

struct alignas(16) Header {
    std::uint32_t mark;
    VARTYPE vt;
};

constexpr std::size_t roundUp(std::size_t n) {
    return (n + 15) & ~std::size_t(15);
}
constexpr std::size_t descriptorOffset = roundUp(sizeof(Header));
constexpr std::size_t dataOffset = descriptorOffset + roundUp(sizeof(SAFEARRAY));

// Bytes per element, 0 for an element type vectors do not hold.
ULONG elementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

Header* headerOf(SAFEARRAY* psa) {
    auto* header =
        reinterpret_cast<Header*>(reinterpret_cast<unsigned char*>(psa) - descriptorOffset);
    return header->mark == ownMark ? header : nullptr;
}

// Frees what elements [0, count) own.
void clearElements(VARTYPE vt, void* data, ULONG count) {
    if (vt == VT_BSTR) {
        auto* strings = static_cast<BSTR*>(data);
        for (ULONG i = 0; i < count; ++i)
            SysFreeString(strings[i]);
    } else if (vt == VT_VARIANT) {
        auto* variants = static_cast<VARIANT*>(data);
        for (ULONG i = 0; i < count; ++i)
            VariantClear(&variants[i]);
    }
}

} // namespace

SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const ULONG size = elementSize(vt);
    if (size == 0)
        return nullptr;
    // The last index must still be a LONG.
    if (cElements > 0 &&
        std::int64_t(lLbound) + std::int64_t(cElements) - 1 > std::numeric_limits<LONG>::max())
        return nullptr;
    if (cElements > (std::numeric_limits<std::size_t>::max() - dataOffset) / size)
        return nullptr;
    auto* block =
        static_cast<unsigned char*>(std::calloc(1, dataOffset + std::size_t(size) * cElements));
    if (!block)
        return nullptr;
    new (block) Header{ownMark, vt};
    auto* psa = new (block + descriptorOffset) SAFEARRAY{};
    psa->cDims = 1;
    psa->fFeatures = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR)
        psa->fFeatures |= FADF_BSTR;
    if (vt == VT_VARIANT)
        psa->fFeatures |= FADF_VARIANT;
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->pvData = block + dataOffset;
    psa->rgsabound[0].cElements = cElements;
    psa->rgsabound[0].lLbound = lLbound;
    if (vt == VT_VARIANT) {
        auto* variants = static_cast<VARIANT*>(psa->pvData);
        for (ULONG i = 0; i < cElements; ++i)
            VariantInit(&variants[i]);
    }
    return psa;
}

HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    Header* header = headerOf(psa);
    if (!header)
        return E_INVALIDARG;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    clearElements(header->vt, psa->pvData, psa->rgsabound[0].cElements);
    header->mark = 0;
    std::free(header);
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData)
        return E_INVALIDARG;
    if (psa->cLocks == std::numeric_limits<ULONG>::max())
        return E_UNEXPECTED;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim != 1 || psa->cDims != 1)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim != 1 || psa->cDims != 1)
        return DISP_E_BADINDEX;
    *plUbound = LONG(std::int64_t(psa->rgsabound[0].lLbound) +
                     std::int64_t(psa->rgsabound[0].cElements) - 1);
    return S_OK;
}

UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    Header* header = headerOf(psa);
    if (!header)
        return E_INVALIDARG;
    *pvt = header->vt;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return E_INVALIDARG;
    Header* header = headerOf(psa);
    if (!header)
        return E_INVALIDARG;
    const ULONG count = psa->rgsabound[0].cElements;
    SAFEARRAY* copy = SafeArrayCreateVector(header->vt, psa->rgsabound[0].lLbound, count);
    if (!copy)
        return E_OUTOFMEMORY;
    if (header->vt == VT_BSTR) {
        auto* from = static_cast<BSTR*>(psa->pvData);
        auto* to = static_cast<BSTR*>(copy->pvData);
        for (ULONG i = 0; i < count; ++i) {
            if (!from[i])
                continue;
            to[i] =
                SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from[i]), SysStringByteLen(from[i]));
            if (!to[i]) {
                SafeArrayDestroy(copy);
                return E_OUTOFMEMORY;
            }
        }
    } else if (header->vt == VT_VARIANT) {
        auto* from = static_cast<VARIANT*>(psa->pvData);
        auto* to = static_cast<VARIANT*>(copy->pvData);
        for (ULONG i = 0; i < count; ++i) {
            const HRESULT hr = VariantCopy(&to[i], &from[i]);
            if (FAILED(hr)) {
                SafeArrayDestroy(copy);
                return hr;
            }
        }
    } else {
        std::memcpy(copy->pvData, psa->pvData, std::size_t(count) * psa->cbElements);
    }
    *ppsaOut = copy;
    return S_OK;
}
