// The kit's OLE DB objects end to end, through CoCreateInstance and the published interfaces,
// over the in-memory test backend: initialisation and information properties, commands with
// parameters, updatable rowsets under both concurrency policies, transactions, tables and
// error objects.
#include "MemoryBackend.h"

#include "kit/KitCom.h"
#include "kit/KitProvider.h"
#include "kit/Properties.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace vantrel::kit;

namespace {

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
        ASSERT_EQ(registerKitProvider(memdb::descriptor()), S_OK);
    }
    void TearDown() override {
        unregisterKitProvider(memdb::descriptor());
        CoUninitialize();
    }
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

template <class I> I* query(IUnknown* from, REFIID iid) {
    I* out = nullptr;
    EXPECT_EQ(from->QueryInterface(iid, reinterpret_cast<void**>(&out)), S_OK);
    return out;
}

DBPROP property(DBPROPID id, VARTYPE type, LONG integer = 0, const char16_t* text = nullptr) {
    DBPROP p{};
    p.dwPropertyID = id;
    p.dwOptions = DBPROPOPTIONS_REQUIRED;
    VariantInit(&p.vValue);
    p.vValue.vt = type;
    if (type == VT_BOOL)
        p.vValue.boolVal = integer ? VARIANT_TRUE : VARIANT_FALSE;
    else if (type == VT_I4)
        p.vValue.lVal = integer;
    else if (type == VT_BSTR)
        p.vValue.bstrVal = SysAllocString(text);
    return p;
}

std::u16string errorDescription(std::u16string* source = nullptr) {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return u"<none>";
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::u16string out = text ? text : u"";
    SysFreeString(text);
    if (source) {
        BSTR s = nullptr;
        info->GetSource(&s);
        *source = s ? s : u"";
        SysFreeString(s);
    }
    info->Release();
    return out;
}

std::u16string stringProperty(IDBProperties* props, REFGUID set, DBPROPID id, HRESULT* hr) {
    DBPROPIDSET ask{&id, 1, set};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    *hr = props->GetProperties(1, &ask, &count, &sets);
    std::u16string out;
    if (sets && sets[0].cProperties) {
        VARIANT& v = sets[0].rgProperties[0].vValue;
        if (v.vt == VT_BSTR)
            out = v.bstrVal;
        else if (v.vt == VT_BOOL)
            out = v.boolVal ? u"Y" : u"N";
        if (sets[0].rgProperties[0].dwStatus == DBPROPSTATUS_NOTSUPPORTED)
            out = u"<not supported>";
    }
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG p = 0; p < sets[s].cProperties; ++p)
            VariantClear(&sets[s].rgProperties[p].vValue);
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
    return out;
}

class KitProvider : public ::testing::Test {
protected:
    void SetUp() override {
        memdb::database().clear();
        memdb::createPeople("people");
    }
    void TearDown() override {
        if (session) {
            EXPECT_EQ(session->Release(), 0u);
        }
        if (source) {
            query<IDBInitialize>(source, IID_IDBInitialize)->Release();
            EXPECT_EQ(source->Release(), 0u) << "every object reaches zero";
        }
    }

    // Creates the data source by its ProgID, sets the properties and initialises it.
    HRESULT connect(std::vector<DBPROP> props = {}, const GUID& set = DBPROPSET_DBINIT) {
        CLSID clsid;
        EXPECT_EQ(CLSIDFromProgID(u"Vantrel.KitTestMemory", &clsid), S_OK);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&source)),
                  S_OK);
        IDBProperties* p = query<IDBProperties>(source, IID_IDBProperties);
        if (!props.empty()) {
            DBPROPSET s{props.data(), static_cast<ULONG>(props.size()), set};
            EXPECT_EQ(p->SetProperties(1, &s), S_OK);
            for (DBPROP& prop : props)
                VariantClear(&prop.vValue);
        }
        p->Release();
        IDBInitialize* init = query<IDBInitialize>(source, IID_IDBInitialize);
        HRESULT hr = init->Initialize();
        init->Release();
        if (SUCCEEDED(hr)) {
            IDBCreateSession* create = query<IDBCreateSession>(source, IID_IDBCreateSession);
            EXPECT_EQ(create->CreateSession(nullptr, IID_IUnknown, &session), S_OK);
            create->Release();
        }
        return hr;
    }

    ICommandText* command(const char16_t* text) {
        IDBCreateCommand* create = query<IDBCreateCommand>(session, IID_IDBCreateCommand);
        ICommandText* cmd = nullptr;
        EXPECT_EQ(
            create->CreateCommand(nullptr, IID_ICommandText, reinterpret_cast<IUnknown**>(&cmd)),
            S_OK);
        create->Release();
        EXPECT_EQ(cmd->SetCommandText(DBGUID_DBSQL, text), S_OK);
        return cmd;
    }

    // Opens an updatable rowset over `text` with IRowsetChange required.
    IRowset* updatable(const char16_t* text) {
        ICommandText* cmd = command(text);
        ICommandProperties* props = query<ICommandProperties>(cmd, IID_ICommandProperties);
        DBPROP change = property(DBPROP_IRowsetChange, VT_BOOL, 1);
        DBPROPSET set{&change, 1, DBPROPSET_ROWSET};
        EXPECT_EQ(props->SetProperties(1, &set), S_OK);
        props->Release();
        IRowset* rowset = nullptr;
        EXPECT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                               reinterpret_cast<IUnknown**>(&rowset)),
                  S_OK);
        cmd->Release();
        return rowset;
    }

    IUnknown* source = nullptr;
    IUnknown* session = nullptr;
};

struct NameBuffer {
    char text[21];
};

HACCESSOR nameAccessor(IUnknown* rowset) {
    IAccessor* accessor = query<IAccessor>(rowset, IID_IAccessor);
    DBBINDING b{};
    b.iOrdinal = 2;
    b.dwPart = DBPART_VALUE;
    b.wType = DBTYPE_STR;
    b.cbMaxLen = sizeof(NameBuffer::text);
    HACCESSOR h = DB_NULL_HACCESSOR;
    EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &h, nullptr), S_OK);
    accessor->Release();
    return h;
}

HRESULT setName(IRowset* rowset, HACCESSOR h, HROW row, const char* text) {
    IRowsetChange* change = query<IRowsetChange>(rowset, IID_IRowsetChange);
    NameBuffer buffer{};
    std::strncpy(buffer.text, text, sizeof buffer.text - 1);
    HRESULT hr = change->SetData(row, h, &buffer);
    change->Release();
    return hr;
}

HROW secondRow(IRowset* rowset) {
    HROW row = DB_NULL_HROW;
    HROW* out = &row;
    DBCOUNTITEM got = 0;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 1, 1, &got, &out), S_OK);
    return row;
}

// Two rowsets over the same rows, each with a name accessor and its second row fetched before
// either changes anything.
struct Rivals {
    IRowset* one;
    IRowset* two;
    HACCESSOR h1, h2;
    HROW r1, r2;
};
Rivals rivals(IRowset* one, IRowset* two) {
    return {one, two, nameAccessor(one), nameAccessor(two), secondRow(one), secondRow(two)};
}

std::string storedName(std::int64_t rowid) {
    return memdb::database().at("people").rows.at(rowid)[1].bytes;
}

} // namespace

TEST_F(KitProvider, InitialisationPropertiesAreDescribedWithTheirKeywords) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"Vantrel.KitTestMemory.1", &clsid), S_OK);
    IDBProperties* props = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBProperties,
                               reinterpret_cast<void**>(&props)),
              S_OK);
    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINITALL};
    ULONG count = 0;
    DBPROPINFOSET* info = nullptr;
    OLECHAR* text = nullptr;
    ASSERT_EQ(props->GetPropertyInfo(1, &all, &count, &info, &text), S_OK);
    std::vector<std::u16string> keywords;
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG p = 0; p < info[s].cPropertyInfos; ++p)
            keywords.push_back(info[s].rgPropertyInfos[p].pwszDescription);
        CoTaskMemFree(info[s].rgPropertyInfos);
    }
    CoTaskMemFree(info);
    CoTaskMemFree(text);
    EXPECT_EQ(keywords, (std::vector<std::u16string>{u"Data Source", u"Mode", u"Initial Catalog",
                                                     u"Concurrency"}));

    // Before Initialize the information properties are not there yet.
    HRESULT hr;
    EXPECT_EQ(stringProperty(props, DBPROPSET_DATASOURCEINFO, DBPROP_DBMSNAME, &hr),
              u"<not supported>");
    EXPECT_EQ(hr, DB_E_ERRORSOCCURRED);
    EXPECT_EQ(stringProperty(props, DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, &hr), u"memory.db");
    // A concurrency policy the kit does not know is refused.
    DBPROP bad = property(kitPropConcurrency, VT_BSTR, 0, u"Pessimistic");
    DBPROPSET set{&bad, 1, DBPROPSET_VANTREL_KITINIT};
    EXPECT_EQ(props->SetProperties(1, &set), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(bad.dwStatus, DBPROPSTATUS_BADVALUE);
    VariantClear(&bad.vValue);
    EXPECT_EQ(props->Release(), 0u);
}

TEST_F(KitProvider, InformationPropertiesAnswerAfterInitialize) {
    ASSERT_EQ(connect({property(DBPROP_INIT_DATASOURCE, VT_BSTR, 0, u"bank")}), S_OK);
    IDBProperties* props = query<IDBProperties>(source, IID_IDBProperties);
    HRESULT hr;
    const GUID& info = DBPROPSET_DATASOURCEINFO;
    EXPECT_EQ(stringProperty(props, info, DBPROP_PROVIDERFRIENDLYNAME, &hr),
              u"Kit Test Memory Provider");
    EXPECT_EQ(stringProperty(props, info, DBPROP_PROVIDERVER, &hr), u"01.00.0000");
    EXPECT_EQ(stringProperty(props, info, DBPROP_PROVIDEROLEDBVER, &hr), u"02.80");
    EXPECT_EQ(stringProperty(props, DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, &hr), u"bank");
    EXPECT_EQ(stringProperty(props, info, DBPROP_DATASOURCEREADONLY, &hr), u"N");
    EXPECT_EQ(stringProperty(props, info, DBPROP_DBMSNAME, &hr), u"MemoryDB");
    EXPECT_EQ(stringProperty(props, info, DBPROP_DBMSVER, &hr), u"01.02.0003");
    EXPECT_EQ(stringProperty(props, info, DBPROP_SERVERNAME, &hr), u"memory");
    EXPECT_EQ(stringProperty(props, DBPROPSET_DBINIT, DBPROP_INIT_CATALOG, &hr), u"main")
        << "an empty catalog reads back as the connection's";
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(stringProperty(props, info, DBPROP_ACTIVESESSIONS, &hr), u"<not supported>");
    EXPECT_EQ(hr, DB_E_ERRORSOCCURRED);
    // A backend without a driver of its own has no driver facts to offer.
    EXPECT_EQ(stringProperty(props, DBPROPSET_PROVIDERDATASOURCEINFO, KAGPROP_DRIVERNAME, &hr),
              u"<not supported>");
    EXPECT_EQ(hr, DB_E_ERRORSOCCURRED);

    // Initialisation properties are fixed now, and a second Initialize is refused.
    DBPROP again = property(DBPROP_INIT_DATASOURCE, VT_BSTR, 0, u"other");
    DBPROPSET set{&again, 1, DBPROPSET_DBINIT};
    EXPECT_EQ(props->SetProperties(1, &set), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(again.dwStatus, DBPROPSTATUS_NOTSETTABLE);
    VariantClear(&again.vValue);
    props->Release();
    IDBInitialize* init = query<IDBInitialize>(source, IID_IDBInitialize);
    EXPECT_EQ(init->Initialize(), DB_E_ALREADYINITIALIZED);
    EXPECT_EQ(init->Uninitialize(), DB_E_OBJECTOPEN) << "the session is still open";
    EXPECT_EQ(session->Release(), 0u);
    session = nullptr;
    EXPECT_EQ(init->Uninitialize(), S_OK);
    init->Release();
}

TEST_F(KitProvider, ReadOnlyModeIsReportedAndRefusesWrites) {
    ASSERT_EQ(connect({property(DBPROP_INIT_MODE, VT_I4, DB_MODE_READ)}), S_OK);
    IDBProperties* props = query<IDBProperties>(source, IID_IDBProperties);
    HRESULT hr;
    EXPECT_EQ(stringProperty(props, DBPROPSET_DATASOURCEINFO, DBPROP_DATASOURCEREADONLY, &hr),
              u"Y");
    props->Release();
    ITableDefinition* tables = query<ITableDefinition>(session, IID_ITableDefinition);
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = const_cast<LPOLESTR>(u"people");
    EXPECT_EQ(tables->DropTable(&id), DB_SEC_E_PERMISSIONDENIED);
    EXPECT_EQ(errorDescription(), u"attempt to write a readonly database");
    tables->Release();
}

TEST_F(KitProvider, AFailedOpenPostsTheDatabaseMessage) {
    EXPECT_EQ(connect({property(DBPROP_INIT_DATASOURCE, VT_BSTR, 0, u"missing")}), E_FAIL);
    std::u16string src;
    EXPECT_EQ(errorDescription(&src), u"unable to open database file");
    EXPECT_EQ(src, u"Vantrel kit test provider");
}

TEST_F(KitProvider, PreparedCommandRunsOncePerParameterSet) {
    ASSERT_EQ(connect(), S_OK);
    ICommandText* cmd = command(u"INSERT people");
    ICommandPrepare* prepare = query<ICommandPrepare>(cmd, IID_ICommandPrepare);
    ASSERT_EQ(prepare->Prepare(1), S_OK);
    ICommandWithParameters* params = query<ICommandWithParameters>(cmd, IID_ICommandWithParameters);
    DB_UPARAMS count = 0;
    DBPARAMINFO* info = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(params->GetParameterInfo(&count, &info, &names), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(info[0].wType, DBTYPE_I4);
    EXPECT_EQ(info[0].ulParamSize, 4u);
    EXPECT_EQ(info[1].wType, DBTYPE_STR);
    EXPECT_EQ(info[1].ulParamSize, 20u);
    EXPECT_EQ(std::u16string(info[1].pwszName), u":name");
    EXPECT_TRUE(info[1].dwFlags & DBPARAMFLAGS_ISNULLABLE);
    CoTaskMemFree(info);
    CoTaskMemFree(names);

    struct Params {
        std::int32_t id;
        char name[20];
    };
    DBBINDING b[2] = {};
    b[0].iOrdinal = 1;
    b[0].obValue = offsetof(Params, id);
    b[0].wType = DBTYPE_I4;
    b[0].cbMaxLen = 4;
    b[1].iOrdinal = 2;
    b[1].obValue = offsetof(Params, name);
    b[1].wType = DBTYPE_STR;
    b[1].cbMaxLen = 20;
    for (DBBINDING& x : b) {
        x.dwPart = DBPART_VALUE;
        x.eParamIO = DBPARAMIO_INPUT;
    }
    IAccessor* accessor = query<IAccessor>(cmd, IID_IAccessor);
    HACCESSOR h;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 2, b, sizeof(Params), &h, nullptr),
              S_OK);
    Params rows[3] = {{10, "ten"}, {11, "eleven"}, {12, "twelve"}};
    DBPARAMS p{rows, 1, h};
    DBROWCOUNT affected = 0;
    ASSERT_EQ(cmd->Execute(nullptr, IID_NULL, &p, &affected, nullptr), S_OK);
    EXPECT_EQ(affected, 1);
    p.pData = rows + 1;
    p.cParamSets = 2;
    ASSERT_EQ(cmd->Execute(nullptr, IID_NULL, &p, &affected, nullptr), S_OK);
    EXPECT_EQ(affected, 2);
    EXPECT_EQ(memdb::database().at("people").rows.size(), 6u);

    // The same key again: the database refuses it, the error object carries its message.
    p.pData = rows;
    p.cParamSets = 1;
    EXPECT_EQ(cmd->Execute(nullptr, IID_NULL, &p, nullptr, nullptr), DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(errorDescription(), u"UNIQUE constraint failed: id");
    EXPECT_EQ(cmd->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_PARAMNOTOPTIONAL);
    p.hAccessor = 4242;
    EXPECT_EQ(cmd->Execute(nullptr, IID_NULL, &p, nullptr, nullptr), DB_E_BADACCESSORHANDLE);

    accessor->ReleaseAccessor(h, nullptr);
    accessor->Release();
    params->Release();
    prepare->Release();
    EXPECT_EQ(cmd->Release(), 0u);
}

TEST_F(KitProvider, ParametersTheBackendCannotDescribeNeedSetParameterInfo) {
    ASSERT_EQ(connect(), S_OK);
    ICommandText* cmd = command(u"UNKNOWN ?");
    ICommandWithParameters* params = query<ICommandWithParameters>(cmd, IID_ICommandWithParameters);
    DB_UPARAMS count = 0;
    DBPARAMINFO* info = nullptr;
    OLECHAR* names = nullptr;
    EXPECT_EQ(params->GetParameterInfo(&count, &info, &names), DB_E_NOTPREPARED);
    query<ICommandPrepare>(cmd, IID_ICommandPrepare)->Prepare(0);
    cmd->Release(); // the query above added a reference
    EXPECT_EQ(params->GetParameterInfo(&count, &info, &names), DB_E_PARAMUNAVAILABLE);
    DB_UPARAMS ordinal = 1;
    DBPARAMBINDINFO bind{};
    bind.pwszDataSourceType = const_cast<LPOLESTR>(u"DBTYPE_VARCHAR");
    bind.ulParamSize = 30;
    EXPECT_EQ(params->SetParameterInfo(1, &ordinal, &bind), S_OK);
    ASSERT_EQ(params->GetParameterInfo(&count, &info, &names), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(info[0].wType, DBTYPE_STR);
    EXPECT_EQ(info[0].ulParamSize, 30u);
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    bind.pwszDataSourceType = const_cast<LPOLESTR>(u"DBTYPE_NOSUCH");
    EXPECT_EQ(params->SetParameterInfo(1, &ordinal, &bind), DB_E_BADTYPENAME);
    params->Release();
    cmd->Release();
}

TEST_F(KitProvider, QueryRowsetsReadParametersAndErrorsCarryTheBackendsClass) {
    ASSERT_EQ(connect(), S_OK);
    ICommandText* cmd = command(u"SCAN people WHERE id = ?");
    struct Param {
        std::int32_t id;
    } param{2};
    DBBINDING b{};
    b.iOrdinal = 1;
    b.dwPart = DBPART_VALUE;
    b.eParamIO = DBPARAMIO_INPUT;
    b.wType = DBTYPE_I4;
    b.cbMaxLen = 4;
    IAccessor* accessor = query<IAccessor>(cmd, IID_IAccessor);
    HACCESSOR h;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &b, 0, &h, nullptr), S_OK);
    DBPARAMS p{&param, 1, h};
    IRowset* rowset = nullptr;
    ASSERT_EQ(
        cmd->Execute(nullptr, IID_IRowset, &p, nullptr, reinterpret_cast<IUnknown**>(&rowset)),
        S_OK);
    HROW row;
    HROW* out = &row;
    DBCOUNTITEM got;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 2, &got, &out), DB_S_ENDOFROWSET);
    EXPECT_EQ(got, 1u);
    rowset->ReleaseRows(got, &row, nullptr, nullptr, nullptr);
    EXPECT_EQ(rowset->Release(), 0u);
    accessor->Release();
    cmd->Release();

    ICommandText* bad = command(u"SELEKT");
    EXPECT_EQ(bad->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(errorDescription(), u"syntax error near \"SELEKT\"");
    bad->SetCommandText(DBGUID_DBSQL, u"SCAN nowhere");
    EXPECT_EQ(bad->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_NOTABLE);
    bad->SetCommandText(DBGUID_DBSQL, u"FAIL timeout");
    EXPECT_EQ(bad->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_RESOURCELOCKED);
    EXPECT_EQ(bad->SetCommandText(DBGUID_DEFAULT, nullptr), S_OK);
    EXPECT_EQ(bad->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_NOCOMMAND);
    GUID mdx = {0xa07cccd1, 0x8148, 0x11d0, {0x87, 0xbb, 0x00, 0xc0, 0x4f, 0xc3, 0x39, 0x42}};
    EXPECT_EQ(bad->SetCommandText(mdx, u"x"), DB_E_DIALECTNOTSUPPORTED);
    ISupportErrorInfo* support = query<ISupportErrorInfo>(bad, IID_ISupportErrorInfo);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ICommand), S_OK);
    support->Release();
    EXPECT_EQ(bad->Release(), 0u);
}

// A column description that needs the backend's catalogue reports the backend's failure as
// the call's error; the rowset stays usable and a later description tries again.
TEST_F(KitProvider, AColumnDescriptionTheBackendCannotGiveIsAnErrorOfTheCall) {
    memdb::createPeople(memdb::unreachableCatalogue);
    ASSERT_EQ(connect(), S_OK);
    ICommandText* cmd = command(u"SCAN unreachable");
    IRowset* rowset = nullptr;
    ASSERT_EQ(
        cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, reinterpret_cast<IUnknown**>(&rowset)),
        S_OK);
    IColumnsInfo* info = query<IColumnsInfo>(rowset, IID_IColumnsInfo);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DBORDINAL count = 7;
        DBCOLUMNINFO* columns = nullptr;
        OLECHAR* names = nullptr;
        EXPECT_TRUE(FAILED(info->GetColumnInfo(&count, &columns, &names)));
        EXPECT_EQ(errorDescription(), u"catalogue unreachable");
        EXPECT_EQ(columns, nullptr);
        EXPECT_EQ(names, nullptr);
    }
    HROW row;
    HROW* out = &row;
    DBCOUNTITEM got = 0;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &out), S_OK);
    EXPECT_EQ(got, 1u);
    rowset->ReleaseRows(got, &row, nullptr, nullptr, nullptr);
    info->Release();
    EXPECT_EQ(rowset->Release(), 0u);
    cmd->Release();
}

TEST_F(KitProvider, RequiredChangesOnRowsWithoutIdentityFailTheExecution) {
    ASSERT_EQ(connect(), S_OK);
    ICommandText* cmd = command(u"COUNT people");
    ICommandProperties* props = query<ICommandProperties>(cmd, IID_ICommandProperties);
    DBPROP change = property(DBPROP_IRowsetChange, VT_BOOL, 1);
    DBPROPSET set{&change, 1, DBPROPSET_ROWSET};
    ASSERT_EQ(props->SetProperties(1, &set), S_OK);
    IUnknown* rowset = nullptr;
    EXPECT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, &rowset), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(rowset, nullptr);
    DBPROPIDSET inError{nullptr, 0, DBPROPSET_PROPERTIESINERROR};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    ASSERT_EQ(props->GetProperties(1, &inError, &count, &sets), S_OK);
    ASSERT_EQ(count, 1u);
    ASSERT_EQ(sets[0].cProperties, 1u);
    EXPECT_EQ(sets[0].rgProperties[0].dwPropertyID, static_cast<DBPROPID>(DBPROP_IRowsetChange));
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG p = 0; p < sets[s].cProperties; ++p)
            VariantClear(&sets[s].rgProperties[p].vValue);
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);

    // Asked for as optional, the rowset comes back read-only.
    change.dwOptions = DBPROPOPTIONS_OPTIONAL;
    ASSERT_EQ(props->SetProperties(1, &set), S_OK);
    ASSERT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, &rowset), S_OK);
    IUnknown* changer = nullptr;
    EXPECT_EQ(rowset->QueryInterface(IID_IRowsetChange, reinterpret_cast<void**>(&changer)),
              E_NOINTERFACE);
    EXPECT_EQ(rowset->Release(), 0u);
    props->Release();
    EXPECT_EQ(cmd->Release(), 0u);
}

TEST_F(KitProvider, OptimisticRowsetsRefuseChangesToRowsChangedSinceTheyFetchedThem) {
    ASSERT_EQ(connect(), S_OK);
    auto [one, two, h1, h2, r1, r2] = rivals(updatable(u"SCAN people"), updatable(u"SCAN people"));
    EXPECT_EQ(setName(one, h1, r1, "111111"), S_OK);
    EXPECT_EQ(storedName(2), "111111");
    EXPECT_EQ(setName(two, h2, r2, "222222"), DB_E_CONCURRENCYVIOLATION);
    EXPECT_NE(errorDescription().find(u"optimistic"), std::u16string::npos);
    EXPECT_EQ(storedName(2), "111111");
    // The first rowset knows its own change, so it can write again.
    EXPECT_EQ(setName(one, h1, r1, "filler"), S_OK);
    NameBuffer seen{};
    EXPECT_EQ(one->GetData(r1, h1, &seen), S_OK);
    EXPECT_STREQ(seen.text, "filler");
    // Back to what the second rowset fetched: its change goes through now.
    EXPECT_EQ(setName(two, h2, r2, "222222"), S_OK);
    one->ReleaseRows(1, &r1, nullptr, nullptr, nullptr);
    two->ReleaseRows(1, &r2, nullptr, nullptr, nullptr);
    EXPECT_EQ(one->Release(), 0u);
    EXPECT_EQ(two->Release(), 0u);
}

TEST_F(KitProvider, LockingRowsetsHoldChangedRowsUntilReleased) {
    ASSERT_EQ(
        connect({property(kitPropConcurrency, VT_BSTR, 0, u"locking")}, DBPROPSET_VANTREL_KITINIT),
        S_OK);
    auto [one, two, h1, h2, r1, r2] = rivals(updatable(u"SCAN people"), updatable(u"SCAN people"));
    EXPECT_EQ(setName(one, h1, r1, "111111"), S_OK);
    EXPECT_EQ(setName(two, h2, r2, "222222"), DB_E_RESOURCELOCKED);
    EXPECT_NE(errorDescription().find(u"zamčený"), std::u16string::npos);
    EXPECT_EQ(setName(one, h1, r1, "filler"), S_OK);
    EXPECT_EQ(setName(two, h2, r2, "222222"), DB_E_RESOURCELOCKED)
        << "the lock lasts while the first rowset holds the row, whatever the values";
    one->ReleaseRows(1, &r1, nullptr, nullptr, nullptr);
    EXPECT_EQ(setName(two, h2, r2, "222222"), S_OK);
    EXPECT_EQ(storedName(2), "222222");
    two->ReleaseRows(1, &r2, nullptr, nullptr, nullptr);
    EXPECT_EQ(one->Release(), 0u);
    EXPECT_EQ(two->Release(), 0u);
}

// A rowset released while it still holds a changed row gives up its lock with it.
TEST_F(KitProvider, ARowsetReleasedWithAChangedRowLeavesNoLockBehind) {
    ASSERT_EQ(
        connect({property(kitPropConcurrency, VT_BSTR, 0, u"locking")}, DBPROPSET_VANTREL_KITINIT),
        S_OK);
    auto [one, two, h1, h2, r1, r2] = rivals(updatable(u"SCAN people"), updatable(u"SCAN people"));
    EXPECT_EQ(setName(one, h1, r1, "111111"), S_OK);
    EXPECT_EQ(setName(two, h2, r2, "222222"), DB_E_RESOURCELOCKED);
    // Back to the value the second rowset fetched, so that only the lock could refuse it.
    EXPECT_EQ(setName(one, h1, r1, "filler"), S_OK);
    EXPECT_EQ(one->Release(), 0u);
    EXPECT_EQ(setName(two, h2, r2, "222222"), S_OK);
    EXPECT_EQ(storedName(2), "222222");
    two->ReleaseRows(1, &r2, nullptr, nullptr, nullptr);
    EXPECT_EQ(two->Release(), 0u);
}

TEST_F(KitProvider, RowsetsInsertAndDeleteRows) {
    ASSERT_EQ(connect(), S_OK);
    IRowset* rowset = updatable(u"SCAN people");
    IAccessor* accessor = query<IAccessor>(rowset, IID_IAccessor);
    struct Person {
        std::int32_t id;
        char name[21];
    };
    DBBINDING b[2] = {};
    b[0].iOrdinal = 1;
    b[0].obValue = offsetof(Person, id);
    b[0].wType = DBTYPE_I4;
    b[0].cbMaxLen = 4;
    b[1].iOrdinal = 2;
    b[1].obValue = offsetof(Person, name);
    b[1].wType = DBTYPE_STR;
    b[1].cbMaxLen = sizeof(Person::name);
    b[0].dwPart = b[1].dwPart = DBPART_VALUE;
    HACCESSOR h;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, b, 0, &h, nullptr), S_OK);
    IRowsetChange* change = query<IRowsetChange>(rowset, IID_IRowsetChange);
    Person p{42, "new"};
    HROW inserted = DB_NULL_HROW;
    ASSERT_EQ(change->InsertRow(DB_NULL_HCHAPTER, h, &p, &inserted), S_OK);
    Person back{};
    ASSERT_EQ(rowset->GetData(inserted, h, &back), S_OK);
    EXPECT_EQ(back.id, 42);
    EXPECT_STREQ(back.name, "new");
    DBROWSTATUS status;
    ASSERT_EQ(change->DeleteRows(DB_NULL_HCHAPTER, 1, &inserted, &status), S_OK);
    EXPECT_EQ(rowset->GetData(inserted, h, &back), DB_E_DELETEDROW);
    EXPECT_EQ(change->DeleteRows(DB_NULL_HCHAPTER, 1, &inserted, &status), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status, DBROWSTATUS_E_DELETED);
    EXPECT_EQ(memdb::database().at("people").rows.size(), 3u);
    rowset->ReleaseRows(1, &inserted, nullptr, nullptr, nullptr);
    change->Release();
    accessor->Release();
    EXPECT_EQ(rowset->Release(), 0u);
}

TEST_F(KitProvider, LocalTransactionsCommitAbortAndRefuseNesting) {
    ASSERT_EQ(connect(), S_OK);
    ITransactionLocal* tx = query<ITransactionLocal>(session, IID_ITransactionLocal);
    EXPECT_EQ(tx->Commit(FALSE, 0, 0), XACT_E_NOTRANSACTION);
    EXPECT_EQ(tx->StartTransaction(0x12345, 0, nullptr, nullptr), XACT_E_ISOLATIONLEVEL);
    ULONG level = 0;
    ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, &level), S_OK);
    EXPECT_EQ(level, 1u);
    EXPECT_EQ(tx->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr),
              XACT_E_XTIONEXISTS);
    memdb::database().at("people").rows.clear();
    ASSERT_EQ(tx->Abort(nullptr, TRUE, FALSE), S_OK) << "retaining: a new one starts";
    EXPECT_EQ(memdb::database().at("people").rows.size(), 3u);
    XACTTRANSINFO info;
    ASSERT_EQ(tx->GetTransactionInfo(&info), S_OK);
    EXPECT_EQ(info.isoLevel, static_cast<ISOLEVEL>(ISOLATIONLEVEL_SERIALIZABLE));
    ASSERT_EQ(tx->Commit(FALSE, 0, 0), S_OK);
    EXPECT_EQ(tx->Abort(nullptr, FALSE, FALSE), XACT_E_NOTRANSACTION);
    tx->Release();
}

TEST_F(KitProvider, TablesAreCreatedWithTheirColumnPropertiesAndDropped) {
    ASSERT_EQ(connect(), S_OK);
    ITableDefinition* tables = query<ITableDefinition>(session, IID_ITableDefinition);
    DBPROP key[2] = {property(DBPROP_COL_NULLABLE, VT_BOOL, 0),
                     property(DBPROP_COL_PRIMARYKEY, VT_BOOL, 1)};
    DBPROPSET keySet{key, 2, DBPROPSET_COLUMN};
    DBPROP described = property(DBPROP_COL_DESCRIPTION, VT_BSTR, 0, u"x");
    described.dwOptions = DBPROPOPTIONS_OPTIONAL;
    DBPROPSET describedSet{&described, 1, DBPROPSET_COLUMN};
    DBCOLUMNDESC cols[2] = {};
    cols[0].dbcid.eKind = DBKIND_NAME;
    cols[0].dbcid.uName.pwszName = const_cast<LPOLESTR>(u"Tid");
    cols[0].wType = DBTYPE_I4;
    cols[0].rgPropertySets = &keySet;
    cols[0].cPropertySets = 1;
    cols[1].dbcid.eKind = DBKIND_NAME;
    cols[1].dbcid.uName.pwszName = const_cast<LPOLESTR>(u"Remark");
    cols[1].wType = DBTYPE_STR;
    cols[1].ulColumnSize = 87;
    cols[1].pwszTypeName = const_cast<LPOLESTR>(u"char");
    cols[1].rgPropertySets = &describedSet;
    cols[1].cPropertySets = 1;
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = const_cast<LPOLESTR>(u"tellers");
    EXPECT_EQ(tables->CreateTable(nullptr, &id, 2, cols, IID_NULL, 0, nullptr, nullptr, nullptr),
              DB_S_ERRORSOCCURRED)
        << "an optional column property that is not supported only warns";
    EXPECT_EQ(described.dwStatus, DBPROPSTATUS_NOTSUPPORTED);
    const memdb::Table& t = memdb::database().at("tellers");
    ASSERT_EQ(t.columns.size(), 2u);
    EXPECT_TRUE(t.columns[0].primaryKey);
    EXPECT_FALSE(t.columns[0].nullable);
    EXPECT_EQ(t.columns[1].size, 87u);
    EXPECT_EQ(tables->CreateTable(nullptr, &id, 2, cols, IID_NULL, 0, nullptr, nullptr, nullptr),
              DB_E_DUPLICATETABLEID);

    described.dwOptions = DBPROPOPTIONS_REQUIRED;
    id.uName.pwszName = const_cast<LPOLESTR>(u"other");
    EXPECT_EQ(tables->CreateTable(nullptr, &id, 2, cols, IID_NULL, 0, nullptr, nullptr, nullptr),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(memdb::database().count("other"), 0u);
    cols[1].dbcid.uName.pwszName = const_cast<LPOLESTR>(u"tid");
    cols[1].cPropertySets = 0;
    EXPECT_EQ(tables->CreateTable(nullptr, &id, 2, cols, IID_NULL, 0, nullptr, nullptr, nullptr),
              DB_E_DUPLICATECOLUMNID);

    id.uName.pwszName = const_cast<LPOLESTR>(u"tellers");
    EXPECT_EQ(tables->DropTable(&id), S_OK);
    EXPECT_EQ(tables->DropTable(&id), DB_E_NOTABLE);
    VariantClear(&described.vValue);
    tables->Release();
}

TEST_F(KitProvider, AskingForAnInterfaceAsksForWhatItNeeds) {
    ASSERT_EQ(connect(), S_OK);
    ICommandText* cmd = command(u"SCAN people");
    IRowsetLocate* locate = nullptr;
    ASSERT_EQ(cmd->Execute(nullptr, IID_IRowsetLocate, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(&locate)),
              S_OK);
    ASSERT_NE(locate, nullptr);
    EXPECT_EQ(locate->Release(), 0u);
    IRowsetChange* change = nullptr;
    ASSERT_EQ(cmd->Execute(nullptr, IID_IRowsetChange, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(&change)),
              S_OK);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->Release(), 0u);
    cmd->SetCommandText(DBGUID_DBSQL, u"COUNT people");
    EXPECT_EQ(cmd->Execute(nullptr, IID_IRowsetChange, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(&change)),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(cmd->Release(), 0u);
}
