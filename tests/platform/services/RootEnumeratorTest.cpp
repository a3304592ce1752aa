// The root enumerator and its sources rowset, read through OLE DB the way a consumer reads it.
#include "TestSupport.h"

#include "RootEnumerator.h"

#include <vantrel/ClassRegistry.h>

#include <cstring>

using namespace servicestest;
using vantrel::services::SourceRow;

namespace {

struct Fetched {
    std::vector<SourceRow> rows;
    int fetchCalls = 0; // GetNextRows calls, the last (empty) one included
};

// Reads every row in blocks of 20 through one accessor over all six columns (ordinals 1 to 6,
// with or without the bookmark column 0).
Fetched readAll(IRowset* rowset) {
    Fetched result;
    ComPtr<IAccessor> accessor;
    EXPECT_EQ(rowset->QueryInterface(IID_IAccessor, accessor.putVoid()), S_OK);
    struct Buffer {
        OLECHAR name[300], parseName[300], description[300], clsid[300];
        USHORT type;
        VARIANT_BOOL isParent;
        DBSTATUS status[6];
    };
    DBBINDING bindings[6] = {};
    const DBBYTEOFFSET valueOffsets[6] = {
        offsetof(Buffer, name), offsetof(Buffer, parseName), offsetof(Buffer, description),
        offsetof(Buffer, type), offsetof(Buffer, isParent),  offsetof(Buffer, clsid)};
    const DBTYPE types[6] = {DBTYPE_WSTR, DBTYPE_WSTR, DBTYPE_WSTR,
                             DBTYPE_UI2,  DBTYPE_BOOL, DBTYPE_WSTR};
    for (int i = 0; i < 6; ++i) {
        bindings[i].iOrdinal = 1 + DBORDINAL(i);
        bindings[i].obValue = valueOffsets[i];
        bindings[i].obStatus = offsetof(Buffer, status) + i * sizeof(DBSTATUS);
        bindings[i].dwPart = DBPART_VALUE | DBPART_STATUS;
        bindings[i].dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        bindings[i].eParamIO = DBPARAMIO_NOTPARAM;
        bindings[i].cbMaxLen = types[i] == DBTYPE_WSTR ? 300 * sizeof(OLECHAR) : 0;
        bindings[i].wType = types[i];
    }
    HACCESSOR handle = 0;
    EXPECT_EQ(
        accessor->CreateAccessor(DBACCESSOR_ROWDATA, 6, bindings, sizeof(Buffer), &handle, nullptr),
        S_OK);
    while (true) {
        HROW rows[20];
        HROW* rowsOut = rows;
        DBCOUNTITEM obtained = 0;
        ++result.fetchCalls;
        const HRESULT hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 20, &obtained, &rowsOut);
        EXPECT_TRUE(hr == S_OK || hr == DB_S_ENDOFROWSET) << std::hex << hr;
        if (obtained == 0)
            break;
        for (DBCOUNTITEM r = 0; r < obtained; ++r) {
            Buffer buffer{};
            EXPECT_EQ(rowset->GetData(rows[r], handle, &buffer), S_OK);
            for (DBSTATUS s : buffer.status)
                EXPECT_EQ(s, DBSTATUS_S_OK);
            result.rows.push_back(SourceRow{buffer.name, buffer.parseName, buffer.description,
                                            buffer.type, buffer.isParent != VARIANT_FALSE,
                                            buffer.clsid});
        }
        EXPECT_EQ(rowset->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr), S_OK);
        if (obtained < 20 && result.fetchCalls > 50)
            break; // a rowset that never ends would otherwise hang the test
    }
    accessor->ReleaseAccessor(handle, nullptr);
    return result;
}

// The bench's request: both properties required, VT_BOOL true.
struct BenchProperties {
    DBPROP props[2] = {};
    DBPROPSET set{};
    BenchProperties() {
        const DBPROPID ids[2] = {DBPROP_CANFETCHBACKWARDS, DBPROP_IRowsetLocate};
        for (int i = 0; i < 2; ++i) {
            props[i].dwPropertyID = ids[i];
            props[i].dwOptions = DBPROPOPTIONS_REQUIRED;
            props[i].colid = DB_NULLID;
            props[i].vValue.vt = VT_BOOL;
            props[i].vValue.boolVal = VARIANT_TRUE;
        }
        set.guidPropertySet = DBPROPSET_ROWSET;
        set.cProperties = 2;
        set.rgProperties = props;
    }
};

SourceRow row(int i, DBTYPE type = DBSOURCETYPE_DATASOURCE_TDP) {
    const std::u16string n = utf16(std::to_string(i));
    return SourceRow{u"Test.Source" + n + u".1",
                     u"parse" + n,
                     u"Source number " + n,
                     type,
                     false,
                     u"{5E5E0000-0000-0000-0000-0000000000" + (i < 10 ? u"0" + n : n) + u"}"};
}

HRESULT noInstance(IUnknown*, REFIID, void** ppv) {
    *ppv = nullptr;
    return E_NOTIMPL;
}

bool sameRow(const SourceRow& a, const SourceRow& b) {
    return a.name == b.name && a.parseName == b.parseName && a.description == b.description &&
           a.type == b.type && a.isParent == b.isParent && a.clsid == b.clsid;
}

TEST(RootEnumerator, ListsTheSqliteProviderWithItsProgIdAndDescription) {
    ComPtr<IUnknown> enumerator = create<IUnknown>(CLSID_OLEDB_ENUMERATOR, IID_IUnknown);
    ComPtr<ISourcesRowset> sources;
    ASSERT_EQ(enumerator.as(IID_ISourcesRowset, sources), S_OK);
    BenchProperties request;
    ComPtr<IRowset> rowset;
    ASSERT_EQ(sources->GetSourcesRowset(nullptr, IID_IRowset, 1, &request.set,
                                        reinterpret_cast<IUnknown**>(rowset.put())),
              S_OK)
        << utf8(takeErrorDescription());
    EXPECT_EQ(request.props[0].dwStatus, DBPROPSTATUS_OK);
    EXPECT_EQ(request.props[1].dwStatus, DBPROPSTATUS_OK);

    // Bookmarks are on: entry 0 is the bookmark, entry k describes ordinal k.
    ComPtr<IColumnsInfo> columnsInfo;
    ASSERT_EQ(rowset.as(IID_IColumnsInfo, columnsInfo), S_OK);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
    ASSERT_EQ(columnsInfo->GetColumnInfo(&count, &info, &strings), S_OK);
    ASSERT_EQ(count, 7u);
    EXPECT_EQ(info[0].iOrdinal, 0u);
    EXPECT_TRUE(info[0].dwFlags & DBCOLUMNFLAGS_ISBOOKMARK);
    const char16_t* names[] = {u"SOURCES_NAME", u"SOURCES_PARSENAME", u"SOURCES_DESCRIPTION",
                               u"SOURCES_TYPE", u"SOURCES_ISPARENT",  u"SOURCES_CLSID"};
    for (DBORDINAL k = 1; k < 7; ++k) {
        EXPECT_EQ(info[k].iOrdinal, k);
        EXPECT_EQ(std::u16string(info[k].pwszName), names[k - 1]);
    }
    EXPECT_EQ(info[1].wType, DBTYPE_WSTR);
    EXPECT_EQ(info[4].wType, DBTYPE_UI2);
    EXPECT_EQ(info[5].wType, DBTYPE_BOOL);

    const Fetched fetched = readAll(rowset.get());
    VantrelClassRegistration sqlite;
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Vantrel.SQLite.1", &clsid), S_OK);
    ASSERT_EQ(VantrelLookupClass(clsid, &sqlite), S_OK);
    bool found = false;
    for (const SourceRow& r : fetched.rows) {
        if (r.name != u"Vantrel.SQLite.1")
            continue;
        found = true;
        EXPECT_EQ(r.description, sqlite.description);
        EXPECT_EQ(r.type, DBSOURCETYPE_DATASOURCE_TDP);
        EXPECT_FALSE(r.isParent);
        OLECHAR text[CHARS_IN_GUID];
        StringFromGUID2(clsid, text, CHARS_IN_GUID);
        EXPECT_EQ(r.clsid, text);
        EXPECT_LE(r.description.size() + 1, info[3].ulColumnSize);
        EXPECT_LE(r.name.size() + 1, info[1].ulColumnSize);
    }
    EXPECT_TRUE(found);
    // Neither the root enumerator itself nor the service components are sources.
    for (const SourceRow& r : fetched.rows) {
        EXPECT_NE(r.name, u"Vantrel.RootEnumerator.1");
        EXPECT_NE(r.name, u"Vantrel.DataInitialize.1");
        EXPECT_NE(r.name, u"Vantrel.DataLinks.1");
    }
    CoTaskMemFree(info);
    CoTaskMemFree(strings);
    columnsInfo.reset();
    EXPECT_EQ(rowset.detach()->Release(), 0u);
    sources.reset();
    EXPECT_EQ(enumerator.detach()->Release(), 0u);
}

TEST(RootEnumerator, ListsEverySourceTypeAndNothingElse) {
    const DWORD types[] = {DBSOURCETYPE_DATASOURCE_TDP, DBSOURCETYPE_ENUMERATOR,
                           DBSOURCETYPE_DATASOURCE_MDP, DBSOURCETYPE_BINDER, 0};
    std::vector<CLSID> registered;
    for (DWORD i = 0; i < 5; ++i) {
        VantrelClassRegistration c;
        c.clsid = {0x5e5e0000u + i, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
        c.progId = u"Test.Kind" + utf16(std::to_string(i)) + u".1";
        c.description = u"Kind " + utf16(std::to_string(types[i]));
        c.parseName = i == 1 ? u"enumerator-parse-name" : u"";
        c.sourceType = types[i];
        c.createInstance = &noInstance;
        ASSERT_EQ(VantrelRegisterClass(c), S_OK);
        registered.push_back(c.clsid);
    }
    const std::vector<SourceRow> rows = vantrel::services::registeredSources();
    for (DWORD i = 0; i < 5; ++i) {
        const std::u16string progId = u"Test.Kind" + utf16(std::to_string(i)) + u".1";
        auto it = std::find_if(rows.begin(), rows.end(),
                               [&](const SourceRow& r) { return r.name == progId; });
        if (types[i] == 0) {
            EXPECT_EQ(it, rows.end()) << "a class that is no source is listed";
            continue;
        }
        ASSERT_NE(it, rows.end()) << utf8(progId);
        EXPECT_EQ(it->type, types[i]);
        EXPECT_EQ(it->description, u"Kind " + utf16(std::to_string(types[i])));
        if (i == 1)
            EXPECT_EQ(it->parseName, u"enumerator-parse-name");
        else
            EXPECT_EQ(it->parseName, it->clsid); // no parse name: the CLSID in braces
    }
    for (const CLSID& c : registered)
        VantrelUnregisterClass(c);
}

// Sets the registry aside to hold exactly `count` sources of its own (all four source types in
// turn) and puts the real sources back afterwards.
class RegisteredSources {
public:
    explicit RegisteredSources(int count) {
        for (const VantrelClassRegistration& c : VantrelRegisteredClasses())
            if (c.sourceType != 0 && c.clsid != CLSID_OLEDB_ENUMERATOR) {
                saved_.push_back(c);
                VantrelUnregisterClass(c.clsid);
            }
        for (int i = 0; i < count; ++i) {
            const SourceRow r = row(i, DBTYPE(1 + i % 4));
            VantrelClassRegistration c;
            CLSIDFromString(r.clsid.c_str(), &c.clsid);
            c.progId = r.name;
            c.description = r.description;
            c.parseName = r.parseName;
            c.sourceType = r.type;
            c.createInstance = &noInstance;
            EXPECT_EQ(VantrelRegisterClass(c), S_OK);
            ours_.push_back(c.clsid);
            rows.push_back(r);
        }
    }
    ~RegisteredSources() {
        for (const CLSID& c : ours_)
            VantrelUnregisterClass(c);
        for (const VantrelClassRegistration& c : saved_)
            VantrelRegisterClass(c);
    }
    std::vector<SourceRow> rows;

private:
    std::vector<VantrelClassRegistration> saved_;
    std::vector<CLSID> ours_;
};

TEST(RootEnumerator, FetchesInBlocksOfTwentyAtTheBoundaries) {
    struct Case {
        int rows;
        int fetchCalls;
    };
    for (const Case c : {Case{0, 1}, Case{1, 2}, Case{20, 2}, Case{21, 3}}) {
        RegisteredSources registered(c.rows);
        ComPtr<ISourcesRowset> sources =
            create<ISourcesRowset>(CLSID_OLEDB_ENUMERATOR, IID_ISourcesRowset);
        BenchProperties request;
        ComPtr<IRowset> rowset;
        ASSERT_EQ(sources->GetSourcesRowset(nullptr, IID_IRowset, 1, &request.set,
                                            reinterpret_cast<IUnknown**>(rowset.put())),
                  S_OK);
        const Fetched fetched = readAll(rowset.get());
        EXPECT_EQ(fetched.fetchCalls, c.fetchCalls) << c.rows << " sources";
        ASSERT_EQ(fetched.rows.size(), registered.rows.size());
        for (std::size_t i = 0; i < fetched.rows.size(); ++i)
            EXPECT_TRUE(sameRow(fetched.rows[i], registered.rows[i])) << i;
    }
    // The real sources are back.
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.SQLite.1", &clsid), S_OK);
}

TEST(RootEnumerator, HonoursBackwardFetchAndBookmarks) {
    std::vector<SourceRow> rows;
    for (int i = 0; i < 25; ++i)
        rows.push_back(row(i));
    BenchProperties request;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(vantrel::services::createSourcesRowset(rows, nullptr, IID_IRowsetLocate, 1,
                                                     &request.set, unknown.put()),
              S_OK);
    ComPtr<IRowsetLocate> locate;
    ASSERT_EQ(unknown.as(IID_IRowsetLocate, locate), S_OK);
    (void)readAll(locate.get()); // now positioned after the last row

    // Back over the last two rows: they come in reverse order.
    HROW back[2];
    HROW* backOut = back;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(locate->GetNextRows(DB_NULL_HCHAPTER, 0, -2, &obtained, &backOut), S_OK);
    ASSERT_EQ(obtained, 2u);
    locate->ReleaseRows(2, back, nullptr, nullptr, nullptr);

    // The last row by the standard bookmark, and the first by offset from DBBMK_FIRST.
    const BYTE last = DBBMK_LAST;
    HROW one[1];
    HROW* oneOut = one;
    ASSERT_EQ(locate->GetRowsAt(0, DB_NULL_HCHAPTER, 1, &last, 0, 1, &obtained, &oneOut), S_OK);
    ASSERT_EQ(obtained, 1u);
    locate->ReleaseRows(1, one, nullptr, nullptr, nullptr);
}

TEST(RootEnumerator, RefusesWhatItCannotGive) {
    std::vector<SourceRow> rows = {row(1)};
    auto request = [&](DBPROPID id, DBPROPOPTIONS options, ComPtr<IUnknown>& out,
                       DBPROPSTATUS& status) {
        DBPROP prop{};
        prop.dwPropertyID = id;
        prop.dwOptions = options;
        prop.colid = DB_NULLID;
        prop.vValue.vt = VT_BOOL;
        prop.vValue.boolVal = VARIANT_TRUE;
        DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
        const HRESULT hr =
            vantrel::services::createSourcesRowset(rows, nullptr, IID_IRowset, 1, &set, out.put());
        status = prop.dwStatus;
        return hr;
    };
    ComPtr<IUnknown> rowset;
    DBPROPSTATUS status = DBPROPSTATUS_OK;
    // The sources are read-only: changes cannot be had.
    EXPECT_EQ(request(DBPROP_IRowsetChange, DBPROPOPTIONS_REQUIRED, rowset, status),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status, DBPROPSTATUS_NOTSUPPORTED);
    EXPECT_FALSE(rowset);
    // Asked for optionally, the rowset comes without it.
    EXPECT_EQ(request(DBPROP_IRowsetChange, DBPROPOPTIONS_OPTIONAL, rowset, status),
              DB_S_ERRORSOCCURRED);
    EXPECT_TRUE(rowset);
    ComPtr<IRowsetChange> change;
    EXPECT_EQ(rowset.as(IID_IRowsetChange, change), E_NOINTERFACE);
    rowset.reset();
    // A property nobody knows.
    EXPECT_EQ(request(0xFFFF, DBPROPOPTIONS_REQUIRED, rowset, status), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(status, DBPROPSTATUS_NOTSUPPORTED);

    // Aggregation and bad pointers.
    ComPtr<ISourcesRowset> sources =
        create<ISourcesRowset>(CLSID_OLEDB_ENUMERATOR, IID_ISourcesRowset);
    IUnknown* outer = sources.get();
    IUnknown* none = nullptr;
    EXPECT_EQ(sources->GetSourcesRowset(outer, IID_IUnknown, 0, nullptr, &none),
              DB_E_NOAGGREGATION);
    EXPECT_EQ(sources->GetSourcesRowset(nullptr, IID_IRowset, 0, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(sources->GetSourcesRowset(nullptr, IID_IRowset, 1, nullptr, &none), E_INVALIDARG);
}

TEST(RootEnumerator, WithoutBookmarksOrdinalsStartAtOne) {
    ComPtr<ISourcesRowset> sources =
        create<ISourcesRowset>(CLSID_OLEDB_ENUMERATOR, IID_ISourcesRowset);
    ComPtr<IColumnsInfo> columnsInfo;
    ASSERT_EQ(sources->GetSourcesRowset(nullptr, IID_IColumnsInfo, 0, nullptr,
                                        reinterpret_cast<IUnknown**>(columnsInfo.put())),
              S_OK);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* strings = nullptr;
    ASSERT_EQ(columnsInfo->GetColumnInfo(&count, &info, &strings), S_OK);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(info[0].iOrdinal, 1u);
    EXPECT_EQ(std::u16string(info[0].pwszName), u"SOURCES_NAME");
    CoTaskMemFree(info);
    CoTaskMemFree(strings);
}

} // namespace
