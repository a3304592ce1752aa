#pragma once
// Runs the vantrel-compare program as a user would, in a directory of the test's own, and
// keeps its exit code and output; and the temporary directory such a run works in.

#include <filesystem>
#include <string>
#include <vector>

struct TProgramRun {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs the program with these arguments in `directory`; no shell is involved, so arguments
// need no quoting. Gives up (and fails the run) after timeoutSeconds.
TProgramRun runCompare(const std::vector<std::string>& arguments,
                       const std::filesystem::path& directory, int timeoutSeconds = 300);

// A fresh directory under the system's temporary directory, removed with the object.
class TTemporaryDirectory {
public:
    TTemporaryDirectory();
    ~TTemporaryDirectory();
    TTemporaryDirectory(const TTemporaryDirectory&) = delete;
    TTemporaryDirectory& operator=(const TTemporaryDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string readWholeFile(const std::filesystem::path& file);
