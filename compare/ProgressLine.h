#pragma once
// The progress line on the terminal during a run: target, round and step, rewritten in place
// on a terminal; on a pipe or file only one line per round, so logs stay readable.

#include <cstdio>
#include <string>

class TProgressLine {
public:
    // Writes to `stream` unless quiet.
    TProgressLine(std::FILE* stream, bool quiet);
    ~TProgressLine();
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    void show(const std::string& target, int round, int rounds, const std::string& step);
    // Clears the line, so that what follows starts at the left margin.
    void finish();

private:
    std::FILE* stream;
    bool quiet;
    bool terminal;
    bool shown = false;
    std::string lastRound;
};
