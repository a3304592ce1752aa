// The bench's whole workload against the provider, call for call as the bench makes it: the
// four tables through ITableDefinition, the prepared parameterised load in serializable
// transactions, counts, browsing 100,000 rows with rewind and skip, the two-rowset edit
// conflict under both concurrency policies, and the nine information properties.
#include "ProviderTestSupport.h"

#include <oleauto.h>

#include <chrono>
#include <cstring>

using namespace sqlitetest;

namespace {

struct ColumnSpec {
    const char16_t* name;
    DBTYPE type;
    const char16_t* typeName;
    DBLENGTH size;
    int properties; // 0 key, 1 not null, 2 nullable
};

struct TableSpec {
    const char16_t* name;
    std::vector<ColumnSpec> columns;
};

const std::vector<TableSpec>& benchTables() {
    static const std::vector<TableSpec> tables = {
        {u"branches",
         {{u"Bid", DBTYPE_I4, nullptr, 0, 0},
          {u"Bbalance", DBTYPE_I4, nullptr, 0, 1},
          {u"Remark", DBTYPE_STR, u"char", 91, 2}}},
        {u"tellers",
         {{u"Tid", DBTYPE_I4, nullptr, 0, 0},
          {u"Bid", DBTYPE_I4, nullptr, 0, 1},
          {u"Tbalance", DBTYPE_I4, nullptr, 0, 1},
          {u"Remark", DBTYPE_STR, u"char", 87, 2}}},
        {u"accounts",
         {{u"Aid", DBTYPE_I4, nullptr, 0, 0},
          {u"Bid", DBTYPE_I4, nullptr, 0, 1},
          {u"Abalance", DBTYPE_I4, nullptr, 0, 1},
          {u"Remark", DBTYPE_STR, u"char", 87, 2}}},
        {u"history",
         {{u"Tid", DBTYPE_I4, nullptr, 0, 1},
          {u"Bid", DBTYPE_I4, nullptr, 0, 1},
          {u"Aid", DBTYPE_I4, nullptr, 0, 1},
          {u"Delta", DBTYPE_I4, nullptr, 0, 1},
          {u"Time", DBTYPE_DBTIMESTAMP, u"datetime", 0, 2},
          {u"Remark", DBTYPE_STR, u"char", 75, 2}}},
    };
    return tables;
}

DBID nameId(const char16_t* name) {
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = const_cast<LPOLESTR>(name);
    return id;
}

DBPROP boolProp(DBPROPID id, bool value) {
    DBPROP p{};
    p.dwPropertyID = id;
    p.dwOptions = DBPROPOPTIONS_OPTIONAL;
    p.colid = DB_NULLID;
    p.vValue.vt = VT_BOOL;
    p.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return p;
}

// CreateTable for one table of the schema, exactly as the bench builds it.
HRESULT createBenchTable(ITableDefinition* definition, const TableSpec& table) {
    DBPROP keyProps[] = {boolProp(DBPROP_COL_NULLABLE, false),
                         boolProp(DBPROP_COL_PRIMARYKEY, true)};
    DBPROP notNullProps[] = {boolProp(DBPROP_COL_NULLABLE, false)};
    DBPROP nullableProps[] = {boolProp(DBPROP_COL_NULLABLE, true)};
    DBPROPSET sets[] = {{keyProps, 2, DBPROPSET_COLUMN},
                        {notNullProps, 1, DBPROPSET_COLUMN},
                        {nullableProps, 1, DBPROPSET_COLUMN}};
    std::vector<DBCOLUMNDESC> descs;
    for (const ColumnSpec& c : table.columns) {
        DBCOLUMNDESC d{};
        d.pwszTypeName = const_cast<LPOLESTR>(c.typeName);
        d.rgPropertySets = &sets[c.properties];
        d.cPropertySets = 1;
        d.ulColumnSize = c.size;
        d.dbcid = nameId(c.name);
        d.wType = c.type;
        descs.push_back(d);
    }
    DBID tableId = nameId(table.name);
    return definition->CreateTable(nullptr, &tableId, descs.size(), descs.data(), IID_NULL, 0,
                                   nullptr, nullptr, nullptr);
}

void createBenchSchema(IUnknown* session) {
    Ptr<ITableDefinition> definition;
    ASSERT_EQ(S_OK, session->QueryInterface(IID_ITableDefinition, definition.outVoid()));
    for (const TableSpec& table : benchTables())
        ASSERT_TRUE(SUCCEEDED(createBenchTable(definition.get(), table)));
}

struct LoadPass {
    const char* sql;
    int rows;
    int parameters;
    int bidDivisor; // 0: offset 4 keeps the balance
};

const LoadPass loadPasses[] = {
    {"INSERT INTO branches (Bid, Bbalance, Remark) VALUES (?, ?, ?)", 1, 3, 0},
    {"INSERT INTO tellers (Tid, Bid, Tbalance, Remark) VALUES (?, ?, ?, ?)", 10, 4, 10},
    {"INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (?, ?, ?, ?)", 100000, 4, 100000},
};

// The bench's load: one command, prepared per table, a parameter accessor built from the
// provider's parameter description, one Execute per row, one serializable transaction per
// table. Returns the number of executions that failed per pass.
std::vector<int> loadBenchData(IUnknown* session) {
    std::vector<int> refused;
    Ptr<ITransactionLocal> transaction;
    Ptr<IDBCreateCommand> create;
    EXPECT_EQ(S_OK, session->QueryInterface(IID_ITransactionLocal, transaction.outVoid()));
    EXPECT_EQ(S_OK, session->QueryInterface(IID_IDBCreateCommand, create.outVoid()));
    Ptr<ICommandText> command;
    EXPECT_EQ(S_OK, create->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(command.out())));
    auto withParameters = command.query<ICommandWithParameters>(IID_ICommandWithParameters);
    auto prepare = command.query<ICommandPrepare>(IID_ICommandPrepare);
    EXPECT_TRUE(withParameters && prepare);
    if (!withParameters || !prepare)
        return refused;
    for (const LoadPass& pass : loadPasses) {
        EXPECT_EQ(S_OK,
                  transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr));
        EXPECT_EQ(S_OK, command->SetCommandText(DBGUID_DBSQL, u16(pass.sql).c_str()));
        EXPECT_EQ(S_OK, prepare->Prepare(pass.rows));
        DB_UPARAMS count = 0;
        DBPARAMINFO* info = nullptr;
        OLECHAR* names = nullptr;
        EXPECT_EQ(S_OK, withParameters->GetParameterInfo(&count, &info, &names));
        EXPECT_EQ(static_cast<DB_UPARAMS>(pass.parameters), count);
        DBBINDING bindings[6] = {};
        for (DB_UPARAMS i = 0; i < count && i < 6; ++i) {
            bindings[i].iOrdinal = i + 1;
            bindings[i].obValue = 4 * i;
            bindings[i].dwPart = DBPART_VALUE;
            bindings[i].dwMemOwner = DBMEMOWNER_CLIENTOWNED;
            bindings[i].eParamIO = DBPARAMIO_INPUT;
            bindings[i].cbMaxLen = info[i].ulParamSize;
            bindings[i].wType = info[i].wType;
            bindings[i].bPrecision = info[i].bPrecision;
            bindings[i].bScale = info[i].bScale;
        }
        // The bench's buffer layout relies on these types.
        for (DB_UPARAMS i = 0; i + 1 < count; ++i)
            EXPECT_EQ(DBTYPE_I4, info[i].wType) << pass.sql << " parameter " << i + 1;
        EXPECT_EQ(DBTYPE_STR, info[count - 1].wType) << pass.sql;
        auto accessor = command.query<IAccessor>(IID_IAccessor);
        HACCESSOR handle = DB_NULL_HACCESSOR;
        DBBINDSTATUS statuses[6] = {};
        EXPECT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, count, bindings, 100,
                                                 &handle, statuses));
        alignas(8) unsigned char buffer[100];
        std::memset(buffer, 0, sizeof buffer);
        const std::size_t textOffset = 4 * (count - 1);
        std::memcpy(buffer + textOffset, "filler", 7);
        DBPARAMS params{buffer, 1, handle};
        int failures = 0;
        for (int n = 0; n < pass.rows; ++n) {
            const std::int32_t key = n;
            std::memcpy(buffer, &key, 4);
            if (pass.bidDivisor != 0) {
                const std::int32_t bid = static_cast<std::int32_t>(
                    static_cast<unsigned>(n) / static_cast<unsigned>(pass.bidDivisor));
                std::memcpy(buffer + 4, &bid, 4);
            }
            if (FAILED(command->Execute(nullptr, IID_NULL, &params, nullptr, nullptr)))
                ++failures;
        }
        refused.push_back(failures);
        accessor->ReleaseAccessor(handle, nullptr);
        CoTaskMemFree(info);
        CoTaskMemFree(names);
        EXPECT_EQ(S_OK, prepare->Unprepare());
        EXPECT_EQ(S_OK, transaction->Commit(FALSE, XACTTC_SYNC, 0));
    }
    return refused;
}

class BenchWorkload : public ProviderTest {};

} // namespace

TEST_F(BenchWorkload, SchemaReadsBackWithTheTypesItWasCreatedWith) {
    auto c = connect();
    createBenchSchema(c.session.get());
    for (const TableSpec& table : benchTables()) {
        Ptr<IRowset> rowset;
        ASSERT_EQ(S_OK, execute(c.session.get(), "SELECT * FROM " + utf8(table.name), nullptr,
                                IID_IRowset, reinterpret_cast<IUnknown**>(rowset.out())));
        auto columnsInfo = rowset.query<IColumnsInfo>(IID_IColumnsInfo);
        DBORDINAL count = 0;
        DBCOLUMNINFO* info = nullptr;
        OLECHAR* names = nullptr;
        ASSERT_EQ(S_OK, columnsInfo->GetColumnInfo(&count, &info, &names));
        ASSERT_EQ(table.columns.size(), count);
        for (DBORDINAL i = 0; i < count; ++i) {
            const ColumnSpec& column = table.columns[i];
            SCOPED_TRACE(utf8(table.name) + "." + utf8(column.name));
            EXPECT_EQ(utf8(column.name), utf8(info[i].pwszName));
            EXPECT_EQ(i + 1, info[i].iOrdinal);
            EXPECT_EQ(column.type, info[i].wType);
            if (column.type == DBTYPE_STR) {
                EXPECT_EQ(column.size, info[i].ulColumnSize);
            }
            if (column.type == DBTYPE_I4) {
                EXPECT_EQ(4u, info[i].ulColumnSize);
            }
            const bool nullable = (info[i].dwFlags & DBCOLUMNFLAGS_ISNULLABLE) != 0;
            EXPECT_EQ(column.properties == 2, nullable);
        }
        CoTaskMemFree(info);
        CoTaskMemFree(names);
    }
    // The key refuses a duplicate, history has none.
    run(c.session.get(), "INSERT INTO branches VALUES (1, 0, 'a')");
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION,
              execute(c.session.get(), "INSERT INTO branches VALUES (1, 0, 'b')"));
    run(c.session.get(), "INSERT INTO history VALUES (1, 1, 1, 1, NULL, 'x')");
    run(c.session.get(), "INSERT INTO history VALUES (1, 1, 1, 1, NULL, 'x')");
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION,
              execute(c.session.get(), "INSERT INTO tellers VALUES (1, NULL, 0, 'x')"));
}

TEST_F(BenchWorkload, LoadFillsTheSchemaAndASecondRunIsRefusedRowByRowButCommits) {
    auto c = connect();
    createBenchSchema(c.session.get());
    const std::vector<int> first = loadBenchData(c.session.get());
    EXPECT_EQ((std::vector<int>{0, 0, 0}), first);
    EXPECT_EQ(1, scalar(c.session.get(), "SELECT COUNT(*) FROM branches"));
    EXPECT_EQ(10, scalar(c.session.get(), "SELECT COUNT(*) FROM tellers"));
    EXPECT_EQ(100000, scalar(c.session.get(), "SELECT COUNT(*) FROM accounts"));
    EXPECT_EQ(0, scalar(c.session.get(), "SELECT COUNT(*) FROM history"));
    EXPECT_EQ(0, scalar(c.session.get(), "SELECT COUNT(*) FROM accounts WHERE Bid <> 0 OR "
                                         "Abalance <> 0 OR Remark <> 'filler'"));
    EXPECT_EQ(99999, scalar(c.session.get(), "SELECT MAX(Aid) FROM accounts"));
    EXPECT_EQ(45, scalar(c.session.get(), "SELECT SUM(Tid) FROM tellers"));

    const std::vector<int> second = loadBenchData(c.session.get());
    EXPECT_EQ((std::vector<int>{1, 10, 100000}), second);
    EXPECT_EQ(100000, scalar(c.session.get(), "SELECT COUNT(*) FROM accounts"));
    // The transactions committed: nothing is left open.
    Ptr<ITransactionLocal> transaction;
    ASSERT_EQ(S_OK, c.session->QueryInterface(IID_ITransactionLocal, transaction.outVoid()));
    EXPECT_EQ(XACT_E_NOTRANSACTION, transaction->Commit(FALSE, XACTTC_SYNC, 0));
}

namespace {

// The bench's browse binding: value only, cbMaxLen the column size, text as DBTYPE_STR.
struct BrowseAccessor {
    std::vector<DBBINDING> bindings;
    DBLENGTH rowSize = 0;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    Ptr<IAccessor> accessor;
};

BrowseAccessor makeBrowseAccessor(IRowset* rowset) {
    BrowseAccessor b;
    Ptr<IColumnsInfo> columnsInfo;
    EXPECT_EQ(S_OK, rowset->QueryInterface(IID_IColumnsInfo, columnsInfo.outVoid()));
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    EXPECT_EQ(S_OK, columnsInfo->GetColumnInfo(&count, &info, &names));
    for (DBORDINAL i = 0; i < count; ++i) {
        DBBINDING d{};
        d.iOrdinal = info[i].iOrdinal;
        d.obValue = b.rowSize;
        d.dwPart = DBPART_VALUE;
        d.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        // Room for the terminating NUL of text columns.
        d.cbMaxLen = info[i].ulColumnSize + (info[i].wType == DBTYPE_STR ? 1 : 0);
        d.wType = info[i].wType == DBTYPE_WSTR ? static_cast<DBTYPE>(DBTYPE_STR) : info[i].wType;
        b.rowSize += d.cbMaxLen;
        b.bindings.push_back(d);
    }
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    EXPECT_EQ(S_OK, rowset->QueryInterface(IID_IAccessor, b.accessor.outVoid()));
    std::vector<DBBINDSTATUS> statuses(b.bindings.size());
    EXPECT_EQ(S_OK, b.accessor->CreateAccessor(DBACCESSOR_ROWDATA, b.bindings.size(),
                                               b.bindings.data(), 0, &b.handle, statuses.data()));
    return b;
}

// Rewinds and fetches the block of up to 20 rows starting at 1-based row `row`, as the grid
// does; returns the Aid of each fetched row.
std::vector<std::int32_t> fetchBlock(IRowset* rowset, const BrowseAccessor& b, DBROWOFFSET row) {
    std::vector<std::int32_t> keys;
    HROW handles[20];
    HROW* p = handles;
    DBCOUNTITEM obtained = 0;
    EXPECT_EQ(S_OK, rowset->RestartPosition(DB_NULL_HCHAPTER));
    const HRESULT hr = rowset->GetNextRows(DB_NULL_HCHAPTER, row - 1, 20, &obtained, &p);
    EXPECT_TRUE(hr == S_OK || hr == DB_S_ENDOFROWSET) << std::hex << hr;
    std::vector<unsigned char> buffer(b.rowSize);
    for (DBCOUNTITEM i = 0; i < obtained; ++i) {
        EXPECT_EQ(S_OK, rowset->GetData(handles[i], b.handle, buffer.data()));
        std::int32_t key;
        std::memcpy(&key, buffer.data(), 4);
        keys.push_back(key);
        EXPECT_STREQ("filler",
                     reinterpret_cast<const char*>(buffer.data() + b.bindings[3].obValue));
    }
    if (obtained > 0) {
        EXPECT_EQ(S_OK, rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr));
    }
    return keys;
}

} // namespace

TEST_F(BenchWorkload, BrowsingJumpsAnywhereWithoutReadingThePassedRows) {
    auto c = connect();
    createBenchSchema(c.session.get());
    loadBenchData(c.session.get());
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK, execute(c.session.get(), "SELECT * FROM accounts", nullptr, IID_IRowset,
                            reinterpret_cast<IUnknown**>(rowset.out())));
    const BrowseAccessor b = makeBrowseAccessor(rowset.get());
    ASSERT_EQ(4u, b.bindings.size());

    EXPECT_EQ(20u, fetchBlock(rowset.get(), b, 1).size());
    EXPECT_EQ(20, fetchBlock(rowset.get(), b, 21).front());
    EXPECT_EQ(19, fetchBlock(rowset.get(), b, 20).front());
    // The last block is short; past the end there is nothing.
    const auto last = fetchBlock(rowset.get(), b, 99991);
    ASSERT_EQ(10u, last.size());
    EXPECT_EQ(99999, last.back());
    EXPECT_TRUE(fetchBlock(rowset.get(), b, 100001).empty());

    // The rowset keeps a window of rows, not every row it has passed: it reports that it sees
    // others' changes, and after a delete a jump shows the table as it is now.
    auto info = rowset.query<IRowsetInfo>(IID_IRowsetInfo);
    DBPROPID ids[] = {DBPROP_OTHERUPDATEDELETE};
    DBPROPIDSET request{ids, 1, DBPROPSET_ROWSET};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    ASSERT_EQ(S_OK, info->GetProperties(1, &request, &count, &sets));
    ASSERT_EQ(1u, count);
    EXPECT_EQ(VT_BOOL, sets[0].rgProperties[0].vValue.vt);
    EXPECT_EQ(VARIANT_TRUE, sets[0].rgProperties[0].vValue.boolVal);
    CoTaskMemFree(sets[0].rgProperties);
    CoTaskMemFree(sets);
    run(c.session.get(), "DELETE FROM accounts WHERE Aid >= 50000");
    EXPECT_TRUE(fetchBlock(rowset.get(), b, 99981).empty());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        const auto block = fetchBlock(rowset.get(), b, 49981 - i * 7);
        ASSERT_EQ(20u, block.size());
        EXPECT_EQ(49980 - i * 7, block.front());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // 200 rewinds with skips of ~50,000 rows: cheap when the passed rows are not read.
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    b.accessor->ReleaseAccessor(b.handle, nullptr);
}

TEST_F(BenchWorkload, JumpsKeepTheQuerysOwnOrderAndTolerateATrailingSemicolonAndComment) {
    auto c = connect();
    createBenchSchema(c.session.get());
    loadBenchData(c.session.get());
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK,
              execute(c.session.get(), "SELECT * FROM accounts ORDER BY Aid DESC; -- newest first",
                      nullptr, IID_IRowset, reinterpret_cast<IUnknown**>(rowset.out())));
    const BrowseAccessor b = makeBrowseAccessor(rowset.get());
    EXPECT_EQ(49999, fetchBlock(rowset.get(), b, 50001).front());
    EXPECT_EQ(99999, fetchBlock(rowset.get(), b, 1).front());
    const auto tail = fetchBlock(rowset.get(), b, 99995);
    ASSERT_EQ(6u, tail.size());
    EXPECT_EQ(0, tail.back());
    b.accessor->ReleaseAccessor(b.handle, nullptr);
}

TEST_F(BenchWorkload, HeldRowsKeepTheirValuesWhenTheWindowMovesAway) {
    auto c = connect();
    createBenchSchema(c.session.get());
    loadBenchData(c.session.get());
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK, execute(c.session.get(), "SELECT * FROM accounts", nullptr, IID_IRowset,
                            reinterpret_cast<IUnknown**>(rowset.out())));
    const BrowseAccessor b = makeBrowseAccessor(rowset.get());
    HROW held[3];
    HROW* p = held;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 70000, 3, &obtained, &p));
    ASSERT_EQ(3u, obtained);
    // Far away and back to the start, past rows deleted meanwhile: the held rows still read.
    run(c.session.get(), "DELETE FROM accounts WHERE Aid >= 50000");
    EXPECT_EQ(20, fetchBlock(rowset.get(), b, 21).front());
    EXPECT_TRUE(fetchBlock(rowset.get(), b, 90001).empty());
    std::vector<unsigned char> buffer(b.rowSize);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(S_OK, rowset->GetData(held[i], b.handle, buffer.data()));
        std::int32_t key;
        std::memcpy(&key, buffer.data(), 4);
        EXPECT_EQ(70000 + i, key);
    }
    EXPECT_EQ(S_OK, rowset->ReleaseRows(3, held, nullptr, nullptr, nullptr));
    // Released and out of the window, a handle is no longer valid.
    EXPECT_EQ(DB_E_BADROWHANDLE, rowset->GetData(held[0], b.handle, buffer.data()));
    b.accessor->ReleaseAccessor(b.handle, nullptr);
}

namespace {

struct EditSide {
    Ptr<IRowset> rowset;
    Ptr<IRowsetChange> change;
    Ptr<IAccessor> accessor;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    HROW row = DB_NULL_HROW;
    DBCOUNTITEM obtained = 0;
};

HRESULT openChangeableRowset(IUnknown* session, const std::string& sql, Ptr<IRowset>& rowset) {
    Ptr<IDBCreateCommand> create;
    session->QueryInterface(IID_IDBCreateCommand, create.outVoid());
    Ptr<ICommandText> command;
    create->CreateCommand(nullptr, IID_ICommandText, reinterpret_cast<IUnknown**>(command.out()));
    command->SetCommandText(DBGUID_DBSQL, u16(sql).c_str());
    auto properties = command.query<ICommandProperties>(IID_ICommandProperties);
    DBPROP prop{};
    prop.dwPropertyID = DBPROP_IRowsetChange;
    prop.dwOptions = DBPROPOPTIONS_REQUIRED;
    prop.colid = DB_NULLID;
    prop.vValue.vt = VT_BOOL;
    prop.vValue.boolVal = VARIANT_TRUE;
    DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
    const HRESULT hr = properties->SetProperties(1, &set);
    if (FAILED(hr))
        return hr;
    return command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                            reinterpret_cast<IUnknown**>(rowset.out()));
}

// Both sides over tellers, standing on the row with Tid 1 (type 0: both select that row; type
// 1: side 1 reads all rows in Tid order and moves to the second).
void openSides(IUnknown* session, int type, EditSide& side1, EditSide& side2) {
    const std::string one = "SELECT Remark FROM tellers WHERE Tid=1";
    ASSERT_EQ(S_OK, openChangeableRowset(
                        session, type == 0 ? one : "SELECT Remark FROM tellers ORDER BY Tid",
                        side1.rowset));
    ASSERT_EQ(S_OK, openChangeableRowset(session, one, side2.rowset));
    DBBINDING binding{};
    binding.iOrdinal = 1;
    binding.dwPart = DBPART_VALUE;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.cbMaxLen = 87;
    binding.wType = DBTYPE_STR;
    for (EditSide* side : {&side1, &side2}) {
        side->change = side->rowset.query<IRowsetChange>(IID_IRowsetChange);
        ASSERT_TRUE(side->change);
        side->accessor = side->rowset.query<IAccessor>(IID_IAccessor);
        DBBINDSTATUS status = 0;
        ASSERT_EQ(S_OK, side->accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0,
                                                       &side->handle, &status));
    }
    HROW* slot = &side1.row;
    ASSERT_EQ(S_OK, side1.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &side1.obtained, &slot));
    if (type == 1) {
        side1.rowset->ReleaseRows(side1.obtained, &side1.row, nullptr, nullptr, nullptr);
        ASSERT_EQ(S_OK, side1.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &side1.obtained, &slot));
    }
    slot = &side2.row;
    ASSERT_EQ(S_OK, side2.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &side2.obtained, &slot));
}

void closeSides(EditSide& side1, EditSide& side2) {
    for (EditSide* side : {&side1, &side2}) {
        if (side->obtained > 0)
            side->rowset->ReleaseRows(side->obtained, &side->row, nullptr, nullptr, nullptr);
        side->obtained = 0;
        if (side->accessor)
            side->accessor->ReleaseAccessor(side->handle, nullptr);
    }
}

HRESULT setRemark(EditSide& side, const char* text) {
    char buffer[100] = {};
    std::strcpy(buffer, text);
    return side.change->SetData(side.row, side.handle, buffer);
}

class EditConflict : public ProviderTest, public ::testing::WithParamInterface<int> {
protected:
    void prepareTellers(IUnknown* session) {
        createBenchSchema(session);
        for (int tid = 0; tid < 10; ++tid)
            run(session,
                "INSERT INTO tellers VALUES (" + std::to_string(tid) + ", 0, 0, 'filler')");
    }
};

} // namespace

TEST_P(EditConflict, OptimisticPolicyRefusesTheSecondChangeOfTheSameRow) {
    auto c = connect();
    prepareTellers(c.session.get());
    EditSide side1, side2;
    openSides(c.session.get(), GetParam(), side1, side2);
    EXPECT_EQ(S_OK, setRemark(side1, "111111"));
    EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, setRemark(side2, "111111"));
    const auto error = takeError();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->description.empty());
    EXPECT_EQ("Vantrel Embedded OLE DB Provider for SQLite", error->source);
    // Side 1 knows the value it wrote, so it may change the row again.
    EXPECT_EQ(S_OK, setRemark(side1, "filler"));
    closeSides(side1, side2);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"filler"}}),
              query(c.session.get(), "SELECT Remark FROM tellers WHERE Tid=1"));
}

TEST_P(EditConflict, LockingPolicyHoldsTheChangedRowUntilItsRowsetReleasesIt) {
    InitProperties locking;
    locking.concurrency("Locking");
    auto c = connect("test.db", locking);
    prepareTellers(c.session.get());
    EditSide side1, side2;
    openSides(c.session.get(), GetParam(), side1, side2);
    EXPECT_EQ(S_OK, setRemark(side1, "111111"));
    const HRESULT refused = setRemark(side2, "222222");
    EXPECT_TRUE(FAILED(refused));
    EXPECT_NE(DB_E_CONCURRENCYVIOLATION, refused);
    const auto error = takeError();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->description.empty());
    EXPECT_EQ(S_OK, setRemark(side1, "filler"));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"filler"}}),
              query(c.session.get(), "SELECT Remark FROM tellers WHERE Tid=1"));
    // Released by side 1, the row is free for side 2.
    side1.rowset->ReleaseRows(side1.obtained, &side1.row, nullptr, nullptr, nullptr);
    side1.obtained = 0;
    EXPECT_EQ(S_OK, setRemark(side2, "222222"));
    closeSides(side1, side2);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"222222"}}),
              query(c.session.get(), "SELECT Remark FROM tellers WHERE Tid=1"));
}

INSTANTIATE_TEST_SUITE_P(BothSelectionTypes, EditConflict, ::testing::Values(0, 1));

namespace {

VARIANT readProperty(IUnknown* dataSource, REFGUID set, DBPROPID id, HRESULT& hr,
                     DBPROPSTATUS& status) {
    VARIANT value;
    VariantInit(&value);
    Ptr<IDBProperties> properties;
    dataSource->QueryInterface(IID_IDBProperties, properties.outVoid());
    DBPROPID ids[] = {id};
    DBPROPIDSET request{ids, 1, set};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    hr = properties->GetProperties(1, &request, &count, &sets);
    status = DBPROPSTATUS_NOTSUPPORTED;
    if (count == 1 && sets[0].cProperties == 1) {
        status = sets[0].rgProperties[0].dwStatus;
        value = sets[0].rgProperties[0].vValue;
        CoTaskMemFree(sets[0].rgProperties);
    }
    CoTaskMemFree(sets);
    return value;
}

std::string stringProperty(IUnknown* dataSource, REFGUID set, DBPROPID id) {
    HRESULT hr;
    DBPROPSTATUS status;
    VARIANT v = readProperty(dataSource, set, id, hr, status);
    EXPECT_EQ(S_OK, hr) << "property " << id;
    EXPECT_EQ(VT_BSTR, v.vt) << "property " << id;
    std::string text = v.vt == VT_BSTR ? utf8(v.bstrVal) : "";
    VariantClear(&v);
    return text;
}

} // namespace

TEST_F(BenchWorkload, TheNineInformationPropertiesAnswer) {
    auto c = connect();
    IUnknown* ds = c.dataSource.get();
    EXPECT_EQ("Vantrel Embedded OLE DB Provider for SQLite",
              stringProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDERFRIENDLYNAME));
    EXPECT_FALSE(stringProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDERVER).empty());
    // The OLE DB version in its published form "NN.NN".
    const std::string oledbVersion =
        stringProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDEROLEDBVER);
    ASSERT_EQ(5u, oledbVersion.size());
    EXPECT_EQ('.', oledbVersion[2]);
    EXPECT_EQ(pathOf("test.db"), stringProperty(ds, DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE));
    HRESULT hr;
    DBPROPSTATUS status;
    VARIANT readOnly =
        readProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_DATASOURCEREADONLY, hr, status);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(VT_BOOL, readOnly.vt);
    EXPECT_EQ(VARIANT_FALSE, readOnly.boolVal);
    EXPECT_EQ("SQLite", stringProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_DBMSNAME));
    const auto version = query(c.session.get(), "SELECT sqlite_version()");
    ASSERT_EQ(1u, version.size());
    EXPECT_EQ(version[0][0], stringProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_DBMSVER));
    EXPECT_FALSE(stringProperty(ds, DBPROPSET_DATASOURCEINFO, DBPROP_SERVERNAME).empty());
    EXPECT_EQ("main", stringProperty(ds, DBPROPSET_DBINIT, DBPROP_INIT_CATALOG));

    // A property the provider does not know.
    VARIANT unknown = readProperty(ds, DBPROPSET_DATASOURCEINFO, 0x7fff, hr, status);
    EXPECT_EQ(DB_E_ERRORSOCCURRED, hr);
    EXPECT_EQ(DBPROPSTATUS_NOTSUPPORTED, status);
    VariantClear(&unknown);
}
