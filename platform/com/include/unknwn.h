// IUnknown and IClassFactory, the root of every COM object.
#pragma once

#include "winerror.h"
#include "wtypes.h"

VANTREL_DEFINE_OLE_IID(IID_IUnknown, 0x00000000);
VANTREL_DEFINE_OLE_IID(IID_IClassFactory, 0x00000001);

// Every COM interface derives from IUnknown. QueryInterface answers S_OK with an AddRef'd pointer,
// or E_NOINTERFACE with *ppvObject set to null; Release returns the new count and frees the
// object when it reaches zero.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
typedef IClassFactory* LPCLASSFACTORY;
