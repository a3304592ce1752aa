#include "compare/ProgressLine.h"

#include <unistd.h>

TProgressLine::TProgressLine(std::FILE* stream, bool quiet)
    : stream(stream), quiet(quiet), terminal(isatty(fileno(stream)) != 0) {}

TProgressLine::~TProgressLine() {
    finish();
}

void TProgressLine::show(const std::string& target, int round, int rounds,
                         const std::string& step) {
    if (quiet)
        return;
    const std::string where =
        target + ", round " + std::to_string(round) + "/" + std::to_string(rounds);
    if (terminal) {
        // Erase the line, write the new one, keep the cursor on it.
        std::fprintf(stream, "\r\033[K%s: %s", where.c_str(), step.c_str());
        shown = true;
    } else if (where != lastRound) {
        std::fprintf(stream, "%s\n", where.c_str());
        lastRound = where;
    }
    std::fflush(stream);
}

void TProgressLine::finish() {
    if (shown && terminal) {
        std::fputs("\r\033[K", stream);
        std::fflush(stream);
    }
    shown = false;
}
