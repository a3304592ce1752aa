#include "compare/Reports.h"

#include "compare/ConflictOutcome.h"
#include "core/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Characters, not bytes: UTF-8 continuation bytes take no column.
std::size_t displayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        width += (c & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

std::string padded(const std::string& text, std::size_t width) {
    const std::size_t have = displayWidth(text);
    return have >= width ? text : text + std::string(width - have, ' ');
}

std::string markdownCell(const std::string& text) {
    std::string cell;
    for (char c : text) {
        if (c == '|')
            cell += "\\|";
        else if (c == '\n' || c == '\r')
            cell += ' ';
        else
            cell += c;
    }
    return cell;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string field = "\"";
    for (char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + "\"";
}

// Steps that ran on some target: a step that never ran anywhere (no leftovers to drop) would
// only fill the tables with dashes.
std::vector<std::size_t> reportedSteps(const TComparison& comparison) {
    std::vector<std::size_t> steps;
    for (std::size_t i = 0; i < comparison.steps.size(); ++i) {
        bool ran = false;
        for (const TTargetResult& target : comparison.targets)
            ran = ran || !target.samples[i].empty();
        if (ran || comparison.steps[i].kind != TStepKind::dropLeftovers)
            steps.push_back(i);
    }
    return steps;
}

} // namespace

bool TComparison::anyFailure() const {
    return std::any_of(targets.begin(), targets.end(),
                       [](const TTargetResult& target) { return !target.failures.empty(); });
}

TStepStatistics statisticsOf(const std::vector<TSample>& samples) {
    TStepStatistics statistics;
    std::vector<long long> values;
    for (const TSample& sample : samples) {
        if (sample.ok)
            values.push_back(sample.milliseconds);
        else
            ++statistics.failed;
    }
    statistics.succeeded = static_cast<int>(values.size());
    if (values.empty())
        return statistics;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    statistics.median = values.size() % 2 != 0
                            ? static_cast<double>(values[middle])
                            : (static_cast<double>(values[middle - 1]) + values[middle]) / 2.0;
    statistics.minimum = values.front();
    statistics.maximum = values.back();
    return statistics;
}

std::string formatMilliseconds(double milliseconds) {
    char text[32];
    if (std::floor(milliseconds) == milliseconds)
        std::snprintf(text, sizeof text, "%.0f", milliseconds);
    else
        std::snprintf(text, sizeof text, "%.1f", milliseconds);
    return text;
}

std::string statisticsCell(const TStepStatistics& statistics) {
    if (statistics.succeeded == 0)
        return statistics.failed == 0 ? "-" : "failed";
    std::string cell = formatMilliseconds(statistics.median);
    if (statistics.succeeded > 1)
        cell += " (" + std::to_string(statistics.minimum) + "–" +
                std::to_string(statistics.maximum) + ")";
    if (statistics.failed > 0)
        cell += " [" + std::to_string(statistics.failed) + " failed]";
    return cell;
}

std::string terminalTable(const TComparison& comparison) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"Operation, ms: median (min–max)"};
    for (const TTargetResult& target : comparison.targets)
        header.push_back(target.name);
    rows.push_back(header);
    for (std::size_t i : reportedSteps(comparison)) {
        std::vector<std::string> row{stepLabel(comparison.steps[i])};
        for (const TTargetResult& target : comparison.targets)
            row.push_back(statisticsCell(statisticsOf(target.samples[i])));
        rows.push_back(row);
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    std::string text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            line += (c == 0 ? "" : "  ") + padded(rows[r][c], widths[c]);
        text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
        if (r == 0) {
            std::size_t total = 0;
            for (std::size_t w : widths)
                total += w;
            text += std::string(total + 2 * (widths.size() - 1), '-') + "\n";
        }
    }
    return text;
}

std::string markdownReport(const TComparison& comparison, const std::string& chartFile) {
    std::string md = "# vantrel-compare\n\n";
    md += "Scenario " + std::string(scenarioName(comparison.scenario)) + ", " +
          std::to_string(comparison.rounds) + (comparison.rounds == 1 ? " round" : " rounds") +
          ", started " + comparison.started + ".\n\n";

    md += "## Targets\n\n| Target | Initialisation string | Rounds run |\n|---|---|---|\n";
    for (const TTargetResult& target : comparison.targets)
        md += "| " + markdownCell(target.name) + " | `" +
              markdownCell(target.maskedConnectionString) + "` | " +
              std::to_string(target.roundsRun) + " |\n";

    md += "\n## Durations\n\nMilliseconds from the operation log: median (minimum–maximum) over "
          "the rounds in which the operation succeeded. The screen reads are getDataForCell "
          "calls for every cell of each screen, timed as one operation.\n\n| Operation |";
    std::string rule = "|---|";
    for (const TTargetResult& target : comparison.targets) {
        md += " " + markdownCell(target.name) + " |";
        rule += "---:|";
    }
    md += "\n" + rule + "\n";
    for (std::size_t i : reportedSteps(comparison)) {
        md += "| " + markdownCell(stepLabel(comparison.steps[i])) + " |";
        for (const TTargetResult& target : comparison.targets)
            md += " " + markdownCell(statisticsCell(statisticsOf(target.samples[i]))) + " |";
        md += "\n";
    }

    md += "\n## Conflict test\n\nWhat the provider answered to the change through each side "
          "(1, then 2) of the concurrent-edit test.\n\n| Target | Type 0: the same row | "
          "Type 1: a row in a set |\n|---|---|---|\n";
    for (const TTargetResult& target : comparison.targets)
        md += "| " + markdownCell(target.name) + " | " +
              markdownCell(describeConflictRuns(target.conflicts[0])) + " | " +
              markdownCell(describeConflictRuns(target.conflicts[1])) + " |\n";

    md += "\n## Facts\n\nThe information page's nine lines, as the last successful round read "
          "them.\n\n| Fact |";
    rule = "|---|";
    for (const TTargetResult& target : comparison.targets) {
        md += " " + markdownCell(target.name) + " |";
        rule += "---|";
    }
    md += "\n" + rule + "\n";
    std::vector<std::string> captions;
    for (const TTargetResult& target : comparison.targets)
        for (const auto& fact : target.facts)
            if (std::find(captions.begin(), captions.end(), fact.first) == captions.end())
                captions.push_back(fact.first);
    for (const std::string& caption : captions) {
        md += "| " + markdownCell(caption) + " |";
        for (const TTargetResult& target : comparison.targets) {
            auto fact = std::find_if(target.facts.begin(), target.facts.end(),
                                     [&](const auto& f) { return f.first == caption; });
            md += " " + (fact != target.facts.end() ? markdownCell(fact->second) : "") + " |";
        }
        md += "\n";
    }

    md += "\n## Failures\n\n";
    if (!comparison.anyFailure())
        md += "None: every operation succeeded on every target.\n";
    for (const TTargetResult& target : comparison.targets)
        for (const TFailure& failure : target.failures)
            md += "- " + markdownCell(target.name) + ", round " + std::to_string(failure.round) +
                  ", " + markdownCell(failure.step) + ": " + markdownCell(failure.text) + "\n";

    if (!chartFile.empty())
        md += "\n## Chart\n\n![Median durations per operation and target](" + chartFile + ")\n";
    return md;
}

std::string summaryCsv(const TComparison& comparison) {
    std::string csv = "target,step,operation,detail,succeeded,failed,median_ms,min_ms,max_ms\n";
    for (const TTargetResult& target : comparison.targets) {
        for (std::size_t i = 0; i < comparison.steps.size(); ++i) {
            const TStep& step = comparison.steps[i];
            const TStepStatistics s = statisticsOf(target.samples[i]);
            csv += csvField(target.name) + "," + step.id + "," +
                   csvField(cp1250ToUtf8(step.operation)) + "," + csvField(step.detail) + "," +
                   std::to_string(s.succeeded) + "," + std::to_string(s.failed) + ",";
            if (s.succeeded > 0)
                csv += formatMilliseconds(s.median) + "," + std::to_string(s.minimum) + "," +
                       std::to_string(s.maximum);
            else
                csv += ",,";
            csv += "\n";
        }
    }
    return csv;
}

std::string roundsCsv(const TComparison& comparison) {
    std::string csv = "target,step,operation,detail,round,ok,milliseconds\n";
    for (const TTargetResult& target : comparison.targets)
        for (std::size_t i = 0; i < comparison.steps.size(); ++i)
            for (const TSample& sample : target.samples[i])
                csv += csvField(target.name) + "," + comparison.steps[i].id + "," +
                       csvField(cp1250ToUtf8(comparison.steps[i].operation)) + "," +
                       csvField(comparison.steps[i].detail) + "," + std::to_string(sample.round) +
                       "," + (sample.ok ? "1" : "0") + "," + std::to_string(sample.milliseconds) +
                       "\n";
    return csv;
}
