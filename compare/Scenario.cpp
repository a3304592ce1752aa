#include "compare/Scenario.h"

#include "core/Messages.h"
#include "core/Text.h"

#include <algorithm>
#include <random>

std::vector<TStep> scenarioSteps(TScenarioKind scenario) {
    const std::string forward = "accounts, " + std::to_string(forwardScreens) + " screens forwards";
    const std::string backward =
        "accounts, the same " + std::to_string(forwardScreens) + " screens backwards";
    const std::string random = "accounts, " + std::to_string(randomScreens) + " random screens";
    const bool full = scenario == TScenarioKind::full;
    std::vector<TStep> steps = {
        {TStepKind::connect, "connect", opConnect(), ""},
        {TStepKind::dropLeftovers, "drop-leftovers", opDropTables(), "leftover tables, --fresh"},
        {TStepKind::createTables, "create", opCreateTables(), ""},
        {TStepKind::generateData, "fill", opGenerateData(), full ? "first load" : ""},
        {TStepKind::prepareAccounts, "prepare", opPrepareTableForBrowsing(), "accounts"},
        {TStepKind::pageForward, "page-forward", opGetDataForCell(), forward},
        {TStepKind::pageBackward, "page-backward", opGetDataForCell(), backward},
        {TStepKind::pageRandom, "page-random", opGetDataForCell(), random},
        {TStepKind::conflictSameRow, "conflict-0", opTestConcurrentEdit(), "type 0, the same row"},
        {TStepKind::conflictRowInSet, "conflict-1", opTestConcurrentEdit(),
         "type 1, a row in a set"},
        {TStepKind::getInfo, "info", opGetInfo(), ""},
        {TStepKind::clearData, "clear", opClearData(), full ? "after the first load" : ""},
    };
    if (full) {
        steps.push_back({TStepKind::generateAgain, "refill", opGenerateData(),
                         "second load, into emptied tables"});
        steps.push_back(
            {TStepKind::clearAgain, "clear-again", opClearData(), "after the second load"});
    }
    steps.push_back({TStepKind::dropTables, "drop", opDropTables(), ""});
    steps.push_back({TStepKind::disconnect, "disconnect", opDisconnect(), ""});
    return steps;
}

std::string stepLabel(const TStep& step) {
    std::string label = cp1250ToUtf8(step.operation);
    if (!step.detail.empty())
        label += " (" + step.detail + ")";
    return label;
}

std::vector<int> screensOf(TStepKind kind, int rows) {
    std::vector<int> firstRows;
    if (rows < 1)
        return firstRows;
    if (kind == TStepKind::pageForward || kind == TStepKind::pageBackward) {
        for (int first = 1; first <= rows && firstRows.size() < forwardScreens; first += screenRows)
            firstRows.push_back(first);
        if (kind == TStepKind::pageBackward)
            std::reverse(firstRows.begin(), firstRows.end());
    } else if (kind == TStepKind::pageRandom) {
        std::mt19937 generator(20261208);
        std::uniform_int_distribution<int> position(1, std::max(1, rows - screenRows + 1));
        for (int i = 0; i < randomScreens; ++i)
            firstRows.push_back(position(generator));
    }
    return firstRows;
}
