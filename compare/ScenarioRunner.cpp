#include "compare/ScenarioRunner.h"

#include "compare/CompareCommunicator.h"
#include "compare/ConflictOutcome.h"
#include "compare/InitStringMask.h"
#include "compare/LogLine.h"
#include "core/CommunicatorOwner.h"
#include "core/Memo.h"
#include "core/Text.h"

#include <memory>

namespace {

class TLinesMemo : public TMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

// The communicator's owner: there is no window, and no dialog is ever shown (every target has
// an initialisation string).
class TNoWindow : public TCommunicatorOwner {
public:
    void* nativeWindowHandle() override { return nullptr; }
};

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    }
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

// One round on one target.
class TScenarioRunner::TRound {
public:
    TRound(TScenarioRunner& runner, const TTarget& target, TTargetResult& result, int round)
        : runner(runner), target(target), result(result), round(round),
          secrets(passwordsOf(target.connectionString)) {}

    // Runs the steps in order; false when the target could not be connected.
    bool run() {
        communicator = std::make_unique<TCompareCommunicator>(
            &window, &log, utf8ToCp1250(target.connectionString), 0);
        for (std::size_t i = 0; i < runner.steps_.size(); ++i) {
            if (!runStep(i)) {
                const bool connectFailed = runner.steps_[i].kind == TStepKind::connect;
                cleanUp();
                return !connectFailed;
            }
        }
        return true;
    }

private:
    // Runs step i and records its sample; false when it failed.
    bool runStep(std::size_t i) {
        const TStep& step = runner.steps_[i];
        if (runner.progress_)
            runner.progress_(target.name, round, runner.options_.rounds, stepLabel(step));
        log.lines.clear();
        runner.boxes_.take();
        std::string problem;
        bool ok = false;
        bool skipped = false;
        try {
            ok = perform(step, skipped, problem);
        } catch (const EResultException&) {
            ok = false; // its box says what failed
        } catch (const Exception& error) {
            problem = cp1250ToUtf8(error.message());
        } catch (const std::exception& error) {
            problem = error.what();
        }
        if (skipped)
            return ok;

        TSample sample{round, 0, ok};
        if (log.lines.size() == 1) {
            const auto entry = parseLogLine(log.lines.front());
            if (entry && entry->operation == step.operation) {
                sample.milliseconds = entry->milliseconds;
            } else {
                sample.ok = false;
                problem += (problem.empty() ? "" : "; ") +
                           std::string("unexpected operation-log line '") +
                           cp1250ToUtf8(log.lines.front()) + "'";
            }
        } else {
            sample.ok = false;
            if (ok || !log.lines.empty())
                problem += (problem.empty() ? "" : "; ") + std::string("the operation log got ") +
                           std::to_string(log.lines.size()) + " lines instead of one";
        }
        // A box is the OLE DB layer's report of a failure, even where the operation goes on
        // (a cell that could not be read).
        for (const std::string& box : runner.boxes_.take()) {
            sample.ok = false;
            problem += (problem.empty() ? "" : "; ") + oneLine(box);
        }
        if (log.lines.size() == 1)
            result.samples[i].push_back(sample);
        if (sample.ok)
            return true;
        if (problem.empty())
            problem = "the operation reported failure without a message";
        result.failures.push_back({round, stepLabel(step), redactSecrets(problem, secrets)});
        return false;
    }

    // The step's work; problem gets a text for failures that show no box. skipped: nothing was
    // done (no leftover tables to drop).
    bool perform(const TStep& step, bool& skipped, std::string& problem) {
        TCompareCommunicator& c = *communicator;
        switch (step.kind) {
        case TStepKind::connect:
            return c.connect();
        case TStepKind::dropLeftovers:
            if (!c.tablesExist()) {
                skipped = true;
                return true;
            }
            if (!runner.options_.fresh) {
                skipped = true;
                result.failures.push_back(
                    {round, stepLabel(step),
                     "the benchmark tables already exist in this data source; --fresh drops "
                     "them first"});
                return false;
            }
            tablesCreated = true;
            return c.dropTables();
        case TStepKind::createTables:
            tablesCreated = true;
            return c.createTables();
        case TStepKind::generateData:
        case TStepKind::generateAgain:
            return c.generateData();
        case TStepKind::prepareAccounts: {
            int columns = 0;
            int rows = 0;
            const bool prepared = c.prepareTableForBrowsing(tiAccounts, columns, rows);
            preparedColumns = columns;
            if (prepared && c.preparedRows() < screenRows) {
                problem = "accounts holds " + std::to_string(c.preparedRows()) + " rows";
                return false;
            }
            return prepared;
        }
        case TStepKind::pageForward:
        case TStepKind::pageBackward:
        case TStepKind::pageRandom:
            c.readScreens(screensOf(step.kind, c.preparedRows()), screenRows, preparedColumns);
            if (step.kind == TStepKind::pageRandom)
                c.unprepareTableForBrowsing(tiAccounts);
            return true;
        case TStepKind::conflictSameRow:
        case TStepKind::conflictRowInSet: {
            const int type = step.kind == TStepKind::conflictSameRow ? 0 : 1;
            TLinesMemo progress;
            TConflictRun run;
            run.round = round;
            run.completed = c.testConcurrentEdit(static_cast<std::uint8_t>(type), &progress);
            run.sides = conflictSidesOf(progress.lines);
            for (TConflictSide& side : run.sides)
                side.message = redactSecrets(oneLine(side.message), secrets);
            result.conflicts[type].push_back(run);
            return run.completed;
        }
        case TStepKind::getInfo: {
            TLinesMemo info;
            const bool done = c.getInfo(&info);
            result.facts.clear();
            for (const std::string& raw : info.lines) {
                const std::string line = cp1250ToUtf8(raw);
                const auto colon = line.find(": ");
                if (colon == std::string::npos)
                    result.facts.emplace_back(line, std::string());
                else
                    result.facts.emplace_back(line.substr(0, colon),
                                              redactSecrets(line.substr(colon + 2), secrets));
            }
            return done;
        }
        case TStepKind::clearData:
        case TStepKind::clearAgain:
            return c.clearData();
        case TStepKind::dropTables:
            tablesCreated = false;
            return c.dropTables();
        case TStepKind::disconnect:
            c.disconnect();
            return !c.isConnected();
        }
        return false;
    }

    // After a failed step: the tables this round made go again and the connection closes, so
    // that the next round starts as this one did. What fails here was reported already.
    void cleanUp() {
        try {
            if (communicator->isConnected()) {
                if (tablesCreated && communicator->tablesExist())
                    communicator->dropTables();
                communicator->disconnect();
            }
        } catch (...) {
            // The connection is beyond repair; the communicator's destructor releases it.
        }
        communicator.reset();
        runner.boxes_.take();
    }

    TScenarioRunner& runner;
    const TTarget& target;
    TTargetResult& result;
    int round;
    std::vector<std::string> secrets;
    TNoWindow window;
    TLinesMemo log;
    std::unique_ptr<TCompareCommunicator> communicator;
    bool tablesCreated = false;
    int preparedColumns = 0;
};

TScenarioRunner::TScenarioRunner(const TCompareOptions& options, TProgressFunction progress)
    : options_(options), progress_(std::move(progress)), steps_(scenarioSteps(options.scenario)) {}

TTargetResult TScenarioRunner::run(const TTarget& target) {
    TTargetResult result;
    result.name = target.name;
    result.maskedConnectionString = maskPasswords(target.connectionString);
    result.samples.resize(steps_.size());
    for (int round = 1; round <= options_.rounds; ++round) {
        result.roundsRun = round;
        TRound work(*this, target, result, round);
        if (!work.run()) {
            if (round < options_.rounds)
                result.failures.push_back({round, stepLabel(steps_.front()),
                                           "no connection: the remaining rounds were skipped"});
            break;
        }
    }
    return result;
}

void checkProvidersRegistered(const std::vector<TTarget>& targets) {
    for (const TTarget& target : targets) {
        const std::string provider = providerOf(target.connectionString);
        const std::u16string progId = cp1250ToUtf16(utf8ToCp1250(provider));
        CLSID clsid{};
        if (CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.c_str()), &clsid) < 0)
            throw EUsage("target '" + target.name + "': the provider '" + provider +
                         "' is not registered");
    }
}
