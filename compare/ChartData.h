#pragma once
// The chart's content, apart from drawing it: one group of bars per operation, one bar per
// target, each bar a median in milliseconds.

#include "compare/Results.h"

#include <optional>
#include <string>
#include <vector>

struct TChartData {
    std::string title;
    std::vector<std::string> groups; // step labels
    std::vector<std::string> series; // target names
    // values[group][series]: the median, or nothing when no round succeeded; failed[group]
    // [series] tells a step that failed in every round from one that never ran.
    std::vector<std::vector<std::optional<double>>> values;
    std::vector<std::vector<bool>> failed;
};

// The medians of every reported step on every target.
TChartData chartDataOf(const TComparison& comparison);

// A logarithmic axis when the largest median is more than a hundred times the smallest
// positive one: the quick operations would otherwise be invisible next to the loads.
bool needsLogScale(const TChartData& chart);
