#pragma once
// Runs the scenario on one target for the asked number of rounds, a fresh communicator each
// round as the window makes one per connection, and collects what each step logged, the boxes
// it showed, the conflict test's answers and the facts. A failed step ends its round: the
// tables the round created are dropped again and the connection closed, and the next round
// starts afresh. A target that cannot connect is not tried again.

#include "compare/BoxCollector.h"
#include "compare/CompareOptions.h"
#include "compare/Results.h"

#include <functional>
#include <string>

// Called before every step: target name, round (1-based), rounds, the step's label.
using TProgressFunction = std::function<void(const std::string&, int, int, const std::string&)>;

class TScenarioRunner {
public:
    // The OLE DB environment must be set up for as long as the runner runs.
    TScenarioRunner(const TCompareOptions& options, TProgressFunction progress);

    TTargetResult run(const TTarget& target);
    const std::vector<TStep>& steps() const { return steps_; }

private:
    class TRound;

    const TCompareOptions& options_;
    TProgressFunction progress_;
    std::vector<TStep> steps_;
    TBoxCollector boxes_;
};

// Checks that the provider each target names is registered (its ProgID resolves); raises
// EUsage naming the target and the provider otherwise. Needs the OLE DB environment.
void checkProvidersRegistered(const std::vector<TTarget>& targets);
