// Command line and targets file: what a user gets for good and bad input, from the library and
// from the program itself (message on standard error, exit code 2, no report written).

#include "ProgramRun.h"

#include "compare/CompareOptions.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The EUsage message parseArguments raises, or "<no error>".
std::string usageErrorOf(const std::vector<std::string>& arguments) {
    try {
        parseArguments(arguments);
    } catch (const EUsage& error) {
        return error.what();
    }
    return "<no error>";
}

void writeTargets(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file) << content;
}

const std::string sqlite = "sqlite=Provider=Vantrel.SQLite.1;Data Source=a.db";

} // namespace

TEST(CompareArguments, OptionsInBothFormsAndTargetsInTheOrderGiven) {
    TTemporaryDirectory folder;
    const auto file = folder.path() / "targets.ini";
    writeTargets(file, "; two targets\n[b]\nConnectionString = Provider=Vantrel.SQLite.1;Data "
                       "Source=b.db\n\n# another\n[c]\nconnectionstring=Provider=X;A=1=2\n");
    const TCompareOptions options =
        parseArguments({"--target", sqlite, "--rounds=3", "--targets", file.string(), "--scenario",
                        "quick", "--fresh", "--quiet", "--output=out dir"});
    ASSERT_EQ(options.targets.size(), 3u);
    EXPECT_EQ(options.targets[0].name, "sqlite");
    EXPECT_EQ(options.targets[0].connectionString, "Provider=Vantrel.SQLite.1;Data Source=a.db");
    EXPECT_EQ(options.targets[1].name, "b");
    EXPECT_EQ(options.targets[1].connectionString, "Provider=Vantrel.SQLite.1;Data Source=b.db");
    // Only the first '=' of a line separates the key; the rest belongs to the string.
    EXPECT_EQ(options.targets[2].connectionString, "Provider=X;A=1=2");
    EXPECT_EQ(options.rounds, 3);
    EXPECT_EQ(options.scenario, TScenarioKind::quick);
    EXPECT_TRUE(options.fresh);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.outputDirectory, "out dir");

    const TCompareOptions defaults = parseArguments({"--target", sqlite});
    EXPECT_EQ(defaults.rounds, 5);
    EXPECT_EQ(defaults.scenario, TScenarioKind::full);
    EXPECT_FALSE(defaults.fresh);
    EXPECT_TRUE(parseArguments({"--help"}).help);
}

TEST(CompareArguments, BadCommandLinesNameWhatIsWrong) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--round", "3", "--target", sqlite}, "unknown option '--round'"},
        {{"-v", "--target", sqlite}, "unknown option '-v'"},
        {{"--target", "sqlite"}, "--target 'sqlite': expected NAME=STRING"},
        {{"--target", "=Provider=Vantrel.SQLite.1"}, "the target has no name"},
        {{"--target", "x="}, "target 'x' has an empty initialisation string"},
        {{"--target", "x=Data Source=a.db"}, "target 'x' names no provider"},
        {{"--target", "a|b=Provider=P"}, "may not contain"},
        {{"--target", sqlite, "--target", sqlite}, "target name 'sqlite' is given twice"},
        {{"--target", sqlite, "--rounds", "0"}, "--rounds '0': expected a whole number"},
        {{"--target", sqlite, "--rounds", "3x"}, "--rounds '3x'"},
        {{"--target", sqlite, "--rounds", "99999999999"}, "--rounds '99999999999'"},
        {{"--target", sqlite, "--rounds"}, "--rounds: a value is missing"},
        {{"--target", sqlite, "--scenario", "slow"}, "expected full or quick"},
        {{"--target", sqlite, "--fresh=yes"}, "--fresh takes no value"},
        {{"--rounds", "2"}, "no target"},
        {{}, "no target"},
    };
    for (const auto& c : cases) {
        const std::string message = usageErrorOf(c.arguments);
        EXPECT_NE(message.find(c.message), std::string::npos)
            << "expected '" << c.message << "', got '" << message << "'";
    }
    // A target that is not NAME=STRING is echoed with its password masked.
    const std::string echoed = usageErrorOf({"--target", "Provider=P;Password=s3cret-pw"});
    EXPECT_EQ(echoed.find("s3cret-pw"), std::string::npos) << echoed;
}

TEST(CompareArguments, BadTargetsFilesNameTheFileAndLine) {
    TTemporaryDirectory folder;
    const auto file = folder.path() / "t.ini";
    const struct {
        std::string content;
        std::string message;
    } cases[] = {
        {"[a]\nConnectionString=Provider=P\nnonsense\n", "t.ini:3: expected [NAME]"},
        {"[a]\nProvider=P\n", "t.ini:2: unknown key 'Provider'"},
        {"ConnectionString=Provider=P\n", "t.ini:1: ConnectionString before the first"},
        {"[a]\n[b]\nConnectionString=Provider=P\n", "target 'a' has no ConnectionString"},
        {"[a\nConnectionString=Provider=P\n", "t.ini:1: a section line must end with ']'"},
        {"[]\n", "t.ini:1: the target has no name"},
        {"[a]\nConnectionString=Provider=P\nConnectionString=Provider=Q\n",
         "target 'a' has a second ConnectionString"},
        {"[a]\nConnectionString=\n", "target 'a' has an empty initialisation string"},
        {"; nothing here\n", "the file names no target"},
        {"[a]\nConnectionString=Provider=P\n[a]\nConnectionString=Provider=Q\n",
         "target name 'a' is given twice"},
    };
    for (const auto& c : cases) {
        writeTargets(file, c.content);
        const std::string message = usageErrorOf({"--targets", file.string()});
        EXPECT_NE(message.find(c.message), std::string::npos)
            << "for\n"
            << c.content << "expected '" << c.message << "', got '" << message << "'";
    }
    EXPECT_NE(usageErrorOf({"--targets", (folder.path() / "missing.ini").string()})
                  .find("missing.ini': cannot read the file"),
              std::string::npos);
}

TEST(CompareProgram, UsageErrorsExitWithTwoAndWriteNoReport) {
    TTemporaryDirectory folder;
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--bogus", "--target", sqlite}, "unknown option '--bogus'"},
        {{"--target", "sqlite"}, "expected NAME=STRING"},
        {{"--targets", "no-such-file.ini"}, "no-such-file.ini': cannot read the file"},
        // Only known once COM is up: the ProgID does not resolve.
        {{"--target", "x=Provider=Vantrel.Nothing.1;Password=hidden-pw", "--target", sqlite},
         "target 'x': the provider 'Vantrel.Nothing.1' is not registered"},
    };
    for (const auto& c : cases) {
        const TProgramRun run = runCompare(c.arguments, folder.path(), 60);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        EXPECT_EQ(run.err.rfind("vantrel-compare: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("hidden-pw"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "vantrel-compare.md"));
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "a.db"))
            << "nothing may run before the arguments are known to be good";
    }
    const TProgramRun help = runCompare({"--help"}, folder.path(), 60);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--target NAME=STRING"), std::string::npos);
}
