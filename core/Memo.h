#pragma once
// A list of text lines the core writes to: the operation log, the information page, the
// conflict test's progress. The user interface implements it over its widgets, tests over a
// vector.

#include <string>

class TMemo {
public:
    virtual ~TMemo() = default;
    // Appends one line (Windows-1250, without a newline).
    virtual void addLine(const std::string& line) = 0;
    virtual void clear() = 0;
};
