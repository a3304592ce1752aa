// The pieces the reports are made of: masked initialisation strings, durations read back from
// the operation log's lines, the conflict test's answers read back from its progress list, and
// the statistics.

#include "compare/ConflictOutcome.h"
#include "compare/InitStringMask.h"
#include "compare/LogLine.h"
#include "compare/Reports.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "core/Timing.h"
#include "oledb/OLEDBCommunicator.h"

#include <gtest/gtest.h>

TEST(CompareMasking, PasswordsAreMaskedWhereverAndHoweverWritten) {
    EXPECT_EQ(maskPasswords("Provider=P;User ID=u;Password=secret;Data Source=h"),
              "Provider=P;User ID=u;Password=***;Data Source=h");
    EXPECT_EQ(maskPasswords("Provider=P; pwd = secret ;X=1"), "Provider=P; pwd = *** ;X=1");
    // A quoted password may hold ';' and doubled quotes; all of it goes, the rest stays.
    EXPECT_EQ(maskPasswords("PASSWORD='a;b''c';Provider=P"), "PASSWORD=***;Provider=P");
    EXPECT_EQ(maskPasswords("Provider=P;Password=\"x\";Password=y"),
              "Provider=P;Password=***;Password=***");
    // An unterminated quote hides everything after it rather than risk a leak.
    EXPECT_EQ(maskPasswords("Provider=P;Password='abc;Data Source=h"), "Provider=P;Password=***");
    // Keywords that merely contain the word are not passwords.
    EXPECT_EQ(maskPasswords("Persist Security Info=False;Password Hint=x"),
              "Persist Security Info=False;Password Hint=x");
    EXPECT_EQ(maskPasswords("Extended Properties=\"password=inner\""),
              "Extended Properties=\"password=inner\"");

    EXPECT_EQ(providerOf("Data Source=a;Provider = 'Vantrel.SQLite.1' ;X=1"), "Vantrel.SQLite.1");
    EXPECT_EQ(providerOf("Data Source=a"), "");
    const auto passwords = passwordsOf("Password='a;b''c';pwd=xy");
    ASSERT_EQ(passwords.size(), 2u);
    EXPECT_EQ(passwords[0], "a;b'c");

    EXPECT_EQ(redactSecrets("auth for secret123 failed: secret123", {"secret123"}),
              "auth for *** failed: ***");
    // A short password is masked only as a whole word.
    EXPECT_EQ(redactSecrets("password ab for user ab failed", {"ab"}),
              "password *** for user *** failed");
    EXPECT_EQ(redactSecrets("tabular", {"ab"}), "tabular");
}

TEST(CompareLogLines, DurationsAreReadBackExactlyAsTheCoreWritesThem) {
    for (long long ms : {0LL, 1LL, 999LL, 1500LL, 59999LL, 3599999LL, 3600000LL, 45296789LL}) {
        const std::string written = formatDuration(static_cast<double>(ms) / millisecondsPerDay);
        EXPECT_EQ(parseDuration(written), ms) << written;
    }
    for (const char* bad : {"", "0:00:00", "0:00:00:50", "0:60:00:000", "0:00:61:000",
                            "0:0a:00:000", "x:00:00:000", "0:00:00:000:1", "-1:00:00:000"})
        EXPECT_FALSE(parseDuration(bad)) << bad;

    const auto entry = parseLogLine(opGenerateData() + litNameSeparator() + "0:00:12:345");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->operation, opGenerateData());
    EXPECT_EQ(entry->milliseconds, 12345);
    EXPECT_FALSE(parseLogLine(opGenerateData()));
    EXPECT_FALSE(parseLogLine(opGenerateData() + ": soon"));
}

TEST(CompareConflict, SidesAreReadFromTheProgressListTheTestWrites) {
    const std::string dump =
        formatErrorInfoDump(static_cast<HRESULT>(0x80040E92u), u"The row is locked.", u"Vantrel");
    const std::vector<std::string> lines = {
        utf8ToCp1250("1: Vybrání řádku tabulky tellers kde Tid=1"),
        utf8ToCp1250("1: Měním řádek ..."),
        utf8ToCp1250("1: Řádek změněn"),
        utf8ToCp1250("2: Měním řádek ..."),
        utf8ToCp1250("2: Při změně řádku došlo k chybě -") + " " + dump,
    };
    const auto sides = conflictSidesOf(lines);
    EXPECT_EQ(sides[0].outcome, TConflictSide::Outcome::accepted);
    EXPECT_EQ(sides[1].outcome, TConflictSide::Outcome::refused);
    EXPECT_EQ(sides[1].result, 0x80040E92u);
    EXPECT_EQ(sides[1].message, "The row is locked.");
    EXPECT_EQ(describeSide(sides[1]),
              "refused: 0x80040E92 DB_E_RESOURCELOCKED, The row is locked.");

    // No error object: the code alone.
    const auto bare = conflictSidesOf({utf8ToCp1250("1: Při změně řádku došlo k chybě -") + " " +
                                       formatNoErrorInfoDump(static_cast<HRESULT>(0x80004005u))});
    EXPECT_EQ(describeSide(bare[0]), "refused: 0x80004005 E_FAIL");
    EXPECT_EQ(bare[1].outcome, TConflictSide::Outcome::notReached);

    TConflictRun first{1, true, sides};
    TConflictRun second{2, true, sides};
    EXPECT_EQ(describeConflictRuns({first, second}),
              "1: accepted; 2: refused: 0x80040E92 DB_E_RESOURCELOCKED, The row is locked.");
    second.sides[1].outcome = TConflictSide::Outcome::accepted;
    const std::string varying = describeConflictRuns({first, second});
    EXPECT_NE(varying.find("round 1: 1: accepted; 2: refused"), std::string::npos) << varying;
    EXPECT_NE(varying.find("round 2: 1: accepted; 2: accepted"), std::string::npos) << varying;
    EXPECT_EQ(describeConflictRuns({}), "not run");
}

TEST(CompareStatistics, MediansCountOnlySucceededRounds) {
    const TStepStatistics even =
        statisticsOf({{1, 10, true}, {2, 40, true}, {3, 25, true}, {4, 11, true}, {5, 900, false}});
    EXPECT_EQ(even.succeeded, 4);
    EXPECT_EQ(even.failed, 1);
    EXPECT_DOUBLE_EQ(even.median, 18);
    EXPECT_EQ(even.minimum, 10);
    EXPECT_EQ(even.maximum, 40);
    EXPECT_EQ(statisticsCell(even), "18 (10–40) [1 failed]");
    EXPECT_EQ(statisticsCell(statisticsOf({{1, 3, true}, {2, 4, true}})), "3.5 (3–4)");
    EXPECT_EQ(statisticsCell(statisticsOf({{1, 7, true}})), "7");
    EXPECT_EQ(statisticsCell(statisticsOf({{1, 7, false}})), "failed");
    EXPECT_EQ(statisticsCell(statisticsOf({})), "-");
}
