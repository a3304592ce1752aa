// The bench's own operations (TOLEDBCommunicator) on the PostgreSQL provider: the whole
// sequence a user runs, the nine information lines, and the conflict test's exact lines under
// both concurrency policies.
#include "BenchSupport.h"

#include "core/Messages.h"
#include "core/Text.h"

#include <map>

namespace {

using pgtest::TestMemo;

std::string cp(const char* utf8) {
    return utf8ToCp1250(utf8);
}

class BenchOnPostgres : public pgtest::BenchTest {};

TEST_F(BenchOnPostgres, TheWholeSequenceOnAnEmptyAndThenAFilledSchema) {
    auto c = connect();
    ASSERT_TRUE(c);
    benchtest::expectWholeSequence(*this, *c, directQuery());
}

TEST_F(BenchOnPostgres, NineInformationLinesFromTheServer) {
    auto c = connect();
    ASSERT_TRUE(c);
    TestMemo memo;
    ASSERT_TRUE(c->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 9u);
    const std::string server = settings().dataSource();
    const std::string expected[9] = {
        cp("Jméno použitého ovladače: Vantrel OLE DB Provider for PostgreSQL"),
        cp("Verze použitého ovladače: 01.00.0000"),
        "", // the OLE DB version: checked for its form below
        cp("Jméno datového zdroje: ") + server,
        cp("Je datový zdroj pouze pro čtení: N"),
        cp("Jméno DBMS produktu, ke kterému přistupujeme: PostgreSQL"),
        "", // the server's version
        cp("Jméno serveru, ke kterému jsme připojeni: ") + server,
        cp("Jméno databáze: ") + settings().database,
    };
    for (std::size_t i = 0; i < 9; ++i) {
        if (!expected[i].empty()) {
            EXPECT_EQ(memo.lines[i], expected[i]) << i;
        }
    }
    EXPECT_EQ(memo.lines[2].rfind(cp("Verze ODBC podporovaná ovladačem: 0"), 0), 0u)
        << memo.lines[2];
    EXPECT_EQ(memo.lines[6],
              cp("Verze DBMS produktu: ") + pgtest::queryText("SHOW server_version"));
}

struct Policy {
    const char* keyword; // appended to the connection string; empty = the default
    const char* refusal; // the start of side 2's error dump
};

class ConflictOnPostgres : public pgtest::BenchTest,
                           public ::testing::WithParamInterface<std::tuple<std::uint8_t, Policy>> {
};

TEST_P(ConflictOnPostgres, SideTwoIsRefusedAndTheRowIsRestored) {
    const auto [type, policy] = GetParam();
    auto c = connect(policy.keyword);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->createTables());
    // The tellers as generateData leaves them (the whole load is tested above).
    ASSERT_EQ(query("INSERT INTO tellers SELECT g, 0, 0, 'filler' FROM generate_series(0, 9) g; "
                    "SELECT 1"),
              "1");
    benchtest::expectConflictRefused(*this, *c, type, policy.refusal, directQuery());
    EXPECT_EQ(logLines(opTestConcurrentEdit()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndPolicies, ConflictOnPostgres,
    ::testing::Combine(::testing::Values(std::uint8_t{0}, std::uint8_t{1}),
                       ::testing::Values(Policy{"", "0x80040e92"}, // the locking default
                                         Policy{"Concurrency=Optimistic", "0x80040e38"})));

} // namespace

namespace {

class BadConnections : public pgtest::BenchTest {};

TEST_F(BadConnections, UnreachableServer) {
    const std::string text = refusedWith("Provider=Vantrel.PostgreSQL.1;Data Source=127.0.0.1:1;"
                                         "Connect Timeout=3;User ID=" +
                                         settings().user);
    EXPECT_NE(text.find("127.0.0.1"), std::string::npos) << text;
    EXPECT_NE(text.find("port 1"), std::string::npos) << text;
}

TEST_F(BadConnections, WrongPasswordShowsTheServersMessage) {
    std::string s = connectionString();
    const std::string password = "Password=" + settings().password;
    s.replace(s.find(password), password.size(), "Password=wrong");
    const std::string text = refusedWith(s);
    EXPECT_NE(text.find("password authentication failed"), std::string::npos) << text;
}

TEST_F(BadConnections, UnknownLibpqKeywordInExtendedProperties) {
    const std::string text =
        refusedWith(connectionString() + ";Extended Properties=\"colour=blue\"");
    EXPECT_NE(text.find("invalid connection option \"colour\""), std::string::npos) << text;
}

} // namespace

namespace {

// The initialisation properties a consumer (and the Data Links dialog) reads from the data
// source before connecting.
class ProviderProperties : public pgtest::BenchTest {};

std::string narrow(const OLECHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += static_cast<char>(*text);
    return out;
}

TEST_F(ProviderProperties, InitialisationPropertiesForTheDialog) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Vantrel.PostgreSQL", &clsid), S_OK);
    IDBProperties* properties = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBProperties,
                               reinterpret_cast<void**>(&properties)),
              S_OK);
    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINITALL};
    ULONG setCount = 0;
    DBPROPINFOSET* sets = nullptr;
    OLECHAR* descriptions = nullptr;
    ASSERT_EQ(properties->GetPropertyInfo(1, &all, &setCount, &sets, &descriptions), S_OK);
    std::map<std::string, const DBPROPINFO*> byKeyword;
    for (ULONG s = 0; s < setCount; ++s)
        for (ULONG p = 0; p < sets[s].cPropertyInfos; ++p)
            byKeyword[narrow(sets[s].rgPropertyInfos[p].pwszDescription)] =
                &sets[s].rgPropertyInfos[p];
    for (const char* keyword : {"Data Source", "Initial Catalog", "User ID", "Password", "Mode",
                                "Connect Timeout", "Extended Properties", "Concurrency"})
        EXPECT_EQ(byKeyword.count(keyword), 1u) << keyword;
    ASSERT_EQ(byKeyword.count("Password"), 1u);
    EXPECT_EQ(byKeyword["Password"]->dwPropertyID, DBPROPID(DBPROP_AUTH_PASSWORD));
    // The locking default itself shows in the conflict test above (DB_E_RESOURCELOCKED).
    ASSERT_EQ(byKeyword.count("Concurrency"), 1u);
    EXPECT_NE(byKeyword["Concurrency"]->dwFlags & DBPROPFLAGS_WRITE, 0u);
    for (ULONG s = 0; s < setCount; ++s) {
        for (ULONG p = 0; p < sets[s].cPropertyInfos; ++p)
            VariantClear(&sets[s].rgPropertyInfos[p].vValues);
        CoTaskMemFree(sets[s].rgPropertyInfos);
    }
    CoTaskMemFree(sets);
    CoTaskMemFree(descriptions);

    EXPECT_EQ(properties->Release(), 0u);
}

} // namespace
