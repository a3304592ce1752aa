// The one statement this provider understands:
//
//     SELECT * FROM table
//     SELECT column [, column]... FROM table
//
// keywords in any case, an optional ';' at the end. A name is a plain identifier (letters,
// digits, '_', not starting with a digit) or one in double quotes ("unit price", with "" for a
// quote inside), so any column of a header line can be named.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace csvprovider {

struct CsvQuery {
    std::vector<std::string> columns; // empty for '*'
    std::string table;
};

// Throws kit::BackendError (Syntax) saying what it expected and where.
CsvQuery parseQuery(std::string_view sql);

} // namespace csvprovider
