// What any consumer relies on beyond the bench's calls: values in the bound type with their
// statuses, accessor validation, properties that cannot be honoured, parameter description,
// rows affected, transactions, table definition and reference counts.
#include "ProviderTestSupport.h"

#include <oleauto.h>

#include <cstring>

using namespace sqlitetest;

namespace {

class Consumer : public ProviderTest {
protected:
    void SetUp() override {
        ProviderTest::SetUp();
        c_ = connect();
        session_ = c_.session.get();
    }
    void TearDown() override {
        c_ = Connection();
        ProviderTest::TearDown();
    }

    Ptr<IRowset> open(const std::string& sql) {
        Ptr<IRowset> rowset;
        EXPECT_EQ(S_OK, execute(session_, sql, nullptr, IID_IRowset,
                                reinterpret_cast<IUnknown**>(rowset.out())))
            << sql;
        return rowset;
    }

    // Opens `sql` and hands every column's description to `each`.
    template <class Each> void forEachColumnOf(const std::string& sql, Each each) {
        auto rowset = open(sql);
        EXPECT_TRUE(rowset) << sql;
        if (!rowset)
            return;
        DBORDINAL count = 0;
        DBCOLUMNINFO* info = nullptr;
        OLECHAR* strings = nullptr;
        EXPECT_EQ(
            S_OK,
            rowset.query<IColumnsInfo>(IID_IColumnsInfo)->GetColumnInfo(&count, &info, &strings));
        for (DBORDINAL i = 0; i < count; ++i)
            each(info[i]);
        CoTaskMemFree(info);
        CoTaskMemFree(strings);
    }

    Ptr<ICommandText> command(const std::string& sql) {
        Ptr<IDBCreateCommand> create;
        EXPECT_EQ(S_OK, session_->QueryInterface(IID_IDBCreateCommand, create.outVoid()));
        Ptr<ICommandText> text;
        EXPECT_EQ(S_OK, create->CreateCommand(nullptr, IID_ICommandText,
                                              reinterpret_cast<IUnknown**>(text.out())));
        EXPECT_EQ(S_OK, text->SetCommandText(DBGUID_DBSQL, u16(sql).c_str()));
        return text;
    }

    Connection c_;
    IUnknown* session_ = nullptr;
};

// One binding with value, length and status parts at fixed offsets.
struct Cell {
    DBSTATUS status;
    DBLENGTH length;
    alignas(8) unsigned char value[64];
    unsigned char guard[8];
};

DBBINDING cellBinding(DBORDINAL ordinal, DBTYPE type, DBLENGTH maxLen, std::size_t index = 0) {
    DBBINDING b{};
    b.iOrdinal = ordinal;
    b.obStatus = index * sizeof(Cell) + offsetof(Cell, status);
    b.obLength = index * sizeof(Cell) + offsetof(Cell, length);
    b.obValue = index * sizeof(Cell) + offsetof(Cell, value);
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.cbMaxLen = maxLen;
    b.wType = type;
    return b;
}

// Reads the first row of rowset through the bindings into cells (guard bytes 0xAB).
HRESULT readFirstRow(IRowset* rowset, std::vector<DBBINDING> bindings, std::vector<Cell>& cells) {
    Ptr<IAccessor> accessor;
    EXPECT_EQ(S_OK, rowset->QueryInterface(IID_IAccessor, accessor.outVoid()));
    HACCESSOR handle = DB_NULL_HACCESSOR;
    std::vector<DBBINDSTATUS> statuses(bindings.size());
    HRESULT hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0,
                                          &handle, statuses.data());
    if (FAILED(hr))
        return hr;
    cells.assign(bindings.size(), Cell{});
    for (Cell& cell : cells) {
        std::memset(&cell, 0xAB, sizeof cell);
    }
    HROW row = DB_NULL_HROW;
    HROW* p = &row;
    DBCOUNTITEM obtained = 0;
    EXPECT_EQ(S_OK, rowset->RestartPosition(DB_NULL_HCHAPTER));
    EXPECT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &p));
    hr = obtained == 1 ? rowset->GetData(row, handle, cells.data()) : E_FAIL;
    if (obtained == 1)
        rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
    return hr;
}

bool guardIntact(const Cell& cell) {
    for (unsigned char g : cell.guard)
        if (g != 0xAB)
            return false;
    return true;
}

} // namespace

TEST_F(Consumer, ValuesArriveInTheBoundTypeWithTheirStatuses) {
    run(session_, "CREATE TABLE v (i INTEGER, big BIGINT, r DOUBLE, t VARCHAR(20), n INTEGER, "
                  "ts DATETIME, d DATE, b BLOB, flag BOOLEAN)");
    run(session_, "INSERT INTO v VALUES (-42, 5000000000, 2.5, 'Příliš', NULL, "
                  "'2026-12-08 01:02:03.25', '2026-02-28', X'00FF10', 1)");
    auto rowset = open("SELECT * FROM v");
    std::vector<Cell> cells;
    const std::vector<DBBINDING> bindings = {
        cellBinding(1, DBTYPE_I4, 4, 0),     cellBinding(2, DBTYPE_I8, 8, 1),
        cellBinding(3, DBTYPE_R8, 8, 2),     cellBinding(4, DBTYPE_WSTR, 64, 3),
        cellBinding(5, DBTYPE_I4, 4, 4),     cellBinding(6, DBTYPE_DBTIMESTAMP, 16, 5),
        cellBinding(7, DBTYPE_DBDATE, 6, 6), cellBinding(8, DBTYPE_BYTES, 64, 7),
        cellBinding(9, DBTYPE_BOOL, 2, 8),   cellBinding(1, DBTYPE_STR, 64, 9),
        cellBinding(3, DBTYPE_I4, 4, 10),    cellBinding(2, DBTYPE_WSTR, 64, 11),
    };
    ASSERT_EQ(S_OK, readFirstRow(rowset.get(), bindings, cells));
    std::int32_t i4;
    std::memcpy(&i4, cells[0].value, 4);
    EXPECT_EQ(-42, i4);
    std::int64_t i8;
    std::memcpy(&i8, cells[1].value, 8);
    EXPECT_EQ(5000000000LL, i8);
    double r8;
    std::memcpy(&r8, cells[2].value, 8);
    EXPECT_EQ(2.5, r8);
    EXPECT_EQ(DBSTATUS_S_OK, cells[3].status);
    EXPECT_EQ(u"Příliš", std::u16string(reinterpret_cast<const char16_t*>(cells[3].value)));
    EXPECT_EQ(12u, cells[3].length); // bytes, without the terminator
    EXPECT_EQ(DBSTATUS_S_ISNULL, cells[4].status);
    DBTIMESTAMP ts;
    std::memcpy(&ts, cells[5].value, sizeof ts);
    EXPECT_EQ(2026, ts.year);
    EXPECT_EQ(12, ts.month);
    EXPECT_EQ(8, ts.day);
    EXPECT_EQ(3, ts.second);
    EXPECT_EQ(250000000u, ts.fraction);
    DBDATE date;
    std::memcpy(&date, cells[6].value, sizeof date);
    EXPECT_EQ(2, date.month);
    EXPECT_EQ(28, date.day);
    EXPECT_EQ(3u, cells[7].length);
    EXPECT_EQ(0xFF, cells[7].value[1]);
    VARIANT_BOOL flag;
    std::memcpy(&flag, cells[8].value, 2);
    EXPECT_EQ(VARIANT_TRUE, flag);
    EXPECT_STREQ("-42", reinterpret_cast<const char*>(cells[9].value));
    // 2.5 as an integer rounds or truncates, but arrives.
    EXPECT_TRUE(cells[10].status == DBSTATUS_S_OK);
    EXPECT_EQ(u"5000000000", std::u16string(reinterpret_cast<const char16_t*>(cells[11].value)));
    for (const Cell& cell : cells)
        EXPECT_TRUE(guardIntact(cell));
}

TEST_F(Consumer, TruncationOverflowAndImpossibleConversionsReportPerBindingStatuses) {
    run(session_, "CREATE TABLE v (t VARCHAR(40), big BIGINT, word VARCHAR(10))");
    run(session_, "INSERT INTO v VALUES ('abcdefghijklmnopqrstuvwxyz', 5000000000, 'word')");
    auto rowset = open("SELECT * FROM v");
    std::vector<Cell> cells;
    // A text longer than the buffer: cut to fit with its NUL, the full length reported.
    std::vector<DBBINDING> bindings = {cellBinding(1, DBTYPE_STR, 8, 0),
                                       cellBinding(2, DBTYPE_I4, 4, 1),
                                       cellBinding(3, DBTYPE_I4, 4, 2)};
    EXPECT_EQ(DB_S_ERRORSOCCURRED, readFirstRow(rowset.get(), bindings, cells));
    EXPECT_EQ(DBSTATUS_S_TRUNCATED, cells[0].status);
    EXPECT_EQ(26u, cells[0].length);
    EXPECT_STREQ("abcdefg", reinterpret_cast<const char*>(cells[0].value));
    EXPECT_EQ(0xAB, cells[0].value[8]); // nothing written past cbMaxLen
    EXPECT_EQ(DBSTATUS_E_DATAOVERFLOW, cells[1].status);
    EXPECT_EQ(DBSTATUS_E_CANTCONVERTVALUE, cells[2].status);
    // Only failures: the whole call fails.
    bindings = {cellBinding(2, DBTYPE_I4, 4, 0)};
    EXPECT_EQ(DB_E_ERRORSOCCURRED, readFirstRow(rowset.get(), bindings, cells));
    EXPECT_EQ(DBSTATUS_E_DATAOVERFLOW, cells[0].status);
}

TEST_F(Consumer, AccessorsAreValidated) {
    run(session_, "CREATE TABLE v (a INTEGER, b VARCHAR(10))");
    run(session_, "INSERT INTO v VALUES (1, 'x')");
    auto rowset = open("SELECT * FROM v");
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    DBBINDSTATUS statuses[2] = {};

    DBBINDING badOrdinal[] = {cellBinding(1, DBTYPE_I4, 4), cellBinding(7, DBTYPE_I4, 4, 1)};
    EXPECT_EQ(DB_E_ERRORSOCCURRED,
              accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, badOrdinal, 0, &handle, statuses));
    EXPECT_EQ(DBBINDSTATUS_OK, statuses[0]);
    EXPECT_EQ(DBBINDSTATUS_BADORDINAL, statuses[1]);
    EXPECT_EQ(DB_NULL_HACCESSOR, handle);

    DBBINDING noParts = cellBinding(1, DBTYPE_I4, 4);
    noParts.dwPart = 0;
    EXPECT_EQ(DB_E_ERRORSOCCURRED,
              accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &noParts, 0, &handle, statuses));
    EXPECT_EQ(DBBINDSTATUS_BADBINDINFO, statuses[0]);

    // Parameter accessors belong to commands.
    DBBINDING good = cellBinding(1, DBTYPE_I4, 4);
    EXPECT_EQ(DB_E_BADACCESSORFLAGS,
              accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &good, 0, &handle, statuses));
    EXPECT_EQ(DB_E_BADACCESSORFLAGS,
              accessor->CreateAccessor(0x100, 1, &good, 0, &handle, statuses));

    HROW row = DB_NULL_HROW;
    HROW* p = &row;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &p));
    Cell cell;
    EXPECT_EQ(DB_E_BADACCESSORHANDLE, rowset->GetData(row, static_cast<HACCESSOR>(0x5151), &cell));
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &good, 0, &handle, statuses));
    EXPECT_EQ(DB_E_BADROWHANDLE, rowset->GetData(static_cast<HROW>(0x7777), handle, &cell));
    EXPECT_EQ(S_OK, rowset->GetData(row, handle, &cell));
    ULONG refs = 0;
    EXPECT_EQ(S_OK, accessor->ReleaseAccessor(handle, &refs));
    EXPECT_EQ(0u, refs);
    EXPECT_EQ(DB_E_BADACCESSORHANDLE, accessor->ReleaseAccessor(handle, nullptr));
    EXPECT_EQ(DB_E_BADACCESSORHANDLE, rowset->GetData(row, handle, &cell));
    EXPECT_EQ(S_OK, rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr));
}

TEST_F(Consumer, RowHandlesCountTheirReferences) {
    run(session_, "CREATE TABLE v (a INTEGER)");
    run(session_, "INSERT INTO v VALUES (1), (2), (3)");
    auto rowset = open("SELECT a FROM v");
    HROW rows[3];
    HROW* p = rows;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 3, &obtained, &p));
    ASSERT_EQ(3u, obtained);
    DBREFCOUNT counts[3] = {};
    EXPECT_EQ(S_OK, rowset->AddRefRows(1, rows, counts, nullptr));
    EXPECT_EQ(2u, counts[0]);
    DBROWSTATUS statuses[3] = {};
    EXPECT_EQ(S_OK, rowset->ReleaseRows(3, rows, nullptr, counts, statuses));
    EXPECT_EQ(1u, counts[0]);
    EXPECT_EQ(0u, counts[1]);
    EXPECT_EQ(S_OK, rowset->ReleaseRows(1, rows, nullptr, counts, nullptr));
    EXPECT_EQ(0u, counts[0]);
    // A released handle is no handle.
    EXPECT_EQ(DB_E_ERRORSOCCURRED, rowset->ReleaseRows(1, rows, nullptr, nullptr, statuses));
    EXPECT_EQ(DBROWSTATUS_E_INVALID, statuses[0]);
    // Past the end.
    EXPECT_EQ(DB_S_ENDOFROWSET, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &p));
    EXPECT_EQ(0u, obtained);
}

// Rows held in any order (forward, backward over them, then from the start again) keep their
// own counts and values; the command's accessor inherited by the rowset and the rowset's own
// one read them alike and are released independently.
TEST_F(Consumer, RowsHeldInAnyOrderKeepTheirCountsAndValues) {
    run(session_, "CREATE TABLE v (a INTEGER)");
    run(session_, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30) "
                  "INSERT INTO v SELECT i FROM n");
    auto text = command("SELECT a FROM v ORDER BY a");
    DBPROP props[2] = {};
    props[0].dwPropertyID = DBPROP_CANFETCHBACKWARDS;
    props[1].dwPropertyID = DBPROP_CANSCROLLBACKWARDS;
    for (DBPROP& prop : props) {
        prop.vValue.vt = VT_BOOL;
        prop.vValue.boolVal = VARIANT_TRUE;
    }
    DBPROPSET set{props, 2, DBPROPSET_ROWSET};
    ASSERT_EQ(S_OK, text.query<ICommandProperties>(IID_ICommandProperties)->SetProperties(1, &set));
    DBBINDING binding = cellBinding(1, DBTYPE_I4, 4);
    auto commandAccessor = text.query<IAccessor>(IID_IAccessor);
    HACCESSOR inherited = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, commandAccessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &inherited,
                                                    nullptr));
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                  reinterpret_cast<IUnknown**>(rowset.out())));
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    HACCESSOR own = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &own, nullptr));
    auto valueOf = [&](HROW row, HACCESSOR handle) {
        Cell cell{};
        HRESULT hr = rowset->GetData(row, handle, &cell);
        std::int32_t value = -1;
        std::memcpy(&value, cell.value, sizeof value);
        return hr == S_OK ? value : -static_cast<std::int32_t>(hr & 0xFFFF);
    };

    HROW ahead[5], back[10], start[3];
    HROW* p = ahead;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 20, 5, &obtained, &p));
    ASSERT_EQ(5u, obtained);
    p = back;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, -10, &obtained, &p));
    ASSERT_EQ(10u, obtained);
    ASSERT_EQ(S_OK, rowset->RestartPosition(DB_NULL_HCHAPTER));
    p = start;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 3, &obtained, &p));
    ASSERT_EQ(3u, obtained);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(21 + k, valueOf(ahead[k], own));
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(25 - k, valueOf(back[k], inherited)) << "backwards, nearest first";
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(1 + k, valueOf(start[k], own));

    // Rows 21-25 were handed out twice.
    DBREFCOUNT counts[10] = {};
    EXPECT_EQ(S_OK, rowset->AddRefRows(3, start, counts, nullptr));
    EXPECT_EQ(2u, counts[0]);
    EXPECT_EQ(S_OK, rowset->ReleaseRows(10, back, nullptr, counts, nullptr));
    EXPECT_EQ(1u, counts[0]); // row 25
    EXPECT_EQ(1u, counts[4]); // row 21
    EXPECT_EQ(0u, counts[5]); // row 20
    EXPECT_EQ(-(DB_E_BADROWHANDLE & 0xFFFF), valueOf(back[7], own)) << "row 18 was released";
    EXPECT_EQ(23, valueOf(ahead[2], own));
    EXPECT_EQ(2, valueOf(start[1], inherited));

    // The rowset's reference to the inherited accessor goes; the command's stays.
    EXPECT_EQ(S_OK, accessor->ReleaseAccessor(inherited, nullptr));
    EXPECT_EQ(-(DB_E_BADACCESSORHANDLE & 0xFFFF), valueOf(ahead[0], inherited));
    EXPECT_EQ(21, valueOf(ahead[0], own));
    DBACCESSORFLAGS flags = 0;
    DBCOUNTITEM count = 0;
    DBBINDING* bindings = nullptr;
    EXPECT_EQ(S_OK, commandAccessor->GetBindings(inherited, &flags, &count, &bindings));
    CoTaskMemFree(bindings);
    EXPECT_EQ(S_OK, rowset->ReleaseRows(5, ahead, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, rowset->ReleaseRows(3, start, nullptr, counts, nullptr));
    EXPECT_EQ(1u, counts[0]);
    EXPECT_EQ(S_OK, rowset->ReleaseRows(3, start, nullptr, nullptr, nullptr));
    EXPECT_EQ(DB_E_ERRORSOCCURRED, rowset->ReleaseRows(1, start, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, accessor->ReleaseAccessor(own, nullptr));
    EXPECT_EQ(S_OK, commandAccessor->ReleaseAccessor(inherited, nullptr));
}

TEST_F(Consumer, EveryObjectReachesZeroReferences) {
    run(session_, "CREATE TABLE v (a INTEGER)");
    Ptr<IDBCreateCommand> create;
    ASSERT_EQ(S_OK, session_->QueryInterface(IID_IDBCreateCommand, create.outVoid()));
    Ptr<ICommandText> text;
    ASSERT_EQ(S_OK, create->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(text.out())));
    ASSERT_EQ(S_OK, text->SetCommandText(DBGUID_DBSQL, u"SELECT a FROM v"));
    Ptr<IRowset> rowset;
    ASSERT_EQ(S_OK, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                  reinterpret_cast<IUnknown**>(rowset.out())));
    auto info = rowset.query<IRowsetInfo>(IID_IRowsetInfo);
    Ptr<IUnknown> creator;
    ASSERT_EQ(S_OK, info->GetSpecification(IID_IUnknown, creator.out()));
    creator.reset();
    info.reset();
    create.reset();
    EXPECT_EQ(0u, rowset.release());
    EXPECT_EQ(0u, text.release());
    c_.session.reset();
    EXPECT_EQ(0u, c_.dataSource.release());
}

TEST_F(Consumer, ARequiredPropertyThatCannotBeHonouredFailsExecute) {
    run(session_, "CREATE TABLE a (x INTEGER)");
    run(session_, "CREATE TABLE b (y INTEGER)");
    auto text = command("SELECT x, y FROM a, b");
    auto properties = text.query<ICommandProperties>(IID_ICommandProperties);
    DBPROP prop{};
    prop.dwPropertyID = DBPROP_IRowsetChange;
    prop.dwOptions = DBPROPOPTIONS_REQUIRED;
    prop.colid = DB_NULLID;
    prop.vValue.vt = VT_BOOL;
    prop.vValue.boolVal = VARIANT_TRUE;
    DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
    ASSERT_EQ(S_OK, properties->SetProperties(1, &set));
    Ptr<IRowset> rowset;
    // A join has no single row identity to change rows by.
    EXPECT_EQ(DB_E_ERRORSOCCURRED, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                                 reinterpret_cast<IUnknown**>(rowset.out())));
    EXPECT_FALSE(rowset);
    // The properties in error name it, with its status.
    DBPROPIDSET inError{nullptr, 0, DBPROPSET_PROPERTIESINERROR};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    EXPECT_EQ(S_OK, properties->GetProperties(1, &inError, &count, &sets));
    bool named = false;
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG i = 0; i < sets[s].cProperties; ++i) {
            const DBPROP& p = sets[s].rgProperties[i];
            if (IsEqualGUID(sets[s].guidPropertySet, DBPROPSET_ROWSET) &&
                p.dwPropertyID == DBPROP_IRowsetChange) {
                named = true;
                EXPECT_NE(DBPROPSTATUS_OK, p.dwStatus);
            }
            VariantClear(const_cast<VARIANT*>(&p.vValue));
        }
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
    EXPECT_TRUE(named);
    // The same on a view.
    run(session_, "CREATE VIEW va AS SELECT x FROM a");
    ASSERT_EQ(S_OK, text->SetCommandText(DBGUID_DBSQL, u"SELECT x FROM va"));
    ASSERT_EQ(S_OK, properties->SetProperties(1, &set));
    EXPECT_EQ(DB_E_ERRORSOCCURRED, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                                 reinterpret_cast<IUnknown**>(rowset.out())));
}

TEST_F(Consumer, ParametersAreDescribedFromTheirContextOrByTheConsumer) {
    run(session_, "CREATE TABLE p (id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL, at DATETIME, "
                  "amount DOUBLE)");
    const auto describe = [&](const std::string& sql, std::vector<DBTYPE>& types,
                              std::vector<DBLENGTH>& sizes) {
        auto text = command(sql);
        auto withParameters = text.query<ICommandWithParameters>(IID_ICommandWithParameters);
        EXPECT_EQ(S_OK, text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(1));
        DB_UPARAMS count = 0;
        DBPARAMINFO* info = nullptr;
        OLECHAR* names = nullptr;
        const HRESULT hr = withParameters->GetParameterInfo(&count, &info, &names);
        types.clear();
        sizes.clear();
        for (DB_UPARAMS i = 0; i < count; ++i) {
            types.push_back(info[i].wType);
            sizes.push_back(info[i].ulParamSize);
        }
        CoTaskMemFree(info);
        CoTaskMemFree(names);
        return hr;
    };
    std::vector<DBTYPE> types;
    std::vector<DBLENGTH> sizes;
    EXPECT_EQ(S_OK, describe("INSERT INTO p (name, id, at) VALUES (?, ?, ?)", types, sizes));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_STR, DBTYPE_I4, DBTYPE_DBTIMESTAMP}), types);
    EXPECT_EQ((std::vector<DBLENGTH>{30, 4, sizeof(DBTIMESTAMP)}), sizes);
    EXPECT_EQ(S_OK, describe("SELECT * FROM p WHERE amount > ? AND ? = p.name", types, sizes));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_R8, DBTYPE_STR}), types);
    EXPECT_EQ(S_OK, describe("UPDATE p SET at = ? WHERE id IN (?, ?)", types, sizes));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_DBTIMESTAMP, DBTYPE_I4, DBTYPE_I4}), types);
    EXPECT_EQ(S_OK,
              describe("SELECT name FROM p WHERE id NOT BETWEEN ? AND ? LIMIT ?", types, sizes));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_I4, DBTYPE_I4, DBTYPE_I8}), types);
    EXPECT_EQ(S_OK, describe("INSERT INTO p VALUES (?, ?, NULL, ?)", types, sizes));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_I4, DBTYPE_STR, DBTYPE_R8}), types);
    // Quoted names and strings that look like structure do not mislead it.
    EXPECT_EQ(S_OK,
              describe("SELECT 'id = ?' FROM \"p\" AS q WHERE q.\"amount\" <= ?", types, sizes));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_R8}), types);
    // No context: the provider cannot tell.
    EXPECT_EQ(DB_E_PARAMUNAVAILABLE, describe("SELECT ? + 1", types, sizes));

    // The consumer describes it instead.
    auto text = command("SELECT ? + 1");
    ASSERT_EQ(S_OK, text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(1));
    auto withParameters = text.query<ICommandWithParameters>(IID_ICommandWithParameters);
    DB_UPARAMS ordinal = 1;
    DBPARAMBINDINFO bindInfo{};
    bindInfo.pwszDataSourceType = const_cast<LPOLESTR>(u"DBTYPE_I4");
    bindInfo.ulParamSize = 4;
    bindInfo.dwFlags = DBPARAMFLAGS_ISINPUT;
    ASSERT_EQ(S_OK, withParameters->SetParameterInfo(1, &ordinal, &bindInfo));
    DB_UPARAMS count = 0;
    DBPARAMINFO* info = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(S_OK, withParameters->GetParameterInfo(&count, &info, &names));
    ASSERT_EQ(1u, count);
    EXPECT_EQ(DBTYPE_I4, info[0].wType);
    CoTaskMemFree(info);
    CoTaskMemFree(names);
}

TEST_F(Consumer, SeveralParameterSetsInOneExecuteAndRowsAffected) {
    run(session_, "CREATE TABLE p (id INTEGER PRIMARY KEY, name VARCHAR(8))");
    auto text = command("INSERT INTO p (id, name) VALUES (?, ?)");
    struct Row {
        std::int32_t id;
        DBLENGTH nameLength;
        char name[12];
    };
    Row rows[3] = {{1, 3, "one"}, {2, 3, "two"}, {3, 5, "three"}};
    DBBINDING bindings[2] = {};
    bindings[0].iOrdinal = 1;
    bindings[0].obValue = offsetof(Row, id);
    bindings[0].dwPart = DBPART_VALUE;
    bindings[0].eParamIO = DBPARAMIO_INPUT;
    bindings[0].cbMaxLen = 4;
    bindings[0].wType = DBTYPE_I4;
    bindings[1].iOrdinal = 2;
    bindings[1].obValue = offsetof(Row, name);
    bindings[1].obLength = offsetof(Row, nameLength);
    bindings[1].dwPart = DBPART_VALUE | DBPART_LENGTH;
    bindings[1].eParamIO = DBPARAMIO_INPUT;
    bindings[1].cbMaxLen = sizeof(Row::name);
    bindings[1].wType = DBTYPE_STR;
    auto accessor = text.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 2, bindings, sizeof(Row),
                                             &handle, nullptr));
    // A row accessor, or no accessor at all, cannot carry parameters.
    HACCESSOR rowAccessor = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, sizeof(Row),
                                             &rowAccessor, nullptr));
    DBPARAMS wrongKind{rows, 1, rowAccessor};
    EXPECT_EQ(DB_E_BADACCESSORTYPE, text->Execute(nullptr, IID_NULL, &wrongKind, nullptr, nullptr));
    DBPARAMS noHandle{rows, 1, static_cast<HACCESSOR>(0x4242)};
    EXPECT_EQ(DB_E_BADACCESSORHANDLE,
              text->Execute(nullptr, IID_NULL, &noHandle, nullptr, nullptr));
    accessor->ReleaseAccessor(rowAccessor, nullptr);

    DBPARAMS params{rows, 3, handle};
    DBROWCOUNT affected = 0;
    EXPECT_EQ(S_OK, text->Execute(nullptr, IID_NULL, &params, &affected, nullptr));
    EXPECT_EQ(3, affected);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "two"}, {"3", "three"}}),
              query(session_, "SELECT id, name FROM p ORDER BY id"));
    DBROWCOUNT changed = 0;
    EXPECT_EQ(S_OK, execute(session_, "UPDATE p SET name = 'x' WHERE id > 1", &changed));
    EXPECT_EQ(2, changed);
    accessor->ReleaseAccessor(handle, nullptr);
}

// A statement's kind is told from its first word past comments and white space, in any case:
// data changes count their rows (a WITH may lead to one), others count nothing, and only a
// query reads through a moving window (it reports that it sees others' changes).
TEST_F(Consumer, StatementKindIsToldPastLeadingCommentsAndCase) {
    run(session_, "CREATE TABLE k (id INTEGER PRIMARY KEY, v TEXT)");
    run(session_, "INSERT INTO k (id, v) VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    const auto affected = [&](const std::string& sql) {
        DBROWCOUNT n = 12345;
        EXPECT_EQ(S_OK, execute(session_, sql, &n)) << sql;
        return n;
    };
    EXPECT_EQ(2, affected("/* lead */ uPdAtE k SET v = 'y' WHERE id < 3"));
    EXPECT_EQ(1, affected("-- note\n\t RePlAcE INTO k (id, v) VALUES (3, 'z')"));
    EXPECT_EQ(1, affected("WITH doomed(n) AS (SELECT 1) DELETE FROM k WHERE id IN doomed"));
    EXPECT_EQ(DB_COUNTUNAVAILABLE, affected("  create TABLE other (a)"));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"2", "y"}, {"3", "z"}}),
              query(session_, "SELECT id, v FROM k ORDER BY id"));

    const auto seesOthersChanges = [&](const std::string& sql) {
        auto rowset = open(sql);
        if (!rowset)
            return false;
        auto info = rowset.query<IRowsetInfo>(IID_IRowsetInfo);
        DBPROPID ids[] = {DBPROP_OTHERUPDATEDELETE};
        DBPROPIDSET request{ids, 1, DBPROPSET_ROWSET};
        ULONG count = 0;
        DBPROPSET* sets = nullptr;
        EXPECT_EQ(S_OK, info->GetProperties(1, &request, &count, &sets));
        const bool on = count == 1 && sets[0].rgProperties[0].vValue.vt == VT_BOOL &&
                        sets[0].rgProperties[0].vValue.boolVal == VARIANT_TRUE;
        if (sets != nullptr) {
            CoTaskMemFree(sets[0].rgProperties);
            CoTaskMemFree(sets);
        }
        return on;
    };
    EXPECT_TRUE(seesOthersChanges("/* a query */ select * from k"));
    EXPECT_TRUE(seesOthersChanges("\n-- values\nVALUES (1), (2)"));
    EXPECT_FALSE(seesOthersChanges("PRAGMA table_info(k)"));
}

// Nullability and key flags come from the table each column reads, in the database that holds
// it (a table of the same name elsewhere says otherwise), alike from a rowset and from the
// prepared command; expressions may be NULL and belong to no key.
TEST_F(Consumer, ColumnFlagsComeFromTheColumnsOwnTable) {
    run(session_, "ATTACH DATABASE '" + pathOf("aux.db") + "' AS aux");
    run(session_, "CREATE TABLE t (id INTEGER, name TEXT NOT NULL)");
    run(session_, "CREATE TABLE aux.t (id INTEGER NOT NULL PRIMARY KEY, name TEXT)");
    const std::string sql = "SELECT id, name, id + 1 FROM aux.t";
    struct Flags {
        bool nullable, key;
        bool operator==(const Flags&) const = default;
    };
    const auto flagsOf = [](IColumnsInfo* columns) {
        std::vector<Flags> flags;
        DBORDINAL count = 0;
        DBCOLUMNINFO* info = nullptr;
        OLECHAR* strings = nullptr;
        EXPECT_EQ(S_OK, columns->GetColumnInfo(&count, &info, &strings));
        for (DBORDINAL i = 0; i < count; ++i)
            flags.push_back({(info[i].dwFlags & DBCOLUMNFLAGS_ISNULLABLE) != 0,
                             (info[i].dwFlags & DBCOLUMNFLAGS_KEYCOLUMN) != 0});
        CoTaskMemFree(info);
        CoTaskMemFree(strings);
        return flags;
    };
    const std::vector<Flags> expected = {{false, true}, {true, false}, {true, false}};
    auto rowset = open(sql);
    ASSERT_TRUE(rowset);
    EXPECT_EQ(expected, flagsOf(rowset.query<IColumnsInfo>(IID_IColumnsInfo).get()));
    // Asked twice, the answer stays the same.
    EXPECT_EQ(expected, flagsOf(rowset.query<IColumnsInfo>(IID_IColumnsInfo).get()));

    auto text = command(sql);
    ASSERT_EQ(S_OK, text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(0));
    EXPECT_EQ(expected, flagsOf(text.query<IColumnsInfo>(IID_IColumnsInfo).get()));

    // An updatable rowset reads each row's identity as a hidden first column: the flags
    // still come from each visible column's own table.
    auto changing = command(sql);
    Ptr<IUnknown> updatable;
    ASSERT_EQ(S_OK, changing->Execute(nullptr, IID_IRowsetChange, nullptr, nullptr,
                                      reinterpret_cast<IUnknown**>(updatable.out())));
    EXPECT_EQ(expected, flagsOf(updatable.query<IColumnsInfo>(IID_IColumnsInfo).get()));
}

// The rowsets of one prepared query share its column list while it stays as it is. A column
// without a declared type takes its type from the first row there is: a later execution that
// finds one describes it, both in the rowset and in what is read through it.
TEST_F(Consumer, RowsetsOfAPreparedQueryDescribeTheColumnsOfTheirOwnExecution) {
    run(session_, "CREATE TABLE t (a INTEGER NOT NULL PRIMARY KEY)");
    auto text = command("SELECT a, a * 2 AS doubled FROM t");
    ASSERT_EQ(S_OK, text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(0));
    const auto typesOf = [](IUnknown* rowset) {
        std::vector<DBTYPE> types;
        DBORDINAL count = 0;
        DBCOLUMNINFO* info = nullptr;
        OLECHAR* strings = nullptr;
        Ptr<IColumnsInfo> columns;
        EXPECT_EQ(S_OK, rowset->QueryInterface(IID_IColumnsInfo, columns.outVoid()));
        EXPECT_EQ(S_OK, columns->GetColumnInfo(&count, &info, &strings));
        for (DBORDINAL i = 0; i < count; ++i)
            types.push_back(info[i].wType);
        CoTaskMemFree(info);
        CoTaskMemFree(strings);
        return types;
    };
    const auto execute = [&text] {
        Ptr<IRowset> rowset;
        EXPECT_EQ(S_OK, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                      reinterpret_cast<IUnknown**>(rowset.out())));
        return rowset;
    };
    for (int round = 0; round < 2; ++round) {
        // No row yet: nothing tells the expression's type.
        auto empty = execute();
        ASSERT_TRUE(empty);
        const std::vector<DBTYPE> before = typesOf(empty.get());
        ASSERT_EQ(2u, before.size());
        EXPECT_EQ(DBTYPE_I4, before[0]);
        EXPECT_NE(DBTYPE_I8, before[1]);
    }
    run(session_, "INSERT INTO t VALUES (7)");
    for (int round = 0; round < 2; ++round) {
        auto filled = execute();
        ASSERT_TRUE(filled);
        EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_I4, DBTYPE_I8}), typesOf(filled.get()));
        std::vector<Cell> cells;
        ASSERT_EQ(S_OK,
                  readFirstRow(filled.get(),
                               {cellBinding(1, DBTYPE_I8, 8, 0), cellBinding(2, DBTYPE_I8, 8, 1)},
                               cells));
        std::int64_t a = 0, doubled = 0;
        std::memcpy(&a, cells[0].value, sizeof a);
        std::memcpy(&doubled, cells[1].value, sizeof doubled);
        EXPECT_EQ(7, a);
        EXPECT_EQ(14, doubled);
    }
}

// Statements whose columns are named and declared alike share one description; it follows
// the names and declarations, not the text: an alias, a table created anew with other types,
// and an undeclared column typed from another statement's values each get their own.
TEST_F(Consumer, DescriptionsFollowColumnNamesAndDeclarations) {
    struct Column {
        std::string name;
        DBTYPE type;
        bool operator==(const Column&) const = default;
    };
    const auto describe = [this](const std::string& sql) {
        std::vector<Column> columns;
        forEachColumnOf(sql, [&](const DBCOLUMNINFO& column) {
            columns.push_back({utf8(column.pwszName), column.wType});
        });
        return columns;
    };
    run(session_, "CREATE TABLE t (a INTEGER, b VARCHAR(10), d DATETIME)");
    run(session_, "INSERT INTO t VALUES (1, 'x', '2026-12-08 23:00:00')");
    const std::vector<Column> declared = {
        {"a", DBTYPE_I4}, {"b", DBTYPE_STR}, {"d", DBTYPE_DBTIMESTAMP}};
    EXPECT_EQ(declared, describe("SELECT a, b, d FROM t WHERE a = 1"));
    EXPECT_EQ(declared, describe("SELECT a, b, d FROM t WHERE a = 2"));
    EXPECT_EQ((std::vector<Column>{{"x", DBTYPE_I4}, {"b", DBTYPE_STR}, {"d", DBTYPE_DBTIMESTAMP}}),
              describe("SELECT a AS x, b, d FROM t WHERE a = 3"));

    run(session_, "DROP TABLE t");
    run(session_, "CREATE TABLE t (a TEXT, b BLOB, d REAL)");
    EXPECT_EQ((std::vector<Column>{{"a", DBTYPE_WSTR}, {"b", DBTYPE_BYTES}, {"d", DBTYPE_R8}}),
              describe("SELECT a, b, d FROM t WHERE a = 1"));

    run(session_, "CREATE TABLE n (v INTEGER)");
    run(session_, "INSERT INTO n VALUES (5)");
    run(session_, "CREATE TABLE w (v TEXT)");
    run(session_, "INSERT INTO w VALUES ('five')");
    EXPECT_EQ((std::vector<Column>{{"e", DBTYPE_I8}}), describe("SELECT v + 1 AS e FROM n"));
    EXPECT_EQ((std::vector<Column>{{"e", DBTYPE_WSTR}}), describe("SELECT v || 'x' AS e FROM w"));
    EXPECT_EQ((std::vector<Column>{{"e", DBTYPE_I8}}), describe("SELECT v + 2 AS e FROM n"));
}

// Descriptions shared between statements are told apart by every name and declaration whole:
// a name that is the start of another, names whose letters run on across a column boundary, and
// a column without a declaration beside one of the same name with it.
TEST_F(Consumer, DescriptionsAreSharedOnlyByColumnsNamedAndDeclaredAlike) {
    const auto describe = [this](const std::string& sql) {
        std::vector<std::pair<std::string, DBTYPE>> columns;
        forEachColumnOf(sql, [&](const DBCOLUMNINFO& column) {
            columns.emplace_back(utf8(column.pwszName), column.wType);
        });
        return columns;
    };
    using Columns = std::vector<std::pair<std::string, DBTYPE>>;
    run(session_, "CREATE TABLE q (a INTEGER, bc INTEGER)");
    run(session_, "INSERT INTO q VALUES (1, 2)");
    EXPECT_EQ((Columns{{"a", DBTYPE_I4}}), describe("SELECT a FROM q"));
    EXPECT_EQ((Columns{{"ab", DBTYPE_I4}}), describe("SELECT a AS ab FROM q"));
    EXPECT_EQ((Columns{{"a", DBTYPE_I4}}), describe("SELECT bc AS a FROM q"));
    EXPECT_EQ((Columns{{"a", DBTYPE_I4}, {"bc", DBTYPE_I4}}), describe("SELECT a, bc FROM q"));
    EXPECT_EQ((Columns{{"ab", DBTYPE_I4}, {"c", DBTYPE_I4}}),
              describe("SELECT a AS ab, bc AS c FROM q"));
    EXPECT_EQ((Columns{{"a", DBTYPE_I8}}), describe("SELECT a + 0 AS a FROM q"));
    EXPECT_EQ((Columns{{"a", DBTYPE_I4}}), describe("SELECT a FROM q"));
}

// A rowset keeps the columns it was opened with. Asked later, the prepared command types an
// undeclared column from a row that has come meanwhile; the open rowset still describes what
// it was opened with, and a rowset executed afterwards takes the new description.
TEST_F(Consumer, AnOpenRowsetKeepsItsColumnsWhenTheCommandLearnsMore) {
    run(session_, "CREATE TABLE t (a INTEGER)");
    auto text = command("SELECT a, a * 2 AS doubled FROM t");
    ASSERT_EQ(S_OK, text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(0));
    const auto typesOf = [](IUnknown* object) {
        std::vector<DBTYPE> types;
        DBORDINAL count = 0;
        DBCOLUMNINFO* info = nullptr;
        OLECHAR* strings = nullptr;
        Ptr<IColumnsInfo> columns;
        EXPECT_EQ(S_OK, object->QueryInterface(IID_IColumnsInfo, columns.outVoid()));
        if (!columns)
            return types;
        EXPECT_EQ(S_OK, columns->GetColumnInfo(&count, &info, &strings));
        for (DBORDINAL i = 0; i < count; ++i)
            types.push_back(info[i].wType);
        CoTaskMemFree(info);
        CoTaskMemFree(strings);
        return types;
    };
    Ptr<IRowset> first;
    ASSERT_EQ(S_OK, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                  reinterpret_cast<IUnknown**>(first.out())));
    DBCOUNTITEM got = 0;
    HROW* rows = nullptr;
    EXPECT_EQ(DB_S_ENDOFROWSET, first->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows));

    run(session_, "INSERT INTO t VALUES (7)");
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_I4, DBTYPE_I8}), typesOf(text.get()));
    // Described only now, from what it was opened with: no row told the expression's type.
    const std::vector<DBTYPE> opened = typesOf(first.get());
    ASSERT_EQ(2u, opened.size());
    EXPECT_EQ(DBTYPE_I4, opened[0]);
    EXPECT_NE(DBTYPE_I8, opened[1]);
    first.reset();

    Ptr<IRowset> second;
    ASSERT_EQ(S_OK, text->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                  reinterpret_cast<IUnknown**>(second.out())));
    EXPECT_EQ((std::vector<DBTYPE>{DBTYPE_I4, DBTYPE_I8}), typesOf(second.get()));
}

// Columns are described from their declarations, which the provider remembers: more distinct
// declarations than it keeps, spelled differently, each still gives its own type and size
// however often and in whatever order it is met.
TEST_F(Consumer, ManyDistinctDeclarationsEachKeepTheirOwnSize) {
    std::string create = "CREATE TABLE d (";
    std::string select = "SELECT ";
    std::string reversed = "SELECT ";
    constexpr int columns = 90;
    for (int i = 1; i <= columns; ++i) {
        const std::string n = std::to_string(i);
        create += (i > 1 ? ", c" : "c") + n + (i % 2 ? " VARCHAR(" : " varchar (") + n + ")";
        select += (i > 1 ? ", c" : "c") + n;
        reversed += (i > 1 ? ", c" : "c") + std::to_string(columns + 1 - i);
    }
    run(session_, create + ", r REAL, t DATETIME)");
    const auto sizesOf = [this](const std::string& sql) {
        std::vector<std::pair<DBLENGTH, DBTYPE>> sizes;
        forEachColumnOf(sql, [&](const DBCOLUMNINFO& column) {
            sizes.emplace_back(column.ulColumnSize, column.wType);
        });
        return sizes;
    };
    for (int round = 0; round < 2; ++round) {
        const auto forwards = sizesOf(select + ", r, t FROM d");
        ASSERT_EQ(forwards.size(), static_cast<std::size_t>(columns + 2));
        for (int i = 1; i <= columns; ++i) {
            EXPECT_EQ(forwards[i - 1].first, static_cast<DBLENGTH>(i)) << i;
            EXPECT_EQ(forwards[i - 1].second, DBTYPE_STR) << i;
        }
        EXPECT_EQ(forwards[columns].second, DBTYPE_R8);
        EXPECT_EQ(forwards[columns + 1].second, DBTYPE_DBTIMESTAMP);
        const auto backwards = sizesOf(reversed + " FROM d");
        ASSERT_EQ(backwards.size(), static_cast<std::size_t>(columns));
        for (int i = 1; i <= columns; ++i)
            EXPECT_EQ(backwards[i - 1].first, static_cast<DBLENGTH>(columns + 1 - i)) << i;
    }
}

// Each text parameter keeps its own bytes from one parameter set to the next, whether a value
// is short or long and whichever of the two the previous set held.
TEST_F(Consumer, TextParametersKeepTheirOwnBytesAcrossParameterSets) {
    run(session_, "CREATE TABLE q (id INTEGER PRIMARY KEY, a VARCHAR(300), b VARCHAR(300))");
    auto text = command("INSERT INTO q (id, a, b) VALUES (?, ?, ?)");
    struct Row {
        std::int32_t id;
        DBLENGTH aLength;
        char a[301];
        DBLENGTH bLength;
        char b[301];
    };
    const std::string longA(200, 'a');
    const std::string longB(180, 'b');
    const std::vector<std::pair<std::string, std::string>> values = {
        {"x", longB}, {longA, "y"}, {"", "zz"}, {longA, longB}, {"s", "t"}};
    std::vector<Row> rows(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        rows[i].id = static_cast<std::int32_t>(i + 1);
        rows[i].aLength = values[i].first.size();
        std::memcpy(rows[i].a, values[i].first.data(), values[i].first.size());
        rows[i].bLength = values[i].second.size();
        std::memcpy(rows[i].b, values[i].second.data(), values[i].second.size());
    }
    DBBINDING bindings[3] = {};
    for (DBBINDING& binding : bindings) {
        binding.dwPart = DBPART_VALUE | DBPART_LENGTH;
        binding.eParamIO = DBPARAMIO_INPUT;
        binding.wType = DBTYPE_STR;
        binding.cbMaxLen = 301;
    }
    bindings[0].iOrdinal = 1;
    bindings[0].obValue = offsetof(Row, id);
    bindings[0].dwPart = DBPART_VALUE;
    bindings[0].wType = DBTYPE_I4;
    bindings[0].cbMaxLen = 4;
    bindings[1].iOrdinal = 2;
    bindings[1].obValue = offsetof(Row, a);
    bindings[1].obLength = offsetof(Row, aLength);
    bindings[2].iOrdinal = 3;
    bindings[2].obValue = offsetof(Row, b);
    bindings[2].obLength = offsetof(Row, bLength);
    auto accessor = text.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 3, bindings, sizeof(Row),
                                             &handle, nullptr));
    DBPARAMS params{rows.data(), rows.size(), handle};
    EXPECT_EQ(S_OK, text->Execute(nullptr, IID_NULL, &params, nullptr, nullptr));
    std::vector<std::vector<std::string>> expected;
    for (std::size_t i = 0; i < values.size(); ++i)
        expected.push_back({values[i].first, values[i].second});
    EXPECT_EQ(expected, query(session_, "SELECT a, b FROM q ORDER BY id"));
    accessor->ReleaseAccessor(handle, nullptr);
}

// A load rewrites one buffer between executions of a prepared INSERT: texts and bytes read
// in place must be taken afresh each time, whether the bytes change at the same length, need
// a conversion (Windows-1250) or turn NULL; a refused value inserts nothing and leaves the next
// execution unharmed.
TEST_F(Consumer, OneParameterBufferRewrittenBetweenExecutions) {
    run(session_, "CREATE TABLE r (id INTEGER PRIMARY KEY, s VARCHAR(8), w VARCHAR(8), b BLOB)");
    auto text = command("INSERT INTO r (id, s, w, b) VALUES (?, ?, ?, ?)");
    ASSERT_EQ(S_OK, text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(10));
    struct Params {
        std::int32_t id;
        DBSTATUS sStatus;
        DBLENGTH sLength;
        char s[8];
        DBLENGTH wLength;
        char16_t w[8];
        DBLENGTH bLength;
        unsigned char b[4];
    } values{};
    DBBINDING bindings[4] = {};
    for (DBBINDING& binding : bindings) {
        binding.dwPart = DBPART_VALUE | DBPART_LENGTH;
        binding.eParamIO = DBPARAMIO_INPUT;
    }
    bindings[0].iOrdinal = 1;
    bindings[0].obValue = offsetof(Params, id);
    bindings[0].dwPart = DBPART_VALUE;
    bindings[0].wType = DBTYPE_I4;
    bindings[1].iOrdinal = 2;
    bindings[1].obValue = offsetof(Params, s);
    bindings[1].obLength = offsetof(Params, sLength);
    bindings[1].obStatus = offsetof(Params, sStatus);
    bindings[1].dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    bindings[1].cbMaxLen = sizeof values.s;
    bindings[1].wType = DBTYPE_STR;
    bindings[2].iOrdinal = 3;
    bindings[2].obValue = offsetof(Params, w);
    bindings[2].obLength = offsetof(Params, wLength);
    bindings[2].cbMaxLen = sizeof values.w;
    bindings[2].wType = DBTYPE_WSTR;
    bindings[3].iOrdinal = 4;
    bindings[3].obValue = offsetof(Params, b);
    bindings[3].obLength = offsetof(Params, bLength);
    bindings[3].cbMaxLen = sizeof values.b;
    bindings[3].wType = DBTYPE_BYTES;
    auto accessor = text.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 4, bindings, sizeof values,
                                             &handle, nullptr));
    DBPARAMS params{&values, 1, handle};
    auto executeWith = [&](std::int32_t id, DBSTATUS sStatus, const char* s, DBLENGTH sLength,
                           const std::u16string& w, const char* b) {
        values.id = id;
        values.sStatus = sStatus;
        values.sLength = sLength;
        std::memcpy(values.s, s, std::strlen(s));
        values.wLength = w.size() * sizeof(char16_t);
        std::memcpy(values.w, w.data(), values.wLength);
        values.bLength = std::strlen(b);
        std::memcpy(values.b, b, values.bLength);
        return text->Execute(nullptr, IID_NULL, &params, nullptr, nullptr);
    };
    EXPECT_EQ(S_OK, executeWith(1, DBSTATUS_S_OK, "abcd", 4, u"wxyz", "ab"));
    EXPECT_EQ(S_OK, executeWith(2, DBSTATUS_S_OK, "abce", 4, u"wxyZ", "ac"));
    EXPECT_EQ(S_OK, executeWith(3, DBSTATUS_S_OK, "\xE8\xF8", 2, u"\u010D\u0159", "ac"));
    EXPECT_EQ(S_OK, executeWith(4, DBSTATUS_S_ISNULL, "abce", 4, u"wxyZ", "ad"));
    EXPECT_EQ(DB_E_ERRORSOCCURRED, executeWith(5, DBSTATUS_S_OK, "zz", 9, u"v", "x"));
    EXPECT_EQ(DBSTATUS_E_CANTCONVERTVALUE, values.sStatus);
    EXPECT_EQ(S_OK, executeWith(6, DBSTATUS_S_OK, "abce", 4, u"wxyZ", "ad"));
    accessor->ReleaseAccessor(handle, nullptr);
    EXPECT_EQ((std::vector<std::vector<std::string>>{
                  {"1", "abcd", "wxyz", "6162"},
                  {"2", "abce", "wxyZ", "6163"},
                  {"3", "\xC4\x8D\xC5\x99", "\xC4\x8D\xC5\x99", "6163"},
                  {"4", "<null>", "wxyZ", "6164"},
                  {"6", "abce", "wxyZ", "6164"}}),
              query(session_, "SELECT id, s, w, hex(b) FROM r ORDER BY id"));
}

TEST_F(Consumer, TransactionsNestCommitAndAbortAsPublished) {
    run(session_, "CREATE TABLE t (a INTEGER)");
    Ptr<ITransactionLocal> transaction;
    ASSERT_EQ(S_OK, session_->QueryInterface(IID_ITransactionLocal, transaction.outVoid()));
    EXPECT_EQ(XACT_E_NOTRANSACTION, transaction->Commit(FALSE, XACTTC_SYNC, 0));
    EXPECT_EQ(XACT_E_NOTRANSACTION, transaction->Abort(nullptr, FALSE, FALSE));

    ULONG level = 0;
    ASSERT_EQ(S_OK,
              transaction->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level));
    EXPECT_EQ(1u, level);
    EXPECT_EQ(XACT_E_XTIONEXISTS,
              transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr));
    run(session_, "INSERT INTO t VALUES (1)");
    EXPECT_EQ(S_OK, transaction->Abort(nullptr, FALSE, FALSE));
    EXPECT_EQ(0, scalar(session_, "SELECT COUNT(*) FROM t"));

    // Retaining: a commit that starts the next transaction at once.
    ASSERT_EQ(S_OK,
              transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr));
    run(session_, "INSERT INTO t VALUES (2)");
    EXPECT_EQ(S_OK, transaction->Commit(TRUE, XACTTC_SYNC, 0));
    run(session_, "INSERT INTO t VALUES (3)");
    EXPECT_EQ(S_OK, transaction->Abort(nullptr, TRUE, FALSE));
    run(session_, "INSERT INTO t VALUES (4)");
    EXPECT_EQ(S_OK, transaction->Commit(FALSE, XACTTC_SYNC, 0));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"2"}, {"4"}}),
              query(session_, "SELECT a FROM t ORDER BY a"));

    // Outside a transaction every statement commits by itself: a second connection sees it.
    run(session_, "INSERT INTO t VALUES (5)");
    auto other = connect();
    EXPECT_EQ(3, scalar(other.session.get(), "SELECT COUNT(*) FROM t"));
}

TEST_F(Consumer, TablesAreDefinedFromColumnDescriptions) {
    Ptr<ITableDefinition> definition;
    ASSERT_EQ(S_OK, session_->QueryInterface(IID_ITableDefinition, definition.outVoid()));
    struct ColumnCase {
        const char16_t* name;
        DBTYPE type;
        DBLENGTH size;
    };
    const ColumnCase cases[] = {{u"c_i2", DBTYPE_I2, 0},       {u"c_i4", DBTYPE_I4, 0},
                                {u"c_i8", DBTYPE_I8, 0},       {u"c_r8", DBTYPE_R8, 0},
                                {u"c_bool", DBTYPE_BOOL, 0},   {u"c_str", DBTYPE_STR, 50},
                                {u"c_wstr", DBTYPE_WSTR, 20},  {u"c_ts", DBTYPE_DBTIMESTAMP, 0},
                                {u"c_date", DBTYPE_DBDATE, 0}, {u"c_bytes", DBTYPE_BYTES, 16}};
    // An optional property the provider cannot set: the table is made, the call says so.
    DBPROP optional{};
    optional.dwPropertyID = DBPROP_COL_AUTOINCREMENT;
    optional.dwOptions = DBPROPOPTIONS_OPTIONAL;
    optional.colid = DB_NULLID;
    optional.vValue.vt = VT_BOOL;
    optional.vValue.boolVal = VARIANT_TRUE;
    DBPROPSET optionalSet{&optional, 1, DBPROPSET_COLUMN};
    std::vector<DBCOLUMNDESC> descs;
    for (const ColumnCase& s : cases) {
        DBCOLUMNDESC d{};
        d.dbcid.eKind = DBKIND_NAME;
        d.dbcid.uName.pwszName = const_cast<LPOLESTR>(s.name);
        d.wType = s.type;
        d.ulColumnSize = s.size;
        descs.push_back(d);
    }
    descs[3].rgPropertySets = &optionalSet;
    descs[3].cPropertySets = 1;
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = const_cast<LPOLESTR>(u"typed");
    EXPECT_EQ(DB_S_ERRORSOCCURRED,
              definition->CreateTable(nullptr, &table, descs.size(), descs.data(), IID_NULL, 0,
                                      nullptr, nullptr, nullptr));
    EXPECT_NE(DBPROPSTATUS_OK, optional.dwStatus);
    auto rowset = open("SELECT * FROM typed");
    auto columnsInfo = rowset.query<IColumnsInfo>(IID_IColumnsInfo);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(S_OK, columnsInfo->GetColumnInfo(&count, &info, &names));
    ASSERT_EQ(std::size(cases), count);
    for (DBORDINAL i = 0; i < count; ++i) {
        EXPECT_EQ(cases[i].type, info[i].wType) << utf8(cases[i].name);
        if (cases[i].size != 0) {
            EXPECT_EQ(cases[i].size, info[i].ulColumnSize) << utf8(cases[i].name);
        }
    }
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    rowset.reset();

    EXPECT_EQ(DB_E_DUPLICATETABLEID,
              definition->CreateTable(nullptr, &table, descs.size(), descs.data(), IID_NULL, 0,
                                      nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, definition->DropTable(&table));
    EXPECT_EQ(DB_E_NOTABLE, definition->DropTable(&table));
    EXPECT_EQ(DB_E_NOTABLE, execute(session_, "SELECT * FROM typed"));
}

TEST_F(Consumer, ErrorObjectsCarrySQLitesMessageAndTheProvidersName) {
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, execute(session_, "SELEC 1"));
    auto error = takeError();
    ASSERT_TRUE(error);
    EXPECT_NE(std::string::npos, error->description.find("syntax error")) << error->description;
    EXPECT_EQ("Vantrel Embedded OLE DB Provider for SQLite", error->source);

    EXPECT_EQ(DB_E_NOTABLE, execute(session_, "DELETE FROM missing"));
    error = takeError();
    ASSERT_TRUE(error);
    EXPECT_EQ("no such table: missing", error->description);

    // Two statements in one text are refused, not cut to the first.
    run(session_, "CREATE TABLE t (a INTEGER)");
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, execute(session_, "INSERT INTO t VALUES (1); DROP TABLE t"));
    EXPECT_EQ(0, scalar(session_, "SELECT COUNT(*) FROM t"));

    // A support check answers for the interfaces that post errors.
    Ptr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, session_->QueryInterface(IID_ISupportErrorInfo, support.outVoid()));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IDBCreateCommand));
}

TEST_F(Consumer, EmptyTextAndBlobParametersStayEmptyNotNull) {
    run(session_, "CREATE TABLE e (s VARCHAR(10), b BLOB)");
    auto text = command("INSERT INTO e (s, b) VALUES (?, ?)");
    struct Params {
        char s[4];
        DBLENGTH bLength;
        unsigned char b[4];
    } values{};
    DBBINDING bindings[2] = {};
    bindings[0].iOrdinal = 1;
    bindings[0].obValue = offsetof(Params, s);
    bindings[0].dwPart = DBPART_VALUE;
    bindings[0].eParamIO = DBPARAMIO_INPUT;
    bindings[0].cbMaxLen = sizeof values.s;
    bindings[0].wType = DBTYPE_STR;
    bindings[1].iOrdinal = 2;
    bindings[1].obValue = offsetof(Params, b);
    bindings[1].obLength = offsetof(Params, bLength);
    bindings[1].dwPart = DBPART_VALUE | DBPART_LENGTH;
    bindings[1].eParamIO = DBPARAMIO_INPUT;
    bindings[1].cbMaxLen = sizeof values.b;
    bindings[1].wType = DBTYPE_BYTES;
    auto accessor = text.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 2, bindings, sizeof values,
                                             &handle, nullptr));
    DBPARAMS params{&values, 1, handle};
    ASSERT_EQ(S_OK, text->Execute(nullptr, IID_NULL, &params, nullptr, nullptr));
    accessor->ReleaseAccessor(handle, nullptr);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"0", "text", "0", "blob"}}),
              query(session_, "SELECT s IS NULL, typeof(s), b IS NULL, typeof(b) FROM e"));
}
