#pragma once
// Reading the conflict test's progress list back: which side's change was accepted, and with
// which HRESULT and error description the provider refused the other.

#include "compare/Results.h"

#include <string>
#include <vector>

// The two sides' outcomes from the progress lines (Windows-1250) of one testConcurrentEdit.
std::array<TConflictSide, 2> conflictSidesOf(const std::vector<std::string>& progressLines);

// "accepted", "refused: 0x80040E38 DB_E_CONCURRENCYVIOLATION, <message>" or "not reached".
std::string describeSide(const TConflictSide& side);

// Both sides of a test type over all rounds: "1: accepted; 2: refused ...", or, when rounds
// disagree, each round's outcome after "round N: ". "not run" when no round got that far.
std::string describeConflictRuns(const std::vector<TConflictRun>& runs);

// The published name of an HRESULT the conflict test meets, or the empty text.
std::string resultName(std::uint32_t result);
