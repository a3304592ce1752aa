// The argument checks and return codes the reference lists for each interface the providers
// implement, one table per object: null and out-of-range arguments, released and foreign
// handles, calls in the wrong order. Each row names the call, the answer the reference gives
// and, where it leaves the provider a choice, the other answers it allows and why.
#include "ConformanceSupport.h"

#include <cstdio>
#include <functional>

namespace conformance {
namespace {

// The objects the cases work on, made once per table.
struct World {
    Ptr<IDBInitialize> dataSource;    // initialised, with the session open
    Ptr<IDBInitialize> uninitialised; // made from the same string, never initialised
    Ptr<IUnknown> session;
    Ptr<ICommandText> query;         // "SELECT id, name, amount FROM t ORDER BY id"
    Ptr<ICommandText> empty;         // no text yet
    Ptr<ICommandText> parameterised; // "SELECT name FROM t WHERE id = ?"
    Ptr<ICommandText> busy;          // has an open rowset
    Ptr<IRowset> busyRowset;
    HACCESSOR parameterAccessor = DB_NULL_HACCESSOR;  // on `parameterised`
    HACCESSOR commandRowAccessor = DB_NULL_HACCESSOR; // a row accessor on `parameterised`
    Ptr<IRowset> rowset;                              // updatable, over t
    HACCESSOR accessor = DB_NULL_HACCESSOR;           // id I4, name STR
    HACCESSOR releasedAccessor = DB_NULL_HACCESSOR;   // was valid on `rowset`
    HACCESSOR foreignAccessor = DB_NULL_HACCESSOR;    // valid on `other` only
    HROW row = DB_NULL_HROW;                          // the first row, held
    HROW releasedRow = DB_NULL_HROW;                  // the second row, fetched and released
    HROW foreignRow = DB_NULL_HROW; // the third row of `other`, never fetched here
    Ptr<IRowset> other;             // read-only, over t
    Ptr<IRowset> readOnly;          // another read-only rowset
    Cell cells[4]{};
};

constexpr HACCESSOR madeUpAccessor = 0x5EED;
constexpr HROW madeUpRow = 999;

struct Case {
    const char* call;
    std::function<HRESULT(World&)> run;
    std::vector<HRESULT> allowed;   // the reference's answer first, then any it also allows
    const char* latitude = nullptr; // why more than one answer is allowed
};

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

void runCases(World& world, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        const HRESULT hr = c.run(world);
        bool allowed = false;
        for (HRESULT a : c.allowed)
            allowed = allowed || hr == a;
        std::string expected;
        for (HRESULT a : c.allowed)
            expected += (expected.empty() ? "" : " or ") + hex(a);
        EXPECT_TRUE(allowed) << c.call << " answered " << hex(hr) << ", the reference: " << expected
                             << (c.latitude ? std::string(" (") + c.latitude + ")" : std::string());
        takeErrorDescription(); // each case starts without an error object
    }
}

// A stand-in controlling unknown for aggregation requests; never called.
IUnknown* outer() {
    static struct : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
    } unknown;
    return &unknown;
}

DBID named(const char16_t* name) {
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = const_cast<LPOLESTR>(name);
    return id;
}

template <class T> Ptr<T> as(IUnknown* object, REFIID iid) {
    Ptr<T> p;
    if (object != nullptr)
        object->QueryInterface(iid, p.outVoid());
    return p;
}

class ArgumentChecks : public ProviderTest {
protected:
    void SetUp() override {
        ProviderTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        World& w = world_;
        w.dataSource = std::move(dataSource_);
        w.session = std::move(session_);
        session_ = as<IUnknown>(w.session.get(), IID_IUnknown); // for the fixture's helpers
        w.uninitialised = createDataSource();
        w.query = command("SELECT id, name, amount FROM t ORDER BY id");
        w.empty = command("");
        w.parameterised = command("SELECT name FROM t WHERE id = ?");
        ASSERT_EQ(as<ICommandPrepare>(w.parameterised.get(), IID_ICommandPrepare)->Prepare(1),
                  S_OK);
        auto parameterAccessors = as<IAccessor>(w.parameterised.get(), IID_IAccessor);
        DBBINDING parameter = cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT);
        ASSERT_EQ(parameterAccessors->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &parameter, 0,
                                                     &w.parameterAccessor, nullptr),
                  S_OK);
        DBBINDING column = cellBinding(1, DBTYPE_STR, 64, 0);
        ASSERT_EQ(parameterAccessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &column, 0,
                                                     &w.commandRowAccessor, nullptr),
                  S_OK);
        w.busy = command("SELECT id FROM t");
        ASSERT_EQ(
            w.busy->Execute(nullptr, IID_IRowset, nullptr, nullptr, w.busyRowset.outUnknown()),
            S_OK);

        w.rowset = open("SELECT id, name, amount FROM t ORDER BY id", true);
        ASSERT_TRUE(w.rowset);
        auto accessors = as<IAccessor>(w.rowset.get(), IID_IAccessor);
        DBBINDING bindings[] = {cellBinding(1, DBTYPE_I4, 4, 0), cellBinding(2, DBTYPE_STR, 64, 1)};
        ASSERT_EQ(
            accessors->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, 0, &w.accessor, nullptr),
            S_OK);
        ASSERT_EQ(accessors->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, 0, &w.releasedAccessor,
                                            nullptr),
                  S_OK);
        ASSERT_EQ(accessors->ReleaseAccessor(w.releasedAccessor, nullptr), S_OK);
        HROW rows[2];
        HROW* out = rows;
        DBCOUNTITEM got = 0;
        ASSERT_EQ(w.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 2, &got, &out), S_OK);
        w.row = rows[0];
        w.releasedRow = rows[1];
        ASSERT_EQ(w.rowset->ReleaseRows(1, &w.releasedRow, nullptr, nullptr, nullptr), S_OK);

        w.other = open("SELECT id, name FROM t ORDER BY id");
        ASSERT_TRUE(w.other);
        ASSERT_EQ(
            as<IAccessor>(w.other.get(), IID_IAccessor)
                ->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, 0, &w.foreignAccessor, nullptr),
            S_OK);
        HROW three[3];
        out = three;
        ASSERT_EQ(w.other->GetNextRows(DB_NULL_HCHAPTER, 0, 3, &got, &out), S_OK);
        w.foreignRow = three[2];
        w.readOnly = open("SELECT id FROM t");
    }

    void TearDown() override {
        World& w = world_;
        if (w.rowset)
            w.rowset->ReleaseRows(1, &w.row, nullptr, nullptr, nullptr);
        world_ = World{};
        ProviderTest::TearDown();
    }

    World world_;
};

TEST_P(ArgumentChecks, DataSource) {
    auto properties = [](World& w) {
        return as<IDBProperties>(w.dataSource.get(), IID_IDBProperties);
    };
    auto creator = [](World& w) {
        return as<IDBCreateSession>(w.dataSource.get(), IID_IDBCreateSession);
    };
    runCases(
        world_,
        {
            {"Initialize on an initialised data source",
             [](World& w) { return w.dataSource->Initialize(); },
             {DB_E_ALREADYINITIALIZED}},
            {"Uninitialize while a session is open",
             [](World& w) { return w.dataSource->Uninitialize(); },
             {DB_E_OBJECTOPEN}},
            {"CreateSession before Initialize",
             [](World& w) {
                 Ptr<IUnknown> s;
                 return as<IDBCreateSession>(w.uninitialised.get(), IID_IDBCreateSession)
                     ->CreateSession(nullptr, IID_IOpenRowset, s.out());
             },
             {E_UNEXPECTED}},
            {"CreateSession with a null ppDBSession",
             [&](World& w) { return creator(w)->CreateSession(nullptr, IID_IOpenRowset, nullptr); },
             {E_INVALIDARG}},
            {"CreateSession aggregated asking for other than IUnknown",
             [&](World& w) {
                 Ptr<IUnknown> s;
                 return creator(w)->CreateSession(outer(), IID_IOpenRowset, s.out());
             },
             {DB_E_NOAGGREGATION}},
            {"CreateSession for an interface sessions do not have",
             [&](World& w) {
                 Ptr<IUnknown> s;
                 return creator(w)->CreateSession(nullptr, IID_IRowset, s.out());
             },
             {E_NOINTERFACE}},
            {"GetProperties with cPropertyIDSets 1 and no array",
             [&](World& w) {
                 ULONG n = 0;
                 DBPROPSET* sets = nullptr;
                 return properties(w)->GetProperties(1, nullptr, &n, &sets);
             },
             {E_INVALIDARG}},
            {"GetProperties with a null pcPropertySets",
             [&](World& w) {
                 DBPROPSET* sets = nullptr;
                 return properties(w)->GetProperties(0, nullptr, nullptr, &sets);
             },
             {E_INVALIDARG}},
            {"GetProperties of a property the provider does not have",
             [&](World& w) {
                 DBPROPID id = 0x7777;
                 DBPROPIDSET ask{&id, 1, DBPROPSET_DBINIT};
                 ULONG n = 0;
                 DBPROPSET* sets = nullptr;
                 HRESULT hr = properties(w)->GetProperties(1, &ask, &n, &sets);
                 if (sets != nullptr) {
                     EXPECT_EQ(sets[0].rgProperties[0].dwStatus, DBPROPSTATUS_NOTSUPPORTED);
                     CoTaskMemFree(sets[0].rgProperties);
                     CoTaskMemFree(sets);
                 }
                 return hr;
             },
             {DB_E_ERRORSOCCURRED}},
            {"SetProperties with cPropertySets 1 and no array",
             [&](World& w) { return properties(w)->SetProperties(1, nullptr); },
             {E_INVALIDARG}},
            {"SetProperties with a set of 1 property and no array",
             [&](World& w) {
                 DBPROPSET set{nullptr, 1, DBPROPSET_DBINIT};
                 return properties(w)->SetProperties(1, &set);
             },
             {E_INVALIDARG}},
            {"GetPropertyInfo with a null pcPropertyInfoSets",
             [&](World& w) {
                 DBPROPINFOSET* sets = nullptr;
                 OLECHAR* text = nullptr;
                 return properties(w)->GetPropertyInfo(0, nullptr, nullptr, &sets, &text);
             },
             {E_INVALIDARG}},
        });
}

TEST_P(ArgumentChecks, Session) {
    auto opener = [](World& w) { return as<IOpenRowset>(w.session.get(), IID_IOpenRowset); };
    auto creator = [](World& w) {
        return as<IDBCreateCommand>(w.session.get(), IID_IDBCreateCommand);
    };
    runCases(world_, {
                         {"OpenRowset without a table or index ID",
                          [&](World& w) {
                              Ptr<IUnknown> r;
                              return opener(w)->OpenRowset(nullptr, nullptr, nullptr, IID_IRowset,
                                                           0, nullptr, r.out());
                          },
                          {E_INVALIDARG}},
                         {"OpenRowset with cPropertySets 1 and no array",
                          [&](World& w) {
                              DBID t = named(u"t");
                              Ptr<IUnknown> r;
                              return opener(w)->OpenRowset(nullptr, &t, nullptr, IID_IRowset, 1,
                                                           nullptr, r.out());
                          },
                          {E_INVALIDARG}},
                         {"OpenRowset of a table that does not exist",
                          [&](World& w) {
                              DBID t = named(u"nowhere");
                              Ptr<IUnknown> r;
                              return opener(w)->OpenRowset(nullptr, &t, nullptr, IID_IRowset, 0,
                                                           nullptr, r.out());
                          },
                          {DB_E_NOTABLE}},
                         {"OpenRowset aggregated asking for other than IUnknown",
                          [&](World& w) {
                              DBID t = named(u"t");
                              Ptr<IUnknown> r;
                              return opener(w)->OpenRowset(outer(), &t, nullptr, IID_IRowset, 0,
                                                           nullptr, r.out());
                          },
                          {DB_E_NOAGGREGATION}},
                         {"IGetDataSource::GetDataSource with a null ppDataSource",
                          [](World& w) {
                              return as<IGetDataSource>(w.session.get(), IID_IGetDataSource)
                                  ->GetDataSource(IID_IDBInitialize, nullptr);
                          },
                          {E_INVALIDARG}},
                         {"IGetDataSource::GetDataSource for an interface data sources do not have",
                          [](World& w) {
                              Ptr<IUnknown> d;
                              return as<IGetDataSource>(w.session.get(), IID_IGetDataSource)
                                  ->GetDataSource(IID_IRowset, d.out());
                          },
                          {E_NOINTERFACE}},
                         {"CreateCommand with a null ppCommand",
                          [&](World& w) {
                              return creator(w)->CreateCommand(nullptr, IID_ICommand, nullptr);
                          },
                          {E_INVALIDARG}},
                         {"CreateCommand aggregated asking for other than IUnknown",
                          [&](World& w) {
                              Ptr<IUnknown> c;
                              return creator(w)->CreateCommand(outer(), IID_ICommand, c.out());
                          },
                          {DB_E_NOAGGREGATION}},
                         {"CreateCommand for an interface commands do not have",
                          [&](World& w) {
                              Ptr<IUnknown> c;
                              return creator(w)->CreateCommand(nullptr, IID_IRowset, c.out());
                          },
                          {E_NOINTERFACE}},
                         {"ISessionProperties::GetProperties with cPropertyIDSets 1 and no array",
                          [](World& w) {
                              ULONG n = 0;
                              DBPROPSET* sets = nullptr;
                              return as<ISessionProperties>(w.session.get(), IID_ISessionProperties)
                                  ->GetProperties(1, nullptr, &n, &sets);
                          },
                          {E_INVALIDARG}},
                         {"ISessionProperties::SetProperties with cPropertySets 1 and no array",
                          [](World& w) {
                              return as<ISessionProperties>(w.session.get(), IID_ISessionProperties)
                                  ->SetProperties(1, nullptr);
                          },
                          {E_INVALIDARG}},
                     });
}

TEST_P(ArgumentChecks, Command) {
    runCases(
        world_,
        {
            {"Execute before SetCommandText",
             [](World& w) {
                 return w.empty->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr);
             },
             {DB_E_NOCOMMAND}},
            {"GetCommandText before SetCommandText",
             [](World& w) {
                 OLECHAR* text = nullptr;
                 return w.empty->GetCommandText(nullptr, &text);
             },
             {DB_E_NOCOMMAND}},
            {"GetCommandText with a null ppwszCommand",
             [](World& w) { return w.query->GetCommandText(nullptr, nullptr); },
             {E_INVALIDARG}},
            {"SetCommandText in a dialect the provider does not speak",
             [](World& w) {
                 const GUID dialect{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
                 return w.query->SetCommandText(dialect, u"SELECT 1");
             },
             {DB_E_DIALECTNOTSUPPORTED}},
            {"Prepare before SetCommandText",
             [](World& w) {
                 return as<ICommandPrepare>(w.empty.get(), IID_ICommandPrepare)->Prepare(1);
             },
             {DB_E_NOCOMMAND}},
            {"Unprepare of a command never prepared",
             [](World& w) {
                 return as<ICommandPrepare>(w.query.get(), IID_ICommandPrepare)->Unprepare();
             },
             {S_OK}},
            {"IColumnsInfo::GetColumnInfo of a command not prepared",
             [](World& w) {
                 DBORDINAL n = 0;
                 DBCOLUMNINFO* info = nullptr;
                 OLECHAR* names = nullptr;
                 HRESULT hr = as<IColumnsInfo>(w.query.get(), IID_IColumnsInfo)
                                  ->GetColumnInfo(&n, &info, &names);
                 CoTaskMemFree(info);
                 CoTaskMemFree(names);
                 return hr;
             },
             {DB_E_NOTPREPARED, S_OK},
             "a provider that can describe an unprepared command may do so"},
            {"Execute asking for a rowset with a null ppRowset",
             [](World& w) {
                 return w.query->Execute(nullptr, IID_IRowset, nullptr, nullptr, nullptr);
             },
             {E_INVALIDARG}},
            {"Execute aggregated asking for other than IUnknown",
             [](World& w) {
                 Ptr<IUnknown> r;
                 return w.query->Execute(outer(), IID_IRowset, nullptr, nullptr, r.out());
             },
             {DB_E_NOAGGREGATION}},
            {"Execute of a parameterised command without parameters",
             [](World& w) {
                 Ptr<IUnknown> r;
                 return w.parameterised->Execute(nullptr, IID_IRowset, nullptr, nullptr, r.out());
             },
             {DB_E_PARAMNOTOPTIONAL}},
            {"Execute with a made-up parameter accessor handle",
             [](World& w) {
                 DBPARAMS params{w.cells, 1, madeUpAccessor};
                 Ptr<IUnknown> r;
                 return w.parameterised->Execute(nullptr, IID_IRowset, &params, nullptr, r.out());
             },
             {DB_E_BADACCESSORHANDLE}},
            {"Execute with a row accessor as the parameter accessor",
             [](World& w) {
                 DBPARAMS params{w.cells, 1, w.commandRowAccessor};
                 Ptr<IUnknown> r;
                 return w.parameterised->Execute(nullptr, IID_IRowset, &params, nullptr, r.out());
             },
             {DB_E_BADACCESSORTYPE}},
            {"Execute with parameter sets and no pData",
             [](World& w) {
                 DBPARAMS params{nullptr, 1, w.parameterAccessor};
                 Ptr<IUnknown> r;
                 return w.parameterised->Execute(nullptr, IID_IRowset, &params, nullptr, r.out());
             },
             {E_INVALIDARG}},
            {"GetParameterInfo with a null pcParams",
             [](World& w) {
                 DBPARAMINFO* info = nullptr;
                 return as<ICommandWithParameters>(w.parameterised.get(),
                                                   IID_ICommandWithParameters)
                     ->GetParameterInfo(nullptr, &info, nullptr);
             },
             {E_INVALIDARG}},
            {"GetParameterInfo before SetCommandText",
             [](World& w) {
                 DB_UPARAMS n = 0;
                 DBPARAMINFO* info = nullptr;
                 return as<ICommandWithParameters>(w.empty.get(), IID_ICommandWithParameters)
                     ->GetParameterInfo(&n, &info, nullptr);
             },
             {DB_E_NOCOMMAND}},
            {"SetParameterInfo with cParams 1 and no ordinals",
             [](World& w) {
                 return as<ICommandWithParameters>(w.parameterised.get(),
                                                   IID_ICommandWithParameters)
                     ->SetParameterInfo(1, nullptr, nullptr);
             },
             {E_INVALIDARG}},
            {"SetParameterInfo with a type name that is no OLE DB type",
             [](World& w) {
                 DB_UPARAMS ordinal = 1;
                 DBPARAMBINDINFO info{};
                 info.pwszDataSourceType = const_cast<LPOLESTR>(u"DBTYPE_NO_SUCH");
                 info.dwFlags = DBPARAMFLAGS_ISINPUT;
                 return as<ICommandWithParameters>(w.parameterised.get(),
                                                   IID_ICommandWithParameters)
                     ->SetParameterInfo(1, &ordinal, &info);
             },
             {DB_E_BADTYPENAME}},
            {"MapParameterNames with cParamNames 1 and no arrays",
             [](World& w) {
                 return as<ICommandWithParameters>(w.parameterised.get(),
                                                   IID_ICommandWithParameters)
                     ->MapParameterNames(1, nullptr, nullptr);
             },
             {E_INVALIDARG}},
            {"GetDBSession with a null ppSession",
             [](World& w) { return w.query->GetDBSession(IID_IUnknown, nullptr); },
             {E_INVALIDARG}},
            {"ICommandProperties::GetProperties with cPropertyIDSets 1 and no array",
             [](World& w) {
                 ULONG n = 0;
                 DBPROPSET* sets = nullptr;
                 return as<ICommandProperties>(w.query.get(), IID_ICommandProperties)
                     ->GetProperties(1, nullptr, &n, &sets);
             },
             {E_INVALIDARG}},
            {"SetCommandText while a rowset of the command is open",
             [](World& w) { return w.busy->SetCommandText(DBGUID_DBSQL, u"SELECT name FROM t"); },
             {DB_E_OBJECTOPEN}},
            {"ICommandProperties::SetProperties while a rowset of the command is open",
             [](World& w) {
                 DBPROP prop{};
                 prop.dwPropertyID = DBPROP_BOOKMARKS;
                 prop.dwOptions = DBPROPOPTIONS_OPTIONAL;
                 prop.colid = DB_NULLID;
                 prop.vValue.vt = VT_BOOL;
                 prop.vValue.boolVal = VARIANT_TRUE;
                 DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
                 return as<ICommandProperties>(w.busy.get(), IID_ICommandProperties)
                     ->SetProperties(1, &set);
             },
             {DB_E_OBJECTOPEN}},
            {"Unprepare while a rowset of the command is open",
             [](World& w) {
                 return as<ICommandPrepare>(w.busy.get(), IID_ICommandPrepare)->Unprepare();
             },
             {DB_E_OBJECTOPEN}},
        });
}

// The shared accessor calls on `object` (a command or a rowset); `valid` is a handle of it.
std::vector<Case> accessorTable(std::function<IUnknown*(World&)> object,
                                std::function<HACCESSOR(World&)> valid) {
    auto acc = [object](World& w) { return as<IAccessor>(object(w), IID_IAccessor); };
    auto create = [acc](DBACCESSORFLAGS flags, DBCOUNTITEM count, DBBINDING* bindings,
                        bool withHandle, DBBINDSTATUS expected) {
        return [=](World& w) {
            HACCESSOR h = DB_NULL_HACCESSOR;
            DBBINDSTATUS status[1] = {DBBINDSTATUS_OK};
            HRESULT hr = acc(w)->CreateAccessor(flags, count, bindings, 0,
                                                withHandle ? &h : nullptr, status);
            if (hr == DB_E_ERRORSOCCURRED) {
                EXPECT_EQ(status[0], expected);
            }
            if (SUCCEEDED(hr))
                acc(w)->ReleaseAccessor(h, nullptr);
            return hr;
        };
    };
    static DBBINDING good = cellBinding(1, DBTYPE_I4, 4, 0);
    static DBBINDING noPart = [] {
        DBBINDING b = cellBinding(1, DBTYPE_I4, 4, 0);
        b.dwPart = 0;
        return b;
    }();
    static DBBINDING empty = cellBinding(1, DBTYPE_EMPTY, 4, 0);
    return {
        {"CreateAccessor with a null phAccessor",
         create(DBACCESSOR_ROWDATA, 1, &good, false, DBBINDSTATUS_OK),
         {E_INVALIDARG}},
        {"CreateAccessor with cBindings 1 and no array",
         create(DBACCESSOR_ROWDATA, 1, nullptr, true, DBBINDSTATUS_OK),
         {E_INVALIDARG}},
        {"CreateAccessor for neither row nor parameter data",
         create(DBACCESSOR_INVALID, 1, &good, true, DBBINDSTATUS_OK),
         {DB_E_BADACCESSORFLAGS}},
        {"CreateAccessor with a flag the reference does not define",
         create(DBACCESSOR_ROWDATA | 0x8000, 1, &good, true, DBBINDSTATUS_OK),
         {DB_E_BADACCESSORFLAGS}},
        {"CreateAccessor with no bindings (a null accessor)",
         create(DBACCESSOR_ROWDATA, 0, nullptr, true, DBBINDSTATUS_OK),
         {DB_E_NULLACCESSORNOTSUPPORTED, S_OK},
         "null accessors are optional; a provider that has them answers S_OK"},
        {"CreateAccessor passing by reference",
         create(DBACCESSOR_ROWDATA | DBACCESSOR_PASSBYREF, 1, &good, true, DBBINDSTATUS_OK),
         {DB_E_BYREFACCESSORNOTSUPPORTED, S_OK},
         "reference accessors are optional; a provider that has them answers S_OK"},
        {"CreateAccessor binding no part (status BADBINDINFO)",
         create(DBACCESSOR_ROWDATA, 1, &noPart, true, DBBINDSTATUS_BADBINDINFO),
         {DB_E_ERRORSOCCURRED}},
        {"CreateAccessor binding DBTYPE_EMPTY (status BADBINDINFO)",
         create(DBACCESSOR_ROWDATA, 1, &empty, true, DBBINDSTATUS_BADBINDINFO),
         {DB_E_ERRORSOCCURRED}},
        {"ReleaseAccessor of a made-up handle",
         [acc](World& w) { return acc(w)->ReleaseAccessor(madeUpAccessor, nullptr); },
         {DB_E_BADACCESSORHANDLE}},
        {"ReleaseAccessor of a handle of another rowset",
         [acc](World& w) { return acc(w)->ReleaseAccessor(w.foreignAccessor, nullptr); },
         {DB_E_BADACCESSORHANDLE}},
        {"AddRefAccessor of a made-up handle",
         [acc](World& w) { return acc(w)->AddRefAccessor(madeUpAccessor, nullptr); },
         {DB_E_BADACCESSORHANDLE}},
        {"GetBindings of a made-up handle",
         [acc](World& w) {
             DBACCESSORFLAGS flags = 0;
             DBCOUNTITEM n = 0;
             DBBINDING* bindings = nullptr;
             return acc(w)->GetBindings(madeUpAccessor, &flags, &n, &bindings);
         },
         {DB_E_BADACCESSORHANDLE}},
        {"GetBindings with a null pdwAccessorFlags",
         [acc, valid](World& w) {
             DBCOUNTITEM n = 0;
             DBBINDING* bindings = nullptr;
             return acc(w)->GetBindings(valid(w), nullptr, &n, &bindings);
         },
         {E_INVALIDARG}},
    };
}

TEST_P(ArgumentChecks, AccessorOnACommand) {
    std::vector<Case> cases =
        accessorTable([](World& w) -> IUnknown* { return w.parameterised.get(); },
                      [](World& w) { return w.parameterAccessor; });
    static DBBINDING notAParameter = cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_NOTPARAM);
    static DBBINDING ordinalZero = cellBinding(0, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT);
    auto parameterAccessor = [](DBBINDING* binding, DBBINDSTATUS expected) {
        return [=](World& w) {
            HACCESSOR h = DB_NULL_HACCESSOR;
            DBBINDSTATUS status = DBBINDSTATUS_OK;
            HRESULT hr = as<IAccessor>(w.parameterised.get(), IID_IAccessor)
                             ->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, binding, 0, &h, &status);
            EXPECT_EQ(status, expected);
            return hr;
        };
    };
    cases.push_back({"CreateAccessor for parameter data binding no parameter direction",
                     parameterAccessor(&notAParameter, DBBINDSTATUS_BADBINDINFO),
                     {DB_E_ERRORSOCCURRED}});
    cases.push_back({"CreateAccessor for parameter data binding ordinal 0",
                     parameterAccessor(&ordinalZero, DBBINDSTATUS_BADORDINAL),
                     {DB_E_ERRORSOCCURRED}});
    runCases(world_, cases);
}

TEST_P(ArgumentChecks, AccessorOnARowset) {
    std::vector<Case> cases = accessorTable([](World& w) -> IUnknown* { return w.rowset.get(); },
                                            [](World& w) { return w.accessor; });
    static DBBINDING beyond = cellBinding(99, DBTYPE_I4, 4, 0);
    static DBBINDING parameter = cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT);
    cases.push_back({"CreateAccessor binding a column the rowset does not have",
                     [](World& w) {
                         HACCESSOR h = DB_NULL_HACCESSOR;
                         DBBINDSTATUS status = DBBINDSTATUS_OK;
                         HRESULT hr =
                             as<IAccessor>(w.rowset.get(), IID_IAccessor)
                                 ->CreateAccessor(DBACCESSOR_ROWDATA, 1, &beyond, 0, &h, &status);
                         EXPECT_EQ(status, DBBINDSTATUS_BADORDINAL);
                         return hr;
                     },
                     {DB_E_ERRORSOCCURRED}});
    cases.push_back({"CreateAccessor for parameter data on a rowset",
                     [](World& w) {
                         HACCESSOR h = DB_NULL_HACCESSOR;
                         return as<IAccessor>(w.rowset.get(), IID_IAccessor)
                             ->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &parameter, 0, &h,
                                              nullptr);
                     },
                     {DB_E_BADACCESSORFLAGS}});
    cases.push_back({"ReleaseAccessor of a handle already released",
                     [](World& w) {
                         return as<IAccessor>(w.rowset.get(), IID_IAccessor)
                             ->ReleaseAccessor(w.releasedAccessor, nullptr);
                     },
                     {DB_E_BADACCESSORHANDLE}});
    runCases(world_, cases);
}

TEST_P(ArgumentChecks, Rowset) {
    auto getData = [](HROW World::*row, HACCESSOR World::*accessor, bool withData) {
        return [=](World& w) {
            return w.rowset->GetData(w.*row, w.*accessor, withData ? w.cells : nullptr);
        };
    };
    runCases(
        world_,
        {
            {"GetNextRows with a null pcRowsObtained",
             [](World& w) {
                 HROW* rows = nullptr;
                 return w.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, nullptr, &rows);
             },
             {E_INVALIDARG}},
            {"GetNextRows with a null prghRows",
             [](World& w) {
                 DBCOUNTITEM n = 0;
                 return w.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &n, nullptr);
             },
             {E_INVALIDARG}},
            {"GetNextRows backwards without DBPROP_CANFETCHBACKWARDS",
             [](World& w) {
                 DBCOUNTITEM n = 0;
                 HROW* rows = nullptr;
                 return w.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, -1, &n, &rows);
             },
             {DB_E_CANTFETCHBACKWARDS}},
            {"GetNextRows skipping backwards without DBPROP_CANSCROLLBACKWARDS",
             [](World& w) {
                 DBCOUNTITEM n = 0;
                 HROW* rows = nullptr;
                 return w.rowset->GetNextRows(DB_NULL_HCHAPTER, -1, 1, &n, &rows);
             },
             {DB_E_CANTSCROLLBACKWARDS}},
            {"GetData of a made-up row handle",
             [](World& w) { return w.rowset->GetData(madeUpRow, w.accessor, w.cells); },
             {DB_E_BADROWHANDLE}},
            {"GetData of DB_NULL_HROW",
             [](World& w) { return w.rowset->GetData(DB_NULL_HROW, w.accessor, w.cells); },
             {DB_E_BADROWHANDLE}},
            {"GetData of a released row handle (the reference encourages detecting it)",
             getData(&World::releasedRow, &World::accessor, true),
             {DB_E_BADROWHANDLE}},
            {"GetData of a row handle of another rowset, never handed out here",
             getData(&World::foreignRow, &World::accessor, true),
             {DB_E_BADROWHANDLE}},
            {"GetData through a made-up accessor handle",
             [](World& w) { return w.rowset->GetData(w.row, madeUpAccessor, w.cells); },
             {DB_E_BADACCESSORHANDLE}},
            {"GetData through a released accessor handle (the reference encourages detecting it)",
             getData(&World::row, &World::releasedAccessor, true),
             {DB_E_BADACCESSORHANDLE}},
            {"GetData through an accessor handle of another rowset",
             getData(&World::row, &World::foreignAccessor, true),
             {DB_E_BADACCESSORHANDLE}},
            {"GetData with a null pData",
             getData(&World::row, &World::accessor, false),
             {E_INVALIDARG}},
            {"GetData of the held row", getData(&World::row, &World::accessor, true), {S_OK}},
            {"ReleaseRows with cRows 1 and no array",
             [](World& w) { return w.rowset->ReleaseRows(1, nullptr, nullptr, nullptr, nullptr); },
             {E_INVALIDARG}},
            {"ReleaseRows of no rows",
             [](World& w) { return w.rowset->ReleaseRows(0, nullptr, nullptr, nullptr, nullptr); },
             {S_OK}},
            {"ReleaseRows of a made-up handle (row status E_INVALID)",
             [](World& w) {
                 HROW row = madeUpRow;
                 DBROWSTATUS status = DBROWSTATUS_S_OK;
                 HRESULT hr = w.rowset->ReleaseRows(1, &row, nullptr, nullptr, &status);
                 EXPECT_EQ(status, DBROWSTATUS_E_INVALID);
                 return hr;
             },
             {DB_E_ERRORSOCCURRED}},
            {"AddRefRows of a released handle (row status E_INVALID)",
             [](World& w) {
                 DBROWSTATUS status = DBROWSTATUS_S_OK;
                 HRESULT hr = w.rowset->AddRefRows(1, &w.releasedRow, nullptr, &status);
                 EXPECT_EQ(status, DBROWSTATUS_E_INVALID);
                 return hr;
             },
             {DB_E_ERRORSOCCURRED}},
            {"AddRefRows with cRows 1 and no array",
             [](World& w) { return w.rowset->AddRefRows(1, nullptr, nullptr, nullptr); },
             {E_INVALIDARG}},
            {"IRowsetInfo::GetProperties with cPropertyIDSets 1 and no array",
             [](World& w) {
                 ULONG n = 0;
                 DBPROPSET* sets = nullptr;
                 return as<IRowsetInfo>(w.rowset.get(), IID_IRowsetInfo)
                     ->GetProperties(1, nullptr, &n, &sets);
             },
             {E_INVALIDARG}},
            {"IRowsetInfo::GetSpecification with a null ppSpecification",
             [](World& w) {
                 return as<IRowsetInfo>(w.rowset.get(), IID_IRowsetInfo)
                     ->GetSpecification(IID_ICommand, nullptr);
             },
             {E_INVALIDARG}},
            {"IRowsetInfo::GetReferencedRowset of a column the rowset does not have",
             [](World& w) {
                 Ptr<IUnknown> r;
                 return as<IRowsetInfo>(w.rowset.get(), IID_IRowsetInfo)
                     ->GetReferencedRowset(99, IID_IRowset, r.out());
             },
             {DB_E_BADORDINAL}},
            {"IColumnsInfo::GetColumnInfo with a null pcColumns",
             [](World& w) {
                 DBCOLUMNINFO* info = nullptr;
                 OLECHAR* names = nullptr;
                 return as<IColumnsInfo>(w.rowset.get(), IID_IColumnsInfo)
                     ->GetColumnInfo(nullptr, &info, &names);
             },
             {E_INVALIDARG}},
            {"IColumnsInfo::MapColumnIDs with cColumnIDs 1 and no array",
             [](World& w) {
                 DBORDINAL out = 0;
                 return as<IColumnsInfo>(w.rowset.get(), IID_IColumnsInfo)
                     ->MapColumnIDs(1, nullptr, &out);
             },
             {E_INVALIDARG}},
            {"IConvertType::CanConvert for parameters on a rowset",
             [](World& w) {
                 return as<IConvertType>(w.rowset.get(), IID_IConvertType)
                     ->CanConvert(DBTYPE_I4, DBTYPE_STR, DBCONVERTFLAGS_PARAMETER);
             },
             {DB_E_BADCONVERTFLAG}},
            {"RestartPosition",
             [](World& w) { return w.rowset->RestartPosition(DB_NULL_HCHAPTER); },
             {S_OK, DB_S_COMMANDREEXECUTED},
             "a provider may run the command again to restart, and says so"},
        });
}

TEST_P(ArgumentChecks, Change) {
    auto change = [](World& w) { return as<IRowsetChange>(w.rowset.get(), IID_IRowsetChange); };
    runCases(
        world_,
        {
            {"QueryInterface for IRowsetChange on a read-only rowset",
             [](World& w) {
                 Ptr<IRowsetChange> c;
                 return w.readOnly->QueryInterface(IID_IRowsetChange, c.outVoid());
             },
             {E_NOINTERFACE}},
            {"SetData of a made-up row handle",
             [&](World& w) { return change(w)->SetData(madeUpRow, w.accessor, w.cells); },
             {DB_E_BADROWHANDLE}},
            {"SetData of DB_NULL_HROW",
             [&](World& w) { return change(w)->SetData(DB_NULL_HROW, w.accessor, w.cells); },
             {DB_E_BADROWHANDLE}},
            {"SetData of a released row handle (the reference encourages detecting it)",
             [&](World& w) { return change(w)->SetData(w.releasedRow, w.accessor, w.cells); },
             {DB_E_BADROWHANDLE}},
            {"SetData through a made-up accessor handle",
             [&](World& w) { return change(w)->SetData(w.row, madeUpAccessor, w.cells); },
             {DB_E_BADACCESSORHANDLE}},
            {"SetData through an accessor handle of another rowset",
             [&](World& w) { return change(w)->SetData(w.row, w.foreignAccessor, w.cells); },
             {DB_E_BADACCESSORHANDLE}},
            {"SetData with a null pData",
             [&](World& w) { return change(w)->SetData(w.row, w.accessor, nullptr); },
             {E_INVALIDARG}},
            {"DeleteRows with cRows 1 and no array",
             [&](World& w) {
                 DBROWSTATUS status = 0;
                 return change(w)->DeleteRows(DB_NULL_HCHAPTER, 1, nullptr, &status);
             },
             {E_INVALIDARG}},
            {"DeleteRows of no rows",
             [&](World& w) { return change(w)->DeleteRows(DB_NULL_HCHAPTER, 0, nullptr, nullptr); },
             {S_OK}},
            {"DeleteRows of a made-up row handle (row status E_INVALID)",
             [&](World& w) {
                 HROW row = madeUpRow;
                 DBROWSTATUS status = DBROWSTATUS_S_OK;
                 HRESULT hr = change(w)->DeleteRows(DB_NULL_HCHAPTER, 1, &row, &status);
                 EXPECT_EQ(status, DBROWSTATUS_E_INVALID);
                 return hr;
             },
             {DB_E_ERRORSOCCURRED}},
            {"DeleteRows of a released row handle (row status E_INVALID)",
             [&](World& w) {
                 DBROWSTATUS status = DBROWSTATUS_S_OK;
                 HRESULT hr = change(w)->DeleteRows(DB_NULL_HCHAPTER, 1, &w.releasedRow, &status);
                 EXPECT_EQ(status, DBROWSTATUS_E_INVALID);
                 return hr;
             },
             {DB_E_ERRORSOCCURRED}},
            {"InsertRow through a made-up accessor handle",
             [&](World& w) {
                 HROW row = DB_NULL_HROW;
                 return change(w)->InsertRow(DB_NULL_HCHAPTER, madeUpAccessor, w.cells, &row);
             },
             {DB_E_BADACCESSORHANDLE}},
            {"InsertRow with a null pData",
             [&](World& w) {
                 HROW row = DB_NULL_HROW;
                 return change(w)->InsertRow(DB_NULL_HCHAPTER, w.accessor, nullptr, &row);
             },
             {E_INVALIDARG}},
        });
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3") << "no case changed a row";
}

TEST_P(ArgumentChecks, TableDefinition) {
    auto definition = [](World& w) {
        return as<ITableDefinition>(w.session.get(), IID_ITableDefinition);
    };
    static DBCOLUMNDESC one = [] {
        DBCOLUMNDESC d{};
        d.dbcid = named(u"c");
        d.wType = DBTYPE_I4;
        return d;
    }();
    auto createWith = [definition](const char16_t* table, std::vector<DBCOLUMNDESC> columns,
                                   IUnknown* unkOuter = nullptr) {
        return [=](World& w) mutable {
            DBID id = named(table);
            return definition(w)->CreateTable(unkOuter, &id, columns.size(),
                                              columns.empty() ? nullptr : columns.data(), IID_NULL,
                                              0, nullptr, nullptr, nullptr);
        };
    };
    DBCOLUMNDESC unnamed = one;
    unnamed.dbcid = named(u"");
    DBCOLUMNDESC typeless = one;
    typeless.wType = DBTYPE_EMPTY;
    runCases(
        world_,
        {
            {"CreateTable with neither pTableID nor ppTableID",
             [&](World& w) {
                 return definition(w)->CreateTable(nullptr, nullptr, 1, &one, IID_NULL, 0, nullptr,
                                                   nullptr, nullptr);
             },
             {E_INVALIDARG}},
            {"CreateTable with cColumnDescs 1 and no array",
             [&](World& w) {
                 DBID id = named(u"fresh");
                 return definition(w)->CreateTable(nullptr, &id, 1, nullptr, IID_NULL, 0, nullptr,
                                                   nullptr, nullptr);
             },
             {E_INVALIDARG}},
            {"CreateTable with cPropertySets 1 and no array",
             [&](World& w) {
                 DBID id = named(u"fresh");
                 return definition(w)->CreateTable(nullptr, &id, 1, &one, IID_NULL, 1, nullptr,
                                                   nullptr, nullptr);
             },
             {E_INVALIDARG}},
            {"CreateTable aggregated", createWith(u"fresh", {one}, outer()), {DB_E_NOAGGREGATION}},
            {"CreateTable of a table that exists",
             createWith(u"t", {one}),
             {DB_E_DUPLICATETABLEID}},
            {"CreateTable with two columns of one name",
             createWith(u"fresh", {one, one}),
             {DB_E_DUPLICATECOLUMNID}},
            {"CreateTable with a column without a name",
             createWith(u"fresh", {unnamed}),
             {DB_E_BADCOLUMNID}},
            {"CreateTable with a column of DBTYPE_EMPTY",
             createWith(u"fresh", {typeless}),
             {DB_E_BADTYPE}},
            {"CreateTable with no columns",
             createWith(u"fresh", {}),
             {DB_E_BADCOLUMNID, E_INVALIDARG},
             "tables without columns are optional; the reference names no single code for refusing "
             "them"},
            {"CreateTable with a table ID that is no name",
             [&](World& w) {
                 DBID id{};
                 id.eKind = DBKIND_GUID_PROPID;
                 return definition(w)->CreateTable(nullptr, &id, 1, &one, IID_NULL, 0, nullptr,
                                                   nullptr, nullptr);
             },
             {DB_E_BADTABLEID}},
            {"DropTable with a null pTableID",
             [&](World& w) { return definition(w)->DropTable(nullptr); },
             {E_INVALIDARG}},
            {"DropTable of a table that does not exist",
             [&](World& w) {
                 DBID id = named(u"nowhere");
                 return definition(w)->DropTable(&id);
             },
             {DB_E_NOTABLE}},
            {"AddColumn with a null pTableID",
             [&](World& w) { return definition(w)->AddColumn(nullptr, &one, nullptr); },
             {E_INVALIDARG}},
            {"DropColumn with a null pTableID",
             [&](World& w) {
                 DBID column = named(u"c");
                 return definition(w)->DropColumn(nullptr, &column);
             },
             {E_INVALIDARG}},
        });
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3") << "t is untouched";
}

TEST_P(ArgumentChecks, Transactions) {
    auto local = [](World& w) {
        return as<ITransactionLocal>(w.session.get(), IID_ITransactionLocal);
    };
    runCases(
        world_,
        {
            {"Commit without a transaction",
             [&](World& w) { return local(w)->Commit(FALSE, XACTTC_SYNC, 0); },
             {XACT_E_NOTRANSACTION}},
            {"Abort without a transaction",
             [&](World& w) { return local(w)->Abort(nullptr, FALSE, FALSE); },
             {XACT_E_NOTRANSACTION}},
            {"GetTransactionInfo with a null pinfo",
             [&](World& w) { return local(w)->GetTransactionInfo(nullptr); },
             {E_INVALIDARG}},
            {"GetTransactionInfo without a transaction",
             [&](World& w) {
                 XACTTRANSINFO info{};
                 return local(w)->GetTransactionInfo(&info);
             },
             {XACT_E_NOTRANSACTION}},
            {"GetOptionsObject with a null ppOptions",
             [&](World& w) { return local(w)->GetOptionsObject(nullptr); },
             {E_INVALIDARG}},
            {"StartTransaction at an isolation level the reference does not define",
             [&](World& w) { return local(w)->StartTransaction(0x12345, 0, nullptr, nullptr); },
             {XACT_E_ISOLATIONLEVEL}},
            {"StartTransaction with isolation flags",
             [&](World& w) {
                 return local(w)->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 1, nullptr,
                                                   nullptr);
             },
             {XACT_E_NOISORETAIN}},
            {"StartTransaction",
             [&](World& w) {
                 ULONG level = 0;
                 HRESULT hr =
                     local(w)->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level);
                 EXPECT_EQ(level, 1u);
                 return hr;
             },
             {S_OK}},
            {"StartTransaction inside a transaction",
             [&](World& w) {
                 ULONG level = 0;
                 return local(w)->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr,
                                                   &level);
             },
             {XACT_E_XTIONEXISTS, S_OK},
             "nested transactions are optional; a provider that has them answers S_OK, level 2"},
            {"Commit asynchronously",
             [&](World& w) { return local(w)->Commit(FALSE, XACTTC_ASYNC, 0); },
             {XACT_E_NOTSUPPORTED}},
            {"Abort asynchronously",
             [&](World& w) { return local(w)->Abort(nullptr, FALSE, TRUE); },
             {XACT_E_NOTSUPPORTED}},
            {"Commit", [&](World& w) { return local(w)->Commit(FALSE, XACTTC_SYNC, 0); }, {S_OK}},
            {"Commit again",
             [&](World& w) { return local(w)->Commit(FALSE, XACTTC_SYNC, 0); },
             {XACT_E_NOTRANSACTION}},
        });
}

// The ODBC bridge is a provider of the same kit: its argument checks are held to the same table.
INSTANTIATE_TEST_SUITE_P(EveryProvider, ArgumentChecks,
                         ::testing::Values(Provider::SQLite, Provider::PostgreSQL,
                                           Provider::OdbcSQLite),
                         ProviderName());

} // namespace
} // namespace conformance
