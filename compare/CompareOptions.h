#pragma once
// What vantrel-compare was asked to do: the targets (a name and an OLE DB initialisation string
// each), the scenario, the number of rounds and where the reports go. Parsed from the command
// line and, for --targets, from a small INI file. Bad input raises EUsage, which the program
// turns into its message and exit code 2.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// A usage error: the text says what was wrong, in one line, without the usage summary.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TScenarioKind { full, quick };

struct TTarget {
    std::string name;             // as given, UTF-8
    std::string connectionString; // as given, UTF-8 (password included)
};

struct TCompareOptions {
    std::vector<TTarget> targets;
    int rounds = 5;
    TScenarioKind scenario = TScenarioKind::full;
    bool fresh = false; // drop benchmark tables left in a data source before creating them
    bool quiet = false; // no progress line
    bool help = false;  // --help: print the usage and do nothing else
    std::filesystem::path outputDirectory = ".";
};

// Parses the arguments after the program name. Options take their value as the next argument
// or after '=' (--rounds=3). Targets from --target and --targets keep the order they were given
// in. Raises EUsage for an unknown option, a missing or bad value, a target without '=' or with
// an empty name or string, a duplicate name, no target at all (unless --help), and whatever
// readTargetsFile raises.
TCompareOptions parseArguments(const std::vector<std::string>& arguments);

// Reads targets from an INI file: one section per target, named after it, holding the key
// ConnectionString. Lines starting with ';' or '#' are comments. Raises EUsage for an unreadable
// file, a line that is neither a section, a key nor a comment, an unknown key, a key outside a
// section, a section without ConnectionString, a duplicate section and a file without targets;
// the message names the file and the line.
std::vector<TTarget> readTargetsFile(const std::filesystem::path& file);

// The usage summary printed by --help and after a usage error.
std::string usageText();

const char* scenarioName(TScenarioKind scenario);
