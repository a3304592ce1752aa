// connect on both roads and disconnect, on the real SQLite provider and the data-initialisation
// service; the dialog is scripted, failures come from the failing provider.

#include "support/CommunicatorProbe.h"
#include "support/FailingProvider.h"
#include "support/OleDbFixture.h"
#include "support/ScriptedPrompt.h"

#include "core/Messages.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class ConnectTest : public TOleDbTest {
protected:
    std::unique_ptr<TCommunicatorProbe> communicator(const std::string& connectionString,
                                                     int providerIndex = 0) {
        return std::make_unique<TCommunicatorProbe>(&owner, &log, connectionString, providerIndex);
    }
    // Index of a provider in providerNames, after enumerating into a throwaway list.
    int providerIndexOf(const std::string& progId) {
        struct TIgnore : TProviderList {
            void clear() override {}
            void addItem(const std::string&, int) override {}
        } ignore;
        EXPECT_TRUE(enumerateProviders(ignore));
        auto found = std::find(providerNames->begin(), providerNames->end(), progId);
        EXPECT_NE(found, providerNames->end()) << progId;
        return static_cast<int>(found - providerNames->begin());
    }
    static void expectDisconnected(const TCommunicatorProbe& c) {
        EXPECT_FALSE(c.isConnected());
        EXPECT_EQ(c.dataSourceObject(), nullptr);
        EXPECT_EQ(c.sessionObject(), nullptr);
    }
    bool logLineIs(std::size_t i, const std::string& operation) const {
        return i < log.lines.size() && log.lines[i].rfind(operation + ": 0:00:", 0) == 0 &&
               log.lines[i].size() == operation.size() + 2 + 11;
    }

    TScriptedPrompt prompt;
};

TEST_F(ConnectTest, StoredStringConnectsWithoutDialogAndLogsOnce) {
    auto c = communicator(sqliteConnectionString());
    ASSERT_TRUE(c->connect());
    EXPECT_TRUE(c->isConnected());
    EXPECT_NE(c->dataSourceObject(), nullptr);
    EXPECT_NE(c->sessionObject(), nullptr);
    EXPECT_FALSE(c->connectionStringPrompted);
    EXPECT_EQ(c->connectionString, sqliteConnectionString());
    EXPECT_TRUE(prompt.calls().empty());
    EXPECT_EQ(boxes.count(), 0u);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_TRUE(logLineIs(0, opConnect())) << log.lines[0];
    EXPECT_TRUE(fs::exists(databasePath()));

    c->disconnect();
    expectDisconnected(*c);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_TRUE(logLineIs(1, opDisconnect())) << log.lines[1];
}

TEST_F(ConnectTest, SecondDisconnectRaisesAndWritesNoLine) {
    auto c = communicator(sqliteConnectionString());
    ASSERT_TRUE(c->connect());
    c->disconnect();
    try {
        c->disconnect();
        FAIL() << "a second disconnect passed";
    } catch (const ECommunicator& e) {
        EXPECT_EQ(e.message(), msgNotConnected());
    }
    EXPECT_EQ(log.lines.size(), 2u);
    expectDisconnected(*c);
}

TEST_F(ConnectTest, DialogRoadTakesOverTheDialogsStringPasswordIncluded) {
    const int sqlite = providerIndexOf("Vantrel.SQLite.1");
    prompt.answerWithDataSource(databasePath("chosen.db"));
    auto c = communicator("", sqlite);
    ASSERT_TRUE(c->connect());
    EXPECT_TRUE(c->connectionStringPrompted);
    EXPECT_NE(c->connectionString.find("Vantrel.SQLite"), std::string::npos) << c->connectionString;
    EXPECT_NE(c->connectionString.find(databasePath("chosen.db")), std::string::npos)
        << c->connectionString;
    EXPECT_TRUE(fs::exists(databasePath("chosen.db")));
    ASSERT_EQ(prompt.calls().size(), 1u);
    const TPromptCall& call = prompt.calls()[0];
    EXPECT_EQ(call.options, static_cast<DBPROMPTOPTIONS>(0x12));
    EXPECT_EQ(call.parent, static_cast<HWND>(owner.nativeWindowHandle()));
    EXPECT_EQ(call.sourceTypeFilterCount, 0u);
    EXPECT_FALSE(call.providerFilterGiven);
    EXPECT_TRUE(call.dataSourceGiven);
    EXPECT_EQ(log.lines.size(), 1u);
    c->disconnect();

    // The string the dialog produced connects on its own, without the dialog.
    auto again = communicator(c->connectionString, sqlite);
    ASSERT_TRUE(again->connect());
    EXPECT_FALSE(again->connectionStringPrompted);
    EXPECT_EQ(prompt.calls().size(), 1u);
    again->disconnect();
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(ConnectTest, CancelledDialogShowsOneBoxAndLeavesNothingConnected) {
    prompt.answerCancel();
    auto c = communicator("", providerIndexOf("Vantrel.SQLite.1"));
    EXPECT_FALSE(c->connect());
    expectDisconnected(*c);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_NE(boxes.boxes()[0].text.find("HResult: 0x80040e4e"), std::string::npos)
        << boxes.boxes()[0].text;
    EXPECT_EQ(boxes.boxes()[0].caption, "OLE DB Error");
    EXPECT_EQ(c->connectionString, "");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_TRUE(logLineIs(0, opConnect()));
    EXPECT_THROW(c->disconnect(), ECommunicator);
}

TEST_F(ConnectTest, RejectedStringShowsOneBoxAndNoDialog) {
    auto c = communicator("Provider=No.Such.Provider.1;Data Source=x.db");
    EXPECT_FALSE(c->connect());
    expectDisconnected(*c);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(prompt.calls().empty());
    EXPECT_FALSE(c->connectionStringPrompted);
    EXPECT_EQ(log.lines.size(), 1u);
}

TEST_F(ConnectTest, ConnectionStringLongerThan1023CharactersIsNotCut) {
    // The data source comes last, after well over 1023 characters: cut anywhere, the string
    // would either not parse or open another file.
    std::string pragmas;
    while (pragmas.size() < 1500) {
        pragmas += "synchronous=NORMAL;";
    }
    const std::string connectionString = "Provider=Vantrel.SQLite.1;Extended Properties=\"" +
                                         pragmas + "\";Data Source=" + databasePath("long.db");
    ASSERT_GT(connectionString.size(), 1023u);
    auto c = communicator(connectionString);
    ASSERT_TRUE(c->connect()) << (boxes.count() > 0 ? boxes.boxes()[0].text : "");
    EXPECT_TRUE(fs::exists(databasePath("long.db")));
    c->disconnect();
}

TEST_F(ConnectTest, ProviderNameLongerThan249CharactersIsRefusedWhole) {
    ASSERT_NE(providerNames, nullptr);
    providerNames->push_back("Vantrel.SQLite.1" + std::string(300, 'x'));
    auto c = communicator("", static_cast<int>(providerNames->size()) - 1);
    EXPECT_FALSE(c->connect());
    expectDisconnected(*c);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(prompt.calls().empty());
}

TEST_F(ConnectTest, DialogRoadWithoutAValidProviderIndexShowsOneBox) {
    for (int index : {-1, 9999}) {
        boxes.clear();
        auto c = communicator("", index);
        EXPECT_FALSE(c->connect());
        expectDisconnected(*c);
        EXPECT_EQ(boxes.count(), 1u) << index;
    }
    EXPECT_TRUE(prompt.calls().empty());
}

class FailingConnectTest : public ConnectTest {
protected:
    void TearDown() override {
        failing::reset();
        ConnectTest::TearDown();
    }
    failing::TRegistration registration;
};

TEST_F(FailingConnectTest, FailedInitializeReportsTheProvidersErrorAndUninitializes) {
    failing::failCall("IDBInitialize::Initialize", DB_SEC_E_AUTH_FAILED, 0, -1,
                      "P\xF8ihl\xE1\x9A"
                      "en\xED selhalo");
    auto c = communicator(failing::connectionString(databasePath()));
    EXPECT_FALSE(c->connect());
    expectDisconnected(*c);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "\nErrorInfo:  HResult: 0x80040e4d, Description: "
                                     "P\xF8ihl\xE1\x9A"
                                     "en\xED selhalo\nSource: "
                                     "Vantrel.FailingSQLite\n");
    EXPECT_GE(failing::callCount("IDBInitialize::Uninitialize"), 1);
    EXPECT_EQ(log.lines.size(), 1u);
}

TEST_F(FailingConnectTest, FailedCreateSessionReleasesTheDataSource) {
    failing::failCall("IDBCreateSession::CreateSession", E_OUTOFMEMORY);
    auto c = communicator(failing::connectionString(databasePath()));
    EXPECT_FALSE(c->connect());
    expectDisconnected(*c);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(failing::callCount("IDBInitialize::Initialize"), 1);
    EXPECT_GE(failing::callCount("IDBInitialize::Uninitialize"), 1);
}

TEST_F(FailingConnectTest, DialogRoadThroughTheFailingProviderTakesItsOwnString) {
    prompt.answerWithDataSource(databasePath("failing.db"));
    auto c = communicator("", providerIndexOf(failing::progId));
    ASSERT_TRUE(c->connect());
    EXPECT_TRUE(c->connectionStringPrompted);
    EXPECT_NE(c->connectionString.find("Vantrel.FailingSQLite"), std::string::npos)
        << c->connectionString;
    c->disconnect();
    EXPECT_GE(failing::callCount("IDBInitialize::Uninitialize"), 1);
}

TEST_F(FailingConnectTest, DestroyingAConnectedCommunicatorStillReleasesTheConnection) {
    auto c = communicator(failing::connectionString(databasePath()));
    ASSERT_TRUE(c->connect());
    const int before = failing::callCount("IDBInitialize::Uninitialize");
    c.reset();
    EXPECT_EQ(failing::callCount("IDBInitialize::Uninitialize"), before + 1);
    EXPECT_EQ(log.lines.size(), 1u) << "destruction writes no log line";
}

} // namespace
