// Answers a consumer written from the reference relies on, where the providers once answered
// otherwise: truncation is a warning, a parameter is never silently NULL, a type name is used
// or refused, an open rowset keeps its command's text, a rowset is not asked for without a
// place to put it, and a column that cannot change says so in its status.
#include "ConformanceSupport.h"

#include <cstring>
#include <iterator>
#include <map>

namespace conformance {
namespace {

// Makes a row accessor of the bindings and fetches the rowset's first row.
template <std::size_t N>
void firstRowThrough(IRowset* rowset, IAccessor* accessor, DBBINDING (&bindings)[N],
                     HACCESSOR& handle, HROW& row) {
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, N, bindings, 0, &handle, nullptr), S_OK);
    DBCOUNTITEM got = 0;
    HROW* rows = &row;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows), S_OK);
    ASSERT_EQ(got, 1u);
}

class ReturnCodes : public ProviderTest {
protected:
    // A row of 1 048 580 characters ("abcdefghij" repeated) in big(id, body).
    void makeBigText() {
        run("CREATE TABLE big (id INTEGER, body TEXT)");
        run(isSQLite() ? "INSERT INTO big VALUES (1, replace(hex(zeroblob(104858)), '00', "
                         "'abcdefghij'))"
                       : "INSERT INTO big VALUES (1, repeat('abcdefghij', 104858))");
    }
    static constexpr DBLENGTH bigLength = 1048580;
};

TEST_P(ReturnCodes, TruncationIsAWarningThatOnlyTheStatusCarries) {
    makeBigText();
    Ptr<IRowset> rowset = open("SELECT body FROM big");
    ASSERT_TRUE(rowset);
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    // 16 bytes of WSTR, 10 of STR, 0, 1 and an odd 15 bytes of WSTR.
    DBBINDING bindings[] = {cellBinding(1, DBTYPE_WSTR, 16, 0), cellBinding(1, DBTYPE_STR, 10, 1),
                            cellBinding(1, DBTYPE_STR, 0, 2), cellBinding(1, DBTYPE_STR, 1, 3),
                            cellBinding(1, DBTYPE_WSTR, 15, 4)};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    HROW row = DB_NULL_HROW;
    ASSERT_NO_FATAL_FAILURE(firstRowThrough(rowset.get(), accessor.get(), bindings, handle, row));
    Cell cells[5];
    std::memset(cells, 0xAB, sizeof cells);
    EXPECT_EQ(rowset->GetData(row, handle, cells), S_OK)
        << "every status is OK or TRUNCATED: the call succeeded without errors";
    for (const Cell& cell : cells)
        EXPECT_EQ(cell.status, DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(cells[0].length, bigLength * sizeof(char16_t));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(cells[0].value)), u"abcdefg");
    EXPECT_EQ(cells[1].length, bigLength);
    EXPECT_STREQ(reinterpret_cast<const char*>(cells[1].value), "abcdefghi");
    EXPECT_EQ(cells[1].value[10], 0xAB) << "nothing past cbMaxLen";
    EXPECT_EQ(cells[2].length, bigLength);
    EXPECT_EQ(cells[2].value[0], 0xAB) << "no room, nothing written";
    EXPECT_EQ(cells[3].value[0], 0) << "room for the terminator only";
    EXPECT_EQ(cells[3].value[1], 0xAB);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(cells[4].value)), u"abcdef");
    EXPECT_EQ(cells[4].value[14], 0xAB) << "the odd byte is left alone";
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
}

TEST_P(ReturnCodes, TruncationBesideAFailedColumnStillReportsTheFailure) {
    makeBigText();
    Ptr<IRowset> rowset = open("SELECT body, id FROM big");
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    // The text into 10 bytes, and the same text as an integer, which it is not.
    DBBINDING bindings[] = {cellBinding(1, DBTYPE_STR, 10, 0), cellBinding(1, DBTYPE_I4, 4, 1)};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    HROW row = DB_NULL_HROW;
    ASSERT_NO_FATAL_FAILURE(firstRowThrough(rowset.get(), accessor.get(), bindings, handle, row));
    Cell cells[2]{};
    EXPECT_EQ(rowset->GetData(row, handle, cells), DB_S_ERRORSOCCURRED);
    EXPECT_EQ(cells[0].status, DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(cells[1].status, DBSTATUS_E_CANTCONVERTVALUE);
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
}

TEST_P(ReturnCodes, BindingsInAnyOrderEachReadTheirOwnColumn) {
    run("CREATE TABLE mixed (id INTEGER, name VARCHAR(20), amount FLOAT, note VARCHAR(20))");
    run("INSERT INTO mixed VALUES (7, 'sedm', 2.5, NULL)");
    Ptr<IRowset> rowset = open("SELECT id, name, amount, note FROM mixed");
    ASSERT_TRUE(rowset);
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    // Last column first, one column twice, and back to an earlier one.
    DBBINDING bindings[] = {cellBinding(4, DBTYPE_STR, 20, 0), cellBinding(1, DBTYPE_I4, 4, 1),
                            cellBinding(3, DBTYPE_R8, 8, 2), cellBinding(1, DBTYPE_STR, 20, 3),
                            cellBinding(2, DBTYPE_STR, 20, 4)};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    HROW row = DB_NULL_HROW;
    ASSERT_NO_FATAL_FAILURE(firstRowThrough(rowset.get(), accessor.get(), bindings, handle, row));
    Cell cells[5]{};
    ASSERT_EQ(rowset->GetData(row, handle, cells), S_OK);
    EXPECT_EQ(cells[0].status, DBSTATUS_S_ISNULL);
    EXPECT_EQ(cells[1].status, DBSTATUS_S_OK);
    std::int32_t id = 0;
    std::memcpy(&id, cells[1].value, sizeof id);
    EXPECT_EQ(id, 7);
    double amount = 0;
    std::memcpy(&amount, cells[2].value, sizeof amount);
    EXPECT_EQ(amount, 2.5);
    EXPECT_STREQ(reinterpret_cast<const char*>(cells[3].value), "7");
    EXPECT_STREQ(reinterpret_cast<const char*>(cells[4].value), "sedm");
    EXPECT_EQ(cells[4].length, 4u);
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
}

TEST_P(ReturnCodes, OneAccessorConvertsEachRowsValueByWhatItHolds) {
    // Integer bindings take integers straight and convert anything else; a row of one kind
    // must not decide how the next row's values of another kind are written.
    run(isSQLite() ? "CREATE TABLE kinds (i BIGINT, r FLOAT, t VARCHAR(10))"
                   : "CREATE TABLE kinds (i BIGINT, r DOUBLE PRECISION, t VARCHAR(10))");
    run("INSERT INTO kinds VALUES (5, 4.0, '17')");
    run("INSERT INTO kinds VALUES (NULL, NULL, NULL)");
    run("INSERT INTO kinds VALUES (3000000000, -8.0, 'x')");
    Ptr<IRowset> rowset = open("SELECT i, r, t FROM kinds ORDER BY i NULLS LAST");
    ASSERT_TRUE(rowset);
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    DBBINDING bindings[] = {cellBinding(1, DBTYPE_I8, 8, 0), cellBinding(1, DBTYPE_I4, 4, 1),
                            cellBinding(1, DBTYPE_R8, 8, 2), cellBinding(2, DBTYPE_I8, 8, 3),
                            cellBinding(2, DBTYPE_R8, 8, 4), cellBinding(3, DBTYPE_I4, 4, 5)};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, std::size(bindings), bindings, 0,
                                       &handle, nullptr),
              S_OK);
    auto integer = [](const Cell& c) {
        std::int64_t n = 0;
        std::memcpy(&n, c.value, c.length == 4 ? 4 : 8);
        return c.length == 4 ? static_cast<std::int64_t>(static_cast<std::int32_t>(n)) : n;
    };
    auto real = [](const Cell& c) {
        double d = 0;
        std::memcpy(&d, c.value, sizeof d);
        return d;
    };
    HRESULT expected[] = {S_OK, DB_S_ERRORSOCCURRED, S_OK};
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE("row " + std::to_string(r + 1));
        DBCOUNTITEM got = 0;
        HROW row = DB_NULL_HROW;
        HROW* rows = &row;
        ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows), S_OK);
        Cell cells[6];
        std::memset(cells, 0xAB, sizeof cells);
        EXPECT_EQ(rowset->GetData(row, handle, cells), expected[r]);
        if (r == 0) {
            for (const Cell& c : cells)
                EXPECT_EQ(c.status, DBSTATUS_S_OK);
            EXPECT_EQ(integer(cells[0]), 5);
            EXPECT_EQ(cells[0].length, 8u);
            EXPECT_EQ(integer(cells[1]), 5);
            EXPECT_EQ(cells[1].length, 4u);
            EXPECT_EQ(real(cells[2]), 5.0);
            EXPECT_EQ(integer(cells[3]), 4) << "a real read as an integer";
            EXPECT_EQ(real(cells[4]), 4.0);
            EXPECT_EQ(integer(cells[5]), 17) << "a text read as an integer";
        } else if (r == 1) {
            EXPECT_EQ(integer(cells[0]), 3000000000);
            EXPECT_EQ(cells[1].status, DBSTATUS_E_DATAOVERFLOW) << "too large for four bytes";
            EXPECT_EQ(cells[1].length, 0u);
            EXPECT_EQ(real(cells[2]), 3e9);
            EXPECT_EQ(integer(cells[3]), -8);
            EXPECT_EQ(real(cells[4]), -8.0);
            EXPECT_EQ(cells[5].status, DBSTATUS_E_CANTCONVERTVALUE);
        } else {
            for (const Cell& c : cells) {
                EXPECT_EQ(c.status, DBSTATUS_S_ISNULL);
                EXPECT_EQ(c.length, 0u);
            }
        }
        rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    }
    accessor->ReleaseAccessor(handle, nullptr);
}

TEST_P(ReturnCodes, EachRowsetChecksARowAccessorAgainstItsOwnColumnsAndBookmarks) {
    // A command executed again and again hands its rowsets the bindings it checked before;
    // a rowset with other columns or without bookmarks must still refuse what does not fit.
    run(isSQLite() ? "CREATE TABLE kept (id INTEGER, body BLOB)"
                   : "CREATE TABLE kept (id INTEGER, body BYTEA)");
    run("INSERT INTO kept (id) VALUES (4)");
    Ptr<ICommandText> text = command("SELECT id, id + 1 FROM kept");
    auto setBookmarks = [&](bool on) {
        DBPROP prop{};
        prop.dwPropertyID = DBPROP_BOOKMARKS;
        prop.dwOptions = DBPROPOPTIONS_REQUIRED;
        prop.colid = DB_NULLID;
        prop.vValue.vt = VT_BOOL;
        prop.vValue.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
        DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
        return text.query<ICommandProperties>(IID_ICommandProperties)->SetProperties(1, &set);
    };
    DBBINDING numbers[] = {cellBinding(1, DBTYPE_I4, 4, 0), cellBinding(2, DBTYPE_I4, 4, 1)};
    DBBINDING withBookmark[] = {cellBinding(0, DBTYPE_I4, 4, 0), cellBinding(1, DBTYPE_I4, 4, 1)};
    // Executes the command and asks its rowset for an accessor: the call's answer, the
    // bindings' statuses and, when made, the first row read through it.
    auto tryBindings = [&](DBBINDING* bindings, DBBINDSTATUS* statuses, Cell* cells) {
        Ptr<IRowset> rowset;
        HRESULT hr = text->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.outUnknown());
        EXPECT_EQ(hr, S_OK) << takeErrorDescription();
        if (FAILED(hr))
            return hr;
        auto accessor = rowset.query<IAccessor>(IID_IAccessor);
        HACCESSOR handle = DB_NULL_HACCESSOR;
        hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, bindings, 0, &handle, statuses);
        if (hr != S_OK)
            return hr;
        DBCOUNTITEM got = 0;
        HROW row = DB_NULL_HROW;
        HROW* rows = &row;
        EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows), S_OK);
        EXPECT_EQ(rowset->GetData(row, handle, cells), S_OK);
        rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
        EXPECT_EQ(accessor->ReleaseAccessor(handle, nullptr), S_OK);
        return hr;
    };
    auto integerIn = [](const Cell& cell) {
        std::int32_t v = 0;
        std::memcpy(&v, cell.value, sizeof v);
        return v;
    };
    DBBINDSTATUS statuses[2] = {};
    Cell cells[2]{};
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(tryBindings(numbers, statuses, cells), S_OK) << "round " << round;
        EXPECT_EQ(integerIn(cells[0]), 4);
        EXPECT_EQ(integerIn(cells[1]), 5);
    }
    ASSERT_EQ(text->SetCommandText(DBGUID_DBSQL, u"SELECT id, body FROM kept"), S_OK);
    EXPECT_EQ(tryBindings(numbers, statuses, cells), DB_E_ERRORSOCCURRED)
        << "bytes do not convert to an integer";
    EXPECT_EQ(statuses[0], DBBINDSTATUS_OK);
    EXPECT_EQ(statuses[1], DBBINDSTATUS_UNSUPPORTEDCONVERSION);

    ASSERT_EQ(setBookmarks(true), S_OK);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(tryBindings(withBookmark, statuses, cells), S_OK) << "round " << round;
        EXPECT_EQ(integerIn(cells[0]), 1) << "the first row's bookmark";
        EXPECT_EQ(integerIn(cells[1]), 4);
    }
    ASSERT_EQ(setBookmarks(false), S_OK);
    EXPECT_EQ(tryBindings(withBookmark, statuses, cells), DB_E_ERRORSOCCURRED)
        << "no bookmark column without bookmarks";
    EXPECT_EQ(statuses[0], DBBINDSTATUS_BADORDINAL);
}

// Executes `text` once with the given parameter bindings over Cell buffers.
HRESULT executeWith(ICommandText* text, std::vector<DBBINDING> bindings, Cell* cells) {
    IAccessor* raw = nullptr;
    if (FAILED(text->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&raw))))
        return E_FAIL;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    HRESULT hr = raw->CreateAccessor(DBACCESSOR_PARAMETERDATA, bindings.size(), bindings.data(), 0,
                                     &handle, nullptr);
    if (hr == S_OK) {
        DBPARAMS params{cells, 1, handle};
        hr = text->Execute(nullptr, IID_NULL, &params, nullptr, nullptr);
        raw->ReleaseAccessor(handle, nullptr);
    } else {
        ADD_FAILURE() << "the parameter accessor was refused";
    }
    raw->Release();
    return hr;
}

TEST_P(ReturnCodes, AParameterWithoutAValueOrABindingWithoutAParameterIsRefusedAndNothingRuns) {
    Ptr<ICommandText> text = command("INSERT INTO t (id, name) VALUES (?, ?)");
    auto prepare = text.query<ICommandPrepare>(IID_ICommandPrepare);
    ASSERT_EQ(prepare->Prepare(1), S_OK) << takeErrorDescription();
    Cell cells[2]{};
    const std::int32_t id = 7;
    std::memcpy(cells[0].value, &id, sizeof id);
    std::strcpy(reinterpret_cast<char*>(cells[1].value), "seven");
    cells[1].length = 5;

    // Only the first parameter bound: no NULL is made up for the second.
    EXPECT_EQ(executeWith(text.get(), {cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT)}, cells),
              DB_E_PARAMNOTOPTIONAL);
    EXPECT_NE(takeErrorDescription(), "<none>");
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3");

    // A third binding for a statement of two parameters: its status says which.
    Cell three[3]{};
    std::memcpy(three, cells, sizeof cells);
    EXPECT_EQ(executeWith(text.get(),
                          {cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT),
                           cellBinding(2, DBTYPE_STR, 64, 1, DBPARAMIO_INPUT),
                           cellBinding(3, DBTYPE_STR, 64, 2, DBPARAMIO_INPUT)},
                          three),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(three[2].status, DBSTATUS_E_BADACCESSOR);
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3");

    // Both bound: the row arrives.
    EXPECT_EQ(executeWith(text.get(),
                          {cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT),
                           cellBinding(2, DBTYPE_STR, 64, 1, DBPARAMIO_INPUT)},
                          cells),
              S_OK)
        << takeErrorDescription();
    EXPECT_EQ(firstCell("SELECT name FROM t WHERE id = 7"), "seven");
}

TEST_P(ReturnCodes, OneAccessorIsCheckedAgainstEachNewlyPreparedStatement) {
    // A load executes one accessor on one prepared statement many times; once that pair was
    // found complete, a new text prepared under the same accessor must be checked afresh.
    Ptr<ICommandText> text = command("INSERT INTO t (id, name) VALUES (?, ?)");
    auto prepare = text.query<ICommandPrepare>(IID_ICommandPrepare);
    auto accessor = text.query<IAccessor>(IID_IAccessor);
    DBBINDING bindings[] = {cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT),
                            cellBinding(2, DBTYPE_STR, 64, 1, DBPARAMIO_INPUT)};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 2, bindings, 0, &handle, nullptr),
              S_OK);
    Cell cells[2]{};
    std::strcpy(reinterpret_cast<char*>(cells[1].value), "row");
    cells[1].length = 3;
    DBPARAMS params{cells, 1, handle};
    auto executeWithId = [&](std::int32_t id) {
        std::memcpy(cells[0].value, &id, sizeof id);
        return text->Execute(nullptr, IID_NULL, &params, nullptr, nullptr);
    };
    ASSERT_EQ(prepare->Prepare(2), S_OK) << takeErrorDescription();
    EXPECT_EQ(executeWithId(10), S_OK) << takeErrorDescription();
    EXPECT_EQ(executeWithId(11), S_OK) << takeErrorDescription();

    // Three parameters, two bound: the third is not made up as NULL.
    ASSERT_EQ(
        text->SetCommandText(DBGUID_DBSQL, u"INSERT INTO t (id, name) VALUES (?, ?), (?, 'x')"),
        S_OK);
    ASSERT_EQ(prepare->Prepare(1), S_OK) << takeErrorDescription();
    EXPECT_EQ(executeWithId(12), DB_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "5");

    // One parameter, two bindings: the second binding's status names it, nothing runs.
    ASSERT_EQ(text->SetCommandText(DBGUID_DBSQL, u"DELETE FROM t WHERE id = ?"), S_OK);
    ASSERT_EQ(prepare->Prepare(1), S_OK) << takeErrorDescription();
    EXPECT_EQ(executeWithId(10), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(cells[1].status, DBSTATUS_E_BADACCESSOR);
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "5");

    // Back to the first text, prepared anew: accepted again, and the row arrives.
    ASSERT_EQ(text->SetCommandText(DBGUID_DBSQL, u"INSERT INTO t (id, name) VALUES (?, ?)"), S_OK);
    ASSERT_EQ(prepare->Prepare(1), S_OK) << takeErrorDescription();
    cells[1].status = DBSTATUS_S_OK;
    EXPECT_EQ(executeWithId(13), S_OK) << takeErrorDescription();
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t WHERE name = 'row'"), "3");
    accessor->ReleaseAccessor(handle, nullptr);
}

DBCOLUMNDESC columnDesc(const char16_t* name, DBTYPE type, const char16_t* typeName) {
    DBCOLUMNDESC d{};
    d.dbcid.eKind = DBKIND_NAME;
    d.dbcid.uName.pwszName = const_cast<LPOLESTR>(name);
    d.wType = type;
    d.pwszTypeName = const_cast<LPOLESTR>(typeName);
    return d;
}

TEST_P(ReturnCodes, AnUnknownTypeNameIsRefusedAndLeavesNoTableAKnownOneIsUsed) {
    auto definition = session_.query<ITableDefinition>(IID_ITableDefinition);
    ASSERT_TRUE(definition);
    DBCOLUMNDESC columns[] = {columnDesc(u"k", DBTYPE_I4, nullptr),
                              columnDesc(u"c", DBTYPE_WSTR, u"NO_SUCH_TYPE_XYZ")};
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = const_cast<LPOLESTR>(u"typed");
    EXPECT_EQ(definition->CreateTable(nullptr, &table, 2, columns, IID_NULL, 0, nullptr, nullptr,
                                      nullptr),
              DB_E_BADTYPE);
    EXPECT_NE(takeErrorDescription().find("NO_SUCH_TYPE_XYZ"), std::string::npos);
    auto opener = session_.query<IOpenRowset>(IID_IOpenRowset);
    Ptr<IRowset> none;
    EXPECT_EQ(
        opener->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, none.outUnknown()),
        DB_E_NOTABLE)
        << "no table is left behind";

    // Text that is no type name at all is refused the same way, and never reaches SQL.
    columns[1].pwszTypeName = const_cast<LPOLESTR>(u"int); DROP TABLE t; --");
    EXPECT_EQ(definition->CreateTable(nullptr, &table, 2, columns, IID_NULL, 0, nullptr, nullptr,
                                      nullptr),
              DB_E_BADTYPE);
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3");

    // A name the database knows is the column's type, modifier and all.
    columns[1] = columnDesc(u"c", DBTYPE_R8, u"numeric(10,2)");
    ASSERT_EQ(definition->CreateTable(nullptr, &table, 2, columns, IID_NULL, 0, nullptr, nullptr,
                                      nullptr),
              S_OK)
        << takeErrorDescription();
    const std::string declared =
        isSQLite() ? firstCell("SELECT type FROM pragma_table_info('typed') WHERE name = 'c'")
                   : firstCell("SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE "
                               "attrelid = 'typed'::regclass AND attname = 'c'");
    std::string lower;
    for (char c : declared)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    EXPECT_EQ(lower, "numeric(10,2)");
}

TEST_P(ReturnCodes, TheTextOfACommandWithAnOpenRowsetCannotChange) {
    for (bool prepared : {false, true}) {
        SCOPED_TRACE(prepared ? "prepared" : "not prepared");
        Ptr<ICommandText> text = command("SELECT id FROM t");
        if (prepared) {
            ASSERT_EQ(text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(1), S_OK);
        }
        Ptr<IRowset> rowset;
        ASSERT_EQ(text->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.outUnknown()), S_OK);
        EXPECT_EQ(text->SetCommandText(DBGUID_DBSQL, u"SELECT name FROM t"), DB_E_OBJECTOPEN);
        EXPECT_NE(takeErrorDescription(), "<none>");
        auto prepare = text.query<ICommandPrepare>(IID_ICommandPrepare);
        EXPECT_EQ(prepare->Prepare(1), DB_E_OBJECTOPEN);
        EXPECT_EQ(prepare->Unprepare(), DB_E_OBJECTOPEN);
        rowset.reset();
        EXPECT_EQ(text->SetCommandText(DBGUID_DBSQL, u"SELECT name FROM t"), S_OK);
    }
}

// A command gives its text back as it was given, whatever UTF-8 makes of it on the way to the
// database, and runs that text: Czech letters, a character outside the BMP, a lone surrogate.
TEST_P(ReturnCodes, ACommandGivesBackItsTextAsGivenAndRunsIt) {
    const std::string czech = "SELECT id FROM t WHERE name = 'Příliš žluťoučký kůň'";
    const std::u16string texts[] = {u"SELECT 1", u16(czech), u"SELECT '\U0001F600'",
                                    std::u16string(u"SELECT '") + char16_t(0xD800) + u"x'"};
    for (const std::u16string& given : texts) {
        Ptr<ICommandText> text = command("SELECT 2");
        ASSERT_EQ(text->SetCommandText(DBGUID_DBSQL, given.c_str()), S_OK);
        for (int again = 0; again < 2; ++again) {
            OLECHAR* back = nullptr;
            GUID dialect = DBGUID_DEFAULT;
            ASSERT_EQ(text->GetCommandText(&dialect, &back), S_OK);
            EXPECT_EQ(std::u16string(back), given);
            CoTaskMemFree(back);
        }
    }
    run("INSERT INTO t (id, name) VALUES (21, 'Příliš žluťoučký kůň')");
    EXPECT_EQ(firstCell(czech), "21");

    Ptr<ICommandText> emptied = command("SELECT 2");
    ASSERT_EQ(emptied->SetCommandText(DBGUID_DBSQL, u""), S_OK);
    OLECHAR* none = nullptr;
    EXPECT_EQ(emptied->GetCommandText(nullptr, &none), DB_E_NOCOMMAND);
    EXPECT_EQ(none, nullptr);
}

TEST_P(ReturnCodes, ARowsetAskedForWithoutAPlaceToPutItIsAnInvalidArgumentAndNothingRuns) {
    Ptr<ICommandText> text = command("INSERT INTO t (id, name, amount) VALUES (9, 'nine', 90)");
    EXPECT_EQ(text->Execute(nullptr, IID_IRowset, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3");
    EXPECT_EQ(text->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), S_OK)
        << "IID_NULL ignores ppRowset";
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "4");
}

// Changing a rowset's columns: held on the ODBC bridge too, whose driver calls an expression's
// label its base column.
class ColumnChanges : public ProviderTest {};

TEST_P(ColumnChanges, OnlyAColumnOfATableIsWritable) {
    Ptr<IRowset> rowset =
        open("SELECT id, name, amount*2 AS twice, upper(name) AS shout FROM t ORDER BY id", true);
    ASSERT_TRUE(rowset);
    auto info = rowset.query<IColumnsInfo>(IID_IColumnsInfo);
    ASSERT_TRUE(info);
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&count, &columns, &names), S_OK);
    std::map<std::string, bool> writable;
    for (DBORDINAL i = 0; i < count; ++i) {
        std::string name;
        for (const OLECHAR* c = columns[i].pwszName; c != nullptr && *c != 0; ++c)
            name += static_cast<char>(*c);
        writable[name] =
            (columns[i].dwFlags & (DBCOLUMNFLAGS_WRITE | DBCOLUMNFLAGS_WRITEUNKNOWN)) != 0;
    }
    CoTaskMemFree(columns);
    CoTaskMemFree(names);
    EXPECT_TRUE(writable["name"]);
    EXPECT_FALSE(writable["twice"]) << "arithmetic";
    EXPECT_FALSE(writable["shout"]) << "a function call";
}

TEST_P(ColumnChanges, AColumnThatCannotChangeSaysSoInItsStatusAndNothingChanges) {
    Ptr<IRowset> rowset =
        open("SELECT id, name, amount, amount*2 AS twice FROM t ORDER BY id", true);
    ASSERT_TRUE(rowset);
    auto change = rowset.query<IRowsetChange>(IID_IRowsetChange);
    ASSERT_TRUE(change);
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    DBBINDING bindings[] = {cellBinding(2, DBTYPE_STR, 64, 0), cellBinding(4, DBTYPE_I4, 4, 1)};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    HROW row = DB_NULL_HROW;
    ASSERT_NO_FATAL_FAILURE(firstRowThrough(rowset.get(), accessor.get(), bindings, handle, row));
    Cell cells[2]{};
    std::strcpy(reinterpret_cast<char*>(cells[0].value), "uno");
    cells[0].length = 3;
    const std::int32_t twice = 99;
    std::memcpy(cells[1].value, &twice, sizeof twice);
    EXPECT_EQ(change->SetData(row, handle, cells), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(cells[1].status, DBSTATUS_E_PERMISSIONDENIED) << "the expression column";
    EXPECT_EQ(cells[0].status, DBSTATUS_S_OK) << "the name could have changed";
    EXPECT_EQ(firstCell("SELECT name FROM t WHERE id = 1"), "one") << "nothing changed";

    // The same for a new row.
    HROW inserted = DB_NULL_HROW;
    cells[1].status = DBSTATUS_S_OK;
    EXPECT_EQ(change->InsertRow(DB_NULL_HCHAPTER, handle, cells, &inserted), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(cells[1].status, DBSTATUS_E_PERMISSIONDENIED);
    EXPECT_EQ(inserted, DB_NULL_HROW);
    EXPECT_EQ(firstCell("SELECT COUNT(*) FROM t"), "3");
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
}

// An alias of a real column: either a write through it reaches that column, or the column says
// it cannot be written and refuses with its status. SQLite's ODBC driver names the alias itself
// as the base column, so over it the column must be read-only.
TEST_P(ColumnChanges, AnAliasWritesItsOwnColumnOrIsRefused) {
    Ptr<IRowset> rowset = open("SELECT id, amount AS a2 FROM t ORDER BY id", true);
    ASSERT_TRUE(rowset);
    auto info = rowset.query<IColumnsInfo>(IID_IColumnsInfo);
    ASSERT_TRUE(info);
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&count, &columns, &names), S_OK);
    ASSERT_GE(count, 2u);
    const DBCOLUMNINFO& alias = columns[count - 1];
    const bool writable = (alias.dwFlags & (DBCOLUMNFLAGS_WRITE | DBCOLUMNFLAGS_WRITEUNKNOWN)) != 0;
    const DBORDINAL ordinal = alias.iOrdinal;
    CoTaskMemFree(columns);
    CoTaskMemFree(names);
    if (GetParam() == Provider::OdbcSQLite) {
        EXPECT_FALSE(writable);
    }

    auto change = rowset.query<IRowsetChange>(IID_IRowsetChange);
    ASSERT_TRUE(change);
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    DBBINDING binding = cellBinding(ordinal, DBTYPE_I4, 4, 0);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &handle, nullptr), S_OK);
    DBCOUNTITEM got = 0;
    HROW row = DB_NULL_HROW;
    HROW* rows = &row;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows), S_OK);
    Cell cell{};
    const std::int32_t value = 77;
    std::memcpy(cell.value, &value, sizeof value);
    const HRESULT hr = change->SetData(row, handle, &cell);
    if (writable) {
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(firstCell("SELECT amount FROM t WHERE id = 1"), "77");
    } else {
        EXPECT_EQ(hr, DB_E_ERRORSOCCURRED);
        EXPECT_EQ(cell.status, DBSTATUS_E_PERMISSIONDENIED);
        EXPECT_EQ(firstCell("SELECT amount FROM t WHERE id = 1"), "10");
    }
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    accessor->ReleaseAccessor(handle, nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothProviders, ReturnCodes,
                         ::testing::Values(Provider::SQLite, Provider::PostgreSQL), ProviderName());
INSTANTIATE_TEST_SUITE_P(EveryProvider, ColumnChanges,
                         ::testing::Values(Provider::SQLite, Provider::PostgreSQL,
                                           Provider::OdbcSQLite),
                         ProviderName());

} // namespace
} // namespace conformance
