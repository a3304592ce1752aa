#include "ProviderTestSupport.h"

#include <oleauto.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace sqlitetest {

std::u16string u16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = c;
        std::size_t n = 1;
        if (c >= 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            n = 2;
        }
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf8(const OLECHAR* text) {
    std::string out;
    if (text == nullptr)
        return out;
    for (const OLECHAR* p = text; *p != 0; ++p) {
        char32_t cp = *p;
        if (cp >= 0xD800 && cp < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

CLSID providerClsid() {
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(u"Vantrel.SQLite", &clsid));
    return clsid;
}

InitProperties::~InitProperties() {
    for (InitProperty& p : items_)
        VariantClear(&p.value);
}

InitProperties& InitProperties::text(DBPROPID id, const std::string& utf8Text) {
    InitProperty p{&DBPROPSET_DBINIT, id, {}};
    VariantInit(&p.value);
    p.value.vt = VT_BSTR;
    p.value.bstrVal = SysAllocString(u16(utf8Text).c_str());
    items_.push_back(p);
    return *this;
}

InitProperties& InitProperties::integer(DBPROPID id, LONG value) {
    InitProperty p{&DBPROPSET_DBINIT, id, {}};
    VariantInit(&p.value);
    p.value.vt = VT_I4;
    p.value.lVal = value;
    items_.push_back(p);
    return *this;
}

InitProperties& InitProperties::concurrency(const std::string& policy) {
    static const GUID set = kitInitPropertySet();
    text(kitPropConcurrency, policy);
    items_.back().set = &set;
    return *this;
}

GUID kitInitPropertySet() {
    Ptr<IDBProperties> properties;
    EXPECT_EQ(S_OK, CoCreateInstance(providerClsid(), nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDBProperties, properties.outVoid()));
    GUID found{};
    if (!properties)
        return found;
    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINITALL};
    ULONG setCount = 0;
    DBPROPINFOSET* sets = nullptr;
    OLECHAR* descriptions = nullptr;
    EXPECT_EQ(S_OK, properties->GetPropertyInfo(1, &all, &setCount, &sets, &descriptions));
    for (ULONG s = 0; s < setCount; ++s) {
        for (ULONG i = 0; i < sets[s].cPropertyInfos; ++i)
            if (utf8(sets[s].rgPropertyInfos[i].pwszDescription) == "Concurrency")
                found = sets[s].guidPropertySet;
        for (ULONG i = 0; i < sets[s].cPropertyInfos; ++i)
            VariantClear(&sets[s].rgPropertyInfos[i].vValues);
        CoTaskMemFree(sets[s].rgPropertyInfos);
    }
    CoTaskMemFree(sets);
    CoTaskMemFree(descriptions);
    return found;
}

void ProviderTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantrel-sqlite-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    directory_ = pattern;
}

void ProviderTest::TearDown() {
    std::error_code ignored;
    // Read-only leftovers of a test must not keep the directory from going.
    std::filesystem::permissions(directory_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(directory_, ignored);
    CoUninitialize();
}

Ptr<IDBInitialize> ProviderTest::createDataSource(const std::string& file, InitProperties& extra) {
    Ptr<IDBInitialize> init;
    EXPECT_EQ(S_OK, CoCreateInstance(providerClsid(), nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDBInitialize, init.outVoid()));
    if (!init)
        return init;
    InitProperties props;
    props.text(DBPROP_INIT_DATASOURCE,
               file.empty() || file[0] == '/' || file == ":memory:" ? file : pathOf(file));
    std::vector<DBPROP> list;
    for (InitProperties* source : {&props, &extra})
        for (InitProperty& p : source->items()) {
            DBPROP prop{};
            prop.dwPropertyID = p.id;
            prop.dwOptions = DBPROPOPTIONS_REQUIRED;
            prop.colid = DB_NULLID;
            prop.vValue = p.value; // shallow: the lists keep ownership
            list.push_back(prop);
        }
    // One set per property set GUID, in order of appearance.
    std::vector<DBPROPSET> sets;
    std::vector<std::vector<DBPROP>> grouped;
    std::vector<const GUID*> guids;
    std::size_t index = 0;
    for (InitProperties* source : {&props, &extra})
        for (InitProperty& p : source->items()) {
            std::size_t g = 0;
            while (g < guids.size() && !IsEqualGUID(*guids[g], *p.set))
                ++g;
            if (g == guids.size()) {
                guids.push_back(p.set);
                grouped.emplace_back();
            }
            grouped[g].push_back(list[index++]);
        }
    for (std::size_t g = 0; g < guids.size(); ++g)
        sets.push_back(
            DBPROPSET{grouped[g].data(), static_cast<ULONG>(grouped[g].size()), *guids[g]});
    auto properties = init.query<IDBProperties>(IID_IDBProperties);
    EXPECT_TRUE(properties);
    if (properties) {
        EXPECT_EQ(S_OK, properties->SetProperties(static_cast<ULONG>(sets.size()), sets.data()));
    }
    return init;
}

ProviderTest::Connection ProviderTest::connect(const std::string& file, InitProperties& extra) {
    Connection c;
    c.dataSource = createDataSource(file, extra);
    if (!c.dataSource)
        return c;
    const HRESULT hr = c.dataSource->Initialize();
    if (hr != S_OK) {
        const auto error = takeError();
        ADD_FAILURE() << "Initialize " << file << ": " << std::hex << hr << " "
                      << (error ? error->description : "(no error object)");
    }
    auto create = c.dataSource.query<IDBCreateSession>(IID_IDBCreateSession);
    EXPECT_TRUE(create);
    if (create) {
        EXPECT_EQ(S_OK, create->CreateSession(nullptr, IID_IUnknown, c.session.out()));
    }
    return c;
}

HRESULT execute(IUnknown* session, const std::string& sql, DBROWCOUNT* rowsAffected, REFIID iid,
                IUnknown** rowset) {
    Ptr<IDBCreateCommand> create;
    HRESULT hr = session->QueryInterface(IID_IDBCreateCommand, create.outVoid());
    if (FAILED(hr))
        return hr;
    Ptr<ICommandText> command;
    hr = create->CreateCommand(nullptr, IID_ICommandText,
                               reinterpret_cast<IUnknown**>(command.out()));
    if (FAILED(hr))
        return hr;
    hr = command->SetCommandText(DBGUID_DBSQL, u16(sql).c_str());
    if (FAILED(hr))
        return hr;
    return command->Execute(nullptr, iid, nullptr, rowsAffected, rowset);
}

void run(IUnknown* session, const std::string& sql) {
    const HRESULT hr = execute(session, sql);
    const auto error = takeError();
    ASSERT_EQ(S_OK, hr) << sql << ": " << (error ? error->description : "(no error object)");
}

std::vector<std::vector<std::string>> query(IUnknown* session, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    Ptr<IRowset> rowset;
    const HRESULT hr =
        execute(session, sql, nullptr, IID_IRowset, reinterpret_cast<IUnknown**>(rowset.out()));
    EXPECT_EQ(S_OK, hr) << sql;
    if (!rowset)
        return rows;
    auto columnsInfo = rowset.query<IColumnsInfo>(IID_IColumnsInfo);
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = nullptr;
    OLECHAR* names = nullptr;
    EXPECT_EQ(S_OK, columnsInfo->GetColumnInfo(&count, &info, &names));
    // Each cell: status, length, then 256 UTF-16 units of value.
    constexpr DBLENGTH valueBytes = 512;
    constexpr DBLENGTH cell = 16 + valueBytes;
    std::vector<DBBINDING> bindings;
    for (DBORDINAL i = 0; i < count; ++i) {
        if (info[i].iOrdinal == 0)
            continue; // bookmark column
        DBBINDING b{};
        b.iOrdinal = info[i].iOrdinal;
        b.obStatus = bindings.size() * cell;
        b.obLength = b.obStatus + 8;
        b.obValue = b.obStatus + 16;
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.cbMaxLen = valueBytes;
        b.wType = DBTYPE_WSTR;
        bindings.push_back(b);
    }
    CoTaskMemFree(info);
    CoTaskMemFree(names);
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    EXPECT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(),
                                             0, &handle, nullptr));
    std::vector<unsigned char> buffer(bindings.size() * cell);
    while (true) {
        DBCOUNTITEM obtained = 0;
        HROW rowHandles[10];
        HROW* p = rowHandles;
        const HRESULT fetched = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 10, &obtained, &p);
        EXPECT_TRUE(fetched == S_OK || fetched == DB_S_ENDOFROWSET) << std::hex << fetched;
        for (DBCOUNTITEM r = 0; r < obtained; ++r) {
            EXPECT_TRUE(SUCCEEDED(rowset->GetData(rowHandles[r], handle, buffer.data())));
            std::vector<std::string> row;
            for (const DBBINDING& b : bindings) {
                const auto status = *reinterpret_cast<DBSTATUS*>(&buffer[b.obStatus]);
                if (status == DBSTATUS_S_ISNULL)
                    row.emplace_back("<null>");
                else
                    row.push_back(utf8(reinterpret_cast<const OLECHAR*>(&buffer[b.obValue])));
            }
            rows.push_back(row);
        }
        if (obtained > 0)
            rowset->ReleaseRows(obtained, rowHandles, nullptr, nullptr, nullptr);
        if (fetched != S_OK || obtained == 0)
            break;
    }
    accessor->ReleaseAccessor(handle, nullptr);
    return rows;
}

std::vector<std::optional<std::u16string>> wholeTexts(IUnknown* session, const std::string& sql) {
    std::vector<std::optional<std::u16string>> out;
    Ptr<IRowset> rowset;
    EXPECT_EQ(
        execute(session, sql, nullptr, IID_IRowset, reinterpret_cast<IUnknown**>(rowset.out())),
        S_OK)
        << sql;
    if (!rowset)
        return out;
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    struct Cell {
        DBSTATUS status;
        BSTR value;
    };
    DBBINDING binding{};
    binding.iOrdinal = 1;
    binding.obStatus = offsetof(Cell, status);
    binding.obValue = offsetof(Cell, value);
    binding.dwPart = DBPART_VALUE | DBPART_STATUS;
    binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    binding.wType = DBTYPE_BSTR;
    binding.cbMaxLen = sizeof(BSTR);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    EXPECT_EQ(
        accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, sizeof(Cell), &handle, nullptr),
        S_OK);
    DBCOUNTITEM fetched = 0;
    HROW row = DB_NULL_HROW;
    HROW* rows = &row;
    while (rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &fetched, &rows) == S_OK && fetched == 1) {
        Cell cell{};
        EXPECT_EQ(rowset->GetData(row, handle, &cell), S_OK);
        EXPECT_TRUE(cell.status == DBSTATUS_S_OK || cell.status == DBSTATUS_S_ISNULL)
            << cell.status;
        if (cell.status == DBSTATUS_S_OK)
            out.emplace_back(std::u16string(cell.value, SysStringLen(cell.value)));
        else
            out.emplace_back();
        SysFreeString(cell.value);
        rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    }
    accessor->ReleaseAccessor(handle, nullptr);
    return out;
}

std::int64_t scalar(IUnknown* session, const std::string& sql) {
    const auto rows = query(session, sql);
    if (rows.size() != 1 || rows[0].size() != 1) {
        ADD_FAILURE() << sql << " gave no single value";
        return -1;
    }
    return std::stoll(rows[0][0]);
}

std::optional<ErrorText> takeError() {
    Ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.out()) != S_OK || !info)
        return std::nullopt;
    BSTR description = nullptr;
    BSTR source = nullptr;
    info->GetDescription(&description);
    info->GetSource(&source);
    ErrorText text{utf8(description), utf8(source)};
    SysFreeString(description);
    SysFreeString(source);
    return text;
}

ULONG refCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

} // namespace sqlitetest
