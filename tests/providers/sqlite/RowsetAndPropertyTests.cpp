// The initialisation properties as GetPropertyInfo describes them (the Data Links dialog and
// connection strings are built from this), IOpenRowset, rows inserted and deleted through an
// updatable rowset, and date-time parameters stored so that SQLite's own functions read them.
#include "ProviderTestSupport.h"

#include <oleauto.h>

#include <cstring>
#include <map>

#include <unistd.h>

using namespace sqlitetest;

namespace {

class RowsetAndProperties : public ProviderTest {};

struct InfoRow {
    VARTYPE type;
    DBPROPFLAGS flags;
};

} // namespace

TEST_F(RowsetAndProperties, InitialisationPropertiesDescribeThemselves) {
    Ptr<IDBProperties> properties;
    ASSERT_EQ(S_OK, CoCreateInstance(providerClsid(), nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDBProperties, properties.outVoid()));
    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINITALL};
    ULONG setCount = 0;
    DBPROPINFOSET* sets = nullptr;
    OLECHAR* descriptions = nullptr;
    ASSERT_EQ(S_OK, properties->GetPropertyInfo(1, &all, &setCount, &sets, &descriptions));
    std::map<std::string, InfoRow> byDescription;
    for (ULONG s = 0; s < setCount; ++s) {
        for (ULONG i = 0; i < sets[s].cPropertyInfos; ++i) {
            const DBPROPINFO& info = sets[s].rgPropertyInfos[i];
            byDescription[utf8(info.pwszDescription)] = {info.vtType, info.dwFlags};
        }
    }
    const auto expect = [&](const std::string& description, VARTYPE type) {
        const auto found = byDescription.find(description);
        ASSERT_NE(byDescription.end(), found) << description;
        EXPECT_EQ(type, found->second.type) << description;
        EXPECT_TRUE(found->second.flags & DBPROPFLAGS_DBINIT) << description;
        EXPECT_TRUE(found->second.flags & DBPROPFLAGS_WRITE) << description;
    };
    expect("Data Source", VT_BSTR);
    expect("Mode", VT_I4);
    expect("Connect Timeout", VT_I4);
    expect("Extended Properties", VT_BSTR);
    expect("Initial Catalog", VT_BSTR);
    expect("Concurrency", VT_BSTR);
    // The values a fresh data source holds: the defaults a fresh machine connects with.
    ULONG valueSetCount = 0;
    DBPROPSET* values = nullptr;
    DBPROPIDSET current[] = {{nullptr, 0, DBPROPSET_DBINIT}, {nullptr, 0, kitInitPropertySet()}};
    ASSERT_EQ(S_OK, properties->GetProperties(2, current, &valueSetCount, &values));
    std::map<DBPROPID, std::string> texts;
    std::map<DBPROPID, LONG> integers;
    for (ULONG s = 0; s < valueSetCount; ++s) {
        for (ULONG i = 0; i < values[s].cProperties; ++i) {
            DBPROP& p = values[s].rgProperties[i];
            const bool kitSet = !IsEqualGUID(values[s].guidPropertySet, DBPROPSET_DBINIT);
            const DBPROPID key = kitSet ? 0x10000 + p.dwPropertyID : p.dwPropertyID;
            if (p.vValue.vt == VT_BSTR)
                texts[key] = utf8(p.vValue.bstrVal);
            else if (p.vValue.vt == VT_I4)
                integers[key] = p.vValue.lVal;
            VariantClear(&p.vValue);
        }
        CoTaskMemFree(values[s].rgProperties);
    }
    CoTaskMemFree(values);
    EXPECT_EQ("vantrel.db", texts[DBPROP_INIT_DATASOURCE]);
    EXPECT_EQ(5, integers[DBPROP_INIT_TIMEOUT]);
    EXPECT_EQ(DB_MODE_READWRITE, integers[DBPROP_INIT_MODE]);
    EXPECT_EQ("Optimistic", texts[0x10000 + kitPropConcurrency]);
    for (ULONG s = 0; s < setCount; ++s) {
        for (ULONG i = 0; i < sets[s].cPropertyInfos; ++i)
            VariantClear(&sets[s].rgPropertyInfos[i].vValues);
        CoTaskMemFree(sets[s].rgPropertyInfos);
    }
    CoTaskMemFree(sets);
    CoTaskMemFree(descriptions);
}

TEST_F(RowsetAndProperties, TheDefaultDataSourceIsCreatedInTheWorkingDirectory) {
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(directory_.c_str()));
    {
        Ptr<IDBInitialize> init;
        ASSERT_EQ(S_OK, CoCreateInstance(providerClsid(), nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IDBInitialize, init.outVoid()));
        EXPECT_EQ(S_OK, init->Initialize());
        EXPECT_EQ(S_OK, init->Uninitialize());
    }
    EXPECT_EQ(0, access(pathOf("vantrel.db").c_str(), F_OK));
    ASSERT_EQ(0, chdir(previous));
}

TEST_F(RowsetAndProperties, OpenRowsetReadsAWholeTableOrReportsItMissing) {
    auto c = connect();
    run(c.session.get(), "CREATE TABLE \"odd name\" (a INTEGER, b VARCHAR(5))");
    run(c.session.get(), "INSERT INTO \"odd name\" VALUES (1, 'x'), (2, NULL)");
    Ptr<IOpenRowset> open;
    ASSERT_EQ(S_OK, c.session->QueryInterface(IID_IOpenRowset, open.outVoid()));
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = const_cast<LPOLESTR>(u"odd name");
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK, open->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr,
                                     reinterpret_cast<IUnknown**>(rowset.out())));
    Ptr<IColumnsInfo> columns;
    ASSERT_EQ(S_OK, rowset->QueryInterface(IID_IColumnsInfo, columns.outVoid()));
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(S_OK, columns->GetColumnInfo(&count, &info, &names));
    EXPECT_EQ(2u, count);
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    HROW rows[4];
    HROW* p = rows;
    DBCOUNTITEM obtained = 0;
    EXPECT_EQ(DB_S_ENDOFROWSET, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 4, &obtained, &p));
    EXPECT_EQ(2u, obtained);
    rowset->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr);

    table.uName.pwszName = const_cast<LPOLESTR>(u"missing");
    EXPECT_EQ(DB_E_NOTABLE, open->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr,
                                             reinterpret_cast<IUnknown**>(rowset.out())));
}

TEST_F(RowsetAndProperties, AnUpdatableRowsetInsertsAndDeletesRowsAtOnce) {
    auto c = connect();
    run(c.session.get(), "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(10) NOT NULL)");
    run(c.session.get(), "INSERT INTO t VALUES (1, 'one'), (2, 'two')");
    Ptr<IDBCreateCommand> create;
    ASSERT_EQ(S_OK, c.session->QueryInterface(IID_IDBCreateCommand, create.outVoid()));
    Ptr<ICommandText> command;
    ASSERT_EQ(S_OK, create->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(command.out())));
    ASSERT_EQ(S_OK, command->SetCommandText(DBGUID_DBSQL, u"SELECT id, name FROM t ORDER BY id"));
    auto properties = command.query<ICommandProperties>(IID_ICommandProperties);
    DBPROP props[2] = {};
    props[0].dwPropertyID = DBPROP_IRowsetChange;
    props[1].dwPropertyID = DBPROP_UPDATABILITY;
    props[0].vValue.vt = VT_BOOL;
    props[0].vValue.boolVal = VARIANT_TRUE;
    props[1].vValue.vt = VT_I4;
    props[1].vValue.lVal = DBPROPVAL_UP_CHANGE | DBPROPVAL_UP_INSERT | DBPROPVAL_UP_DELETE;
    DBPROPSET set{props, 2, DBPROPSET_ROWSET};
    ASSERT_EQ(S_OK, properties->SetProperties(1, &set));
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK, command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                     reinterpret_cast<IUnknown**>(rowset.out())));
    auto change = rowset.query<IRowsetChange>(IID_IRowsetChange);
    ASSERT_TRUE(change);

    struct Row {
        std::int32_t id;
        char name[12];
    };
    DBBINDING bindings[2] = {};
    bindings[0].iOrdinal = 1;
    bindings[0].obValue = offsetof(Row, id);
    bindings[0].dwPart = DBPART_VALUE;
    bindings[0].cbMaxLen = 4;
    bindings[0].wType = DBTYPE_I4;
    bindings[1].iOrdinal = 2;
    bindings[1].obValue = offsetof(Row, name);
    bindings[1].dwPart = DBPART_VALUE;
    bindings[1].cbMaxLen = sizeof(Row::name);
    bindings[1].wType = DBTYPE_STR;
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, sizeof(Row), &handle,
                                             nullptr));
    Row fresh{3, "three"};
    HROW inserted = DB_NULL_HROW;
    ASSERT_EQ(S_OK, change->InsertRow(DB_NULL_HCHAPTER, handle, &fresh, &inserted));
    // Sent at once: another connection sees it.
    auto other = connect();
    EXPECT_EQ(3, scalar(other.session.get(), "SELECT COUNT(*) FROM t"));
    // A row the constraints refuse is refused with the database's word.
    Row duplicate{1, "again"};
    HROW refused = DB_NULL_HROW;
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION,
              change->InsertRow(DB_NULL_HCHAPTER, handle, &duplicate, &refused));

    HROW first = DB_NULL_HROW;
    HROW* p = &first;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &p));
    DBROWSTATUS status = DBROWSTATUS_S_OK;
    EXPECT_EQ(S_OK, change->DeleteRows(DB_NULL_HCHAPTER, 1, &first, &status));
    EXPECT_EQ(DBROWSTATUS_S_OK, status);
    // The row is gone; deleting it again says so per row.
    EXPECT_EQ(DB_E_ERRORSOCCURRED, change->DeleteRows(DB_NULL_HCHAPTER, 1, &first, &status));
    EXPECT_EQ(DBROWSTATUS_E_DELETED, status);
    rowset->ReleaseRows(1, &first, nullptr, nullptr, nullptr);
    rowset->ReleaseRows(1, &inserted, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"2", "two"}, {"3", "three"}}),
              query(other.session.get(), "SELECT id, name FROM t ORDER BY id"));
}

TEST_F(RowsetAndProperties, DateTimeParametersAreStoredAsTextSQLiteReads) {
    auto c = connect();
    run(c.session.get(), "CREATE TABLE h (at DATETIME, day DATE)");
    Ptr<IDBCreateCommand> create;
    ASSERT_EQ(S_OK, c.session->QueryInterface(IID_IDBCreateCommand, create.outVoid()));
    Ptr<ICommandText> command;
    ASSERT_EQ(S_OK, create->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(command.out())));
    ASSERT_EQ(S_OK,
              command->SetCommandText(DBGUID_DBSQL, u"INSERT INTO h (at, day) VALUES (?, ?)"));
    struct Params {
        DBTIMESTAMP at;
        DBDATE day;
    } values{};
    values.at = {2026, 12, 8, 13, 4, 5, 500000000};
    values.day = {2024, 2, 29};
    DBBINDING bindings[2] = {};
    bindings[0].iOrdinal = 1;
    bindings[0].obValue = offsetof(Params, at);
    bindings[0].dwPart = DBPART_VALUE;
    bindings[0].eParamIO = DBPARAMIO_INPUT;
    bindings[0].cbMaxLen = sizeof(DBTIMESTAMP);
    bindings[0].wType = DBTYPE_DBTIMESTAMP;
    bindings[1].iOrdinal = 2;
    bindings[1].obValue = offsetof(Params, day);
    bindings[1].dwPart = DBPART_VALUE;
    bindings[1].eParamIO = DBPARAMIO_INPUT;
    bindings[1].cbMaxLen = sizeof(DBDATE);
    bindings[1].wType = DBTYPE_DBDATE;
    auto accessor = command.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 2, bindings, sizeof(Params),
                                             &handle, nullptr));
    DBPARAMS params{&values, 1, handle};
    ASSERT_EQ(S_OK, command->Execute(nullptr, IID_NULL, &params, nullptr, nullptr));
    accessor->ReleaseAccessor(handle, nullptr);
    EXPECT_EQ((std::vector<std::vector<std::string>>{
                  {"2026-12-08 13:04:05.5", "2024-02-29", "2026-12-08 14:04:05", "060"}}),
              query(c.session.get(), "SELECT CAST(at AS TEXT), CAST(day AS TEXT), "
                                     "datetime(at, '+1 hour'), strftime('%j', day) FROM h"));
}
