#include "OleDbFixture.h"

#include "CommunicatorProbe.h"

#include <cstdlib>
#include <filesystem>

void TOleDbTest::SetUp() {
    char pattern[] = "/tmp/vantrel-oledb-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
    setUpOleDbEnvironment();
}

void TOleDbTest::TearDown() {
    tearDownOleDbEnvironment();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::string TOleDbTest::databasePath(const std::string& name) const {
    return directory + "/" + name;
}

std::string TOleDbTest::sqliteConnectionString(const std::string& name) const {
    return "Provider=Vantrel.SQLite.1;Data Source=" + databasePath(name);
}

void TOleDbTest::runSql(const std::string& sql, const std::string& name) {
    TVectorMemo setupLog;
    TCommunicatorProbe communicator(&owner, &setupLog, sqliteConnectionString(name), 0);
    ASSERT_TRUE(communicator.connect());
    EXPECT_TRUE(
        executeCommand(communicator.sessionObject(), sql, IID_NULL, nullptr, nullptr, false))
        << sql;
    communicator.disconnect();
}
