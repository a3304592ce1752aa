// Real runs of the program: one round of the quick scenario over the SQLite provider (under
// both concurrency policies), the PostgreSQL test server and a server that is not there, with
// every report file read back; and leftover tables, which are dropped only when asked.

#include "ProgramRun.h"

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleDbEnvironment.h"
#include "postgres/PgTestServer.h"

#include <QImage>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// CSV fields of one line; quoted fields may hold commas and doubled quotes.
std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The summary CSV as target -> step id -> fields.
std::map<std::string, std::map<std::string, std::vector<std::string>>>
readSummary(const std::filesystem::path& file) {
    std::map<std::string, std::map<std::string, std::vector<std::string>>> rows;
    const auto lines = splitLines(readWholeFile(file));
    EXPECT_FALSE(lines.empty());
    if (lines.empty())
        return rows;
    EXPECT_EQ(lines[0], "target,step,operation,detail,succeeded,failed,median_ms,min_ms,max_ms");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = csvFields(lines[i]);
        EXPECT_EQ(fields.size(), 9u) << lines[i];
        if (fields.size() == 9)
            rows[fields[0]][fields[1]] = fields;
    }
    return rows;
}

// The operation-log name each step of the quick scenario is reported under, in UTF-8.
const std::vector<std::pair<std::string, std::string>>& quickSteps() {
    static const std::vector<std::pair<std::string, std::string>> steps = {
        {"connect", cp1250ToUtf8(opConnect())},
        {"create", cp1250ToUtf8(opCreateTables())},
        {"fill", cp1250ToUtf8(opGenerateData())},
        {"prepare", cp1250ToUtf8(opPrepareTableForBrowsing())},
        {"page-forward", cp1250ToUtf8(opGetDataForCell())},
        {"page-backward", cp1250ToUtf8(opGetDataForCell())},
        {"page-random", cp1250ToUtf8(opGetDataForCell())},
        {"conflict-0", cp1250ToUtf8(opTestConcurrentEdit())},
        {"conflict-1", cp1250ToUtf8(opTestConcurrentEdit())},
        {"info", cp1250ToUtf8(opGetInfo())},
        {"clear", cp1250ToUtf8(opClearData())},
        {"drop", cp1250ToUtf8(opDropTables())},
        {"disconnect", cp1250ToUtf8(opDisconnect())},
    };
    return steps;
}

// The row of a Markdown table under the heading "## section" that starts with `first`, or the
// empty text.
std::string markdownRow(const std::string& markdown, const std::string& section,
                        const std::string& first) {
    bool inSection = false;
    for (const std::string& line : splitLines(markdown)) {
        if (line.rfind("## ", 0) == 0)
            inSection = line == "## " + section;
        else if (inSection && line.rfind("| " + first + " |", 0) == 0)
            return line;
    }
    return std::string();
}

void expectValidCharts(const std::filesystem::path& folder) {
    QImage image;
    EXPECT_TRUE(
        image.load(QString::fromStdString((folder / "vantrel-compare.png").string()), "PNG"));
    EXPECT_EQ(image.width(), 1000);
    QSvgRenderer svg(QString::fromStdString((folder / "vantrel-compare.svg").string()));
    EXPECT_TRUE(svg.isValid());
}

class CompareRunTest : public pgtest::ServerTest {};

} // namespace

TEST_F(CompareRunTest, QuickRoundOnSqlitePostgresAndADeadServer) {
    TTemporaryDirectory folder;
    const std::string deadPassword = "dead-server-pw-77";
    const TProgramRun run = runCompare(
        {"--target", "sqlite-optimistic=Provider=Vantrel.SQLite.1;Data Source=o.db", "--target",
         "sqlite-locking=Provider=Vantrel.SQLite.1;Data Source=l.db;Concurrency=Locking",
         "--target", "pg=" + connectionString(), "--target",
         "dead=Provider=Vantrel.PostgreSQL.1;Data Source=127.0.0.1:1;User ID=x;Password=" +
             deadPassword + ";Connect Timeout=3",
         "--rounds", "1", "--scenario", "quick", "--output", "reports"},
        folder.path());
    const auto reports = folder.path() / "reports";

    // The dead target failed, so the run did; the others ran to their end regardless.
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("FAILED dead, round 1, " + cp1250ToUtf8(opConnect())), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("FAILED sqlite"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("FAILED pg"), std::string::npos) << run.err;

    // No password anywhere: terminal, reports, chart.
    for (const std::string& secret : {settings().password, deadPassword}) {
        EXPECT_EQ(run.out.find(secret), std::string::npos);
        EXPECT_EQ(run.err.find(secret), std::string::npos);
        for (const auto& entry : std::filesystem::directory_iterator(reports))
            EXPECT_EQ(readWholeFile(entry.path()).find(secret), std::string::npos) << entry.path();
    }

    // Summary CSV: every step of every live target succeeded once, with a parseable median
    // between its minimum and maximum, under the operation log's name.
    auto summary = readSummary(reports / "vantrel-compare.csv");
    for (const std::string target : {"sqlite-optimistic", "sqlite-locking", "pg"}) {
        for (const auto& [id, operation] : quickSteps()) {
            const auto& fields = summary[target][id];
            ASSERT_EQ(fields.size(), 9u) << target << " " << id;
            EXPECT_EQ(fields[2], operation) << target << " " << id;
            EXPECT_EQ(fields[4], "1") << target << " " << id;
            EXPECT_EQ(fields[5], "0") << target << " " << id;
            const double median = std::stod(fields[6]);
            EXPECT_GE(median, std::stod(fields[7]));
            EXPECT_LE(median, std::stod(fields[8]));
        }
        // The load of 100,011 rows cannot take no time at all.
        EXPECT_GT(std::stod(summary[target]["fill"][6]), 0) << target;
        EXPECT_EQ(summary[target]["drop-leftovers"][4], "0") << "no leftovers to drop";
    }
    EXPECT_EQ(summary["dead"]["connect"][4], "0");
    EXPECT_EQ(summary["dead"]["connect"][5], "1");
    EXPECT_EQ(summary["dead"]["create"][5], "0") << "nothing runs after a failed connect";
    EXPECT_EQ(summary["dead"]["create"][6], "");

    // Rounds CSV: one line per step that ran; the dead target's connect is there as failed.
    const auto rounds = splitLines(readWholeFile(reports / "vantrel-compare-rounds.csv"));
    EXPECT_EQ(rounds.size(), 1 + 3 * quickSteps().size() + 1);
    const auto deadLine = std::find_if(rounds.begin(), rounds.end(), [](const std::string& l) {
        return l.rfind("dead,connect,", 0) == 0;
    });
    ASSERT_NE(deadLine, rounds.end());
    EXPECT_EQ(csvFields(*deadLine)[5], "0");

    // Markdown: the conflict outcomes follow each target's policy; the facts stand side by
    // side; the failure carries the provider's own message; the password is masked.
    const std::string md = readWholeFile(reports / "vantrel-compare.md");
    const std::string optimistic = markdownRow(md, "Conflict test", "sqlite-optimistic");
    EXPECT_NE(optimistic.find("| 1: accepted; 2: refused: 0x80040E38 DB_E_CONCURRENCYVIOLATION"),
              std::string::npos)
        << optimistic;
    for (const std::string target : {"sqlite-locking", "pg"}) {
        const std::string row = markdownRow(md, "Conflict test", target);
        EXPECT_NE(row.find("| 1: accepted; 2: refused: 0x80040E92 DB_E_RESOURCELOCKED"),
                  std::string::npos)
            << row;
    }
    EXPECT_EQ(markdownRow(md, "Facts", "Jméno DBMS produktu, ke kterému přistupujeme"),
              "| Jméno DBMS produktu, ke kterému přistupujeme | SQLite | SQLite | PostgreSQL |  |")
        << md;
    EXPECT_EQ(markdownRow(md, "Facts", "Je datový zdroj pouze pro čtení"),
              "| Je datový zdroj pouze pro čtení | N | N | N |  |");
    // The durations table: a row per step, a column per target, the dead one failed or idle.
    const std::string connect = markdownRow(md, "Durations", cp1250ToUtf8(opConnect()));
    EXPECT_NE(connect.find("| failed |"), std::string::npos) << connect;
    EXPECT_NE(markdownRow(md, "Durations", cp1250ToUtf8(opCreateTables())).find("| - |"),
              std::string::npos);
    EXPECT_NE(md.find("- dead, round 1, " + cp1250ToUtf8(opConnect()) + ": OLE DB Error"),
              std::string::npos);
    EXPECT_NE(md.find("Connection refused"), std::string::npos);
    EXPECT_NE(md.find("Data Source=127.0.0.1:1;User ID=x;Password=***;Connect Timeout=3"),
              std::string::npos);
    EXPECT_NE(md.find("![Median durations per operation and target](vantrel-compare.svg)"),
              std::string::npos);

    // The terminal got the same table.
    EXPECT_NE(run.out.find(cp1250ToUtf8(opGenerateData())), std::string::npos);
    expectValidCharts(reports);

    // The round dropped what it created on the server.
    EXPECT_EQ(
        pgtest::queryText("SELECT count(*) FROM pg_tables WHERE schemaname = '" + schema_ + "'"),
        "0");
}

namespace {

class TNoOwner : public TCommunicatorOwner {
public:
    void* nativeWindowHandle() override { return nullptr; }
};

class TDiscardingMemo : public TMemo {
public:
    void addLine(const std::string&) override {}
    void clear() override {}
};

// Leaves the four benchmark tables in a SQLite file, as an interrupted run would.
void leaveTables(const std::string& connectionString) {
    setUpOleDbEnvironment();
    {
        TNoOwner owner;
        TDiscardingMemo log;
        TOLEDBCommunicator communicator(&owner, &log, connectionString, 0);
        ASSERT_TRUE(communicator.connect());
        EXPECT_TRUE(communicator.createTables());
        communicator.disconnect();
    }
    tearDownOleDbEnvironment();
}

} // namespace

TEST(CompareLeftovers, TablesLeftInADataSourceAreDroppedOnlyWithFresh) {
    TTemporaryDirectory folder;
    const std::string string =
        "Provider=Vantrel.SQLite.1;Data Source=" + (folder.path() / "left.db").string();
    leaveTables(string);

    const TProgramRun refused =
        runCompare({"--target", "s=" + string, "--rounds", "1", "--scenario", "quick", "--quiet"},
                   folder.path());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("already exist in this data source; --fresh drops them first"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.err.find("round 1/1"), std::string::npos) << "--quiet shows no progress";
    auto summary = readSummary(folder.path() / "vantrel-compare.csv");
    EXPECT_EQ(summary["s"]["create"][4], "0") << "nothing may be created over the user's tables";
    EXPECT_EQ(summary["s"]["drop"][4], "0") << "and nothing of theirs dropped";

    const TProgramRun fresh =
        runCompare({"--target", "s=" + string, "--rounds", "2", "--scenario", "quick", "--fresh"},
                   folder.path());
    EXPECT_EQ(fresh.exitCode, 0) << fresh.err;
    EXPECT_NE(fresh.err.find("s, round 2/2"), std::string::npos) << "progress per round";
    summary = readSummary(folder.path() / "vantrel-compare.csv");
    EXPECT_EQ(summary["s"]["drop-leftovers"][4], "1") << "only the first round finds leftovers";
    EXPECT_EQ(summary["s"]["fill"][4], "2");
    const std::string md = readWholeFile(folder.path() / "vantrel-compare.md");
    EXPECT_NE(md.find("None: every operation succeeded on every target."), std::string::npos);
    EXPECT_NE(md.find(cp1250ToUtf8(opDropTables()) + " (leftover tables, --fresh) |"),
              std::string::npos);
}
