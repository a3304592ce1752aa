// vantrel-compare: the bench's scenario on several OLE DB targets, side by side. It drives
// TOLEDBCommunicator through the operations the window uses and takes every duration from the
// operation log, then prints the median table and writes the Markdown and CSV reports and the
// chart.

#include "compare/ChartData.h"
#include "compare/ChartPainter.h"
#include "compare/CompareOptions.h"
#include "compare/ConflictOutcome.h"
#include "compare/ProgressLine.h"
#include "compare/Reports.h"
#include "compare/ScenarioRunner.h"
#include "oledb/OleDbEnvironment.h"

#include <cstdio>
#include <ctime>
#include <fstream>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

int usageError(const std::string& message) {
    std::fprintf(stderr, "vantrel-compare: %s\n(vantrel-compare --help describes the options)\n",
                 message.c_str());
    return exitUsage;
}

std::string localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool writeFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
        std::fprintf(stderr, "vantrel-compare: cannot write %s\n", file.string().c_str());
        return false;
    }
    return true;
}

// Enters the OLE DB environment for the run, and leaves it on every way out.
class TOleDbEnvironment {
public:
    TOleDbEnvironment() { setUpOleDbEnvironment(); }
    ~TOleDbEnvironment() { tearDownOleDbEnvironment(); }
    TOleDbEnvironment(const TOleDbEnvironment&) = delete;
    TOleDbEnvironment& operator=(const TOleDbEnvironment&) = delete;
};

} // namespace

int main(int argc, char** argv) {
    TCompareOptions options;
    try {
        options = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsage& error) {
        return usageError(error.what());
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    std::error_code error;
    std::filesystem::create_directories(options.outputDirectory, error);
    if (!std::filesystem::is_directory(options.outputDirectory))
        return usageError("--output '" + options.outputDirectory.string() +
                          "': cannot make the directory" +
                          (error ? " (" + error.message() + ")" : std::string()));

    TOleDbEnvironment environment;
    try {
        checkProvidersRegistered(options.targets);
    } catch (const EUsage& usage) {
        return usageError(usage.what());
    }

    TComparison comparison;
    comparison.scenario = options.scenario;
    comparison.rounds = options.rounds;
    comparison.started = localTimeNow();
    {
        TProgressLine progress(stderr, options.quiet);
        TScenarioRunner runner(options, [&progress](const std::string& target, int round,
                                                    int rounds, const std::string& step) {
            progress.show(target, round, rounds, step);
        });
        comparison.steps = runner.steps();
        for (const TTarget& target : options.targets)
            comparison.targets.push_back(runner.run(target));
    }

    std::fputs(terminalTable(comparison).c_str(), stdout);
    std::fputs("\nConflict test (side 1; side 2):\n", stdout);
    for (const TTargetResult& target : comparison.targets)
        for (int type = 0; type < 2; ++type)
            std::printf("  %s, type %d: %s\n", target.name.c_str(), type,
                        describeConflictRuns(target.conflicts[type]).c_str());
    for (const TTargetResult& target : comparison.targets)
        for (const TFailure& failure : target.failures)
            std::fprintf(stderr, "FAILED %s, round %d, %s: %s\n", target.name.c_str(),
                         failure.round, failure.step.c_str(), failure.text.c_str());

    const std::filesystem::path& folder = options.outputDirectory;
    bool written = true;
    const std::string chartError = writeChart(
        chartDataOf(comparison), folder / "vantrel-compare.png", folder / "vantrel-compare.svg");
    if (!chartError.empty()) {
        std::fprintf(stderr, "vantrel-compare: %s\n", chartError.c_str());
        written = false;
    }
    written =
        writeFile(folder / "vantrel-compare.md",
                  markdownReport(comparison, chartError.empty() ? "vantrel-compare.svg" : "")) &&
        written;
    written = writeFile(folder / "vantrel-compare.csv", summaryCsv(comparison)) && written;
    written = writeFile(folder / "vantrel-compare-rounds.csv", roundsCsv(comparison)) && written;
    if (written)
        std::printf("\nReports in %s: vantrel-compare.md, .csv, -rounds.csv, .png, .svg\n",
                    folder.string().c_str());
    return comparison.anyFailure() || !written ? exitFailure : 0;
}
