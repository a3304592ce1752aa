#include "SqlTokens.h"

#include <algorithm>
#include <array>

namespace vantrel::sqlite {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
// Identifier characters: ASCII letters, digits, '_', '$' and every byte of a multi-byte
// UTF-8 sequence, as SQLite accepts them.
bool isIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isIdentChar(char c) {
    return isIdentStart(c) || isDigit(c) || c == '$';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Words that shape a statement and can therefore never be a table or column name here.
constexpr std::array<std::string_view, 40> reservedWords = {
    "select", "from",    "where",     "group",  "order",   "having", "limit",  "offset",
    "union",  "except",  "intersect", "join",   "inner",   "left",   "right",  "full",
    "cross",  "natural", "outer",     "on",     "using",   "as",     "and",    "or",
    "not",    "insert",  "into",      "values", "update",  "set",    "delete", "distinct",
    "all",    "with",    "is",        "in",     "between", "like",   "window", "returning"};

} // namespace

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool isKeyword(const Token& token, std::string_view keyword) {
    return token.kind == TokenKind::Word && sameName(token.text, keyword);
}

bool isName(const Token& token) {
    if (token.kind == TokenKind::QuotedName)
        return true;
    if (token.kind != TokenKind::Word)
        return false;
    return std::none_of(reservedWords.begin(), reservedWords.end(),
                        [&](std::string_view w) { return sameName(token.text, w); });
}

std::string nameOf(const Token& token) {
    if (token.kind != TokenKind::QuotedName || token.text.size() < 2)
        return std::string(token.text);
    const char open = token.text.front();
    const char close = open == '[' ? ']' : open;
    std::string name;
    const std::string_view inner = token.text.substr(1, token.text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        name += inner[i];
        if (inner[i] == close && close != ']' && i + 1 < inner.size() && inner[i + 1] == close)
            ++i;
    }
    return name;
}

std::string quoteName(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return quoted;
}

std::string quoteString(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    quoted += '\'';
    return quoted;
}

namespace {

// Length of the comment starting at sql[i], or 0 when none starts there.
std::size_t commentLength(std::string_view sql, std::size_t i) {
    if (sql.compare(i, 2, "--") == 0) {
        const std::size_t end = sql.find('\n', i);
        return (end == std::string_view::npos ? sql.size() : end + 1) - i;
    }
    if (sql.compare(i, 2, "/*") == 0) {
        const std::size_t end = sql.find("*/", i + 2);
        return (end == std::string_view::npos ? sql.size() : end + 2) - i;
    }
    return 0;
}

// Index just past the quoted run starting at sql[i] with the given closing quote; a doubled
// closing quote stands for itself (except in [brackets]).
std::size_t endOfQuoted(std::string_view sql, std::size_t i, char close) {
    std::size_t j = i + 1;
    while (j < sql.size()) {
        if (sql[j] == close) {
            if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return sql.size();
}

} // namespace

bool isOnlyTrivia(std::string_view tail) {
    std::size_t i = 0;
    while (i < tail.size()) {
        if (isSpace(tail[i]) || tail[i] == ';') {
            ++i;
            continue;
        }
        const std::size_t comment = commentLength(tail, i);
        if (comment == 0)
            return false;
        i += comment;
    }
    return true;
}

std::string_view leadingWord(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size()) {
        if (isSpace(sql[i])) {
            ++i;
            continue;
        }
        // Only '-' and '/' can open a comment: any other character ends the search at once.
        if (sql[i] != '-' && sql[i] != '/')
            break;
        const std::size_t comment = commentLength(sql, i);
        if (comment == 0)
            break;
        i += comment;
    }
    if (i == sql.size() || !isIdentStart(sql[i]))
        return {};
    std::size_t end = i + 1;
    while (end < sql.size() && isIdentChar(sql[end]))
        ++end;
    return sql.substr(i, end - i);
}

std::vector<Token> tokenizeSql(std::string_view sql) {
    std::vector<Token> tokens;
    int depth = 0;
    std::size_t i = 0;
    auto push = [&](TokenKind kind, std::size_t end) {
        tokens.push_back(Token{kind, sql.substr(i, end - i), i, depth});
        i = end;
    };
    while (i < sql.size()) {
        const char c = sql[i];
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (const std::size_t comment = commentLength(sql, i)) {
            i += comment;
            continue;
        }
        if (c == '\'') {
            push(TokenKind::String, endOfQuoted(sql, i, '\''));
        } else if (c == '"' || c == '`') {
            push(TokenKind::QuotedName, endOfQuoted(sql, i, c));
        } else if (c == '[') {
            push(TokenKind::QuotedName, endOfQuoted(sql, i, ']'));
        } else if ((c == 'x' || c == 'X') && i + 1 < sql.size() && sql[i + 1] == '\'') {
            // Blob literal X'0A0B'.
            const std::size_t start = i;
            const std::size_t end = endOfQuoted(sql, i + 1, '\'');
            tokens.push_back(
                Token{TokenKind::String, sql.substr(start, end - start), start, depth});
            i = end;
        } else if (isIdentStart(c)) {
            std::size_t j = i + 1;
            while (j < sql.size() && isIdentChar(sql[j]))
                ++j;
            push(TokenKind::Word, j);
        } else if (isDigit(c) || (c == '.' && i + 1 < sql.size() && isDigit(sql[i + 1]))) {
            std::size_t j = i + 1;
            while (j < sql.size() &&
                   (isIdentChar(sql[j]) || sql[j] == '.' ||
                    ((sql[j] == '+' || sql[j] == '-') && (sql[j - 1] == 'e' || sql[j - 1] == 'E'))))
                ++j;
            push(TokenKind::Number, j);
        } else if (c == '?') {
            std::size_t j = i + 1;
            while (j < sql.size() && isDigit(sql[j]))
                ++j;
            push(TokenKind::Parameter, j);
        } else if ((c == ':' || c == '@' || c == '$') && i + 1 < sql.size() &&
                   isIdentChar(sql[i + 1])) {
            std::size_t j = i + 1;
            while (j < sql.size() && (isIdentChar(sql[j]) || sql[j] == ':'))
                ++j;
            push(TokenKind::Parameter, j);
        } else if (c == '(') {
            push(TokenKind::Punct, i + 1);
            ++depth;
        } else if (c == ')') {
            if (depth > 0)
                --depth;
            push(TokenKind::Punct, i + 1);
        } else if (c == ',' || c == '.' || c == ';') {
            push(TokenKind::Punct, i + 1);
        } else {
            // Two-character operators first.
            static constexpr std::array<std::string_view, 8> twoChar = {"==", "<=", ">=", "<>",
                                                                        "!=", "||", "<<", ">>"};
            const std::string_view two = sql.substr(i, 2);
            const bool isTwo = std::find(twoChar.begin(), twoChar.end(), two) != twoChar.end();
            push(TokenKind::Operator, i + (isTwo ? 2 : 1));
        }
    }
    return tokens;
}

} // namespace vantrel::sqlite
