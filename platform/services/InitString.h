// OLE DB initialisation strings ("Provider=...;Data Source=..."): a parser and a writer that
// know the syntax only, nothing of providers or properties.
//
// Syntax accepted by parseInitString:
//   string  := segment { ';' segment }
//   segment := blanks | keyword '=' value
//   keyword := any characters but ';' and a single '='; "==" stands for one '=' in the keyword
//   value   := unquoted text up to the next ';'  |  quote { char | quote quote } quote blanks
// Blanks (space, tab, CR, LF) around keywords and values are dropped; blanks inside them stay.
// A quote is ' or "; inside a value quoted with it, the same quote doubled stands for one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::services {

// One keyword=value pair as written, with the offsets (in UTF-16 units) where it began.
struct InitStringPair {
    std::u16string keyword;
    std::u16string value;
    std::size_t keywordOffset = 0;
    std::size_t valueOffset = 0;
};

enum class InitStringErrorKind {
    missingEquals,     // a segment with a keyword but no '='
    emptyKeyword,      // "=value" with nothing before the '='
    unterminatedQuote, // a quoted value whose closing quote never comes
    textAfterQuote,    // something other than blanks between a closing quote and ';'
};

struct InitStringError {
    InitStringErrorKind kind;
    std::size_t offset;     // where the offending segment or quote starts
    std::u16string keyword; // the keyword concerned, when one was read
};

struct InitStringParse {
    std::vector<InitStringPair> pairs; // in the order written, duplicates kept
    std::optional<InitStringError> error;
};

// Splits text into its pairs. Never throws for any input (apart from std::bad_alloc); on a
// syntax error, `error` is set and `pairs` holds the pairs read before it.
InitStringParse parseInitString(std::u16string_view text);

// Returns the value written so that parseInitString reads it back unchanged: bare when that is
// safe, otherwise quoted with " (or ' when the value holds a " but no '), doubling the quote.
std::u16string quoteInitValue(std::u16string_view value);

// Returns the keyword with each '=' doubled, or nothing when no string can carry it (empty,
// holding ';', or with blanks at either end).
std::optional<std::u16string> escapeInitKeyword(std::u16string_view keyword);

// Joins pairs into "k1=v1;k2=v2". Returns nothing when a keyword cannot be written.
std::optional<std::u16string>
formatInitString(const std::vector<std::pair<std::u16string, std::u16string>>& pairs);

// Case-insensitive comparison of keywords (ASCII letters fold; other characters compare as is).
bool sameInitKeyword(std::u16string_view a, std::u16string_view b);

// A short English description of an error, naming the offset and keyword, for error objects.
std::u16string describeInitStringError(const InitStringError& error);

} // namespace vantrel::services
