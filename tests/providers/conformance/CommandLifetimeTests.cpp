// A command released for the last time is kept by its session and handed out by the next
// CreateCommand: nothing of what it was given or made may show through, it may not keep
// anything open in the database, and it may not keep its session alive.
#include "ConformanceSupport.h"

#include <cstdint>
#include <cstring>

namespace conformance {
namespace {

class CommandLifetime : public ProviderTest {
protected:
    Ptr<ICommandText> newCommand() const {
        Ptr<ICommandText> text;
        auto create = session_.query<IDBCreateCommand>(IID_IDBCreateCommand);
        EXPECT_EQ(create->CreateCommand(nullptr, IID_ICommandText, text.outUnknown()), S_OK);
        return text;
    }

    static DBPROP property(DBPROPID id, VARTYPE type, LONG value) {
        DBPROP p{};
        p.dwPropertyID = id;
        p.dwOptions = DBPROPOPTIONS_REQUIRED;
        p.colid = DB_NULLID;
        p.vValue.vt = type;
        if (type == VT_BOOL)
            p.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        else
            p.vValue.lVal = value;
        return p;
    }

    // The value of one rowset property of the command, as a number (a boolean is 0 or 1).
    static LONG propertyOf(const Ptr<ICommandText>& text, DBPROPID id) {
        auto properties = text.query<ICommandProperties>(IID_ICommandProperties);
        DBPROPIDSET ask{&id, 1, DBPROPSET_ROWSET};
        ULONG count = 0;
        DBPROPSET* sets = nullptr;
        EXPECT_EQ(properties->GetProperties(1, &ask, &count, &sets), S_OK);
        const VARIANT& v = sets[0].rgProperties[0].vValue;
        const LONG value = v.vt == VT_BOOL ? (v.boolVal ? 1 : 0) : v.lVal;
        VariantClear(&sets[0].rgProperties[0].vValue);
        CoTaskMemFree(sets[0].rgProperties);
        CoTaskMemFree(sets);
        return value;
    }

    static int rowsOf(IRowset* rowset) {
        int rows = 0;
        HROW row = DB_NULL_HROW;
        HROW* p = &row;
        DBCOUNTITEM got = 0;
        while (rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p) == S_OK && got == 1) {
            rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
            ++rows;
        }
        return rows;
    }
};

TEST_P(CommandLifetime, AReleasedCommandComesBackAsANewOne) {
    Ptr<ICommandText> used = newCommand();
    ASSERT_TRUE(used);
    const std::u16string text = u"SELECT id, name FROM t WHERE id >= ?";
    ASSERT_EQ(used->SetCommandText(DBGUID_DBSQL, text.c_str()), S_OK);
    auto properties = used.query<ICommandProperties>(IID_ICommandProperties);
    DBPROP props[] = {property(DBPROP_MAXROWS, VT_I4, 1),
                      property(DBPROP_IRowsetChange, VT_BOOL, 1)};
    DBPROPSET set{props, 2, DBPROPSET_ROWSET};
    ASSERT_EQ(properties->SetProperties(1, &set), S_OK);
    ASSERT_EQ(used.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(0), S_OK);
    auto accessor = used.query<IAccessor>(IID_IAccessor);
    DBBINDING binding = cellBinding(1, DBTYPE_I4, 4, 0, DBPARAMIO_INPUT);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &binding, sizeof(Cell), &handle,
                                       nullptr),
              S_OK);
    Cell key{};
    std::int32_t one = 1;
    std::memcpy(key.value, &one, sizeof one);
    DBPARAMS params{&key, 1, handle};
    {
        Ptr<IRowset> rowset;
        ASSERT_EQ(used->Execute(nullptr, IID_IRowset, &params, nullptr, rowset.outUnknown()), S_OK)
            << takeErrorDescription();
        EXPECT_EQ(rowsOf(rowset.get()), 1) << "at most one row";
    }
    const void* address = used.get();
    accessor.reset();
    properties.reset();
    used.reset(); // the accessor handle is left unreleased, as a careless consumer leaves it

    Ptr<ICommandText> fresh = newCommand();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh.get(), address) << "the released command is handed out again";
    OLECHAR* back = nullptr;
    EXPECT_EQ(fresh->GetCommandText(nullptr, &back), DB_E_NOCOMMAND);
    EXPECT_EQ(fresh->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_NOCOMMAND);
    EXPECT_EQ(propertyOf(fresh, DBPROP_MAXROWS), 0);
    EXPECT_EQ(propertyOf(fresh, DBPROP_IRowsetChange), 0);
    DBCOUNTITEM bindings = 0;
    DBBINDING* given = nullptr;
    DBACCESSORFLAGS flags = 0;
    EXPECT_EQ(fresh.query<IAccessor>(IID_IAccessor)->GetBindings(handle, &flags, &bindings, &given),
              DB_E_BADACCESSORHANDLE)
        << "the old command's accessor is gone with it";

    // Given the same text again, it is not prepared and has no parameters described.
    ASSERT_EQ(fresh->SetCommandText(DBGUID_DBSQL, text.c_str()), S_OK);
    auto columns = fresh.query<IColumnsInfo>(IID_IColumnsInfo);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    EXPECT_EQ(columns->GetColumnInfo(&count, &info, &names), DB_E_NOTPREPARED);
    {
        Ptr<IRowset> rowset;
        EXPECT_EQ(fresh->Execute(nullptr, IID_IRowset, &params, nullptr, rowset.outUnknown()),
                  DB_E_BADACCESSORHANDLE);
        EXPECT_FALSE(rowset);
    }
    ASSERT_EQ(fresh->SetCommandText(DBGUID_DBSQL, u"SELECT id FROM t ORDER BY id"), S_OK);
    Ptr<IRowset> all;
    ASSERT_EQ(fresh->Execute(nullptr, IID_IRowset, nullptr, nullptr, all.outUnknown()), S_OK);
    EXPECT_FALSE(all.query<IRowsetChange>(IID_IRowsetChange)) << "read-only, as by default";
    EXPECT_EQ(rowsOf(all.get()), 3) << "every row: no row limit is left over";
}

// A command kept for reuse holds no reference to its session: releasing the session ends it,
// and the data source can be uninitialised (it refuses while a session is open).
TEST_P(CommandLifetime, AKeptCommandDoesNotKeepItsSessionOpen) {
    Ptr<ICommandText> text = command("SELECT id FROM t");
    ASSERT_TRUE(text);
    ASSERT_EQ(text.query<ICommandPrepare>(IID_ICommandPrepare)->Prepare(0), S_OK);
    text.reset();
    session_.reset();
    EXPECT_EQ(dataSource_->Uninitialize(), S_OK) << takeErrorDescription();
}

// Only the command's last Release retires it: a rowset still open keeps it, and the next
// command is another object until then.
TEST_P(CommandLifetime, ACommandLivesWhileItsRowsetDoes) {
    Ptr<ICommandText> text = command("SELECT id FROM t ORDER BY id");
    Ptr<IRowset> rowset;
    ASSERT_EQ(text->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.outUnknown()), S_OK);
    const void* address = text.get();
    text.reset();
    Ptr<ICommandText> other = newCommand();
    EXPECT_NE(other.get(), address);
    auto info = rowset.query<IRowsetInfo>(IID_IRowsetInfo);
    Ptr<ICommandText> source;
    ASSERT_EQ(info->GetSpecification(IID_ICommandText, source.outUnknown()), S_OK);
    OLECHAR* back = nullptr;
    ASSERT_EQ(source->GetCommandText(nullptr, &back), S_OK);
    EXPECT_EQ(std::u16string(back), u"SELECT id FROM t ORDER BY id");
    CoTaskMemFree(back);
    source.reset();
    EXPECT_EQ(rowsOf(rowset.get()), 3);
}

INSTANTIATE_TEST_SUITE_P(EveryProvider, CommandLifetime,
                         ::testing::Values(Provider::SQLite, Provider::PostgreSQL,
                                           Provider::OdbcSQLite),
                         ProviderName());

} // namespace
} // namespace conformance
