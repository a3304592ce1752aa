#pragma once
// The work vantrel-compare does on a target in one round, step by step, in the order the
// window's user would do it: connect, drop leftovers (with --fresh), create, fill, browse
// accounts as the grid does, both conflict tests, information, clear (in the full scenario fill
// and clear once more), drop, disconnect. Every step is one communicator operation and is
// reported under the name the operation log gives it.

#include "compare/CompareOptions.h"

#include <string>
#include <vector>

enum class TStepKind {
    connect,
    dropLeftovers,
    createTables,
    generateData,
    prepareAccounts,
    pageForward,
    pageBackward,
    pageRandom,
    conflictSameRow,
    conflictRowInSet,
    getInfo,
    clearData,
    generateAgain,
    clearAgain,
    dropTables,
    disconnect,
};

struct TStep {
    TStepKind kind;
    std::string id;        // stable, for the CSV files: "fill", "page-forward", ...
    std::string operation; // the operation log's name (Windows-1250)
    std::string detail;    // what sets the step apart from others of its operation (UTF-8)
};

std::vector<TStep> scenarioSteps(TScenarioKind scenario);

// The operation name in UTF-8, followed by the detail in parentheses when there is one.
std::string stepLabel(const TStep& step);

// The screens the browsing steps read: the grid shows screenRows data rows under its header
// row, every column of the table plus the row-number column.
inline constexpr int screenRows = 20;
inline constexpr int forwardScreens = 250;
inline constexpr int randomScreens = 100;

// 1-based first data rows of the screens a browsing step reads from a table of `rows` data
// rows: forwards from the top, the same screens backwards, or screens at positions drawn from a
// fixed seed, so every target reads the same ones. Empty for other steps.
std::vector<int> screensOf(TStepKind kind, int rows);
