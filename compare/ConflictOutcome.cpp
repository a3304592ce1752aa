#include "compare/ConflictOutcome.h"

#include "core/Text.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The dump of a refused change: "\nErrorInfo:  HResult: 0x%08x, Description: %S\nSource: %S\n"
// or "\nNo Error Info posted; HResult: 0x%08x\n".
void readDump(const std::string& dump, TConflictSide& side) {
    const std::string resultKey = "HResult: 0x";
    const auto at = dump.find(resultKey);
    if (at != std::string::npos)
        side.result = static_cast<std::uint32_t>(
            std::strtoul(dump.substr(at + resultKey.size(), 8).c_str(), nullptr, 16));
    const std::string descriptionKey = "Description: ";
    const auto description = dump.find(descriptionKey);
    if (description != std::string::npos) {
        const auto begin = description + descriptionKey.size();
        const auto source = dump.rfind("\nSource: ");
        const auto end = source != std::string::npos && source >= begin ? source : dump.size();
        side.message = dump.substr(begin, end - begin);
    }
}

} // namespace

std::array<TConflictSide, 2> conflictSidesOf(const std::vector<std::string>& progressLines) {
    std::array<TConflictSide, 2> sides;
    for (const std::string& raw : progressLines) {
        const std::string line = cp1250ToUtf8(raw);
        for (int side = 0; side < 2; ++side) {
            const std::string prefix = std::to_string(side + 1) + ": ";
            const std::string refused = prefix + "Při změně řádku došlo k chybě -";
            if (line == prefix + "Řádek změněn") {
                sides[side].outcome = TConflictSide::Outcome::accepted;
            } else if (startsWith(line, refused)) {
                sides[side].outcome = TConflictSide::Outcome::refused;
                readDump(line.substr(refused.size()), sides[side]);
            }
        }
    }
    return sides;
}

std::string resultName(std::uint32_t result) {
    switch (result) {
    case 0x80040E38u:
        return "DB_E_CONCURRENCYVIOLATION";
    case 0x80040E92u:
        return "DB_E_RESOURCELOCKED";
    case 0x80040E2Fu:
        return "DB_E_INTEGRITYVIOLATION";
    case 0x80040E21u:
        return "DB_E_ERRORSOCCURRED";
    case 0x80040E23u:
        return "DB_E_DELETEDROW";
    case 0x80040E07u:
        return "DB_E_CANTCONVERTVALUE";
    case 0x80004005u:
        return "E_FAIL";
    default:
        return std::string();
    }
}

std::string describeSide(const TConflictSide& side) {
    switch (side.outcome) {
    case TConflictSide::Outcome::accepted:
        return "accepted";
    case TConflictSide::Outcome::notReached:
        return "not reached";
    case TConflictSide::Outcome::refused:
        break;
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(side.result));
    std::string text = std::string("refused: ") + code;
    const std::string name = resultName(side.result);
    if (!name.empty())
        text += " " + name;
    if (!side.message.empty())
        text += ", " + side.message;
    return text;
}

std::string describeConflictRuns(const std::vector<TConflictRun>& runs) {
    const auto describeRun = [](const TConflictRun& run) {
        std::string text =
            "1: " + describeSide(run.sides[0]) + "; 2: " + describeSide(run.sides[1]);
        if (!run.completed)
            text += " (the test did not run to its end)";
        return text;
    };
    if (runs.empty())
        return "not run";
    const std::string first = describeRun(runs.front());
    bool allSame = true;
    for (const TConflictRun& run : runs)
        allSame = allSame && describeRun(run) == first;
    if (allSame)
        return first;
    std::string text;
    for (const TConflictRun& run : runs) {
        if (!text.empty())
            text += " | ";
        text += "round " + std::to_string(run.round) + ": " + describeRun(run);
    }
    return text;
}
