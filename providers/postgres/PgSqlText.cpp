#include "PgSqlText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace vantrel::postgres {

namespace {

constexpr bool isIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

constexpr bool isIdentChar(char c) {
    return isIdentStart(c) || (c >= '0' && c <= '9') || c == '$';
}

constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of the literal, quoted identifier, dollar quote or comment starting at sql[i], or 0
// when none starts there. An unterminated one runs to the end (the server reports it).
std::size_t skipQuoted(std::string_view sql, std::size_t i) {
    const std::size_t n = sql.size();
    const char c = sql[i];
    if (c == '\'' || c == '"') {
        // E'...' strings let a backslash escape the quote.
        const bool backslashes = c == '\'' && i > 0 && (sql[i - 1] == 'e' || sql[i - 1] == 'E') &&
                                 (i < 2 || !isIdentChar(sql[i - 2]));
        std::size_t j = i + 1;
        while (j < n) {
            if (backslashes && sql[j] == '\\') {
                j += 2;
                continue;
            }
            if (sql[j] == c) {
                if (j + 1 < n && sql[j + 1] == c) {
                    j += 2;
                    continue;
                }
                return j + 1 - i;
            }
            ++j;
        }
        return n - i;
    }
    if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
        const std::size_t end = sql.find('\n', i);
        return (end == std::string_view::npos ? n : end) - i;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
        int depth = 1;
        std::size_t j = i + 2;
        while (j < n && depth > 0) {
            if (sql[j] == '/' && j + 1 < n && sql[j + 1] == '*') {
                ++depth;
                j += 2;
            } else if (sql[j] == '*' && j + 1 < n && sql[j + 1] == '/') {
                --depth;
                j += 2;
            } else {
                ++j;
            }
        }
        return j - i;
    }
    if (c == '$' && (i == 0 || !isIdentChar(sql[i - 1]))) {
        // $tag$ ... $tag$; a $1 placeholder is no dollar quote.
        std::size_t j = i + 1;
        if (j < n && sql[j] >= '0' && sql[j] <= '9')
            return 0;
        while (j < n && isIdentChar(sql[j]) && sql[j] != '$')
            ++j;
        if (j < n && sql[j] == '$') {
            const std::string_view tag = sql.substr(i, j - i + 1);
            const std::size_t end = sql.find(tag, j + 1);
            return (end == std::string_view::npos ? n : end + tag.size()) - i;
        }
    }
    return 0;
}

bool startsComment(std::string_view sql, std::size_t i) {
    return i + 1 < sql.size() &&
           ((sql[i] == '-' && sql[i + 1] == '-') || (sql[i] == '/' && sql[i + 1] == '*'));
}

// Whether skipQuoted can find anything at a character: the test is cheaper than the call.
bool mayOpenQuote(char c) {
    return c == '\'' || c == '"' || c == '-' || c == '/' || c == '$';
}

// Tokens of the statement without literals and comments: words, $n, punctuation.
struct Token {
    std::string text; // words upper-cased unless quoted
    bool quoted = false;
    std::string raw; // as written, quotes removed
};

std::vector<Token> tokenize(std::string_view sql, std::size_t limit) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < sql.size() && tokens.size() < limit) {
        const char c = sql[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (c == '"') {
            const std::size_t len = skipQuoted(sql, i);
            Token t;
            t.quoted = true;
            for (std::size_t j = i + 1; j + 1 < i + len; ++j) {
                t.raw += sql[j];
                if (sql[j] == '"')
                    ++j;
            }
            t.text = t.raw;
            tokens.push_back(std::move(t));
            i += len;
            continue;
        }
        if (const std::size_t len = skipQuoted(sql, i); len > 0) {
            if (c == '\'' || c == '$')
                tokens.push_back({"'", false, std::string(sql.substr(i, len))});
            i += len;
            continue;
        }
        if (isIdentStart(c) || c == '$') {
            std::size_t j = i + 1;
            while (j < sql.size() && isIdentChar(sql[j]))
                ++j;
            Token t;
            t.raw = std::string(sql.substr(i, j - i));
            for (char ch : t.raw)
                t.text += upper(ch);
            tokens.push_back(std::move(t));
            i = j;
            continue;
        }
        tokens.push_back({std::string(1, c), false, std::string(1, c)});
        ++i;
    }
    return tokens;
}

std::string nameOf(const Token& t) {
    return t.quoted ? t.raw : foldName(t.raw);
}

} // namespace

std::string numberPlaceholders(std::string_view sql, std::size_t& questionMarks) {
    questionMarks = 0;
    // Most statements have none: no need to walk their literals.
    if (sql.find('?') == std::string_view::npos)
        return std::string(sql);
    std::string out;
    out.reserve(sql.size() + 16);
    questionMarks = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        if (const std::size_t len = mayOpenQuote(sql[i]) ? skipQuoted(sql, i) : 0; len > 0) {
            out.append(sql.substr(i, len));
            i += len;
            continue;
        }
        if (sql[i] == '?') {
            out += '$';
            out += std::to_string(++questionMarks);
        } else {
            out += sql[i];
        }
        ++i;
    }
    return out;
}

std::string leadingKeyword(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (isBlank(c) || c == '(') {
            ++i;
        } else if (startsComment(sql, i)) {
            i += skipQuoted(sql, i);
        } else if (isIdentStart(c)) {
            std::size_t end = i + 1;
            while (end < sql.size() && isIdentChar(sql[end]))
                ++end;
            std::string word(sql.substr(i, end - i));
            for (char& ch : word)
                ch = upper(ch);
            return word;
        } else {
            break;
        }
    }
    return "";
}

namespace {

// Whether the word starting at sql[i] is LIMIT, OFFSET, FETCH or INTO, in any case; `end`
// receives where the word ends.
bool isLimitingWord(std::string_view sql, std::size_t i, std::size_t& end) {
    end = i + 1;
    while (end < sql.size() && isIdentChar(sql[end]))
        ++end;
    const char first = upper(sql[i]);
    if (end - i < 4 || end - i > 6 ||
        (first != 'L' && first != 'O' && first != 'F' && first != 'I'))
        return false;
    char word[6];
    for (std::size_t k = i; k < end; ++k)
        word[k - i] = upper(sql[k]);
    const std::string_view w(word, end - i);
    return w == "LIMIT" || w == "OFFSET" || w == "FETCH" || w == "INTO";
}

} // namespace

bool copiesThroughClient(std::string_view sql) {
    if (leadingKeyword(sql) != "COPY")
        return false;
    const std::vector<Token> tokens = tokenize(sql, sql.size());
    int depth = 0;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.quoted)
            continue;
        if (t.text == "(")
            ++depth;
        else if (t.text == ")")
            --depth;
        else if (depth == 0 && (t.text == "FROM" || t.text == "TO") && !tokens[i + 1].quoted &&
                 (tokens[i + 1].text == "STDIN" || tokens[i + 1].text == "STDOUT"))
            return true;
    }
    return false;
}

TextOutline outlineOf(std::string_view sql) {
    TextOutline outline;
    bool semicolon = false;
    bool topLevelClause = false;
    int depth = 0;
    bool balanced = true;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (const std::size_t len = mayOpenQuote(c) ? skipQuoted(sql, i) : 0; len > 0) {
            // A comment after the last ';' is no statement; anything quoted is.
            if (semicolon && c != '-' && c != '/')
                outline.severalStatements = true;
            i += len;
            continue;
        }
        if (c == ';') {
            semicolon = true;
            ++i;
            continue;
        }
        if (semicolon)
            outline.severalStatements = true;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            balanced = balanced && depth > 0;
            --depth;
        } else if (isIdentStart(c)) {
            std::size_t end = 0;
            topLevelClause = (isLimitingWord(sql, i, end) && depth == 0) || topLevelClause;
            i = end;
            continue;
        }
        ++i;
    }
    outline.takesLimit = !semicolon && balanced && depth == 0 && !topLevelClause;
    return outline;
}

namespace {

// Words of a statement one at a time, without copying them: what shortResultOf reads.
struct Word {
    enum class Kind : unsigned char {
        End,
        Name,
        Quoted,
        Number,
        Literal,
        Parameter,
        Symbol,
        Broken
    };
    Kind kind = Kind::End;
    std::string_view text; // a Quoted name without its quotes (doubled quotes kept)
};

// What each byte can be in a word: the reader looks a byte up once instead of testing ranges.
enum CharClass : unsigned char { Blank = 1, NameStart = 2, Digit = 4, Dollar = 8 };
constexpr std::array<unsigned char, 256> charClasses = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        t[c] = static_cast<unsigned char>(
            (isBlank(ch) ? Blank : 0) | (isIdentStart(ch) ? NameStart : 0) |
            (c >= '0' && c <= '9' ? Digit : 0) | (c == '$' ? Dollar : 0));
    }
    return t;
}();

inline unsigned classOf(char c) {
    return charClasses[static_cast<unsigned char>(c)];
}

class WordReader {
public:
    explicit WordReader(std::string_view sql) : sql_(sql) {}

    Word next() {
        const char* const text = sql_.data();
        const std::size_t n = sql_.size();
        for (;;) {
            while (i_ < n && (classOf(text[i_]) & Blank))
                ++i_;
            if (i_ + 1 < n && (text[i_] == '-' || text[i_] == '/') && startsComment(sql_, i_)) {
                i_ += skipQuoted(sql_, i_);
                continue;
            }
            break;
        }
        if (i_ >= n)
            return {};
        const std::size_t start = i_;
        const char c = text[i_];
        const unsigned cls = classOf(c);
        if (cls & NameStart) {
            ++i_;
            while (i_ < n && (classOf(text[i_]) & (NameStart | Digit | Dollar)))
                ++i_;
            return {Word::Kind::Name, std::string_view(text + start, i_ - start)};
        }
        if (c == '"' || c == '\'' || (c == '$' && i_ + 1 < n && !(classOf(text[i_ + 1]) & Digit))) {
            const std::size_t len = skipQuoted(sql_, i_);
            i_ += len > 0 ? len : 1;
            // An unterminated one runs to the end of the text.
            if (len < 2 || (c != '$' && text[i_ - 1] != c))
                return {Word::Kind::Broken, {}};
            if (c == '"')
                return {Word::Kind::Quoted, std::string_view(text + start + 1, len - 2)};
            return {Word::Kind::Literal, std::string_view(text + start, len)};
        }
        ++i_;
        if (cls & (Digit | Dollar)) {
            while (i_ < n &&
                   ((classOf(text[i_]) & (NameStart | Digit | Dollar)) || text[i_] == '.'))
                ++i_;
            return {c == '$' ? Word::Kind::Parameter : Word::Kind::Number,
                    std::string_view(text + start, i_ - start)};
        }
        return {Word::Kind::Symbol, std::string_view(text + start, 1)};
    }

private:
    std::string_view sql_;
    std::size_t i_ = 0;
};

// An unquoted word, in any case; `upperWord` is upper case.
bool is(const Word& w, std::string_view upperWord) {
    if (w.kind != Word::Kind::Name || w.text.size() != upperWord.size())
        return false;
    for (std::size_t k = 0; k < upperWord.size(); ++k)
        if (upper(w.text[k]) != upperWord[k])
            return false;
    return true;
}

bool isSymbol(const Word& w, char c) {
    return w.kind == Word::Kind::Symbol && w.text[0] == c;
}

bool isName(const Word& w) {
    return w.kind == Word::Kind::Name || w.kind == Word::Kind::Quoted;
}

std::string nameOf(const Word& w) {
    if (w.kind == Word::Kind::Name)
        return foldName(w.text);
    std::string raw;
    for (std::size_t k = 0; k < w.text.size(); ++k) {
        raw += w.text[k];
        if (w.text[k] == '"')
            ++k;
    }
    return raw;
}

// Aggregates of one row over any number of rows (built in; a function of the same name in
// another schema would be unusual, and then only the row limit would be missed).
bool isAggregate(const Word& w) {
    if (w.kind != Word::Kind::Name || w.text.size() < 3 || w.text.size() > 10)
        return false;
    switch (upper(w.text[0])) {
    case 'C':
        return is(w, "COUNT");
    case 'S':
        return is(w, "SUM") || is(w, "STRING_AGG");
    case 'M':
        return is(w, "MIN") || is(w, "MAX");
    case 'A':
        return is(w, "AVG") || is(w, "ARRAY_AGG");
    case 'E':
        return is(w, "EVERY");
    case 'B':
        return is(w, "BOOL_AND") || is(w, "BOOL_OR");
    default:
        return false;
    }
}

// Clauses that make several rows of aggregates: GROUP BY, set operations, windows.
bool makesSeveralRows(const Word& w) {
    switch (upper(w.text[0])) {
    case 'G':
        return is(w, "GROUP");
    case 'U':
        return is(w, "UNION");
    case 'I':
        return is(w, "INTERSECT");
    case 'E':
        return is(w, "EXCEPT");
    case 'W':
        return is(w, "WINDOW");
    case 'O':
        return is(w, "OVER");
    default:
        return false;
    }
}

// After an opening parenthesis: reads to its closing one.
bool skipParenthesised(WordReader& r) {
    for (int depth = 1; depth > 0;) {
        const Word w = r.next();
        if (w.kind == Word::Kind::End || w.kind == Word::Kind::Broken || isSymbol(w, ';'))
            return false;
        depth += isSymbol(w, '(') ? 1 : isSymbol(w, ')') ? -1 : 0;
    }
    return true;
}

// How a select-list item ends: "[AS alias]" (an alias only with AS), then ',' or FROM.
enum class ItemEnd { Next, From, Wrong };
ItemEnd endOfItem(WordReader& r, Word w) {
    if (is(w, "AS")) {
        if (!isName(r.next()))
            return ItemEnd::Wrong;
        w = r.next();
    }
    if (is(w, "FROM"))
        return ItemEnd::From;
    return isSymbol(w, ',') ? ItemEnd::Next : ItemEnd::Wrong;
}

// SELECT agg(...) [FILTER (...)] [AS x], ... FROM ... with nothing that makes several rows.
bool oneRowOfAggregates(WordReader r) {
    for (;;) {
        Word w = r.next();
        if (!isAggregate(w) || !isSymbol(r.next(), '(') || !skipParenthesised(r))
            return false;
        w = r.next();
        if (is(w, "FILTER")) {
            if (!isSymbol(r.next(), '(') || !skipParenthesised(r))
                return false;
            w = r.next();
        }
        const ItemEnd end = endOfItem(r, w);
        if (end == ItemEnd::From)
            break;
        if (end == ItemEnd::Wrong)
            return false;
    }
    for (int depth = 0;;) {
        const Word w = r.next();
        if (w.kind == Word::Kind::End)
            return depth == 0;
        if (w.kind == Word::Kind::Broken || isSymbol(w, ';'))
            return false;
        if (isSymbol(w, '('))
            ++depth;
        else if (isSymbol(w, ')') && --depth < 0)
            return false;
        else if (depth == 0 && w.kind == Word::Kind::Name && w.text.size() >= 4 &&
                 w.text.size() <= 9 && makesSeveralRows(w))
            return false;
    }
}

// SELECT a, t.b, * FROM [schema.]t [[AS] x] WHERE [x.]c = constant-or-parameter
bool keyLookup(WordReader r, ShortResult& shape) {
    for (;;) {
        Word w = r.next();
        if (!isSymbol(w, '*')) {
            if (!isName(w) || is(w, "FROM") || is(w, "DISTINCT") || is(w, "ALL"))
                return false;
            w = r.next();
            if (isSymbol(w, '.')) {
                w = r.next();
                if (!isName(w) && !isSymbol(w, '*'))
                    return false;
                w = r.next();
            }
        } else {
            w = r.next();
        }
        const ItemEnd end = endOfItem(r, w);
        if (end == ItemEnd::From)
            break;
        if (end == ItemEnd::Wrong)
            return false;
    }
    Word w = r.next();
    if (!isName(w))
        return false;
    shape.table = nameOf(w);
    w = r.next();
    if (isSymbol(w, '.')) {
        w = r.next();
        if (!isName(w))
            return false;
        shape.table += "." + nameOf(w);
        w = r.next();
    }
    if (is(w, "AS"))
        w = r.next();
    if (isName(w) && !is(w, "WHERE"))
        w = r.next(); // the alias
    if (!is(w, "WHERE"))
        return false;
    w = r.next();
    if (!isName(w))
        return false;
    Word column = w;
    w = r.next();
    if (isSymbol(w, '.')) {
        column = r.next();
        if (!isName(column))
            return false;
        w = r.next();
    }
    if (!isSymbol(w, '='))
        return false;
    w = r.next();
    if (isSymbol(w, '-'))
        w = r.next();
    if (w.kind != Word::Kind::Number && w.kind != Word::Kind::Literal &&
        w.kind != Word::Kind::Parameter)
        return false;
    if (r.next().kind != Word::Kind::End)
        return false;
    shape.column = nameOf(column);
    return true;
}

} // namespace

ShortResult shortResultOf(std::string_view sql) {
    ShortResult shape;
    WordReader r(sql);
    if (!is(r.next(), "SELECT"))
        return shape;
    if (oneRowOfAggregates(r))
        shape.kind = ShortResult::Kind::OneRow;
    else if (keyLookup(r, shape))
        shape.kind = ShortResult::Kind::KeyLookup;
    return shape;
}

namespace {

// What may stand before and after a number that differs between two texts read alike. Not a
// letter, '_', '$', a quote or a backslash: a digit beside one of them belongs to a name, a
// parameter, a dollar-quote tag or an escape.
enum NumberEdge : unsigned char { Opens = 1, Closes = 2 };
constexpr std::array<unsigned char, 256> numberEdges = [] {
    std::array<unsigned char, 256> t{};
    for (char c : std::string_view(" \t\r\n=<>+-*/%,"))
        t[static_cast<unsigned char>(c)] = Opens | Closes;
    t['('] = t['['] = Opens;
    t[')'] = t[']'] = t[';'] = Closes;
    return t;
}();

bool opensNumber(char c) {
    return numberEdges[static_cast<unsigned char>(c)] & Opens;
}

bool closesNumber(char c) {
    return numberEdges[static_cast<unsigned char>(c)] & Closes;
}

bool isDigitChar(char c) {
    return c >= '0' && c <= '9';
}

// The end of the run of digits starting at i, when it stands alone as a number; else i.
std::size_t numberEnd(std::string_view s, std::size_t i) {
    if (i == 0 || !opensNumber(s[i - 1]))
        return i;
    std::size_t end = i;
    while (end < s.size() && isDigitChar(s[end]))
        ++end;
    return end == s.size() || closesNumber(s[end]) ? end : i;
}

} // namespace

bool sameButNumbers(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        // The bytes both have in common, eight at a time while they last.
        const std::size_t n = std::min(a.size() - i, b.size() - j);
        std::size_t k = 0;
        bool parted = false;
        for (std::uint64_t x = 0, y = 0; k + 8 <= n; k += 8) {
            std::memcpy(&x, a.data() + i + k, 8);
            std::memcpy(&y, b.data() + j + k, 8);
            if (x != y) {
                // The first byte that differs, from the lowest differing bit of the words.
                if constexpr (std::endian::native == std::endian::little) {
                    k += static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
                    parted = true;
                }
                break;
            }
        }
        while (!parted && k < n && a[i + k] == b[j + k])
            ++k;
        i += k;
        j += k;
        if (i == a.size() && j == b.size())
            return true;
        // Where they part, a number may start in both: its first digits can be common.
        std::size_t back = 0;
        while (back < k && isDigitChar(a[i - back - 1]))
            ++back;
        const std::size_t startA = i - back;
        const std::size_t startB = j - back;
        if (startA >= a.size() || startB >= b.size() || !isDigitChar(a[startA]) ||
            !isDigitChar(b[startB]))
            return false;
        const std::size_t endA = numberEnd(a, startA);
        const std::size_t endB = numberEnd(b, startB);
        if (endA == startA || endB == startB)
            return false;
        i = endA;
        j = endB;
    }
}

std::optional<std::size_t> selectListStart(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (const std::size_t len = skipQuoted(sql, i); len > 0 && (c == '-' || c == '/')) {
            i += len;
            continue;
        }
        break;
    }
    if (sql.size() - i < 6)
        return std::nullopt;
    for (std::size_t k = 0; k < 6; ++k)
        if (upper(sql[i + k]) != "SELECT"[k])
            return std::nullopt;
    const std::size_t end = i + 6;
    if (end < sql.size() && isIdentChar(sql[end]))
        return std::nullopt;
    const std::vector<Token> next = tokenize(sql.substr(end), 1);
    if (next.empty() || (!next[0].quoted && (next[0].text == "DISTINCT" || next[0].text == "ALL" ||
                                             next[0].text == "FROM" || next[0].text == ";")))
        return std::nullopt;
    return end;
}

std::optional<InsertShape> insertShape(std::string_view sql, std::size_t parameterCount) {
    constexpr std::size_t tokenLimit = 4096;
    const std::vector<Token> t = tokenize(sql, tokenLimit);
    std::size_t i = 0;
    auto word = [&](const char* w) {
        if (i < t.size() && !t[i].quoted && t[i].text == w) {
            ++i;
            return true;
        }
        return false;
    };
    auto identifier = [&]() -> const Token* {
        if (i < t.size() && (t[i].quoted || (!t[i].text.empty() && isIdentStart(t[i].text[0]))))
            return &t[i++];
        return nullptr;
    };
    if (!word("INSERT") || !word("INTO"))
        return std::nullopt;
    InsertShape shape;
    const Token* name = identifier();
    if (name == nullptr)
        return std::nullopt;
    shape.table = nameOf(*name);
    if (word(".")) {
        const Token* table = identifier();
        if (table == nullptr)
            return std::nullopt;
        shape.table += "." + nameOf(*table);
    }
    std::vector<std::string>& columns = shape.columns;
    if (word("(")) {
        for (;;) {
            const Token* column = identifier();
            if (column == nullptr)
                return std::nullopt;
            columns.push_back(nameOf(*column));
            if (word(")"))
                break;
            if (!word(","))
                return std::nullopt;
        }
    }
    if (!word("VALUES") || !word("("))
        return std::nullopt;
    shape.positionOfParameter.assign(parameterCount, -1);
    // Constants and parameters only: what re-running the statement reproduces exactly.
    auto constantToken = [](const Token& token) {
        if (token.quoted)
            return false;
        const std::string& x = token.text;
        return x == "'" || x == "-" || x == "." || x == "NULL" || x == "TRUE" || x == "FALSE" ||
               (x.size() == 1 && x[0] >= '0' && x[0] <= '9') ||
               (x.size() > 1 && x[0] == '$' && x[1] >= '0' && x[1] <= '9');
    };
    shape.constantValues = t.size() < tokenLimit;
    for (std::size_t position = 0;; ++position) {
        if (i < t.size() && t[i].text.size() > 1 && t[i].text[0] == '$' && !t[i].quoted &&
            i + 1 < t.size() && (t[i + 1].text == "," || t[i + 1].text == ")")) {
            std::size_t number = 0;
            for (char d : t[i].text.substr(1))
                number = d >= '0' && d <= '9' && number < 100000 ? number * 10 + (d - '0') : 0;
            if (number >= 1 && number <= parameterCount)
                shape.positionOfParameter[number - 1] = static_cast<int>(position);
            ++i;
        } else {
            // Any other expression: skip it to the next comma at this depth.
            int depth = 0;
            while (i < t.size() && !(depth == 0 && (t[i].text == "," || t[i].text == ")"))) {
                depth += t[i].text == "(" ? 1 : t[i].text == ")" ? -1 : 0;
                shape.constantValues = shape.constantValues && constantToken(t[i]);
                ++i;
            }
        }
        if (word(")")) {
            shape.valueCount = position + 1;
            break;
        }
        if (!word(","))
            return std::nullopt;
    }
    // Nothing may follow the row (no RETURNING, no ON CONFLICT, no second row).
    shape.constantValues =
        shape.constantValues && (i == t.size() || (i + 1 == t.size() && t[i].text == ";"));
    return shape;
}

std::string foldName(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return std::string(name);
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '$'))
            return std::string(name);
    std::string out(name);
    for (char& c : out)
        c = lower(c);
    return out;
}

} // namespace vantrel::postgres
