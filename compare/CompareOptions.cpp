#include "compare/CompareOptions.h"

#include "compare/InitStringMask.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <set>

namespace {

std::string trimmed(const std::string& text) {
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    auto first = std::find_if(text.begin(), text.end(), notSpace);
    auto last = std::find_if(text.rbegin(), text.rend(), notSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A target's name ends up in report headings, file columns and the chart's legend: printable
// characters without the separators of those formats.
void checkTargetName(const std::string& name, const std::string& where) {
    if (name.empty())
        throw EUsage(where + ": the target has no name");
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || c == '=' || c == '[' || c == ']' || c == '|' || c == ',' ||
            c == '"')
            throw EUsage(where + ": the target name '" + name +
                         "' may not contain control characters or = [ ] | , \"");
    }
}

void checkConnectionString(const TTarget& target, const std::string& where) {
    if (trimmed(target.connectionString).empty())
        throw EUsage(where + ": target '" + target.name +
                     "' has an empty initialisation string (the connection dialog cannot be "
                     "shown here)");
    if (providerOf(target.connectionString).empty())
        throw EUsage(where + ": target '" + target.name +
                     "' names no provider (Provider=...) in its initialisation string");
}

TTarget targetFromArgument(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        throw EUsage("--target '" + maskPasswords(text) + "': expected NAME=STRING");
    TTarget target{trimmed(text.substr(0, equals)), text.substr(equals + 1)};
    checkTargetName(target.name, "--target");
    checkConnectionString(target, "--target");
    return target;
}

int roundsFromArgument(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || next != end || value < 1 || value > 1000)
        throw EUsage("--rounds '" + text + "': expected a whole number from 1 to 1000");
    return value;
}

TScenarioKind scenarioFromArgument(const std::string& text) {
    if (text == "full")
        return TScenarioKind::full;
    if (text == "quick")
        return TScenarioKind::quick;
    throw EUsage("--scenario '" + text + "': expected full or quick");
}

} // namespace

const char* scenarioName(TScenarioKind scenario) {
    return scenario == TScenarioKind::quick ? "quick" : "full";
}

std::string usageText() {
    return "usage: vantrel-compare [options] --target NAME=STRING [--target ...]\n"
           "       vantrel-compare [options] --targets FILE\n"
           "Runs the bench's scenario through TOLEDBCommunicator on every target, round by\n"
           "round, and reports the operations' median, minimum and maximum durations side by\n"
           "side, the conflict test's outcome and the provider facts.\n"
           "\n"
           "  --target NAME=STRING  a target: a name and an OLE DB initialisation string\n"
           "                        (repeatable)\n"
           "  --targets FILE        targets from an INI file: a section per target holding\n"
           "                        ConnectionString=...\n"
           "  --rounds N            rounds per target (default 5)\n"
           "  --scenario full|quick full (default) loads the 100,000 accounts twice per round,\n"
           "                        quick once\n"
           "  --fresh               drop benchmark tables left in a data source first\n"
           "  --output DIR          where the reports go (default: the current directory)\n"
           "  --quiet               no progress line\n"
           "  --help                this text\n"
           "\n"
           "Writes vantrel-compare.md, vantrel-compare.csv, vantrel-compare-rounds.csv,\n"
           "vantrel-compare.png and vantrel-compare.svg. Exit code 0 when every operation\n"
           "succeeded, 1 when one failed on some target, 2 for bad arguments.\n";
}

std::vector<TTarget> readTargetsFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in)
        throw EUsage("--targets '" + file.string() + "': cannot read the file");
    std::vector<TTarget> targets;
    std::vector<bool> hasString;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string where = file.string() + ":" + std::to_string(number);
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            continue;
        if (text.front() == '[') {
            if (text.back() != ']')
                throw EUsage(where + ": a section line must end with ']'");
            TTarget target{trimmed(text.substr(1, text.size() - 2)), std::string()};
            checkTargetName(target.name, where);
            targets.push_back(target);
            hasString.push_back(false);
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos)
            throw EUsage(where + ": expected [NAME] or ConnectionString=STRING");
        const std::string key = trimmed(text.substr(0, equals));
        if (!equalsIgnoringCase(key, "ConnectionString"))
            throw EUsage(where + ": unknown key '" + key + "' (only ConnectionString is known)");
        if (targets.empty())
            throw EUsage(where + ": ConnectionString before the first [NAME] section");
        if (hasString.back())
            throw EUsage(where + ": target '" + targets.back().name +
                         "' has a second ConnectionString");
        targets.back().connectionString = trimmed(text.substr(equals + 1));
        hasString.back() = true;
    }
    if (in.bad())
        throw EUsage("--targets '" + file.string() + "': reading the file failed");
    if (targets.empty())
        throw EUsage("--targets '" + file.string() + "': the file names no target");
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (!hasString[i])
            throw EUsage(file.string() + ": target '" + targets[i].name +
                         "' has no ConnectionString");
        checkConnectionString(targets[i], file.string());
    }
    return targets;
}

TCompareOptions parseArguments(const std::vector<std::string>& arguments) {
    TCompareOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool hasValue = false;
        if (option.rfind("--", 0) == 0) {
            const auto equals = option.find('=');
            if (equals != std::string::npos) {
                value = option.substr(equals + 1);
                option.resize(equals);
                hasValue = true;
            }
        }
        // The option's value: after '=' or the next argument.
        const auto takeValue = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= arguments.size())
                throw EUsage(option + ": a value is missing");
            return arguments[++i];
        };
        const auto noValue = [&] {
            if (hasValue)
                throw EUsage(option + " takes no value");
        };
        if (option == "--target") {
            options.targets.push_back(targetFromArgument(takeValue()));
        } else if (option == "--targets") {
            for (TTarget& target : readTargetsFile(takeValue()))
                options.targets.push_back(std::move(target));
        } else if (option == "--rounds") {
            options.rounds = roundsFromArgument(takeValue());
        } else if (option == "--scenario") {
            options.scenario = scenarioFromArgument(takeValue());
        } else if (option == "--output") {
            options.outputDirectory = takeValue();
            if (options.outputDirectory.empty())
                throw EUsage("--output: the directory name is empty");
        } else if (option == "--fresh") {
            noValue();
            options.fresh = true;
        } else if (option == "--quiet") {
            noValue();
            options.quiet = true;
        } else if (option == "--help" || option == "-h") {
            noValue();
            options.help = true;
        } else {
            throw EUsage("unknown option '" + maskPasswords(option) + "'");
        }
    }
    if (options.help)
        return options;
    if (options.targets.empty())
        throw EUsage("no target: give --target NAME=STRING or --targets FILE");
    std::set<std::string> names;
    for (const TTarget& target : options.targets) {
        if (!names.insert(target.name).second)
            throw EUsage("target name '" + target.name + "' is given twice");
    }
    return options;
}
