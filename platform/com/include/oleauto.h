// OLE Automation runtime: BSTR strings, VARIANT handling and the thread's error object.
// Implemented in libvantrel-com.
#pragma once

#include "oaidl.h"
#include "wtypes.h"

// A BSTR points at its first character; the four bytes before it hold the byte length (without
// the terminating NUL), and a NUL follows the last character. Embedded NULs are kept.

// A copy of a NUL-terminated string; null in gives null out (as does exhausted memory).
EXTERN_C BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
// cch characters copied from pch (or left zeroed when pch is null), then a NUL.
EXTERN_C BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* pch, UINT cch);
// len bytes copied from psz (or zeroed when psz is null) and two NUL bytes after them.
EXTERN_C BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len);
// Replaces *pbstr with a copy of psz, freeing the old string. FALSE when out of memory (the old
// string is kept then) or pbstr is null.
EXTERN_C INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
EXTERN_C INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
// Frees a BSTR; null is allowed and does nothing.
EXTERN_C void STDAPICALLTYPE SysFreeString(BSTR bstrString);
// Length in characters (bytes / 2, rounded down), 0 for null.
EXTERN_C UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
// Length in bytes, 0 for null.
EXTERN_C UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr);

// Sets vt to VT_EMPTY; the rest of the variant is not looked at.
EXTERN_C void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (a BSTR, an interface reference, a VT_ARRAY's SAFEARRAY) and sets
// VT_EMPTY; VT_BYREF values are borrowed and left alone. Null answers E_INVALIDARG; a type this
// runtime cannot free (records, arrays of element types SafeArrayCreateVector refuses) or does
// not know answers DISP_E_BADVARTYPE, and a locked array DISP_E_ARRAYISLOCKED; both leave the
// variant as it was.
EXTERN_C HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg);
// Clears pvargDest, then makes it a deep copy of pvargSrc (a new BSTR, an AddRef'd interface,
// a copied array).
// Source and destination may be the same variant (nothing happens).
EXTERN_C HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// Converts between the scalar types (VT_EMPTY, VT_NULL as source only, VT_I1..VT_UI8, VT_INT,
// VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_BSTR, VT_DATE as a number) using the C locale for text.
// Out-of-range values answer DISP_E_OVERFLOW, text that is not a number DISP_E_TYPEMISMATCH.
// pvargDest may equal pvarSrc. wFlags is ignored.
EXTERN_C HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                                  USHORT wFlags, VARTYPE vt);
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

// One-dimensional SAFEARRAYs (vectors), as OLE DB hands lists of values around (the allowed
// values of a property in DBPROPINFO.vValues). Element types: VT_I1..VT_UI8, VT_INT, VT_UINT,
// VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_ERROR, VT_BSTR, VT_VARIANT; elements start zeroed
// (null BSTRs, VT_EMPTY variants). Only arrays made by these functions may be passed to them.

// A vector of cElements elements indexed from lLbound; null for another element type, an
// index range past LONG, or exhausted memory.
EXTERN_C SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Frees the array and what its elements own (BSTRs, variants' contents). Null does nothing;
// an array still accessed (SafeArrayAccessData) answers DISP_E_ARRAYISLOCKED and is kept.
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa);
// The address of the first element, and one more lock until SafeArrayUnaccessData.
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
// Releases one lock; E_UNEXPECTED when the array holds none.
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa);
// Bounds of dimension nDim (1 for a vector): DISP_E_BADINDEX for another dimension. An empty
// vector's upper bound is its lower bound minus one.
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// Number of dimensions; 0 for null.
EXTERN_C UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa);
// The element type the array was made with.
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// A deep copy (new BSTRs, copied variants); *ppsaOut is null on failure.
EXTERN_C HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// A new, empty error object; the caller fills it through ICreateErrorInfo and posts it with
// SetErrorInfo (after QueryInterface for IErrorInfo).
EXTERN_C HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Makes perrinfo the calling thread's error object (AddRef'd), replacing and releasing the one
// before; null clears it. dwReserved must be 0.
EXTERN_C HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Takes the calling thread's error object away: S_OK with the object (the caller releases it),
// or S_FALSE and null when the thread has none. A second call therefore answers S_FALSE.
// pperrinfo null answers E_INVALIDARG.
EXTERN_C HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
