#include "compare/ChartData.h"

#include "compare/Reports.h"

#include <algorithm>

TChartData chartDataOf(const TComparison& comparison) {
    TChartData chart;
    chart.title = "vantrel-compare: median duration per operation (" +
                  std::string(scenarioName(comparison.scenario)) + " scenario, " +
                  std::to_string(comparison.rounds) +
                  (comparison.rounds == 1 ? " round)" : " rounds)");
    for (const TTargetResult& target : comparison.targets)
        chart.series.push_back(target.name);
    for (std::size_t i = 0; i < comparison.steps.size(); ++i) {
        std::vector<std::optional<double>> row;
        std::vector<bool> failedRow;
        bool ran = false;
        for (const TTargetResult& target : comparison.targets) {
            const TStepStatistics statistics = statisticsOf(target.samples[i]);
            ran = ran || !target.samples[i].empty();
            row.push_back(statistics.succeeded > 0 ? std::optional<double>(statistics.median)
                                                   : std::nullopt);
            failedRow.push_back(statistics.succeeded == 0 && statistics.failed > 0);
        }
        if (!ran)
            continue;
        chart.groups.push_back(stepLabel(comparison.steps[i]));
        chart.values.push_back(row);
        chart.failed.push_back(failedRow);
    }
    return chart;
}

bool needsLogScale(const TChartData& chart) {
    double smallest = 0;
    double largest = 0;
    for (const auto& row : chart.values)
        for (const auto& value : row) {
            if (!value || *value <= 0)
                continue;
            smallest = smallest == 0 ? *value : std::min(smallest, *value);
            largest = std::max(largest, *value);
        }
    return smallest > 0 && largest / smallest > 100;
}
