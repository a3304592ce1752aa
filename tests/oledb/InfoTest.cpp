// The information page's nine lines from the SQLite provider.

#include "OperationsFixture.h"

#include "core/Messages.h"
#include "core/Text.h"

namespace {

const char* const captions[] = {
    "Jméno použitého ovladače",
    "Verze použitého ovladače",
    "Verze ODBC podporovaná ovladačem",
    "Jméno datového zdroje",
    "Je datový zdroj pouze pro čtení",
    "Jméno DBMS produktu, ke kterému přistupujeme",
    "Verze DBMS produktu",
    "Jméno serveru, ke kterému jsme připojeni",
    "Jméno databáze",
};

} // namespace

TEST_F(OperationsTest, InfoListsNineCaptionedLinesInOrder) {
    auto communicator = connect();
    TVectorMemo memo;
    memo.addLine("left over from before");
    ASSERT_TRUE(communicator->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        const std::string prefix = utf8ToCp1250(captions[i]) + ": ";
        EXPECT_EQ(memo.lines[i].rfind(prefix, 0), 0u) << cp1250ToUtf8(memo.lines[i]);
    }
    EXPECT_EQ(memo.lines[4], utf8ToCp1250("Je datový zdroj pouze pro čtení: N"));
    EXPECT_EQ(memo.lines[5], utf8ToCp1250("Jméno DBMS produktu, ke kterému přistupujeme: SQLite"));
    // A provider without an ODBC driver behind it names itself and the OLE DB version.
    EXPECT_EQ(memo.lines[0], utf8ToCp1250("Jméno použitého ovladače: Vantrel Embedded OLE DB "
                                          "Provider for SQLite"));
    EXPECT_EQ(memo.lines[2], utf8ToCp1250("Verze ODBC podporovaná ovladačem: 02.80"));
    // The data source is the database file the connection string named.
    EXPECT_NE(memo.lines[3].find(databasePath()), std::string::npos) << memo.lines[3];
    // A second visit still shows nine lines.
    ASSERT_TRUE(communicator->getInfo(&memo));
    EXPECT_EQ(memo.lines.size(), 9u);
    EXPECT_EQ(logLinesOf(opGetInfo()), 2);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(OperationsTest, InfoOfReadOnlySourceShowsY) {
    { auto creator = connect(); } // creates the file
    auto communicator = connect("Mode=Read");
    TVectorMemo memo;
    ASSERT_TRUE(communicator->getInfo(&memo));
    ASSERT_EQ(memo.lines.size(), 9u);
    EXPECT_EQ(memo.lines[4], utf8ToCp1250("Je datový zdroj pouze pro čtení: Y"));
}
