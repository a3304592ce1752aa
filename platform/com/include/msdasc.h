// The OLE DB service components: the data initialisation service (connection strings) and the
// Data Links connection dialog.
#pragma once

// Like the published header, usable on its own: oledb.h brings COM and OLE Automation along.
#include "oledb.h"
#include "unknwn.h"
#include "wtypes.h"

DEFINE_GUID(IID_IDBPromptInitialize, 0x2206ccb0, 0x19c1, 0x11d1, 0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7,
            0xa8, 0x29);
DEFINE_GUID(IID_IDataInitialize, 0x2206ccb1, 0x19c1, 0x11d1, 0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7,
            0xa8, 0x29);
DEFINE_GUID(CLSID_MSDAINITIALIZE, 0x2206cdb0, 0x19c1, 0x11d1, 0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7,
            0xa8, 0x29);
DEFINE_GUID(CLSID_DataLinks, 0x2206cdb2, 0x19c1, 0x11d1, 0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7, 0xa8,
            0x29);

typedef DWORD DBPROMPTOPTIONS;
typedef enum tagDBPROMPTOPTIONSENUM {
    DBPROMPTOPTIONS_NONE = 0,
    DBPROMPTOPTIONS_WIZARDSHEET = 0x1,
    DBPROMPTOPTIONS_PROPERTYSHEET = 0x2,
    DBPROMPTOPTIONS_BROWSEONLY = 0x8,
    DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION = 0x10,
    DBPROMPTOPTIONS_DISABLESAVEPASSWORD = 0x20
} DBPROMPTOPTIONSENUM;

// The connection dialog. PromptDataSource edits the initialisation properties of the data
// source in *ppDataSource (or creates one when it is null) and answers DB_E_CANCELED when the
// user cancels.
struct IDBPromptInitialize : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown* pUnkOuter, HWND hWndParent,
                                                       DBPROMPTOPTIONS dwPromptOptions,
                                                       ULONG cSourceTypeFilter,
                                                       DBSOURCETYPE* rgSourceTypeFilter,
                                                       LPCOLESTR pwszszzProviderFilter, REFIID riid,
                                                       IUnknown** ppDataSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE PromptFileName(HWND hWndParent,
                                                     DBPROMPTOPTIONS dwPromptOptions,
                                                     LPCOLESTR pwszInitialDirectory,
                                                     LPCOLESTR pwszInitialFile,
                                                     LPOLESTR* ppwszSelectedFile) = 0;
};

// Data sources from connection strings ("Provider=...;Data Source=...") and back.
// GetInitializationString hands out a string the caller frees with CoTaskMemFree.
struct IDataInitialize : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDataSource(IUnknown* pUnkOuter, DWORD dwClsCtx,
                                                    LPCOLESTR pwszInitializationString, REFIID riid,
                                                    IUnknown** ppDataSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInitializationString(IUnknown* pDataSource,
                                                              boolean fIncludePassword,
                                                              LPOLESTR* ppwszInitString) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDBInstance(REFCLSID clsidProvider, IUnknown* pUnkOuter,
                                                       DWORD dwClsCtx, LPOLESTR pwszReserved,
                                                       REFIID riid, IUnknown** ppDataSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDBInstanceEx(REFCLSID clsidProvider,
                                                         IUnknown* pUnkOuter, DWORD dwClsCtx,
                                                         LPOLESTR pwszReserved,
                                                         COSERVERINFO* pServerInfo, ULONG cmq,
                                                         MULTI_QI* rgmqResults) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    LoadStringFromStorage(LPCOLESTR pwszFileName, LPOLESTR* ppwszInitializationString) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteStringToStorage(LPCOLESTR pwszFileName,
                                                           LPCOLESTR pwszInitializationString,
                                                           DWORD dwCreationDisposition) = 0;
};
