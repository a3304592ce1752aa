// The kit's rowset machinery over rows held in memory: fetching, skipping, rewinding,
// bookmarks, row handle reference counts, accessors and the memory a large result costs.
#include "kit/StaticRowset.h"

#include "kit/Rowset.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vantrel::kit;

namespace {

std::vector<ColumnInfo> twoColumns() {
    ColumnInfo id;
    id.name = "Id";
    id.type = DBTYPE_I4;
    id.nullable = false;
    ColumnInfo name;
    name.name = "Name";
    name.type = DBTYPE_STR;
    name.size = 10;
    return {id, name};
}

std::vector<std::vector<Value>> numberedRows(int count) {
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < count; ++i) {
        std::string text = "row " + std::to_string(i);
        rows.push_back(
            {Value(ValueView::ofInt(i)), i % 3 == 2 ? Value() : Value(ValueView::ofText(text))});
    }
    return rows;
}

DBPROP boolProperty(DBPROPID id, DBPROPOPTIONS options = DBPROPOPTIONS_REQUIRED) {
    DBPROP p{};
    p.dwPropertyID = id;
    p.dwOptions = options;
    VariantInit(&p.vValue);
    p.vValue.vt = VT_BOOL;
    p.vValue.boolVal = VARIANT_TRUE;
    return p;
}

// A rowset of `count` numbered rows, with the given rowset properties set to true.
IRowset* makeRowset(int count, std::vector<DBPROPID> on = {}) {
    std::vector<DBPROP> props;
    for (DBPROPID id : on)
        props.push_back(boolProperty(id));
    DBPROPSET set{props.data(), static_cast<ULONG>(props.size()), DBPROPSET_ROWSET};
    IUnknown* unknown = nullptr;
    HRESULT hr = createStaticRowset(twoColumns(), numberedRows(count), props.empty() ? 0 : 1,
                                    props.empty() ? nullptr : &set, u"Kit tests", nullptr,
                                    IID_IRowset, &unknown);
    EXPECT_EQ(hr, S_OK);
    return static_cast<IRowset*>(unknown);
}

struct IdRow {
    std::int32_t id;
    DBSTATUS status;
};

HACCESSOR idAccessor(IRowset* rowset) {
    IAccessor* accessor = nullptr;
    EXPECT_EQ(rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor)), S_OK);
    DBBINDING b{};
    b.iOrdinal = 1;
    b.obValue = offsetof(IdRow, id);
    b.obStatus = offsetof(IdRow, status);
    b.dwPart = DBPART_VALUE | DBPART_STATUS;
    b.wType = DBTYPE_I4;
    b.cbMaxLen = 4;
    HACCESSOR h = DB_NULL_HACCESSOR;
    EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, sizeof(IdRow), &h, nullptr),
              S_OK);
    accessor->Release();
    return h;
}

std::int32_t idOf(IRowset* rowset, HACCESSOR h, HROW row) {
    IdRow data{-1, 0};
    EXPECT_EQ(rowset->GetData(row, h, &data), S_OK);
    return data.id;
}

} // namespace

TEST(StaticRowset, FetchesSkipsAndRewindsWithoutLosingRows) {
    IRowset* rowset = makeRowset(10);
    HACCESSOR h = idAccessor(rowset);
    HROW rows[4];
    HROW* out = rows;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 3, &got, &out), S_OK);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(out, rows) << "the caller's array is used";
    EXPECT_EQ(idOf(rowset, h, rows[2]), 2);
    EXPECT_EQ(rowset->ReleaseRows(3, rows, nullptr, nullptr, nullptr), S_OK);

    // Skip four: the next row is row 7; then the end of the rowset is reported.
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 4, 4, &got, &out), DB_S_ENDOFROWSET);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(idOf(rowset, h, rows[0]), 7);
    rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &out), DB_S_ENDOFROWSET);
    EXPECT_EQ(got, 0u);

    ASSERT_EQ(rowset->RestartPosition(DB_NULL_HCHAPTER), S_OK);
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 5, 1, &got, &out), S_OK);
    EXPECT_EQ(idOf(rowset, h, rows[0]), 5);
    rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);

    // Skipping far past the end is no error, and no handle array is allocated for nothing.
    HROW* none = nullptr;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 100, 2, &got, &none), DB_S_ENDOFROWSET);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(rowset->Release(), 0u);
}

TEST(StaticRowset, BackwardsMovesNeedTheirProperties) {
    IRowset* forward = makeRowset(5);
    HROW rows[2];
    HROW* out = rows;
    DBCOUNTITEM got = 0;
    EXPECT_EQ(forward->GetNextRows(DB_NULL_HCHAPTER, 0, -1, &got, &out), DB_E_CANTFETCHBACKWARDS);
    EXPECT_EQ(forward->GetNextRows(DB_NULL_HCHAPTER, -1, 1, &got, &out), DB_E_CANTSCROLLBACKWARDS);
    forward->Release();

    IRowset* both = makeRowset(5, {DBPROP_CANFETCHBACKWARDS, DBPROP_CANSCROLLBACKWARDS});
    HACCESSOR h = idAccessor(both);
    ASSERT_EQ(both->GetNextRows(DB_NULL_HCHAPTER, 3, 1, &got, &out), S_OK); // row 3
    both->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    ASSERT_EQ(both->GetNextRows(DB_NULL_HCHAPTER, 0, -2, &got, &out), S_OK);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(idOf(both, h, rows[0]), 3);
    EXPECT_EQ(idOf(both, h, rows[1]), 2);
    both->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    ASSERT_EQ(both->GetNextRows(DB_NULL_HCHAPTER, -1, 1, &got, &out), S_OK);
    EXPECT_EQ(idOf(both, h, rows[0]), 1);
    both->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    EXPECT_EQ(both->Release(), 0u);
}

TEST(StaticRowset, RowHandlesCountReferencesAndRejectStrangers) {
    IRowset* rowset = makeRowset(3);
    HACCESSOR h = idAccessor(rowset);
    HROW row;
    HROW* out = &row;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &out), S_OK);
    DBREFCOUNT count = 0;
    DBROWSTATUS status = 0;
    EXPECT_EQ(rowset->AddRefRows(1, &row, &count, &status), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(rowset->ReleaseRows(1, &row, nullptr, &count, &status), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(rowset->ReleaseRows(1, &row, nullptr, &count, &status), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(rowset->ReleaseRows(1, &row, nullptr, &count, &status), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status, DBROWSTATUS_E_INVALID);

    HROW strangers[2] = {row, 999};
    DBROWSTATUS statuses[2];
    EXPECT_EQ(rowset->AddRefRows(2, strangers, nullptr, statuses), DB_E_ERRORSOCCURRED);
    IdRow data{};
    EXPECT_EQ(rowset->GetData(999, h, &data), DB_E_BADROWHANDLE);
    EXPECT_EQ(rowset->GetData(row, 4242, &data), DB_E_BADACCESSORHANDLE);
    EXPECT_EQ(rowset->Release(), 0u);
}

TEST(StaticRowset, GetDataReportsNullsAndRefusesBadOrdinalsFromInheritedAccessors) {
    IRowset* rowset = makeRowset(3);
    IAccessor* accessor = nullptr;
    ASSERT_EQ(rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor)), S_OK);
    struct TextRow {
        char text[11];
        DBLENGTH length;
        DBSTATUS status;
    };
    DBBINDING b{};
    b.iOrdinal = 2;
    b.obValue = offsetof(TextRow, text);
    b.obLength = offsetof(TextRow, length);
    b.obStatus = offsetof(TextRow, status);
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.wType = DBTYPE_STR;
    b.cbMaxLen = sizeof(TextRow::text);
    HACCESSOR h;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &h, nullptr), S_OK);
    HROW rows[3];
    HROW* out = rows;
    DBCOUNTITEM got;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 3, &got, &out), S_OK);
    TextRow data{};
    ASSERT_EQ(rowset->GetData(rows[1], h, &data), S_OK);
    EXPECT_STREQ(data.text, "row 1");
    EXPECT_EQ(data.length, 5u);
    ASSERT_EQ(rowset->GetData(rows[2], h, &data), S_OK);
    EXPECT_EQ(data.status, DBSTATUS_S_ISNULL);

    b.iOrdinal = 3;
    DBBINDSTATUS status;
    EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &h, &status),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status, DBBINDSTATUS_BADORDINAL);
    rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    accessor->Release();
    EXPECT_EQ(rowset->Release(), 0u);
}

TEST(StaticRowset, BookmarksLocateRowsAndCompare) {
    IRowset* rowset = makeRowset(6, {DBPROP_IRowsetLocate, DBPROP_CANFETCHBACKWARDS});
    IRowsetLocate* locate = nullptr;
    ASSERT_EQ(rowset->QueryInterface(IID_IRowsetLocate, reinterpret_cast<void**>(&locate)), S_OK);
    HACCESSOR h = idAccessor(rowset);

    // The bookmark column is ordinal 0.
    IColumnsInfo* columns = nullptr;
    ASSERT_EQ(rowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&columns)), S_OK);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
    ASSERT_EQ(columns->GetColumnInfo(&count, &info, &strings), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(info[0].iOrdinal, 0u);
    EXPECT_TRUE(info[0].dwFlags & DBCOLUMNFLAGS_ISBOOKMARK);
    EXPECT_EQ(std::u16string(info[2].pwszName), u"Name");
    EXPECT_EQ(info[2].ulColumnSize, 10u);
    CoTaskMemFree(info);
    CoTaskMemFree(strings);
    columns->Release();

    BYTE last = DBBMK_LAST;
    HROW rows[2];
    HROW* out = rows;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(locate->GetRowsAt(0, DB_NULL_HCHAPTER, 1, &last, 0, -2, &got, &out), S_OK);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(idOf(rowset, h, rows[0]), 5);
    EXPECT_EQ(idOf(rowset, h, rows[1]), 4);

    // Read row 4's bookmark and find the row again by it.
    IAccessor* accessor = nullptr;
    rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor));
    DBBINDING b{};
    b.iOrdinal = 0;
    b.dwPart = DBPART_VALUE;
    b.wType = DBTYPE_I4;
    b.cbMaxLen = 4;
    HACCESSOR bookmarkAccessor;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &bookmarkAccessor, nullptr),
              S_OK);
    std::uint32_t bookmark = 0;
    ASSERT_EQ(rowset->GetData(rows[1], bookmarkAccessor, &bookmark), S_OK);
    rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    const BYTE* marks[1] = {reinterpret_cast<const BYTE*>(&bookmark)};
    DBBKMARK sizes[1] = {sizeof bookmark};
    HROW found;
    ASSERT_EQ(locate->GetRowsByBookmark(DB_NULL_HCHAPTER, 1, sizes, marks, &found, nullptr), S_OK);
    EXPECT_EQ(idOf(rowset, h, found), 4);
    rowset->ReleaseRows(1, &found, nullptr, nullptr, nullptr);

    DBCOMPARE cmp;
    BYTE first = DBBMK_FIRST;
    EXPECT_EQ(locate->Compare(DB_NULL_HCHAPTER, sizeof bookmark, marks[0], sizeof bookmark,
                              marks[0], &cmp),
              S_OK);
    EXPECT_EQ(cmp, static_cast<DBCOMPARE>(DBCOMPARE_EQ));
    EXPECT_EQ(locate->Compare(DB_NULL_HCHAPTER, 1, &first, sizeof bookmark, marks[0], &cmp), S_OK);
    EXPECT_EQ(cmp, static_cast<DBCOMPARE>(DBCOMPARE_NE));
    std::uint32_t bogus = 77;
    EXPECT_EQ(locate->Compare(DB_NULL_HCHAPTER, sizeof bogus, reinterpret_cast<BYTE*>(&bogus),
                              sizeof bookmark, marks[0], &cmp),
              DB_E_BADBOOKMARK);
    accessor->Release();
    locate->Release();
    EXPECT_EQ(rowset->Release(), 0u);
}

TEST(StaticRowset, ChangesAreRefusedAsAPropertyStatus) {
    DBPROP change = boolProperty(DBPROP_IRowsetChange);
    DBPROPSET set{&change, 1, DBPROPSET_ROWSET};
    IUnknown* unknown = nullptr;
    EXPECT_EQ(createStaticRowset(twoColumns(), numberedRows(1), 1, &set, u"Kit tests", nullptr,
                                 IID_IRowset, &unknown),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(change.dwStatus, DBPROPSTATUS_NOTSUPPORTED);

    change.dwOptions = DBPROPOPTIONS_OPTIONAL;
    ASSERT_EQ(createStaticRowset(twoColumns(), numberedRows(1), 1, &set, u"Kit tests", nullptr,
                                 IID_IRowset, &unknown),
              DB_S_ERRORSOCCURRED);
    IUnknown* changer = nullptr;
    EXPECT_EQ(unknown->QueryInterface(IID_IRowsetChange, reinterpret_cast<void**>(&changer)),
              E_NOINTERFACE);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST(StaticRowset, MaximumRowsEndsTheRowsetEarly) {
    DBPROP maxRows{};
    maxRows.dwPropertyID = DBPROP_MAXROWS;
    VariantInit(&maxRows.vValue);
    maxRows.vValue.vt = VT_I4;
    maxRows.vValue.lVal = 2;
    DBPROPSET set{&maxRows, 1, DBPROPSET_ROWSET};
    IUnknown* unknown = nullptr;
    ASSERT_EQ(createStaticRowset(twoColumns(), numberedRows(5), 1, &set, u"Kit tests", nullptr,
                                 IID_IRowset, &unknown),
              S_OK);
    auto* rowset = static_cast<IRowset*>(unknown);
    HROW rows[5];
    HROW* out = rows;
    DBCOUNTITEM got = 0;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &got, &out), DB_S_ENDOFROWSET);
    EXPECT_EQ(got, 2u);
    rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    EXPECT_EQ(rowset->Release(), 0u);
}

TEST(StaticRowset, AHundredThousandShortRowsStayCompact) {
    constexpr int count = 100000;
    std::vector<ColumnInfo> columns = twoColumns();
    columns.push_back(columns[0]);
    columns.push_back(columns[1]);
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({Value(ValueView::ofInt(i)), Value(ValueView::ofText("filler")),
                        Value(ValueView::ofInt(-i)), Value(ValueView::ofText("x"))});
    IUnknown* unknown = nullptr;
    ASSERT_EQ(createStaticRowset(columns, std::move(rows), 0, nullptr, u"Kit tests", nullptr,
                                 IID_IRowset, &unknown),
              S_OK);
    auto* rowset = static_cast<IRowset*>(unknown);
    HACCESSOR h = idAccessor(rowset);
    HROW row;
    HROW* out = &row;
    DBCOUNTITEM got;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, count - 1, 1, &got, &out), S_OK);
    EXPECT_EQ(idOf(rowset, h, row), count - 1);
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    auto* impl = static_cast<Rowset*>(static_cast<IRowsetLocate*>(rowset));
    EXPECT_EQ(impl->cachedRows(), static_cast<std::size_t>(count));
    EXPECT_LT(impl->cacheBytes(), 10u * 1024 * 1024) << "about 40 bytes a row, not a heap object";
    // Rewinding and skipping again reads the cache, not the source.
    rowset->RestartPosition(DB_NULL_HCHAPTER);
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 50000, 1, &got, &out), S_OK);
    EXPECT_EQ(idOf(rowset, h, row), 50000);
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    EXPECT_EQ(rowset->Release(), 0u);
}
