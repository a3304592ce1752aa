// VARIANT lifetime: initialise, clear what a variant owns, deep copy.
#include "oleauto.h"

namespace {

// The types a VARIANT may hold by value that this runtime knows how to clear and copy.
bool isKnownType(VARTYPE vt) {
    if (vt & VT_BYREF)
        return true; // borrowed: nothing to free, copied as a pointer
    if (vt & VT_ARRAY) {
        // The vectors SafeArrayCreateVector makes; the array itself says its element type.
        const VARTYPE element = vt & VARTYPE(~VT_ARRAY);
        if (element == VT_VARIANT)
            return true;
        return element != VT_EMPTY && element != VT_NULL && element != VT_UNKNOWN &&
               element != VT_DISPATCH && element != VT_DECIMAL && isKnownType(element);
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_ERROR:
    case VT_DECIMAL:
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return true;
    default:
        return false;
    }
}

} // namespace

void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg) {
    if (pvarg) {
        pvarg->vt = VT_EMPTY;
        pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    }
}

HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    if (!isKnownType(pvarg->vt))
        return DISP_E_BADVARTYPE;
    if (pvarg->vt & VT_ARRAY && !(pvarg->vt & VT_BYREF)) {
        const HRESULT hr = SafeArrayDestroy(pvarg->parray);
        if (FAILED(hr))
            return hr;
    }
    switch (pvarg->vt) {
    case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
    case VT_UNKNOWN:
        if (pvarg->punkVal)
            pvarg->punkVal->Release();
        break;
    case VT_DISPATCH:
        if (pvarg->pdispVal)
            pvarg->pdispVal->Release();
        break;
    default:
        break;
    }
    pvarg->vt = VT_EMPTY;
    pvarg->llVal = 0;
    return S_OK;
}

HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    if (!isKnownType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    // Build the copy before touching the destination, so a failure leaves it as it was.
    VARIANT copy = *pvargSrc;
    if (pvargSrc->vt == VT_BSTR && pvargSrc->bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                             SysStringByteLen(pvargSrc->bstrVal));
        if (!copy.bstrVal)
            return E_OUTOFMEMORY;
    }
    if (copy.vt & VT_ARRAY && !(copy.vt & VT_BYREF) && pvargSrc->parray) {
        const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
        if (FAILED(hr))
            return hr;
    }
    // Take the new reference before clearing: the destination may hold the last one.
    if (copy.vt == VT_UNKNOWN && copy.punkVal)
        copy.punkVal->AddRef();
    if (copy.vt == VT_DISPATCH && copy.pdispVal)
        copy.pdispVal->AddRef();
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}
