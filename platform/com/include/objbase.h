// The COM runtime: apartments, the task allocator, object creation through the class registry,
// and GUID/ProgID conversions. Implemented in libvantrel-com.
#pragma once

#include "objidl.h"
#include "unknwn.h"
#include "winerror.h"
#include "wtypes.h"

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC_HANDLER16 = 0x20,
    CLSCTX_NO_CODE_DOWNLOAD = 0x400,
    CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
    CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
    CLSCTX_NO_FAILURE_LOG = 0x4000,
    CLSCTX_DISABLE_AAA = 0x8000,
    CLSCTX_ENABLE_AAA = 0x10000,
    CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL                                                                                 \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

typedef enum tagMEMCTX {
    MEMCTX_TASK = 1,
    MEMCTX_SHARED = 2,
    MEMCTX_MACSYSTEM = 3,
    MEMCTX_UNKNOWN = -1,
    MEMCTX_SAME = -2
} MEMCTX;

// Length of the text StringFromGUID2 writes: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its NUL.
#define CHARS_IN_GUID 39

// Enters the calling thread into an apartment. The first call on a thread answers S_OK, each
// further call in the same model S_FALSE (and must be balanced by CoUninitialize too), a call
// asking for the other model RPC_E_CHANGED_MODE (and needs no balancing). pvReserved must be null
// (E_INVALIDARG otherwise); dwCoInit must be a valid combination of COINIT flags.
EXTERN_C HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// CoInitializeEx with COINIT_APARTMENTTHREADED.
EXTERN_C HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved);
// Balances one successful CoInitializeEx of the calling thread; the last one leaves the
// apartment and releases the thread's error object. Extra calls do nothing.
EXTERN_C void STDAPICALLTYPE CoUninitialize();

// The process's task allocator, AddRef'd: the caller releases it. dwMemContext must be
// MEMCTX_TASK (E_INVALIDARG otherwise); ppMalloc null answers E_POINTER. Works without an
// apartment, as task memory does.
EXTERN_C HRESULT STDAPICALLTYPE CoGetMalloc(DWORD dwMemContext, LPMALLOC* ppMalloc);
// Task memory: blocks that OLE DB hands between objects and callers. Alloc of 0 bytes gives a
// valid, freeable block; Realloc(null, n) allocates; Realloc(p, 0) frees and answers null;
// Free(null) does nothing. Memory is at least 16-byte aligned.
EXTERN_C LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
EXTERN_C LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
EXTERN_C void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);

// Creates one object of a registered class and answers the interface riid on it.
// The calling thread must have entered COM (CO_E_NOTINITIALIZED otherwise).
// Needs CLSCTX_INPROC_SERVER in dwClsContext (all classes are in-process); ppv null answers
// E_POINTER; an unknown class REGDB_E_CLASSNOTREG; a class that refuses the outer unknown
// CLASS_E_NOAGGREGATION (always so when pUnkOuter is given with riid other than IID_IUnknown);
// a missing interface E_NOINTERFACE. *ppv is null on every failure.
EXTERN_C HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                 DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// The class object (IClassFactory) of a registered class; same answers as CoCreateInstance.
// pvReserved (the server info) must be null.
EXTERN_C HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                                 LPVOID pvReserved, REFIID riid, LPVOID* ppv);

// Unloads every module loaded by CoCreateInstance or CoGetClassObject whose DllCanUnloadNow
// answers S_OK (no object of it alive, no server lock). Modules that answer otherwise stay.
EXTERN_C void STDAPICALLTYPE CoFreeUnusedLibraries();

// The entry points every in-process server module exports, with their published meanings:
// the class object of one of its classes; S_OK when it may be unloaded, S_FALSE while an
// object or a server lock of it lives; writing and removing its classes' registrations.
typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)();
EXTERN_C HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
EXTERN_C HRESULT STDAPICALLTYPE DllCanUnloadNow();
EXTERN_C HRESULT STDAPICALLTYPE DllRegisterServer();
EXTERN_C HRESULT STDAPICALLTYPE DllUnregisterServer();

// Looks a class up by ProgID, version-dependent ("Vantrel.SQLite.1") or version-independent
// ("Vantrel.SQLite"), ignoring ASCII case. A ProgID that is not registered answers
// CO_E_CLASSSTRING; a null ProgID E_INVALIDARG, a null lpclsid E_POINTER.
EXTERN_C HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// The version-dependent ProgID of a registered class (its version-independent one when it has
// no other), in task memory the caller frees with CoTaskMemFree. Unknown class:
// REGDB_E_CLASSNOTREG; class without any ProgID: REGDB_E_KEYMISSING; null out-pointer E_POINTER.
EXTERN_C HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex) with its NUL into lpsz and
// answers the characters written including the NUL (39), or 0 when cchMax is below 39 or lpsz
// is null (nothing is written then).
EXTERN_C int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// The same text in task memory that the caller frees with CoTaskMemFree.
EXTERN_C HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
EXTERN_C HRESULT STDAPICALLTYPE StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (either case, braces required, nothing after).
// Anything else is tried as a ProgID; text that is neither answers CO_E_CLASSSTRING and leaves
// *lpclsid as GUID_NULL. A null string yields GUID_NULL and S_OK, as published.
EXTERN_C HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// Parses the braced form only; anything else answers E_INVALIDARG.
EXTERN_C HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// A fresh random (version 4) GUID.
EXTERN_C HRESULT STDAPICALLTYPE CoCreateGuid(GUID* pguid);
