#pragma once
// What vantrel-compare found on each target: every step's duration per round, the conflict
// test's answers, the provider's facts and the failures, all text in UTF-8 with passwords
// masked.

#include "compare/CompareOptions.h"
#include "compare/Scenario.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TSample {
    int round = 0; // 1-based
    long long milliseconds = 0;
    bool ok = false; // a failed operation's duration is kept but left out of the statistics
};

// One side's change in the conflict test.
struct TConflictSide {
    enum class Outcome { notReached, accepted, refused };
    Outcome outcome = Outcome::notReached;
    std::uint32_t result = 0; // the refusal's HRESULT
    std::string message;      // the refusal's error description
};

struct TConflictRun {
    int round = 0;
    bool completed = false; // the test ran to its end (refused changes included)
    std::array<TConflictSide, 2> sides;
};

struct TFailure {
    int round = 0;
    std::string step; // stepLabel of the step
    std::string text;
};

struct TTargetResult {
    std::string name;
    std::string maskedConnectionString;
    std::vector<std::vector<TSample>> samples; // per step of the scenario, per round it ran
    std::array<std::vector<TConflictRun>, 2> conflicts;     // per test type, per round
    std::vector<std::pair<std::string, std::string>> facts; // caption, value
    std::vector<TFailure> failures;
    int roundsRun = 0;
};

struct TComparison {
    TScenarioKind scenario = TScenarioKind::full;
    int rounds = 0;
    std::string started; // local time, "YYYY-MM-DD hh:mm:ss"
    std::vector<TStep> steps;
    std::vector<TTargetResult> targets;

    bool anyFailure() const;
};
