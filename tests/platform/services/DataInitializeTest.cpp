// IDataInitialize through COM, against the real SQLite provider and the authenticating test
// provider: strings to data sources, data sources back to strings, and the errors in between.
#include "TestSupport.h"

#include "UdlFile.h"
#include "kit/Properties.h"

#include <filesystem>
#include <fstream>

using namespace servicestest;

namespace {

HRESULT getDataSource(const std::u16string& text, ComPtr<IUnknown>& dataSource,
                      REFIID iid = IID_IUnknown) {
    ComPtr<IDataInitialize> service = dataInitialize();
    return service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, text.c_str(), iid,
                                  dataSource.put());
}

std::u16string sqlite(const std::u16string& rest) {
    return u"Provider=Vantrel.SQLite.1;" + rest;
}

// Initialises the data source and opens a session on it, as a consumer connects.
void connectAndOpenSession(IUnknown* dataSource) {
    ComPtr<IDBInitialize> init;
    ASSERT_EQ(dataSource->QueryInterface(IID_IDBInitialize, init.putVoid()), S_OK);
    ASSERT_EQ(init->Initialize(), S_OK) << utf8(takeErrorDescription());
    ComPtr<IDBCreateSession> createSession;
    ASSERT_EQ(dataSource->QueryInterface(IID_IDBCreateSession, createSession.putVoid()), S_OK);
    ComPtr<IUnknown> session;
    EXPECT_EQ(createSession->CreateSession(nullptr, IID_IOpenRowset, session.put()), S_OK);
    session.reset();
    EXPECT_EQ(init->Uninitialize(), S_OK);
}

TEST(DataInitialize, StringGivesAnUninitialisedDataSourceThatConnects) {
    const std::u16string file = scratchPath("connect.db");
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(getDataSource(sqlite(u"Data Source=" + file), dataSource, IID_IDBInitialize), S_OK)
        << utf8(takeErrorDescription());
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), file);
    EXPECT_FALSE(std::filesystem::exists(utf8(file))); // nothing is opened before Initialize
    connectAndOpenSession(dataSource.get());
    EXPECT_TRUE(std::filesystem::exists(utf8(file)));

    // The string the service writes back does the same.
    const std::u16string again = initString(dataSource.get(), true);
    EXPECT_EQ(again.rfind(u"Provider=Vantrel.SQLite.1;", 0), 0u) << utf8(again);
    ComPtr<IUnknown> second;
    ASSERT_EQ(getDataSource(again, second), S_OK) << utf8(takeErrorDescription());
    EXPECT_EQ(initText(second.get(), DBPROP_INIT_DATASOURCE), file);
    connectAndOpenSession(second.get());
    // Every object reaches zero references.
    EXPECT_EQ(second.detach()->Release(), 0u);
    EXPECT_EQ(dataSource.detach()->Release(), 0u);
}

struct Accepted {
    const char16_t* text;
    DBPROPID id;
    const char16_t* expected;
};

TEST(DataInitialize, MapsKeywordsAndValuesOntoProviderProperties) {
    const std::vector<Accepted> cases = {
        {u"Provider=Vantrel.SQLite.1;Data Source=a.db", DBPROP_INIT_DATASOURCE, u"a.db"},
        // Letter case of keywords and of the provider's ProgID, blanks around both.
        {u"  provider = vantrel.sqlite ;  DATA source  =  a b.db  ", DBPROP_INIT_DATASOURCE,
         u"a b.db"},
        // Quoting keeps ';', '=' and blanks; doubled quotes are single ones.
        {u"Provider=Vantrel.SQLite.1;Extended Properties=\"journal_mode=WAL;synchronous=OFF\"",
         DBPROP_INIT_PROVIDERSTRING, u"journal_mode=WAL;synchronous=OFF"},
        {u"Provider=Vantrel.SQLite.1;Data Source=' it''s \"x\".db '", DBPROP_INIT_DATASOURCE,
         u" it's \"x\".db "},
        // Synonyms of the standard keywords.
        {u"Provider=Vantrel.SQLite.1;Database=other", DBPROP_INIT_CATALOG, u"other"},
        {u"Provider=Vantrel.SQLite.1;Timeout=9", DBPROP_INIT_TIMEOUT, u"9"},
        // The last occurrence of a property wins, under whichever name it comes.
        {u"Provider=Vantrel.SQLite.1;Connect Timeout=1;connect timeout=2;Timeout=3",
         DBPROP_INIT_TIMEOUT, u"3"},
        // The first Provider keyword counts.
        {u"Provider=Vantrel.SQLite.1;Provider=Nobody.Here;Connect Timeout=4", DBPROP_INIT_TIMEOUT,
         u"4"},
        // Named values.
        {u"Provider=Vantrel.SQLite.1;Mode=Read", DBPROP_INIT_MODE, u"1"},
        {u"Provider=Vantrel.SQLite.1;Mode=ReadWrite|Share Deny None", DBPROP_INIT_MODE, u"19"},
        // Empty values: text becomes empty, numbers keep the provider's default.
        {u"Provider=Vantrel.SQLite.1;Extended Properties=", DBPROP_INIT_PROVIDERSTRING, u""},
        {u"Provider=Vantrel.SQLite.1;Connect Timeout=7;Connect Timeout=", DBPROP_INIT_TIMEOUT,
         u"5"},
        // Service keywords are accepted without the provider having such properties.
        {u"Provider=Vantrel.SQLite.1;OLE DB Services=-1;Persist Security Info=False;Data "
         u"Source=z.db",
         DBPROP_INIT_DATASOURCE, u"z.db"},
        // Czech text passes unchanged.
        {u"Provider=Vantrel.SQLite.1;Data Source=Účetnictví.db", DBPROP_INIT_DATASOURCE,
         u"Účetnictví.db"},
    };
    for (const Accepted& c : cases) {
        ComPtr<IUnknown> dataSource;
        ASSERT_EQ(getDataSource(c.text, dataSource), S_OK)
            << utf8(c.text) << ": " << utf8(takeErrorDescription());
        EXPECT_EQ(initText(dataSource.get(), c.id), c.expected) << utf8(c.text);
    }
}

struct Refused {
    const char16_t* text;
    HRESULT hr;
    std::vector<const char16_t*> descriptionParts;
};

TEST(DataInitialize, RefusesBadStringsWithPublishedCodesAndNamedCulprits) {
    const std::vector<Refused> cases = {
        {u"Data Source=a.db", DB_E_BADINITSTRING, {u"Provider"}},
        {u"", DB_E_BADINITSTRING, {u"Provider"}},
        {u"Provider=;Data Source=a.db", DB_E_BADINITSTRING, {u"Provider"}},
        {u"Provider=No.Such.Provider;Data Source=a.db",
         REGDB_E_CLASSNOTREG,
         {u"Ovladač 'No.Such.Provider' není zaregistrován."}},
        {u"Provider=Vantrel.SQLite.1;Colour=blue",
         DB_E_BADINITSTRING,
         {u"'Colour'", u"znaku 27", u"'Vantrel.SQLite.1'"}},
        {u"Provider=Vantrel.SQLite.1;Data Source='a.db",
         DB_E_BADINITSTRING,
         {u"'Data Source'", u"uvozovk", u"znaku 39"}},
        {u"Provider=Vantrel.SQLite.1;Data Source",
         DB_E_BADINITSTRING,
         {u"'Data Source'", u"'='", u"znaku 27"}},
        {u"Provider=Vantrel.SQLite.1;Data Source='a' b", DB_E_BADINITSTRING, {u"'Data Source'"}},
        {u"Provider=Vantrel.SQLite.1;Connect Timeout=soon",
         DB_E_ERRORSOCCURRED,
         {u"'soon'", u"'Connect Timeout'", u"znaku 43"}},
        {u"Provider=Vantrel.SQLite.1;Connect Timeout=99999999999",
         DB_E_ERRORSOCCURRED,
         {u"'Connect Timeout'"}},
        {u"Provider=Vantrel.SQLite.1;Mode=Sideways", DB_E_ERRORSOCCURRED, {u"'Mode'"}},
    };
    for (const Refused& c : cases) {
        ComPtr<IUnknown> dataSource;
        EXPECT_EQ(getDataSource(c.text, dataSource), c.hr) << utf8(c.text);
        EXPECT_FALSE(dataSource) << utf8(c.text);
        const std::u16string description = takeErrorDescription();
        for (const char16_t* part : c.descriptionParts)
            EXPECT_NE(description.find(part), std::u16string::npos)
                << utf8(c.text) << " -> " << utf8(description) << " lacks " << utf8(part);
    }
}

TEST(DataInitialize, ArgumentChecks) {
    ComPtr<IDataInitialize> service = dataInitialize();
    EXPECT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, u"Provider=Vantrel.SQLite.1",
                                     IID_IUnknown, nullptr),
              E_INVALIDARG);
    IUnknown* none = nullptr;
    EXPECT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, &none),
              E_INVALIDARG);
    LPOLESTR text = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(service->GetInitializationString(nullptr, true, &text), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
    // An interface the data source lacks leaves nothing behind.
    EXPECT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, u"Provider=Vantrel.SQLite.1",
                                     IID_IRowset, &none),
              E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST(DataInitialize, ExistingDataSourceTakesTheStringsValues) {
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(getDataSource(sqlite(u"Data Source=first.db;Connect Timeout=8"), dataSource), S_OK);
    ComPtr<IDataInitialize> service = dataInitialize();
    IUnknown* inOut = dataSource.detach();
    ASSERT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, u"Data Source=second.db",
                                     IID_IUnknown, &inOut),
              S_OK);
    dataSource = ComPtr<IUnknown>::adopt(inOut);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"second.db");
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_TIMEOUT), u"8");
    // A refused string leaves the object and the caller's pointer as they were.
    EXPECT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, u"Connect Timeout=x",
                                     IID_IUnknown, &inOut),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(inOut, dataSource.get());
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_TIMEOUT), u"8");
    EXPECT_EQ(dataSource.detach()->Release(), 0u);
}

TEST(DataInitialize, InitializationStringRoundTripsWithAndWithoutPassword) {
    AuthProviderRegistration registration;
    const std::u16string text =
        u"Provider=Vantrel.Test.Auth.1;Data Source=\"db;1\";UID=karel;PWD='p;a''s\"s';"
        u"Database=banka;Connect Timeout=30;Mode=ReadWrite";
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(getDataSource(text, dataSource), S_OK) << utf8(takeErrorDescription());
    EXPECT_EQ(initText(dataSource.get(), DBPROP_AUTH_PASSWORD), u"p;a's\"s");

    const std::u16string withPassword = initString(dataSource.get(), true);
    const std::u16string withoutPassword = initString(dataSource.get(), false);
    EXPECT_NE(withPassword.find(u"Password="), std::u16string::npos) << utf8(withPassword);
    EXPECT_EQ(withoutPassword.find(u"Password"), std::u16string::npos) << utf8(withoutPassword);
    EXPECT_EQ(withoutPassword.find(u"p;a"), std::u16string::npos);
    EXPECT_NE(withPassword.find(u"Mode=ReadWrite"), std::u16string::npos) << utf8(withPassword);

    ComPtr<IUnknown> fresh;
    ASSERT_EQ(getDataSource(u"Provider=Vantrel.Test.Auth.1", fresh), S_OK);
    for (const std::u16string* written : {&withPassword, &withoutPassword}) {
        ComPtr<IUnknown> copy;
        ASSERT_EQ(getDataSource(*written, copy), S_OK)
            << utf8(*written) << ": " << utf8(takeErrorDescription());
        for (DBPROPID id : {DBPROP_INIT_DATASOURCE, DBPROP_AUTH_USERID, DBPROP_INIT_CATALOG,
                            DBPROP_INIT_TIMEOUT, DBPROP_INIT_MODE})
            EXPECT_EQ(initText(copy.get(), id), initText(dataSource.get(), id)) << id;
        // Without the password the copy has the provider's default one.
        const IUnknown* expectedFrom = written == &withPassword ? dataSource.get() : fresh.get();
        EXPECT_EQ(initText(copy.get(), DBPROP_AUTH_PASSWORD),
                  initText(const_cast<IUnknown*>(expectedFrom), DBPROP_AUTH_PASSWORD))
            << utf8(*written);
    }
}

TEST(DataInitialize, ProviderSpecificPropertiesTravelToo) {
    // The kit's concurrency policy lives in a property set of its own, not DBPROPSET_DBINIT.
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(getDataSource(sqlite(u"concurrency=Locking"), dataSource), S_OK)
        << utf8(takeErrorDescription());
    EXPECT_EQ(propertyText(dataSource.get(), vantrel::kit::DBPROPSET_VANTREL_KITINIT,
                           vantrel::kit::kitPropConcurrency),
              u"Locking");
    const std::u16string text = initString(dataSource.get(), false);
    EXPECT_NE(text.find(u"Concurrency=Locking"), std::u16string::npos) << utf8(text);
    ComPtr<IUnknown> copy;
    ASSERT_EQ(getDataSource(text, copy), S_OK);
    EXPECT_EQ(propertyText(copy.get(), vantrel::kit::DBPROPSET_VANTREL_KITINIT,
                           vantrel::kit::kitPropConcurrency),
              u"Locking");
    // The provider's own check of the value is reported under the keyword.
    ComPtr<IUnknown> refused;
    EXPECT_EQ(getDataSource(sqlite(u"Concurrency=Sometimes"), refused), DB_E_ERRORSOCCURRED);
    EXPECT_NE(takeErrorDescription().find(u"'Concurrency'"), std::u16string::npos);
}

TEST(DataInitialize, LongValuesSurviveTheRoundTrip) {
    std::u16string pragmas;
    for (int i = 0; pragmas.size() < 5000; ++i)
        pragmas += u"cache_size=" + utf16(std::to_string(i)) + u";";
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(getDataSource(sqlite(u"Extended Properties=\"" + pragmas + u"\""), dataSource), S_OK);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_PROVIDERSTRING), pragmas);
    const std::u16string text = initString(dataSource.get(), true);
    EXPECT_GT(text.size(), 5000u);
    ComPtr<IUnknown> copy;
    ASSERT_EQ(getDataSource(text, copy), S_OK);
    EXPECT_EQ(initText(copy.get(), DBPROP_INIT_PROVIDERSTRING), pragmas);
}

TEST(DataInitialize, CreateDBInstanceGivesAFreshDataSource) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Vantrel.SQLite.1", &clsid), S_OK);
    ComPtr<IDataInitialize> service = dataInitialize();
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(service->CreateDBInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, nullptr,
                                        IID_IDBInitialize, dataSource.put()),
              S_OK);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"vantrel.db");
    EXPECT_EQ(initString(dataSource.get(), false).rfind(u"Provider=Vantrel.SQLite.1", 0), 0u);

    const CLSID unknown = {0xdeadbeef, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(service->CreateDBInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, nullptr,
                                        IID_IUnknown, &none),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(none, nullptr);

    MULTI_QI results[3] = {{&IID_IDBInitialize, nullptr, S_OK},
                           {&IID_IRowset, nullptr, S_OK},
                           {&IID_IDBProperties, nullptr, S_OK}};
    ASSERT_EQ(service->CreateDBInstanceEx(clsid, nullptr, CLSCTX_INPROC_SERVER, nullptr, nullptr, 3,
                                          results),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(results[0].hr, S_OK);
    EXPECT_EQ(results[1].hr, E_NOINTERFACE);
    EXPECT_EQ(results[1].pItf, nullptr);
    EXPECT_EQ(results[2].hr, S_OK);
    // Both interfaces belong to one object.
    ComPtr<IUnknown> a, b;
    results[0].pItf->QueryInterface(IID_IUnknown, a.putVoid());
    results[2].pItf->QueryInterface(IID_IUnknown, b.putVoid());
    EXPECT_EQ(a.get(), b.get());
    results[0].pItf->Release();
    results[2].pItf->Release();

    MULTI_QI nothing[1] = {{&IID_IRowset, nullptr, S_OK}};
    EXPECT_EQ(service->CreateDBInstanceEx(clsid, nullptr, CLSCTX_INPROC_SERVER, nullptr, nullptr, 1,
                                          nothing),
              E_NOINTERFACE);
    EXPECT_EQ(service->CreateDBInstanceEx(clsid, nullptr, CLSCTX_INPROC_SERVER, nullptr, nullptr, 0,
                                          nothing),
              E_INVALIDARG);
}

TEST(DataInitialize, DataLinkFilesKeepTheString) {
    ComPtr<IDataInitialize> service = dataInitialize();
    const std::u16string file = scratchPath("link.udl");
    const std::u16string text = u"Provider=Vantrel.SQLite.1;Data Source=\"ř;ž.db\"";
    ASSERT_EQ(service->WriteStringToStorage(file.c_str(), text.c_str(),
                                            vantrel::services::udlCreateAlways),
              S_OK);
    EXPECT_EQ(
        service->WriteStringToStorage(file.c_str(), text.c_str(), vantrel::services::udlCreateNew),
        HRESULT(0x80030050)); // STG_E_FILEALREADYEXISTS
    LPOLESTR loaded = nullptr;
    ASSERT_EQ(service->LoadStringFromStorage(file.c_str(), &loaded), S_OK);
    EXPECT_EQ(std::u16string(loaded), text);
    CoTaskMemFree(loaded);

    // A file written by hand in 8-bit text, with comments and blank lines before the string.
    const std::u16string handWritten = scratchPath("hand.udl");
    std::ofstream(utf8(handWritten)) << "[oledb]\n; comment\n\nProvider=Vantrel.SQLite.1\n";
    ASSERT_EQ(service->LoadStringFromStorage(handWritten.c_str(), &loaded), S_OK);
    EXPECT_EQ(std::u16string(loaded), u"Provider=Vantrel.SQLite.1");
    CoTaskMemFree(loaded);

    const std::u16string missing = scratchPath("missing.udl");
    EXPECT_EQ(service->LoadStringFromStorage(missing.c_str(), &loaded), HRESULT(0x80030002));
    EXPECT_EQ(service->WriteStringToStorage(missing.c_str(), text.c_str(),
                                            vantrel::services::udlOpenExisting),
              HRESULT(0x80030002));
}

} // namespace
