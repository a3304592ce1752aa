// Compiled by scripts/apicheck twice: with mingw-w64 against the Windows SDK headers and natively
// against platform/com. Every name the bench, the providers and the services use must exist on
// both sides with the same value, signature and layout, so a name that is missing, misspelled
// or declared differently on either side fails the check.
#include "oledb/OleDbApi.h"

#include <cstddef>
#include <type_traits>

// Result codes: the published numeric values, including those the error dump prints.
static_assert(S_OK == 0 && S_FALSE == 1);
static_assert(E_FAIL == static_cast<HRESULT>(0x80004005));
static_assert(E_NOINTERFACE == static_cast<HRESULT>(0x80004002));
static_assert(E_POINTER == static_cast<HRESULT>(0x80004003));
static_assert(E_NOTIMPL == static_cast<HRESULT>(0x80004001));
static_assert(E_UNEXPECTED == static_cast<HRESULT>(0x8000FFFF));
static_assert(E_INVALIDARG == static_cast<HRESULT>(0x80070057));
static_assert(E_OUTOFMEMORY == static_cast<HRESULT>(0x8007000E));
static_assert(CLASS_E_NOAGGREGATION == static_cast<HRESULT>(0x80040110));
static_assert(REGDB_E_CLASSNOTREG == static_cast<HRESULT>(0x80040154));
static_assert(CO_E_CLASSSTRING == static_cast<HRESULT>(0x800401F3));
static_assert(CO_E_NOTINITIALIZED == static_cast<HRESULT>(0x800401F0));
static_assert(RPC_E_CHANGED_MODE == static_cast<HRESULT>(0x80010106));
static_assert(DISP_E_TYPEMISMATCH == static_cast<HRESULT>(0x80020005));
static_assert(DISP_E_OVERFLOW == static_cast<HRESULT>(0x8002000A));
static_assert(DISP_E_BADVARTYPE == static_cast<HRESULT>(0x80020008));
static_assert(DB_E_CANCELED == static_cast<HRESULT>(0x80040E4E));
static_assert(DB_E_ERRORSOCCURRED == static_cast<HRESULT>(0x80040E21));
static_assert(DB_S_ERRORSOCCURRED == static_cast<HRESULT>(0x00040EDA));
static_assert(DB_S_ENDOFROWSET == static_cast<HRESULT>(0x00040EC6));
static_assert(DB_E_CONCURRENCYVIOLATION == static_cast<HRESULT>(0x80040E38));
static_assert(DB_E_BADACCESSORHANDLE == static_cast<HRESULT>(0x80040E00));
static_assert(DB_E_BADROWHANDLE == static_cast<HRESULT>(0x80040E04));
static_assert(DB_E_BADORDINAL == static_cast<HRESULT>(0x80040E55));
static_assert(DB_E_BADBINDINFO == static_cast<HRESULT>(0x80040E08));
static_assert(DB_E_ERRORSINCOMMAND == static_cast<HRESULT>(0x80040E14));
static_assert(DB_E_NOCOMMAND == static_cast<HRESULT>(0x80040E0C));
static_assert(DB_E_NOTABLE == static_cast<HRESULT>(0x80040E37));
static_assert(DB_E_DUPLICATETABLEID == static_cast<HRESULT>(0x80040E3F));
static_assert(DB_E_INTEGRITYVIOLATION == static_cast<HRESULT>(0x80040E2F));
static_assert(DB_E_NOTSUPPORTED == static_cast<HRESULT>(0x80040E53));
static_assert(DB_E_BADINITSTRING == static_cast<HRESULT>(0x80040E73));
static_assert(DB_E_ALREADYINITIALIZED == static_cast<HRESULT>(0x80040E52));
static_assert(DB_E_UNSUPPORTEDCONVERSION == static_cast<HRESULT>(0x80040E1D));
static_assert(DB_E_CANTCONVERTVALUE == static_cast<HRESULT>(0x80040E07));
static_assert(DB_E_DATAOVERFLOW == static_cast<HRESULT>(0x80040E57));
static_assert(DB_SEC_E_AUTH_FAILED == static_cast<HRESULT>(0x80040E4D));
static_assert(DB_SEC_E_PERMISSIONDENIED == static_cast<HRESULT>(0x80040E09));
static_assert(XACT_E_NOTRANSACTION == static_cast<HRESULT>(0x8004D00E));
static_assert(XACT_E_XTIONEXISTS == static_cast<HRESULT>(0x8004D013));
static_assert(XACT_E_ISOLATIONLEVEL == static_cast<HRESULT>(0x8004D008));
static_assert(XACT_E_NOTSUPPORTED == static_cast<HRESULT>(0x8004D00F));
static_assert(SUCCEEDED(DB_S_ERRORSOCCURRED) && FAILED(DB_E_CANCELED));

// COM, Automation and user-interface constants.
static_assert(COINIT_APARTMENTTHREADED == 2 && COINIT_MULTITHREADED == 0);
static_assert(MEMCTX_TASK == 1);
static_assert(CLSCTX_INPROC_SERVER == 1);
static_assert(MB_OK == 0 && IDOK == 1);
static_assert(VT_EMPTY == 0 && VT_NULL == 1 && VT_I2 == 2 && VT_I4 == 3 && VT_R8 == 5 &&
              VT_BSTR == 8 && VT_BOOL == 11 && VT_UNKNOWN == 13 && VT_I8 == 20 && VT_UI4 == 19);
static_assert(VARIANT_TRUE == -1 && VARIANT_FALSE == 0);

// OLE DB constants the bench and the providers use.
static_assert(DBPROP_CANFETCHBACKWARDS == 0x12 && DBPROP_IRowsetLocate == 0x82);
static_assert(DBPROP_IRowsetChange == 0x7f && DBPROP_IRowsetUpdate == 0x86);
static_assert(DBPROP_COL_NULLABLE == 0x1D && DBPROP_COL_PRIMARYKEY == 0x1E);
static_assert(DBPROP_DATASOURCEREADONLY == 0x27 && DBPROP_PROVIDERFRIENDLYNAME == 0xEB);
static_assert(DBPROP_PROVIDERVER == 0x62 && DBPROP_PROVIDEROLEDBVER == 0x61);
static_assert(DBPROP_DBMSNAME == 0x28 && DBPROP_DBMSVER == 0x29 && DBPROP_SERVERNAME == 0xFA);
static_assert(DBPROP_INIT_DATASOURCE == 0x3B && DBPROP_INIT_CATALOG == 0xE9);
static_assert(DBPROP_AUTH_USERID == 0x0C && DBPROP_AUTH_PASSWORD == 0x09);
static_assert(DBPROP_INIT_MODE == 0x3F && DBPROP_INIT_TIMEOUT == 0x42);
static_assert(DBPROP_INIT_PROVIDERSTRING == 0xA0 && DBPROP_INIT_PROMPT == 0x40);
static_assert(DBPROP_INIT_HWND == 0x3C && DBPROP_INIT_LOCATION == 0x3E);
static_assert(DBPROP_DATASOURCENAME == 0x26 && DBPROP_CURRENTCATALOG == 0x25);
static_assert(DBPROP_SUPPORTEDTXNISOLEVELS == 0x71 && DBPROP_SQLSUPPORT == 0x6D);
static_assert(DBPROP_MULTIPLEPARAMSETS == 0xBF && DBPROP_ROWSETCONVERSIONSONCOMMAND == 0xC0);
static_assert(DBPROP_CANSCROLLBACKWARDS == 0x15 && DBPROP_CANHOLDROWS == 0x13);
static_assert(DBPROP_UPDATABILITY == 0x75 && DBPROP_BOOKMARKS == 0x0E);
static_assert(DBPROP_OTHERUPDATEDELETE == 0x58 && DBPROP_OWNUPDATEDELETE == 0x5A);
static_assert(DBPROP_MAXOPENROWS == 0x47 && DBPROP_PROVIDERFILENAME == 0x60);
static_assert(DBTYPE_I2 == 2 && DBTYPE_I4 == 3 && DBTYPE_I8 == 20 && DBTYPE_R8 == 5);
static_assert(DBTYPE_BOOL == 11 && DBTYPE_BSTR == 8 && DBTYPE_STR == 129 && DBTYPE_WSTR == 130);
static_assert(DBTYPE_DBTIMESTAMP == 135 && DBTYPE_UI4 == 19 && DBTYPE_BYREF == 0x4000);
static_assert(DBPART_VALUE == 1 && DBPART_LENGTH == 2 && DBPART_STATUS == 4);
static_assert(DBMEMOWNER_CLIENTOWNED == 0 && DBPARAMIO_NOTPARAM == 0 && DBPARAMIO_INPUT == 1);
static_assert(DBACCESSOR_ROWDATA == 2 && DBACCESSOR_PARAMETERDATA == 4);
static_assert(DBSTATUS_S_OK == 0 && DBSTATUS_S_ISNULL == 3 && DBSTATUS_S_TRUNCATED == 4);
static_assert(DBSTATUS_E_CANTCONVERTVALUE == 2 && DBSTATUS_E_DATAOVERFLOW == 6);
static_assert(DBBINDSTATUS_OK == 0 && DBBINDSTATUS_BADORDINAL == 1);
static_assert(DBPROPOPTIONS_REQUIRED == 0 && DBPROPOPTIONS_OPTIONAL == 1);
static_assert(DBPROPSTATUS_OK == 0 && DBPROPSTATUS_NOTSUPPORTED == 1);
static_assert(DBPROPFLAGS_READ == 0x200 && DBPROPFLAGS_WRITE == 0x400);
static_assert(DBCOLUMNFLAGS_ISBOOKMARK == 1 && DBCOLUMNFLAGS_ISNULLABLE == 0x20);
static_assert(DBPARAMFLAGS_ISINPUT == 1 && DBPARAMFLAGS_ISNULLABLE == 0x40);
static_assert(DBKIND_NAME == 2 && DBKIND_GUID_PROPID == 1);
static_assert(ISOLATIONLEVEL_SERIALIZABLE == 0x100000 && ISOLATIONLEVEL_READCOMMITTED == 0x1000);
static_assert(XACTTC_SYNC == 2);
static_assert(DBPROMPTOPTIONS_PROPERTYSHEET == 2 &&
              DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION == 0x10);
static_assert((DBPROMPTOPTIONS_PROPERTYSHEET | DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION) == 0x12);
static_assert(DBSOURCETYPE_DATASOURCE_TDP == 1 && DBSOURCETYPE_ENUMERATOR == 2);
static_assert(DB_MODE_READ == 1 && DB_MODE_READWRITE == 3 && DBPROMPT_NOPROMPT == 4);
static_assert(DB_NULL_HROW == 0 && DB_NULL_HCHAPTER == 0 && DB_NULL_HACCESSOR == 0);

// Integer widths of 64-bit OLE DB 2.x.
static_assert(sizeof(HRESULT) == 4 && sizeof(ULONG) == 4 && sizeof(LONG) == 4 &&
              sizeof(DWORD) == 4);
static_assert(sizeof(DBCOUNTITEM) == 8 && sizeof(DBORDINAL) == 8 && sizeof(DBLENGTH) == 8);
static_assert(sizeof(DBROWCOUNT) == 8 && sizeof(DBROWOFFSET) == 8 && sizeof(DBBYTEOFFSET) == 8);
static_assert(sizeof(HROW) == 8 && sizeof(HACCESSOR) == 8 && sizeof(HCHAPTER) == 8);
static_assert(sizeof(DB_UPARAMS) == 8 && sizeof(DBREFCOUNT) == 4 && sizeof(DBTYPE) == 2);
static_assert(sizeof(OLECHAR) == 2 && sizeof(VARIANT_BOOL) == 2 && sizeof(VARTYPE) == 2);
static_assert(std::is_signed_v<DBROWCOUNT> && std::is_unsigned_v<DBCOUNTITEM>);

// The runtime functions, by signature.
static_assert(std::is_same_v<decltype(&CoInitializeEx), HRESULT(STDAPICALLTYPE*)(LPVOID, DWORD)>);
static_assert(std::is_same_v<decltype(&CoUninitialize), void(STDAPICALLTYPE*)()>);
static_assert(std::is_same_v<decltype(&CoGetMalloc), HRESULT(STDAPICALLTYPE*)(DWORD, LPMALLOC*)>);
static_assert(std::is_same_v<decltype(&CoTaskMemAlloc), LPVOID(STDAPICALLTYPE*)(SIZE_T)>);
static_assert(std::is_same_v<decltype(&CoTaskMemRealloc), LPVOID(STDAPICALLTYPE*)(LPVOID, SIZE_T)>);
static_assert(std::is_same_v<decltype(&CoTaskMemFree), void(STDAPICALLTYPE*)(LPVOID)>);
static_assert(
    std::is_same_v<decltype(&CoCreateInstance),
                   HRESULT(STDAPICALLTYPE*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*)>);
static_assert(
    std::is_same_v<decltype(&CLSIDFromProgID), HRESULT(STDAPICALLTYPE*)(LPCOLESTR, LPCLSID)>);
static_assert(
    std::is_same_v<decltype(&ProgIDFromCLSID), HRESULT(STDAPICALLTYPE*)(REFCLSID, LPOLESTR*)>);
static_assert(
    std::is_same_v<decltype(&CLSIDFromString), HRESULT(STDAPICALLTYPE*)(LPCOLESTR, LPCLSID)>);
static_assert(
    std::is_same_v<decltype(&StringFromGUID2), int(STDAPICALLTYPE*)(REFGUID, LPOLESTR, int)>);
static_assert(
    std::is_same_v<decltype(&GetErrorInfo), HRESULT(STDAPICALLTYPE*)(ULONG, IErrorInfo**)>);
static_assert(
    std::is_same_v<decltype(&SetErrorInfo), HRESULT(STDAPICALLTYPE*)(ULONG, IErrorInfo*)>);
static_assert(
    std::is_same_v<decltype(&CreateErrorInfo), HRESULT(STDAPICALLTYPE*)(ICreateErrorInfo**)>);
static_assert(std::is_same_v<decltype(&SysAllocString), BSTR(STDAPICALLTYPE*)(const OLECHAR*)>);
static_assert(
    std::is_same_v<decltype(&SysAllocStringLen), BSTR(STDAPICALLTYPE*)(const OLECHAR*, UINT)>);
static_assert(std::is_same_v<decltype(&SysFreeString), void(STDAPICALLTYPE*)(BSTR)>);
static_assert(std::is_same_v<decltype(&SysStringLen), UINT(STDAPICALLTYPE*)(BSTR)>);
static_assert(std::is_same_v<decltype(&VariantInit), void(STDAPICALLTYPE*)(VARIANTARG*)>);
static_assert(std::is_same_v<decltype(&VariantClear), HRESULT(STDAPICALLTYPE*)(VARIANTARG*)>);
// The published source argument is const; mingw-w64 omits the const, so check callability.
static_assert(std::is_invocable_r_v<HRESULT, decltype(&VariantCopy), VARIANTARG*, VARIANTARG*>);
static_assert(std::is_invocable_r_v<HRESULT, decltype(&VariantChangeType), VARIANTARG*, VARIANTARG*,
                                    USHORT, VARTYPE>);
static_assert(std::is_same_v<decltype(&MessageBoxA), int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT)>);

// Every method of every interface, in its published form. Interfaces derive as published,
// so a method in the wrong interface or a base missing fails here too.
static_assert(std::is_base_of_v<IRowset, IRowsetLocate> &&
              std::is_base_of_v<ICommand, ICommandText>);
static_assert(std::is_base_of_v<ITransaction, ITransactionLocal> &&
              std::is_base_of_v<IUnknown, IDBInitialize>);
// The SDK overloads QueryInterface with a template, so the published form is picked by cast.
[[maybe_unused]] constexpr auto queryInterface =
    static_cast<HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**)>(&IUnknown::QueryInterface);
static_assert(std::is_same_v<decltype(&IUnknown::AddRef), ULONG (STDMETHODCALLTYPE IUnknown::*)()>);
static_assert(
    std::is_same_v<decltype(&IUnknown::Release), ULONG (STDMETHODCALLTYPE IUnknown::*)()>);
static_assert(
    std::is_same_v<decltype(&IClassFactory::CreateInstance),
                   HRESULT (STDMETHODCALLTYPE IClassFactory::*)(IUnknown*, REFIID, void**)>);
static_assert(std::is_same_v<decltype(&IClassFactory::LockServer),
                             HRESULT (STDMETHODCALLTYPE IClassFactory::*)(BOOL)>);
static_assert(
    std::is_same_v<decltype(&IMalloc::Alloc), void* (STDMETHODCALLTYPE IMalloc::*)(SIZE_T)>);
static_assert(std::is_same_v<decltype(&IMalloc::Realloc),
                             void* (STDMETHODCALLTYPE IMalloc::*)(void*, SIZE_T)>);
static_assert(std::is_same_v<decltype(&IMalloc::Free), void (STDMETHODCALLTYPE IMalloc::*)(void*)>);
static_assert(
    std::is_same_v<decltype(&IMalloc::GetSize), SIZE_T (STDMETHODCALLTYPE IMalloc::*)(void*)>);
static_assert(
    std::is_same_v<decltype(&IMalloc::DidAlloc), int (STDMETHODCALLTYPE IMalloc::*)(void*)>);
static_assert(
    std::is_same_v<decltype(&IMalloc::HeapMinimize), void (STDMETHODCALLTYPE IMalloc::*)()>);
static_assert(std::is_same_v<decltype(&IPersist::GetClassID),
                             HRESULT (STDMETHODCALLTYPE IPersist::*)(CLSID*)>);
static_assert(
    std::is_same_v<decltype(&ISequentialStream::Read),
                   HRESULT (STDMETHODCALLTYPE ISequentialStream::*)(void*, ULONG, ULONG*)>);
static_assert(
    std::is_same_v<decltype(&ISequentialStream::Write),
                   HRESULT (STDMETHODCALLTYPE ISequentialStream::*)(const void*, ULONG, ULONG*)>);
static_assert(
    std::is_same_v<decltype(&IEnumUnknown::Next),
                   HRESULT (STDMETHODCALLTYPE IEnumUnknown::*)(ULONG, IUnknown**, ULONG*)>);
static_assert(std::is_same_v<decltype(&IEnumUnknown::Skip),
                             HRESULT (STDMETHODCALLTYPE IEnumUnknown::*)(ULONG)>);
static_assert(
    std::is_same_v<decltype(&IEnumUnknown::Reset), HRESULT (STDMETHODCALLTYPE IEnumUnknown::*)()>);
static_assert(std::is_same_v<decltype(&IEnumUnknown::Clone),
                             HRESULT (STDMETHODCALLTYPE IEnumUnknown::*)(IEnumUnknown**)>);
static_assert(std::is_same_v<decltype(&IEnumString::Next),
                             HRESULT (STDMETHODCALLTYPE IEnumString::*)(ULONG, LPOLESTR*, ULONG*)>);
static_assert(std::is_same_v<decltype(&IEnumString::Skip),
                             HRESULT (STDMETHODCALLTYPE IEnumString::*)(ULONG)>);
static_assert(
    std::is_same_v<decltype(&IEnumString::Reset), HRESULT (STDMETHODCALLTYPE IEnumString::*)()>);
static_assert(std::is_same_v<decltype(&IEnumString::Clone),
                             HRESULT (STDMETHODCALLTYPE IEnumString::*)(IEnumString**)>);
static_assert(std::is_same_v<decltype(&IDispatch::GetTypeInfoCount),
                             HRESULT (STDMETHODCALLTYPE IDispatch::*)(UINT*)>);
static_assert(std::is_same_v<decltype(&IDispatch::GetTypeInfo),
                             HRESULT (STDMETHODCALLTYPE IDispatch::*)(UINT, LCID, ITypeInfo**)>);
static_assert(std::is_same_v<decltype(&IDispatch::GetIDsOfNames),
                             HRESULT (STDMETHODCALLTYPE IDispatch::*)(REFIID, LPOLESTR*, UINT, LCID,
                                                                      DISPID*)>);
static_assert(
    std::is_same_v<decltype(&IDispatch::Invoke),
                   HRESULT (STDMETHODCALLTYPE IDispatch::*)(DISPID, REFIID, LCID, WORD, DISPPARAMS*,
                                                            VARIANT*, EXCEPINFO*, UINT*)>);
static_assert(std::is_same_v<decltype(&IErrorInfo::GetGUID),
                             HRESULT (STDMETHODCALLTYPE IErrorInfo::*)(GUID*)>);
static_assert(std::is_same_v<decltype(&IErrorInfo::GetSource),
                             HRESULT (STDMETHODCALLTYPE IErrorInfo::*)(BSTR*)>);
static_assert(std::is_same_v<decltype(&IErrorInfo::GetDescription),
                             HRESULT (STDMETHODCALLTYPE IErrorInfo::*)(BSTR*)>);
static_assert(std::is_same_v<decltype(&IErrorInfo::GetHelpFile),
                             HRESULT (STDMETHODCALLTYPE IErrorInfo::*)(BSTR*)>);
static_assert(std::is_same_v<decltype(&IErrorInfo::GetHelpContext),
                             HRESULT (STDMETHODCALLTYPE IErrorInfo::*)(DWORD*)>);
static_assert(std::is_same_v<decltype(&ICreateErrorInfo::SetGUID),
                             HRESULT (STDMETHODCALLTYPE ICreateErrorInfo::*)(REFGUID)>);
static_assert(std::is_same_v<decltype(&ICreateErrorInfo::SetSource),
                             HRESULT (STDMETHODCALLTYPE ICreateErrorInfo::*)(LPOLESTR)>);
static_assert(std::is_same_v<decltype(&ICreateErrorInfo::SetDescription),
                             HRESULT (STDMETHODCALLTYPE ICreateErrorInfo::*)(LPOLESTR)>);
static_assert(std::is_same_v<decltype(&ICreateErrorInfo::SetHelpFile),
                             HRESULT (STDMETHODCALLTYPE ICreateErrorInfo::*)(LPOLESTR)>);
static_assert(std::is_same_v<decltype(&ICreateErrorInfo::SetHelpContext),
                             HRESULT (STDMETHODCALLTYPE ICreateErrorInfo::*)(DWORD)>);
static_assert(std::is_same_v<decltype(&ISupportErrorInfo::InterfaceSupportsErrorInfo),
                             HRESULT (STDMETHODCALLTYPE ISupportErrorInfo::*)(REFIID)>);
static_assert(std::is_same_v<decltype(&ITransaction::Commit),
                             HRESULT (STDMETHODCALLTYPE ITransaction::*)(BOOL, DWORD, DWORD)>);
static_assert(std::is_same_v<decltype(&ITransaction::Abort),
                             HRESULT (STDMETHODCALLTYPE ITransaction::*)(BOID*, BOOL, BOOL)>);
static_assert(std::is_same_v<decltype(&ITransaction::GetTransactionInfo),
                             HRESULT (STDMETHODCALLTYPE ITransaction::*)(XACTTRANSINFO*)>);
static_assert(std::is_same_v<decltype(&ITransactionOptions::SetOptions),
                             HRESULT (STDMETHODCALLTYPE ITransactionOptions::*)(XACTOPT*)>);
static_assert(std::is_same_v<decltype(&ITransactionOptions::GetOptions),
                             HRESULT (STDMETHODCALLTYPE ITransactionOptions::*)(XACTOPT*)>);
static_assert(
    std::is_same_v<decltype(&ITransactionDispenser::GetOptionsObject),
                   HRESULT (STDMETHODCALLTYPE ITransactionDispenser::*)(ITransactionOptions**)>);
static_assert(
    std::is_same_v<decltype(&ITransactionDispenser::BeginTransaction),
                   HRESULT (STDMETHODCALLTYPE ITransactionDispenser::*)(
                       IUnknown*, ISOLEVEL, ULONG, ITransactionOptions*, ITransaction**)>);
static_assert(std::is_same_v<decltype(&IAccessor::AddRefAccessor),
                             HRESULT (STDMETHODCALLTYPE IAccessor::*)(HACCESSOR, DBREFCOUNT*)>);
static_assert(std::is_same_v<decltype(&IAccessor::CreateAccessor),
                             HRESULT (STDMETHODCALLTYPE IAccessor::*)(DBACCESSORFLAGS, DBCOUNTITEM,
                                                                      const DBBINDING*, DBLENGTH,
                                                                      HACCESSOR*, DBBINDSTATUS*)>);
static_assert(std::is_same_v<decltype(&IAccessor::GetBindings),
                             HRESULT (STDMETHODCALLTYPE IAccessor::*)(HACCESSOR, DBACCESSORFLAGS*,
                                                                      DBCOUNTITEM*, DBBINDING**)>);
static_assert(std::is_same_v<decltype(&IAccessor::ReleaseAccessor),
                             HRESULT (STDMETHODCALLTYPE IAccessor::*)(HACCESSOR, DBREFCOUNT*)>);
static_assert(std::is_same_v<decltype(&IRowset::AddRefRows),
                             HRESULT (STDMETHODCALLTYPE IRowset::*)(DBCOUNTITEM, const HROW*,
                                                                    DBREFCOUNT*, DBROWSTATUS*)>);
static_assert(std::is_same_v<decltype(&IRowset::GetData),
                             HRESULT (STDMETHODCALLTYPE IRowset::*)(HROW, HACCESSOR, void*)>);
static_assert(std::is_same_v<decltype(&IRowset::GetNextRows),
                             HRESULT (STDMETHODCALLTYPE IRowset::*)(
                                 HCHAPTER, DBROWOFFSET, DBROWCOUNT, DBCOUNTITEM*, HROW**)>);
static_assert(
    std::is_same_v<decltype(&IRowset::ReleaseRows),
                   HRESULT (STDMETHODCALLTYPE IRowset::*)(DBCOUNTITEM, const HROW*, DBROWOPTIONS*,
                                                          DBREFCOUNT*, DBROWSTATUS*)>);
static_assert(std::is_same_v<decltype(&IRowset::RestartPosition),
                             HRESULT (STDMETHODCALLTYPE IRowset::*)(HCHAPTER)>);
static_assert(std::is_same_v<decltype(&IRowsetInfo::GetProperties),
                             HRESULT (STDMETHODCALLTYPE IRowsetInfo::*)(
                                 const ULONG, const DBPROPIDSET*, ULONG*, DBPROPSET**)>);
static_assert(
    std::is_same_v<decltype(&IRowsetInfo::GetReferencedRowset),
                   HRESULT (STDMETHODCALLTYPE IRowsetInfo::*)(DBORDINAL, REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IRowsetInfo::GetSpecification),
                             HRESULT (STDMETHODCALLTYPE IRowsetInfo::*)(REFIID, IUnknown**)>);
static_assert(
    std::is_same_v<decltype(&IRowsetLocate::Compare),
                   HRESULT (STDMETHODCALLTYPE IRowsetLocate::*)(
                       HCHAPTER, DBBKMARK, const BYTE*, DBBKMARK, const BYTE*, DBCOMPARE*)>);
static_assert(std::is_same_v<decltype(&IRowsetLocate::GetRowsAt),
                             HRESULT (STDMETHODCALLTYPE IRowsetLocate::*)(
                                 HWATCHREGION, HCHAPTER, DBBKMARK, const BYTE*, DBROWOFFSET,
                                 DBROWCOUNT, DBCOUNTITEM*, HROW**)>);
static_assert(
    std::is_same_v<decltype(&IRowsetLocate::GetRowsByBookmark),
                   HRESULT (STDMETHODCALLTYPE IRowsetLocate::*)(
                       HCHAPTER, DBCOUNTITEM, const DBBKMARK*, const BYTE**, HROW*, DBROWSTATUS*)>);
static_assert(
    std::is_same_v<decltype(&IRowsetLocate::Hash), HRESULT (STDMETHODCALLTYPE IRowsetLocate::*)(
                                                       HCHAPTER, DBBKMARK, const DBBKMARK*,
                                                       const BYTE**, DBHASHVALUE*, DBROWSTATUS*)>);
static_assert(
    std::is_same_v<decltype(&IRowsetResynch::GetVisibleData),
                   HRESULT (STDMETHODCALLTYPE IRowsetResynch::*)(HROW, HACCESSOR, void*)>);
static_assert(std::is_same_v<decltype(&IRowsetResynch::ResynchRows),
                             HRESULT (STDMETHODCALLTYPE IRowsetResynch::*)(
                                 DBCOUNTITEM, const HROW*, DBCOUNTITEM*, HROW**, DBROWSTATUS**)>);
static_assert(std::is_same_v<decltype(&IRowsetScroll::GetApproximatePosition),
                             HRESULT (STDMETHODCALLTYPE IRowsetScroll::*)(
                                 HCHAPTER, DBBKMARK, const BYTE*, DBCOUNTITEM*, DBCOUNTITEM*)>);
static_assert(std::is_same_v<decltype(&IRowsetScroll::GetRowsAtRatio),
                             HRESULT (STDMETHODCALLTYPE IRowsetScroll::*)(
                                 HWATCHREGION, HCHAPTER, DBCOUNTITEM, DBCOUNTITEM, DBROWCOUNT,
                                 DBCOUNTITEM*, HROW**)>);
static_assert(
    std::is_same_v<decltype(&IChapteredRowset::AddRefChapter),
                   HRESULT (STDMETHODCALLTYPE IChapteredRowset::*)(HCHAPTER, DBREFCOUNT*)>);
static_assert(
    std::is_same_v<decltype(&IChapteredRowset::ReleaseChapter),
                   HRESULT (STDMETHODCALLTYPE IChapteredRowset::*)(HCHAPTER, DBREFCOUNT*)>);
static_assert(std::is_same_v<decltype(&IRowsetChange::DeleteRows),
                             HRESULT (STDMETHODCALLTYPE IRowsetChange::*)(
                                 HCHAPTER, DBCOUNTITEM, const HROW*, DBROWSTATUS*)>);
static_assert(std::is_same_v<decltype(&IRowsetChange::SetData),
                             HRESULT (STDMETHODCALLTYPE IRowsetChange::*)(HROW, HACCESSOR, void*)>);
static_assert(std::is_same_v<decltype(&IRowsetChange::InsertRow),
                             HRESULT (STDMETHODCALLTYPE IRowsetChange::*)(HCHAPTER, HACCESSOR,
                                                                          void*, HROW*)>);
static_assert(std::is_same_v<decltype(&IRowsetUpdate::GetOriginalData),
                             HRESULT (STDMETHODCALLTYPE IRowsetUpdate::*)(HROW, HACCESSOR, void*)>);
static_assert(
    std::is_same_v<decltype(&IRowsetUpdate::GetPendingRows),
                   HRESULT (STDMETHODCALLTYPE IRowsetUpdate::*)(
                       HCHAPTER, DBPENDINGSTATUS, DBCOUNTITEM*, HROW**, DBPENDINGSTATUS**)>);
static_assert(std::is_same_v<decltype(&IRowsetUpdate::GetRowStatus),
                             HRESULT (STDMETHODCALLTYPE IRowsetUpdate::*)(
                                 HCHAPTER, DBCOUNTITEM, const HROW*, DBPENDINGSTATUS*)>);
static_assert(
    std::is_same_v<decltype(&IRowsetUpdate::Undo),
                   HRESULT (STDMETHODCALLTYPE IRowsetUpdate::*)(
                       HCHAPTER, DBCOUNTITEM, const HROW*, DBCOUNTITEM*, HROW**, DBROWSTATUS**)>);
static_assert(
    std::is_same_v<decltype(&IRowsetUpdate::Update),
                   HRESULT (STDMETHODCALLTYPE IRowsetUpdate::*)(
                       HCHAPTER, DBCOUNTITEM, const HROW*, DBCOUNTITEM*, HROW**, DBROWSTATUS**)>);
static_assert(std::is_same_v<decltype(&IRowsetIdentity::IsSameRow),
                             HRESULT (STDMETHODCALLTYPE IRowsetIdentity::*)(HROW, HROW)>);
static_assert(
    std::is_same_v<decltype(&IRowsetNotify::OnFieldChange),
                   HRESULT (STDMETHODCALLTYPE IRowsetNotify::*)(
                       IRowset*, HROW, DBORDINAL, DBORDINAL*, DBREASON, DBEVENTPHASE, BOOL)>);
static_assert(
    std::is_same_v<decltype(&IRowsetNotify::OnRowChange),
                   HRESULT (STDMETHODCALLTYPE IRowsetNotify::*)(IRowset*, DBCOUNTITEM, const HROW*,
                                                                DBREASON, DBEVENTPHASE, BOOL)>);
static_assert(std::is_same_v<decltype(&IRowsetNotify::OnRowsetChange),
                             HRESULT (STDMETHODCALLTYPE IRowsetNotify::*)(IRowset*, DBREASON,
                                                                          DBEVENTPHASE, BOOL)>);
static_assert(std::is_same_v<decltype(&IRowsetBookmark::PositionOnBookmark),
                             HRESULT (STDMETHODCALLTYPE IRowsetBookmark::*)(HCHAPTER, DBBKMARK,
                                                                            const BYTE*)>);
static_assert(std::is_same_v<decltype(&IRowsetRefresh::RefreshVisibleData),
                             HRESULT (STDMETHODCALLTYPE IRowsetRefresh::*)(
                                 HCHAPTER, DBCOUNTITEM, const HROW*, BOOL, DBCOUNTITEM*, HROW**,
                                 DBROWSTATUS**)>);
static_assert(
    std::is_same_v<decltype(&IRowsetRefresh::GetLastVisibleData),
                   HRESULT (STDMETHODCALLTYPE IRowsetRefresh::*)(HROW, HACCESSOR, void*)>);
static_assert(std::is_same_v<decltype(&IColumnsInfo::GetColumnInfo),
                             HRESULT (STDMETHODCALLTYPE IColumnsInfo::*)(DBORDINAL*, DBCOLUMNINFO**,
                                                                         OLECHAR**)>);
static_assert(std::is_same_v<decltype(&IColumnsInfo::MapColumnIDs),
                             HRESULT (STDMETHODCALLTYPE IColumnsInfo::*)(DBORDINAL, const DBID*,
                                                                         DBORDINAL*)>);
static_assert(std::is_same_v<decltype(&IColumnsRowset::GetAvailableColumns),
                             HRESULT (STDMETHODCALLTYPE IColumnsRowset::*)(DBORDINAL*, DBID**)>);
static_assert(
    std::is_same_v<decltype(&IColumnsRowset::GetColumnsRowset),
                   HRESULT (STDMETHODCALLTYPE IColumnsRowset::*)(
                       IUnknown*, DBORDINAL, const DBID*, REFIID, ULONG, DBPROPSET*, IUnknown**)>);
static_assert(
    std::is_same_v<decltype(&IConvertType::CanConvert),
                   HRESULT (STDMETHODCALLTYPE IConvertType::*)(DBTYPE, DBTYPE, DBCONVERTFLAGS)>);
static_assert(
    std::is_same_v<decltype(&ICommand::Cancel), HRESULT (STDMETHODCALLTYPE ICommand::*)()>);
static_assert(std::is_same_v<decltype(&ICommand::Execute),
                             HRESULT (STDMETHODCALLTYPE ICommand::*)(IUnknown*, REFIID, DBPARAMS*,
                                                                     DBROWCOUNT*, IUnknown**)>);
static_assert(std::is_same_v<decltype(&ICommand::GetDBSession),
                             HRESULT (STDMETHODCALLTYPE ICommand::*)(REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IMultipleResults::GetResult),
                             HRESULT (STDMETHODCALLTYPE IMultipleResults::*)(
                                 IUnknown*, DBRESULTFLAG, REFIID, DBROWCOUNT*, IUnknown**)>);
static_assert(std::is_same_v<decltype(&ICommandPrepare::Prepare),
                             HRESULT (STDMETHODCALLTYPE ICommandPrepare::*)(ULONG)>);
static_assert(std::is_same_v<decltype(&ICommandPrepare::Unprepare),
                             HRESULT (STDMETHODCALLTYPE ICommandPrepare::*)()>);
static_assert(std::is_same_v<decltype(&ICommandProperties::GetProperties),
                             HRESULT (STDMETHODCALLTYPE ICommandProperties::*)(
                                 const ULONG, const DBPROPIDSET*, ULONG*, DBPROPSET**)>);
static_assert(std::is_same_v<decltype(&ICommandProperties::SetProperties),
                             HRESULT (STDMETHODCALLTYPE ICommandProperties::*)(ULONG, DBPROPSET*)>);
static_assert(std::is_same_v<decltype(&ICommandText::GetCommandText),
                             HRESULT (STDMETHODCALLTYPE ICommandText::*)(GUID*, LPOLESTR*)>);
static_assert(std::is_same_v<decltype(&ICommandText::SetCommandText),
                             HRESULT (STDMETHODCALLTYPE ICommandText::*)(REFGUID, LPCOLESTR)>);
static_assert(std::is_same_v<decltype(&ICommandWithParameters::GetParameterInfo),
                             HRESULT (STDMETHODCALLTYPE ICommandWithParameters::*)(
                                 DB_UPARAMS*, DBPARAMINFO**, OLECHAR**)>);
static_assert(std::is_same_v<decltype(&ICommandWithParameters::MapParameterNames),
                             HRESULT (STDMETHODCALLTYPE ICommandWithParameters::*)(
                                 DB_UPARAMS, const OLECHAR**, DB_LPARAMS*)>);
static_assert(std::is_same_v<decltype(&ICommandWithParameters::SetParameterInfo),
                             HRESULT (STDMETHODCALLTYPE ICommandWithParameters::*)(
                                 DB_UPARAMS, const DB_UPARAMS*, const DBPARAMBINDINFO*)>);
static_assert(std::is_same_v<decltype(&ICommandPersist::DeleteCommand),
                             HRESULT (STDMETHODCALLTYPE ICommandPersist::*)(DBID*)>);
static_assert(std::is_same_v<decltype(&ICommandPersist::GetCurrentCommand),
                             HRESULT (STDMETHODCALLTYPE ICommandPersist::*)(DBID**)>);
static_assert(std::is_same_v<decltype(&ICommandPersist::LoadCommand),
                             HRESULT (STDMETHODCALLTYPE ICommandPersist::*)(DBID*, DWORD)>);
static_assert(std::is_same_v<decltype(&ICommandPersist::SaveCommand),
                             HRESULT (STDMETHODCALLTYPE ICommandPersist::*)(DBID*, DWORD)>);
static_assert(std::is_same_v<decltype(&IDBInitialize::Initialize),
                             HRESULT (STDMETHODCALLTYPE IDBInitialize::*)()>);
static_assert(std::is_same_v<decltype(&IDBInitialize::Uninitialize),
                             HRESULT (STDMETHODCALLTYPE IDBInitialize::*)()>);
static_assert(std::is_same_v<decltype(&IDBProperties::GetProperties),
                             HRESULT (STDMETHODCALLTYPE IDBProperties::*)(ULONG, const DBPROPIDSET*,
                                                                          ULONG*, DBPROPSET**)>);
static_assert(std::is_same_v<decltype(&IDBProperties::GetPropertyInfo),
                             HRESULT (STDMETHODCALLTYPE IDBProperties::*)(
                                 ULONG, const DBPROPIDSET*, ULONG*, DBPROPINFOSET**, OLECHAR**)>);
static_assert(std::is_same_v<decltype(&IDBProperties::SetProperties),
                             HRESULT (STDMETHODCALLTYPE IDBProperties::*)(ULONG, DBPROPSET*)>);
static_assert(
    std::is_same_v<decltype(&IDBCreateSession::CreateSession),
                   HRESULT (STDMETHODCALLTYPE IDBCreateSession::*)(IUnknown*, REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IDBInfo::GetKeywords),
                             HRESULT (STDMETHODCALLTYPE IDBInfo::*)(LPOLESTR*)>);
static_assert(std::is_same_v<decltype(&IDBInfo::GetLiteralInfo),
                             HRESULT (STDMETHODCALLTYPE IDBInfo::*)(ULONG, const DBLITERAL*, ULONG*,
                                                                    DBLITERALINFO**, OLECHAR**)>);
static_assert(std::is_same_v<decltype(&IDBDataSourceAdmin::CreateDataSource),
                             HRESULT (STDMETHODCALLTYPE IDBDataSourceAdmin::*)(
                                 ULONG, DBPROPSET*, IUnknown*, REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IDBDataSourceAdmin::DestroyDataSource),
                             HRESULT (STDMETHODCALLTYPE IDBDataSourceAdmin::*)()>);
static_assert(std::is_same_v<decltype(&IDBDataSourceAdmin::GetCreationProperties),
                             HRESULT (STDMETHODCALLTYPE IDBDataSourceAdmin::*)(
                                 ULONG, const DBPROPIDSET*, ULONG*, DBPROPINFOSET**, OLECHAR**)>);
static_assert(std::is_same_v<decltype(&IDBDataSourceAdmin::ModifyDataSource),
                             HRESULT (STDMETHODCALLTYPE IDBDataSourceAdmin::*)(ULONG, DBPROPSET*)>);
static_assert(std::is_same_v<decltype(&ISourcesRowset::GetSourcesRowset),
                             HRESULT (STDMETHODCALLTYPE ISourcesRowset::*)(
                                 IUnknown*, REFIID, ULONG, DBPROPSET*, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IGetDataSource::GetDataSource),
                             HRESULT (STDMETHODCALLTYPE IGetDataSource::*)(REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IOpenRowset::OpenRowset),
                             HRESULT (STDMETHODCALLTYPE IOpenRowset::*)(
                                 IUnknown*, DBID*, DBID*, REFIID, ULONG, DBPROPSET*, IUnknown**)>);
static_assert(std::is_same_v<decltype(&ISessionProperties::GetProperties),
                             HRESULT (STDMETHODCALLTYPE ISessionProperties::*)(
                                 ULONG, const DBPROPIDSET*, ULONG*, DBPROPSET**)>);
static_assert(std::is_same_v<decltype(&ISessionProperties::SetProperties),
                             HRESULT (STDMETHODCALLTYPE ISessionProperties::*)(ULONG, DBPROPSET*)>);
static_assert(
    std::is_same_v<decltype(&IDBCreateCommand::CreateCommand),
                   HRESULT (STDMETHODCALLTYPE IDBCreateCommand::*)(IUnknown*, REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IDBSchemaRowset::GetRowset),
                             HRESULT (STDMETHODCALLTYPE IDBSchemaRowset::*)(
                                 IUnknown*, REFGUID, ULONG, const VARIANT*, REFIID, ULONG,
                                 DBPROPSET*, IUnknown**)>);
static_assert(
    std::is_same_v<decltype(&IDBSchemaRowset::GetSchemas),
                   HRESULT (STDMETHODCALLTYPE IDBSchemaRowset::*)(ULONG*, GUID**, ULONG**)>);
static_assert(std::is_same_v<decltype(&ITableDefinition::CreateTable),
                             HRESULT (STDMETHODCALLTYPE ITableDefinition::*)(
                                 IUnknown*, DBID*, DBORDINAL, const DBCOLUMNDESC*, REFIID, ULONG,
                                 DBPROPSET*, DBID**, IUnknown**)>);
static_assert(std::is_same_v<decltype(&ITableDefinition::DropTable),
                             HRESULT (STDMETHODCALLTYPE ITableDefinition::*)(DBID*)>);
static_assert(
    std::is_same_v<decltype(&ITableDefinition::AddColumn),
                   HRESULT (STDMETHODCALLTYPE ITableDefinition::*)(DBID*, DBCOLUMNDESC*, DBID**)>);
static_assert(std::is_same_v<decltype(&ITableDefinition::DropColumn),
                             HRESULT (STDMETHODCALLTYPE ITableDefinition::*)(DBID*, DBID*)>);
static_assert(std::is_same_v<decltype(&IIndexDefinition::CreateIndex),
                             HRESULT (STDMETHODCALLTYPE IIndexDefinition::*)(
                                 DBID*, DBID*, DBORDINAL, const DBINDEXCOLUMNDESC*, ULONG,
                                 DBPROPSET*, DBID**)>);
static_assert(std::is_same_v<decltype(&IIndexDefinition::DropIndex),
                             HRESULT (STDMETHODCALLTYPE IIndexDefinition::*)(DBID*, DBID*)>);
static_assert(
    std::is_same_v<decltype(&ITransactionLocal::GetOptionsObject),
                   HRESULT (STDMETHODCALLTYPE ITransactionLocal::*)(ITransactionOptions**)>);
static_assert(std::is_same_v<decltype(&ITransactionLocal::StartTransaction),
                             HRESULT (STDMETHODCALLTYPE ITransactionLocal::*)(
                                 ISOLEVEL, ULONG, ITransactionOptions*, ULONG*)>);
static_assert(
    std::is_same_v<decltype(&ITransactionJoin::GetOptionsObject),
                   HRESULT (STDMETHODCALLTYPE ITransactionJoin::*)(ITransactionOptions**)>);
static_assert(std::is_same_v<decltype(&ITransactionJoin::JoinTransaction),
                             HRESULT (STDMETHODCALLTYPE ITransactionJoin::*)(
                                 IUnknown*, ISOLEVEL, ULONG, ITransactionOptions*)>);
static_assert(
    std::is_same_v<decltype(&ITransactionObject::GetTransactionObject),
                   HRESULT (STDMETHODCALLTYPE ITransactionObject::*)(ULONG, ITransaction**)>);
static_assert(std::is_same_v<decltype(&IErrorRecords::AddErrorRecord),
                             HRESULT (STDMETHODCALLTYPE IErrorRecords::*)(
                                 ERRORINFO*, DWORD, DISPPARAMS*, IUnknown*, DWORD)>);
static_assert(std::is_same_v<decltype(&IErrorRecords::GetBasicErrorInfo),
                             HRESULT (STDMETHODCALLTYPE IErrorRecords::*)(ULONG, ERRORINFO*)>);
static_assert(
    std::is_same_v<decltype(&IErrorRecords::GetCustomErrorObject),
                   HRESULT (STDMETHODCALLTYPE IErrorRecords::*)(ULONG, REFIID, IUnknown**)>);
static_assert(
    std::is_same_v<decltype(&IErrorRecords::GetErrorInfo),
                   HRESULT (STDMETHODCALLTYPE IErrorRecords::*)(ULONG, LCID, IErrorInfo**)>);
static_assert(std::is_same_v<decltype(&IErrorRecords::GetErrorParameters),
                             HRESULT (STDMETHODCALLTYPE IErrorRecords::*)(ULONG, DISPPARAMS*)>);
static_assert(std::is_same_v<decltype(&IErrorRecords::GetRecordCount),
                             HRESULT (STDMETHODCALLTYPE IErrorRecords::*)(ULONG*)>);
static_assert(std::is_same_v<decltype(&IErrorLookup::GetErrorDescription),
                             HRESULT (STDMETHODCALLTYPE IErrorLookup::*)(
                                 HRESULT, DWORD, DISPPARAMS*, LCID, BSTR*, BSTR*)>);
static_assert(std::is_same_v<decltype(&IErrorLookup::GetHelpInfo),
                             HRESULT (STDMETHODCALLTYPE IErrorLookup::*)(HRESULT, DWORD, LCID,
                                                                         BSTR*, DWORD*)>);
static_assert(std::is_same_v<decltype(&IErrorLookup::ReleaseErrors),
                             HRESULT (STDMETHODCALLTYPE IErrorLookup::*)(const DWORD)>);
static_assert(std::is_same_v<decltype(&ISQLErrorInfo::GetSQLInfo),
                             HRESULT (STDMETHODCALLTYPE ISQLErrorInfo::*)(BSTR*, LONG*)>);
static_assert(std::is_same_v<decltype(&IDBPromptInitialize::PromptDataSource),
                             HRESULT (STDMETHODCALLTYPE IDBPromptInitialize::*)(
                                 IUnknown*, HWND, DBPROMPTOPTIONS, ULONG, DBSOURCETYPE*, LPCOLESTR,
                                 REFIID, IUnknown**)>);
static_assert(std::is_same_v<decltype(&IDBPromptInitialize::PromptFileName),
                             HRESULT (STDMETHODCALLTYPE IDBPromptInitialize::*)(
                                 HWND, DBPROMPTOPTIONS, LPCOLESTR, LPCOLESTR, LPOLESTR*)>);
static_assert(std::is_same_v<decltype(&IDataInitialize::GetDataSource),
                             HRESULT (STDMETHODCALLTYPE IDataInitialize::*)(
                                 IUnknown*, DWORD, LPCOLESTR, REFIID, IUnknown**)>);
static_assert(
    std::is_same_v<decltype(&IDataInitialize::GetInitializationString),
                   HRESULT (STDMETHODCALLTYPE IDataInitialize::*)(IUnknown*, boolean, LPOLESTR*)>);
static_assert(std::is_same_v<decltype(&IDataInitialize::CreateDBInstance),
                             HRESULT (STDMETHODCALLTYPE IDataInitialize::*)(
                                 REFCLSID, IUnknown*, DWORD, LPOLESTR, REFIID, IUnknown**)>);
static_assert(
    std::is_same_v<decltype(&IDataInitialize::CreateDBInstanceEx),
                   HRESULT (STDMETHODCALLTYPE IDataInitialize::*)(
                       REFCLSID, IUnknown*, DWORD, LPOLESTR, COSERVERINFO*, ULONG, MULTI_QI*)>);
static_assert(std::is_same_v<decltype(&IDataInitialize::LoadStringFromStorage),
                             HRESULT (STDMETHODCALLTYPE IDataInitialize::*)(LPCOLESTR, LPOLESTR*)>);
static_assert(
    std::is_same_v<decltype(&IDataInitialize::WriteStringToStorage),
                   HRESULT (STDMETHODCALLTYPE IDataInitialize::*)(LPCOLESTR, LPCOLESTR, DWORD)>);

// Structure sizes and field offsets of the x64 ABI.
// Members reached through the anonymous unions of VARIANT and DECIMAL.
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, wReserved1) == 2);
static_assert(offsetof(VARIANT, lVal) == 8 && offsetof(VARIANT, llVal) == 8);
static_assert(offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, boolVal) == 8);
static_assert(offsetof(VARIANT, punkVal) == 8 && offsetof(VARIANT, dblVal) == 8);
static_assert(offsetof(VARIANT, pvRecord) == 8 && offsetof(VARIANT, pRecInfo) == 16);
static_assert(offsetof(VARIANT, decVal) == 0 && sizeof(VARIANT) == 24);
static_assert(offsetof(DECIMAL, scale) == 2 && offsetof(DECIMAL, sign) == 3);
static_assert(offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo64) == 8);
static_assert(offsetof(DECIMAL, Lo32) == 8 && offsetof(DECIMAL, Mid32) == 12);
static_assert(sizeof(CY) == 8 && offsetof(CY, Lo) == 0 && offsetof(CY, Hi) == 4);
static_assert(offsetof(DBID, uName) == 24 && offsetof(DBID, eKind) == 16);
static_assert(sizeof(GUID) == 16);
static_assert(offsetof(GUID, Data1) == 0);
static_assert(offsetof(GUID, Data2) == 4);
static_assert(offsetof(GUID, Data3) == 6);
static_assert(offsetof(GUID, Data4) == 8);
static_assert(sizeof(FILETIME) == 8);
static_assert(offsetof(FILETIME, dwLowDateTime) == 0);
static_assert(offsetof(FILETIME, dwHighDateTime) == 4);
static_assert(sizeof(DECIMAL) == 16);
static_assert(offsetof(DECIMAL, wReserved) == 0);
static_assert(offsetof(DECIMAL, Hi32) == 4);
static_assert(sizeof(COSERVERINFO) == 32);
static_assert(offsetof(COSERVERINFO, dwReserved1) == 0);
static_assert(offsetof(COSERVERINFO, pwszName) == 8);
static_assert(offsetof(COSERVERINFO, pAuthInfo) == 16);
static_assert(offsetof(COSERVERINFO, dwReserved2) == 24);
static_assert(sizeof(MULTI_QI) == 24);
static_assert(offsetof(MULTI_QI, pIID) == 0);
static_assert(offsetof(MULTI_QI, pItf) == 8);
static_assert(offsetof(MULTI_QI, hr) == 16);
static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(offsetof(SAFEARRAYBOUND, cElements) == 0);
static_assert(offsetof(SAFEARRAYBOUND, lLbound) == 4);
static_assert(sizeof(SAFEARRAY) == 32);
static_assert(offsetof(SAFEARRAY, cDims) == 0);
static_assert(offsetof(SAFEARRAY, fFeatures) == 2);
static_assert(offsetof(SAFEARRAY, cbElements) == 4);
static_assert(offsetof(SAFEARRAY, cLocks) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == 16);
static_assert(offsetof(SAFEARRAY, rgsabound) == 24);
static_assert(sizeof(VARIANT) == 24);
static_assert(sizeof(DISPPARAMS) == 24);
static_assert(offsetof(DISPPARAMS, rgvarg) == 0);
static_assert(offsetof(DISPPARAMS, rgdispidNamedArgs) == 8);
static_assert(offsetof(DISPPARAMS, cArgs) == 16);
static_assert(offsetof(DISPPARAMS, cNamedArgs) == 20);
static_assert(sizeof(EXCEPINFO) == 64);
static_assert(offsetof(EXCEPINFO, wCode) == 0);
static_assert(offsetof(EXCEPINFO, wReserved) == 2);
static_assert(offsetof(EXCEPINFO, bstrSource) == 8);
static_assert(offsetof(EXCEPINFO, bstrDescription) == 16);
static_assert(offsetof(EXCEPINFO, bstrHelpFile) == 24);
static_assert(offsetof(EXCEPINFO, dwHelpContext) == 32);
static_assert(offsetof(EXCEPINFO, pvReserved) == 40);
static_assert(offsetof(EXCEPINFO, scode) == 56);
static_assert(sizeof(BOID) == 16);
static_assert(offsetof(BOID, rgb) == 0);
static_assert(sizeof(XACTTRANSINFO) == 40);
static_assert(offsetof(XACTTRANSINFO, uow) == 0);
static_assert(offsetof(XACTTRANSINFO, isoLevel) == 16);
static_assert(offsetof(XACTTRANSINFO, isoFlags) == 20);
static_assert(offsetof(XACTTRANSINFO, grfTCSupported) == 24);
static_assert(offsetof(XACTTRANSINFO, grfRMSupported) == 28);
static_assert(offsetof(XACTTRANSINFO, grfTCSupportedRetaining) == 32);
static_assert(offsetof(XACTTRANSINFO, grfRMSupportedRetaining) == 36);
static_assert(sizeof(XACTSTATS) == 36);
static_assert(offsetof(XACTSTATS, cOpen) == 0);
static_assert(offsetof(XACTSTATS, cCommitting) == 4);
static_assert(offsetof(XACTSTATS, cCommitted) == 8);
static_assert(offsetof(XACTSTATS, cAborting) == 12);
static_assert(offsetof(XACTSTATS, cAborted) == 16);
static_assert(offsetof(XACTSTATS, cInDoubt) == 20);
static_assert(offsetof(XACTSTATS, cHeuristicDecision) == 24);
static_assert(offsetof(XACTSTATS, timeTransactionsUp) == 28);
static_assert(sizeof(XACTOPT) == 44);
static_assert(offsetof(XACTOPT, ulTimeout) == 0);
static_assert(offsetof(XACTOPT, szDescription) == 4);
static_assert(sizeof(DBID) == 32);
static_assert(offsetof(DBID, uGuid) == 0);
static_assert(offsetof(DBID, eKind) == 16);
static_assert(offsetof(DBID, uName) == 24);
static_assert(sizeof(DBDATE) == 6);
static_assert(offsetof(DBDATE, year) == 0);
static_assert(offsetof(DBDATE, month) == 2);
static_assert(offsetof(DBDATE, day) == 4);
static_assert(sizeof(DBTIME) == 6);
static_assert(offsetof(DBTIME, hour) == 0);
static_assert(offsetof(DBTIME, minute) == 2);
static_assert(offsetof(DBTIME, second) == 4);
static_assert(sizeof(DBTIMESTAMP) == 16);
static_assert(offsetof(DBTIMESTAMP, year) == 0);
static_assert(offsetof(DBTIMESTAMP, month) == 2);
static_assert(offsetof(DBTIMESTAMP, day) == 4);
static_assert(offsetof(DBTIMESTAMP, hour) == 6);
static_assert(offsetof(DBTIMESTAMP, minute) == 8);
static_assert(offsetof(DBTIMESTAMP, second) == 10);
static_assert(offsetof(DBTIMESTAMP, fraction) == 12);
static_assert(sizeof(DB_NUMERIC) == 19);
static_assert(offsetof(DB_NUMERIC, precision) == 0);
static_assert(offsetof(DB_NUMERIC, scale) == 1);
static_assert(offsetof(DB_NUMERIC, sign) == 2);
static_assert(offsetof(DB_NUMERIC, val) == 3);
static_assert(sizeof(DB_VARNUMERIC) == 4);
static_assert(offsetof(DB_VARNUMERIC, precision) == 0);
static_assert(offsetof(DB_VARNUMERIC, scale) == 1);
static_assert(offsetof(DB_VARNUMERIC, sign) == 2);
static_assert(offsetof(DB_VARNUMERIC, val) == 3);
static_assert(sizeof(DBVECTOR) == 16);
static_assert(offsetof(DBVECTOR, size) == 0);
static_assert(offsetof(DBVECTOR, ptr) == 8);
static_assert(sizeof(DBOBJECT) == 20);
static_assert(offsetof(DBOBJECT, dwFlags) == 0);
static_assert(offsetof(DBOBJECT, iid) == 4);
static_assert(sizeof(DBBINDEXT) == 16);
static_assert(offsetof(DBBINDEXT, pExtension) == 0);
static_assert(offsetof(DBBINDEXT, ulExtension) == 8);
static_assert(sizeof(DBBINDING) == 88);
static_assert(offsetof(DBBINDING, iOrdinal) == 0);
static_assert(offsetof(DBBINDING, obValue) == 8);
static_assert(offsetof(DBBINDING, obLength) == 16);
static_assert(offsetof(DBBINDING, obStatus) == 24);
static_assert(offsetof(DBBINDING, pTypeInfo) == 32);
static_assert(offsetof(DBBINDING, pObject) == 40);
static_assert(offsetof(DBBINDING, pBindExt) == 48);
static_assert(offsetof(DBBINDING, dwPart) == 56);
static_assert(offsetof(DBBINDING, dwMemOwner) == 60);
static_assert(offsetof(DBBINDING, eParamIO) == 64);
static_assert(offsetof(DBBINDING, cbMaxLen) == 72);
static_assert(offsetof(DBBINDING, dwFlags) == 80);
static_assert(offsetof(DBBINDING, wType) == 84);
static_assert(offsetof(DBBINDING, bPrecision) == 86);
static_assert(offsetof(DBBINDING, bScale) == 87);
static_assert(sizeof(DBCOLUMNINFO) == 80);
static_assert(offsetof(DBCOLUMNINFO, pwszName) == 0);
static_assert(offsetof(DBCOLUMNINFO, pTypeInfo) == 8);
static_assert(offsetof(DBCOLUMNINFO, iOrdinal) == 16);
static_assert(offsetof(DBCOLUMNINFO, dwFlags) == 24);
static_assert(offsetof(DBCOLUMNINFO, ulColumnSize) == 32);
static_assert(offsetof(DBCOLUMNINFO, wType) == 40);
static_assert(offsetof(DBCOLUMNINFO, bPrecision) == 42);
static_assert(offsetof(DBCOLUMNINFO, bScale) == 43);
static_assert(offsetof(DBCOLUMNINFO, columnid) == 48);
static_assert(sizeof(DBPARAMINFO) == 48);
static_assert(offsetof(DBPARAMINFO, dwFlags) == 0);
static_assert(offsetof(DBPARAMINFO, iOrdinal) == 8);
static_assert(offsetof(DBPARAMINFO, pwszName) == 16);
static_assert(offsetof(DBPARAMINFO, pTypeInfo) == 24);
static_assert(offsetof(DBPARAMINFO, ulParamSize) == 32);
static_assert(offsetof(DBPARAMINFO, wType) == 40);
static_assert(offsetof(DBPARAMINFO, bPrecision) == 42);
static_assert(offsetof(DBPARAMINFO, bScale) == 43);
static_assert(sizeof(DBPARAMS) == 24);
static_assert(offsetof(DBPARAMS, pData) == 0);
static_assert(offsetof(DBPARAMS, cParamSets) == 8);
static_assert(offsetof(DBPARAMS, hAccessor) == 16);
static_assert(sizeof(DBPARAMBINDINFO) == 32);
static_assert(offsetof(DBPARAMBINDINFO, pwszDataSourceType) == 0);
static_assert(offsetof(DBPARAMBINDINFO, pwszName) == 8);
static_assert(offsetof(DBPARAMBINDINFO, ulParamSize) == 16);
static_assert(offsetof(DBPARAMBINDINFO, dwFlags) == 24);
static_assert(offsetof(DBPARAMBINDINFO, bPrecision) == 28);
static_assert(offsetof(DBPARAMBINDINFO, bScale) == 29);
static_assert(sizeof(DBPROP) == 72);
static_assert(offsetof(DBPROP, dwPropertyID) == 0);
static_assert(offsetof(DBPROP, dwOptions) == 4);
static_assert(offsetof(DBPROP, dwStatus) == 8);
static_assert(offsetof(DBPROP, colid) == 16);
static_assert(offsetof(DBPROP, vValue) == 48);
static_assert(sizeof(DBPROPSET) == 32);
static_assert(offsetof(DBPROPSET, rgProperties) == 0);
static_assert(offsetof(DBPROPSET, cProperties) == 8);
static_assert(offsetof(DBPROPSET, guidPropertySet) == 12);
static_assert(sizeof(DBPROPIDSET) == 32);
static_assert(offsetof(DBPROPIDSET, rgPropertyIDs) == 0);
static_assert(offsetof(DBPROPIDSET, cPropertyIDs) == 8);
static_assert(offsetof(DBPROPIDSET, guidPropertySet) == 12);
static_assert(sizeof(DBPROPINFO) == 48);
static_assert(offsetof(DBPROPINFO, pwszDescription) == 0);
static_assert(offsetof(DBPROPINFO, dwPropertyID) == 8);
static_assert(offsetof(DBPROPINFO, dwFlags) == 12);
static_assert(offsetof(DBPROPINFO, vtType) == 16);
static_assert(offsetof(DBPROPINFO, vValues) == 24);
static_assert(sizeof(DBPROPINFOSET) == 32);
static_assert(offsetof(DBPROPINFOSET, rgPropertyInfos) == 0);
static_assert(offsetof(DBPROPINFOSET, cPropertyInfos) == 8);
static_assert(offsetof(DBPROPINFOSET, guidPropertySet) == 12);
static_assert(sizeof(DBINDEXCOLUMNDESC) == 16);
static_assert(offsetof(DBINDEXCOLUMNDESC, pColumnID) == 0);
static_assert(offsetof(DBINDEXCOLUMNDESC, eIndexColOrder) == 8);
static_assert(sizeof(DBCOLUMNDESC) == 88);
static_assert(offsetof(DBCOLUMNDESC, pwszTypeName) == 0);
static_assert(offsetof(DBCOLUMNDESC, pTypeInfo) == 8);
static_assert(offsetof(DBCOLUMNDESC, rgPropertySets) == 16);
static_assert(offsetof(DBCOLUMNDESC, pclsid) == 24);
static_assert(offsetof(DBCOLUMNDESC, cPropertySets) == 32);
static_assert(offsetof(DBCOLUMNDESC, ulColumnSize) == 40);
static_assert(offsetof(DBCOLUMNDESC, dbcid) == 48);
static_assert(offsetof(DBCOLUMNDESC, wType) == 80);
static_assert(offsetof(DBCOLUMNDESC, bPrecision) == 82);
static_assert(offsetof(DBCOLUMNDESC, bScale) == 83);
static_assert(sizeof(DBCOLUMNACCESS) == 80);
static_assert(offsetof(DBCOLUMNACCESS, pData) == 0);
static_assert(offsetof(DBCOLUMNACCESS, columnid) == 8);
static_assert(offsetof(DBCOLUMNACCESS, cbDataLen) == 40);
static_assert(offsetof(DBCOLUMNACCESS, dwStatus) == 48);
static_assert(offsetof(DBCOLUMNACCESS, cbMaxLen) == 56);
static_assert(offsetof(DBCOLUMNACCESS, dwReserved) == 64);
static_assert(offsetof(DBCOLUMNACCESS, wType) == 72);
static_assert(offsetof(DBCOLUMNACCESS, bPrecision) == 74);
static_assert(offsetof(DBCOLUMNACCESS, bScale) == 75);
static_assert(sizeof(DBFAILUREINFO) == 24);
static_assert(offsetof(DBFAILUREINFO, hRow) == 0);
static_assert(offsetof(DBFAILUREINFO, iColumn) == 8);
static_assert(offsetof(DBFAILUREINFO, failure) == 16);
static_assert(sizeof(DBIMPLICITSESSION) == 24);
static_assert(offsetof(DBIMPLICITSESSION, pUnkOuter) == 0);
static_assert(offsetof(DBIMPLICITSESSION, piid) == 8);
static_assert(offsetof(DBIMPLICITSESSION, pSession) == 16);
static_assert(sizeof(DBLITERALINFO) == 40);
static_assert(offsetof(DBLITERALINFO, pwszLiteralValue) == 0);
static_assert(offsetof(DBLITERALINFO, pwszInvalidChars) == 8);
static_assert(offsetof(DBLITERALINFO, pwszInvalidStartingChars) == 16);
static_assert(offsetof(DBLITERALINFO, lt) == 24);
static_assert(offsetof(DBLITERALINFO, fSupported) == 28);
static_assert(offsetof(DBLITERALINFO, cchMaxLen) == 32);
static_assert(sizeof(ERRORINFO) == 44);
static_assert(offsetof(ERRORINFO, hrError) == 0);
static_assert(offsetof(ERRORINFO, dwMinor) == 4);
static_assert(offsetof(ERRORINFO, clsid) == 8);
static_assert(offsetof(ERRORINFO, iid) == 24);
static_assert(offsetof(ERRORINFO, dispid) == 40);

// GUID constants exist and are GUIDs (their values are checked at run time by com_tests).
namespace {
[[maybe_unused]] const GUID* const namedGuids[] = {&IID_IUnknown,
                                                   &IID_IClassFactory,
                                                   &IID_IMalloc,
                                                   &IID_IPersist,
                                                   &IID_IErrorInfo,
                                                   &IID_ICreateErrorInfo,
                                                   &IID_ISupportErrorInfo,
                                                   &IID_ISequentialStream,
                                                   &IID_IDBInitialize,
                                                   &IID_IDBProperties,
                                                   &IID_IDBCreateSession,
                                                   &IID_IDBInfo,
                                                   &IID_IGetDataSource,
                                                   &IID_IOpenRowset,
                                                   &IID_ISessionProperties,
                                                   &IID_IDBCreateCommand,
                                                   &IID_ITableDefinition,
                                                   &IID_ITransaction,
                                                   &IID_ITransactionLocal,
                                                   &IID_ITransactionOptions,
                                                   &IID_ICommand,
                                                   &IID_ICommandText,
                                                   &IID_ICommandProperties,
                                                   &IID_ICommandPrepare,
                                                   &IID_ICommandWithParameters,
                                                   &IID_IAccessor,
                                                   &IID_IColumnsInfo,
                                                   &IID_IConvertType,
                                                   &IID_IRowset,
                                                   &IID_IRowsetInfo,
                                                   &IID_IRowsetChange,
                                                   &IID_IRowsetLocate,
                                                   &IID_IRowsetUpdate,
                                                   &IID_IRowsetIdentity,
                                                   &IID_ISourcesRowset,
                                                   &IID_IDataInitialize,
                                                   &IID_IDBPromptInitialize,
                                                   &IID_IErrorRecords,
                                                   &IID_IDBSchemaRowset,
                                                   &IID_IMultipleResults,
                                                   &IID_ISQLErrorInfo,
                                                   &CLSID_OLEDB_ENUMERATOR,
                                                   &CLSID_MSDAINITIALIZE,
                                                   &CLSID_DataLinks,
                                                   &DBPROPSET_ROWSET,
                                                   &DBPROPSET_DATASOURCEINFO,
                                                   &DBPROPSET_DBINIT,
                                                   &DBPROPSET_COLUMN,
                                                   &DBPROPSET_DATASOURCE,
                                                   &DBPROPSET_SESSION,
                                                   &DBPROPSET_PROPERTIESINERROR,
                                                   &DBPROPSET_DBINITALL,
                                                   &DBGUID_DBSQL,
                                                   &DBGUID_DEFAULT,
                                                   &DBGUID_SQL,
                                                   &DBSCHEMA_TABLES,
                                                   &DBSCHEMA_COLUMNS,
                                                   &DBSCHEMA_PROVIDER_TYPES,
                                                   &IID_NULL,
                                                   &GUID_NULL};
[[maybe_unused]] const DBID* const nullColumnId = &DB_NULLID;
[[maybe_unused]] bool sameGuid(REFGUID a, REFGUID b) {
    return a == b && IsEqualGUID(a, b) && IsEqualIID(a, b) && IsEqualCLSID(a, b);
}
[[maybe_unused]] const OLECHAR* const wideLiteral = OLESTR("Vantrel");
} // namespace
