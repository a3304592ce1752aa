// The COM object interfaces used beside IUnknown: the task allocator, persistence identity and
// sequential streams (the OLE DB interface for long data).
#pragma once

#include "unknwn.h"

VANTREL_DEFINE_OLE_IID(IID_IMalloc, 0x00000002);
VANTREL_DEFINE_OLE_IID(IID_IPersist, 0x0000010c);
VANTREL_DEFINE_OLE_IID(IID_IStream, 0x0000000c);
VANTREL_DEFINE_OLE_IID(IID_IEnumUnknown, 0x00000100);
VANTREL_DEFINE_OLE_IID(IID_IEnumString, 0x00000101);
VANTREL_DEFINE_OLEDB_IID(IID_ISequentialStream, 0x0c733a30);

struct IMalloc : public IUnknown {
    virtual void* STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
    virtual void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) = 0;
    virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
    // Size of a block this allocator handed out, (SIZE_T)-1 for null.
    virtual SIZE_T STDMETHODCALLTYPE GetSize(void* pv) = 0;
    // 1 when the block came from this allocator, 0 when not, -1 when it cannot tell.
    virtual int STDMETHODCALLTYPE DidAlloc(void* pv) = 0;
    virtual void STDMETHODCALLTYPE HeapMinimize() = 0;
};
typedef IMalloc* LPMALLOC;

struct IPersist : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) = 0;
};

struct ISequentialStream : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IEnumUnknown : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** ppenum) = 0;
};

struct IEnumString : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumString** ppenum) = 0;
};

// Remote activation is not supported; the types exist for the signatures that name them.
struct _COAUTHINFO;
typedef struct _COSERVERINFO {
    DWORD dwReserved1;
    LPWSTR pwszName;
    struct _COAUTHINFO* pAuthInfo;
    DWORD dwReserved2;
} COSERVERINFO;

typedef struct tagMULTI_QI {
    const IID* pIID;
    IUnknown* pItf;
    HRESULT hr;
} MULTI_QI;

// Declared only: nothing in this platform implements storages or full streams.
struct IStream;
struct IStorage;
struct ILockBytes;
