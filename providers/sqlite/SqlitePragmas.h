// The Extended Properties initialisation property: pragmas applied right after opening, in
// the form "journal_mode=WAL;synchronous=NORMAL".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::sqlite {

// The PRAGMA statements that settings asks for, in its order. Each item is `name` or
// `name=value` separated by ';'; a name is an identifier, a value a word, a number or a
// single-quoted string. Anything else (in particular anything that could smuggle a second
// statement in) throws BackendError (CantOpen) naming the offending item.
std::vector<std::string> pragmaStatements(std::string_view settings);

} // namespace vantrel::sqlite
