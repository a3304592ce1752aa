#pragma once
// The reports of a comparison: the statistics of each step on each target, and the texts of
// the terminal table, the Markdown report and the two CSV files. Everything is UTF-8; durations
// are milliseconds as the operation log measured them.

#include "compare/Results.h"

#include <optional>
#include <string>
#include <vector>

struct TStepStatistics {
    int succeeded = 0; // rounds whose step succeeded; only these count below
    int failed = 0;
    double median = 0;
    long long minimum = 0;
    long long maximum = 0;
};

TStepStatistics statisticsOf(const std::vector<TSample>& samples);

// "12" or "12.5" (the median of an even count can fall between two milliseconds).
std::string formatMilliseconds(double milliseconds);

// A statistics cell: "median (min–max)", "median" for one round, "failed" when no round
// succeeded, "-" when the step never ran.
std::string statisticsCell(const TStepStatistics& statistics);

// The median table for the terminal, columns aligned by characters.
std::string terminalTable(const TComparison& comparison);

// The whole report: settings, targets (passwords masked), median table, conflict outcomes,
// facts side by side, failures, and the chart when chartFile is not empty.
std::string markdownReport(const TComparison& comparison, const std::string& chartFile);

// One line per target and step: target,step,operation,detail,succeeded,failed,median_ms,
// min_ms,max_ms (empty figures when no round succeeded).
std::string summaryCsv(const TComparison& comparison);

// One line per target, step and round: target,step,operation,detail,round,ok,milliseconds.
std::string roundsCsv(const TComparison& comparison);
