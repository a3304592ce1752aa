// Accessor validation and the transfer of rows and parameters through bindings.
#include "kit/Accessor.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

using namespace vantrel::kit;

namespace {

DBBINDING binding(DBORDINAL ordinal, DBTYPE type, DBLENGTH maxLength, DBBYTEOFFSET value,
                  DBPART part = DBPART_VALUE, DBBYTEOFFSET length = 0, DBBYTEOFFSET status = 0) {
    DBBINDING b{};
    b.iOrdinal = ordinal;
    b.obValue = value;
    b.obLength = length;
    b.obStatus = status;
    b.dwPart = part;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = DBPARAMIO_NOTPARAM;
    b.cbMaxLen = maxLength;
    b.wType = type;
    return b;
}

AccessorTarget rowsetOfTwo() {
    AccessorTarget t;
    t.isRowset = true;
    t.columnsKnown = true;
    t.columnCount = 2;
    t.types = {DBTYPE_I4, DBTYPE_I4, DBTYPE_DBTIMESTAMP};
    return t;
}

} // namespace

TEST(AccessorValidation, RefusesBadFlagsAndNullAccessors) {
    AccessorTable table;
    HACCESSOR h = 99;
    DBBINDING b = binding(1, DBTYPE_I4, 4, 0);
    EXPECT_EQ(table.create(DBACCESSOR_INVALID, 1, &b, 0, &h, nullptr, rowsetOfTwo()),
              DB_E_BADACCESSORFLAGS);
    EXPECT_EQ(h, DB_NULL_HACCESSOR);
    EXPECT_EQ(table.create(DBACCESSOR_ROWDATA | DBACCESSOR_PASSBYREF, 1, &b, 0, &h, nullptr,
                           rowsetOfTwo()),
              DB_E_BYREFACCESSORNOTSUPPORTED);
    EXPECT_EQ(table.create(DBACCESSOR_PARAMETERDATA, 1, &b, 0, &h, nullptr, rowsetOfTwo()),
              DB_E_BADACCESSORFLAGS)
        << "rowsets take no parameter accessors";
    EXPECT_EQ(table.create(DBACCESSOR_ROWDATA, 0, nullptr, 0, &h, nullptr, rowsetOfTwo()),
              DB_E_NULLACCESSORNOTSUPPORTED);
    EXPECT_EQ(table.create(DBACCESSOR_ROWDATA, 1, &b, 0, nullptr, nullptr, rowsetOfTwo()),
              E_INVALIDARG);
}

TEST(AccessorValidation, ReportsEachBadBindingInItsStatus) {
    AccessorTable table;
    DBBINDING b[5] = {
        binding(1, DBTYPE_I4, 4, 0),
        binding(3, DBTYPE_I4, 4, 4),                // no third column
        binding(2, DBTYPE_I4 | DBTYPE_BYREF, 4, 8), // by-reference memory
        binding(2, DBTYPE_I4, 4, 12, 0),            // no part at all
        binding(0, DBTYPE_I4, 4, 16),               // bookmark without bookmarks
    };
    DBBINDSTATUS status[5];
    HACCESSOR h = 0;
    EXPECT_EQ(table.create(DBACCESSOR_ROWDATA, 5, b, 0, &h, status, rowsetOfTwo()),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status[0], DBBINDSTATUS_OK);
    EXPECT_EQ(status[1], DBBINDSTATUS_BADORDINAL);
    EXPECT_EQ(status[2], DBBINDSTATUS_BADBINDINFO);
    EXPECT_EQ(status[3], DBBINDSTATUS_BADBINDINFO);
    EXPECT_EQ(status[4], DBBINDSTATUS_BADORDINAL);
    EXPECT_EQ(table.find(h), nullptr);
}

TEST(AccessorValidation, RefusesConversionsTheColumnCannotMake) {
    AccessorTable table;
    DBBINDING b = binding(2, DBTYPE_I4, 4, 0);
    AccessorTarget t = rowsetOfTwo();
    t.types[2] = DBTYPE_DBTIMESTAMP;
    DBBINDSTATUS status;
    HACCESSOR h;
    EXPECT_EQ(table.create(DBACCESSOR_ROWDATA, 1, &b, 0, &h, &status, t), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status, DBBINDSTATUS_UNSUPPORTEDCONVERSION);
}

TEST(AccessorValidation, ParameterBindingsNeedInputAndDistinctOrdinals) {
    AccessorTable table;
    AccessorTarget command; // a command: columns unknown
    DBBINDING b[3] = {binding(1, DBTYPE_I4, 4, 0), binding(1, DBTYPE_I4, 4, 4),
                      binding(0, DBTYPE_I4, 4, 8)};
    for (DBBINDING& x : b)
        x.eParamIO = DBPARAMIO_INPUT;
    DBBINDSTATUS status[3];
    HACCESSOR h;
    EXPECT_EQ(table.create(DBACCESSOR_PARAMETERDATA, 3, b, 12, &h, status, command),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status[0], DBBINDSTATUS_OK);
    EXPECT_EQ(status[1], DBBINDSTATUS_BADBINDINFO);
    EXPECT_EQ(status[2], DBBINDSTATUS_BADORDINAL);
    b[1].iOrdinal = 2;
    b[1].eParamIO = DBPARAMIO_NOTPARAM;
    EXPECT_EQ(table.create(DBACCESSOR_PARAMETERDATA, 2, b, 12, &h, status, command),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status[1], DBBINDSTATUS_BADBINDINFO);
}

TEST(AccessorHandles, CountReferencesAndForgetReleasedHandles) {
    AccessorTable table;
    DBBINDING b = binding(1, DBTYPE_I4, 4, 0);
    HACCESSOR h;
    ASSERT_EQ(table.create(DBACCESSOR_ROWDATA, 1, &b, 0, &h, nullptr, rowsetOfTwo()), S_OK);
    DBREFCOUNT count = 0;
    EXPECT_EQ(table.addRef(h, &count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(table.release(h, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(table.release(h, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(table.release(h, &count), DB_E_BADACCESSORHANDLE);
    EXPECT_EQ(table.addRef(12345, nullptr), DB_E_BADACCESSORHANDLE);

    // Handles inherited by a rowset are counted there separately.
    ASSERT_EQ(table.create(DBACCESSOR_ROWDATA, 1, &b, 0, &h, nullptr, rowsetOfTwo()), S_OK);
    AccessorTable rowset;
    rowset.inheritFrom(table);
    EXPECT_EQ(rowset.release(h, nullptr), S_OK);
    EXPECT_NE(table.find(h), nullptr);
    HACCESSOR second;
    ASSERT_EQ(rowset.create(DBACCESSOR_ROWDATA, 1, &b, 0, &second, nullptr, rowsetOfTwo()), S_OK);
    EXPECT_NE(second, h) << "a rowset's own handles never collide with inherited ones";

    DBACCESSORFLAGS flags;
    DBCOUNTITEM n;
    DBBINDING* out = nullptr;
    ASSERT_EQ(table.getBindings(h, &flags, &n, &out), S_OK);
    EXPECT_EQ(flags, static_cast<DBACCESSORFLAGS>(DBACCESSOR_ROWDATA));
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(out[0].wType, DBTYPE_I4);
    CoTaskMemFree(out);
}

TEST(AccessorHandles, ManyAccessorsReleasedInAnyOrderKeepTheirOwnBindings) {
    // A table keeps its first few accessors in itself and the rest elsewhere: each handle must
    // lead to its own bindings across the move and after releases at the front, middle and end.
    AccessorTable table;
    constexpr int count = 7;
    HACCESSOR handles[count];
    for (int i = 0; i < count; ++i) {
        DBBINDING b = binding(1, DBTYPE_I4, 4, static_cast<DBBYTEOFFSET>(i * 8));
        ASSERT_EQ(table.create(DBACCESSOR_ROWDATA, 1, &b, 0, &handles[i], nullptr, rowsetOfTwo()),
                  S_OK);
    }
    auto offsetOf = [&](HACCESSOR h) {
        const Accessor* a = table.lookup(h);
        return a ? static_cast<int>(a->bindings[0].obValue) : -1;
    };
    for (int i : {0, 3, 6})
        EXPECT_EQ(table.release(handles[i], nullptr), S_OK);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(offsetOf(handles[i]), i % 3 == 0 ? -1 : i * 8) << "accessor " << i;

    // A rowset inheriting the survivors and making its own beside them.
    AccessorTable rowset;
    rowset.inheritFrom(table);
    DBBINDING b = binding(1, DBTYPE_I8, 8, 100);
    HACCESSOR own;
    ASSERT_EQ(rowset.create(DBACCESSOR_ROWDATA, 1, &b, 0, &own, nullptr, rowsetOfTwo()), S_OK);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(rowset.lookup(handles[i]) != nullptr, i % 3 != 0) << "accessor " << i;
    ASSERT_NE(rowset.lookup(own), nullptr);
    EXPECT_EQ(rowset.lookup(own)->bindings[0].wType, DBTYPE_I8);

    table.clear();
    for (HACCESSOR h : handles)
        EXPECT_EQ(table.lookup(h), nullptr);
    EXPECT_NE(rowset.lookup(handles[1]), nullptr) << "the rowset's copies outlive the command's";
}

struct Row {
    std::int32_t id;
    DBSTATUS idStatus;
    DBLENGTH idLength;
    char text[6];
    DBSTATUS textStatus;
    DBLENGTH textLength;
};

TEST(RowTransfer, WritesValuesLengthsAndStatuses) {
    Accessor a;
    a.flags = DBACCESSOR_ROWDATA;
    const DBPART all = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    a.bindings = {binding(1, DBTYPE_I4, 4, offsetof(Row, id), all, offsetof(Row, idLength),
                          offsetof(Row, idStatus)),
                  binding(2, DBTYPE_STR, sizeof(Row::text), offsetof(Row, text), all,
                          offsetof(Row, textLength), offsetof(Row, textStatus))};
    Row row{};
    HRESULT hr = writeRow(a, &row, [](DBORDINAL o) {
        return o == 1 ? ValueView::ofInt(7) : ValueView::ofText("too long");
    });
    EXPECT_EQ(hr, S_OK) << "truncation is a warning its status carries, not an error";
    EXPECT_EQ(row.id, 7);
    EXPECT_EQ(row.idStatus, DBSTATUS_S_OK);
    EXPECT_EQ(row.textStatus, DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(row.textLength, 8u);
    EXPECT_STREQ(row.text, "too l");

    hr = writeRow(a, &row,
                  [](DBORDINAL o) { return o == 1 ? ValueView::ofText("x") : ValueView::null(); });
    EXPECT_EQ(hr, DB_S_ERRORSOCCURRED) << "one column failed, one succeeded";
    EXPECT_EQ(row.idStatus, DBSTATUS_E_CANTCONVERTVALUE);
    EXPECT_EQ(row.textStatus, DBSTATUS_S_ISNULL);
}

TEST(RowTransfer, NullWithoutAStatusPartIsAnError) {
    Accessor a;
    a.flags = DBACCESSOR_ROWDATA;
    a.bindings = {binding(1, DBTYPE_I4, 4, 0)};
    std::int32_t value = 5;
    EXPECT_EQ(writeRow(a, &value, [](DBORDINAL) { return ValueView::null(); }),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(value, 5);
}

TEST(RowTransfer, LengthOnlyBindingsLearnTheLengthWithoutWritingAValue) {
    Accessor a;
    a.flags = DBACCESSOR_ROWDATA;
    a.bindings = {binding(1, DBTYPE_WSTR, 0, 0, DBPART_LENGTH, 0)};
    DBLENGTH length = 0;
    EXPECT_EQ(writeRow(a, &length, [](DBORDINAL) { return ValueView::ofText("abc"); }), S_OK);
    EXPECT_EQ(length, 6u);
}

TEST(ParameterTransfer, ReadsStatusesAndRefusesBadOnes) {
    struct Params {
        std::int32_t id;
        DBSTATUS idStatus;
        char name[8];
        DBSTATUS nameStatus;
    } p{12, DBSTATUS_S_OK, "ab", DBSTATUS_S_ISNULL};
    Accessor a;
    a.flags = DBACCESSOR_PARAMETERDATA;
    a.bindings = {binding(1, DBTYPE_I4, 4, offsetof(Params, id), DBPART_VALUE | DBPART_STATUS, 0,
                          offsetof(Params, idStatus)),
                  binding(2, DBTYPE_STR, 8, offsetof(Params, name), DBPART_VALUE | DBPART_STATUS, 0,
                          offsetof(Params, nameStatus))};
    std::vector<BoundValue> values;
    ASSERT_EQ(readRow(a, &p, values), S_OK);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].value.integer, 12);
    EXPECT_TRUE(values[1].value.isNull());
    p.nameStatus = 12345;
    EXPECT_EQ(readRow(a, &p, values), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(p.nameStatus, DBSTATUS_E_BADSTATUS);
    p.nameStatus = DBSTATUS_S_IGNORE;
    ASSERT_EQ(readRow(a, &p, values), S_OK);
    EXPECT_EQ(values[1].use, BoundValue::Use::Ignore);
}
