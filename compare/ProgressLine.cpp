#include "compare/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The terminal's width in characters; 80 when it cannot be told.
std::size_t terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// The text cut to at most `columns` characters (UTF-8 sequences kept whole).
std::string cutToColumns(const std::string& text, std::size_t columns) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (++characters > columns)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

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
        // Erase the line, write the new one, keep the cursor on it. A line longer than the
        // terminal would wrap, and the next erase would leave its first part behind.
        const std::string line = cutToColumns(where + ": " + step, terminalColumns(stream) - 1);
        std::fprintf(stream, "\r\033[K%s", line.c_str());
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
