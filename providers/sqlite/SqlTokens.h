// A small SQL tokenizer for reading a statement's shape (its tables, the column a parameter is
// compared with, whether it reads one base table). SQLite itself compiles the statement; this
// only has to recognise SQLite's lexical forms well enough never to mistake a string, a
// comment or a quoted name for structure.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::sqlite {

enum class TokenKind {
    Word,       // keyword or bare identifier
    QuotedName, // "name", [name], `name`
    String,     // 'text'
    Number,
    Parameter, // ?, ?NNN, :name, @name, $name
    Operator,  // = == < <= > >= <> != || + - * / % & | << >> ~
    Punct,     // ( ) , . ;
};

struct Token {
    TokenKind kind;
    std::string_view text; // as written, quotes included
    std::size_t offset;    // byte offset in the statement
    int depth;             // parenthesis depth at the token (an opening '(' has the outer depth)
};

// Splits sql into tokens, dropping white space and comments. Never fails: an unterminated
// string, name or comment ends at the end of the text (SQLite reports the error itself).
std::vector<Token> tokenizeSql(std::string_view sql);

// The first word of sql after white space and comments, as tokenizeSql would give it; empty
// when the text starts with anything else. Enough to tell a statement's kind without
// tokenizing all of it.
std::string_view leadingWord(std::string_view sql);

// True when the token is a Word equal to keyword, ignoring ASCII case.
bool isKeyword(const Token& token, std::string_view keyword);

// True for tokens that can name a table or column: a Word that is not a reserved word of the
// statement structure (SELECT, FROM, WHERE, ...), or a QuotedName.
bool isName(const Token& token);

// The identifier a Word or QuotedName stands for (quotes removed, doubled quotes undone).
std::string nameOf(const Token& token);

// ASCII case-insensitive comparison, the way SQLite compares identifiers.
bool sameName(std::string_view a, std::string_view b);

// name as a double-quoted SQL identifier, inner quotes doubled.
std::string quoteName(std::string_view name);

// text as a single-quoted SQL string literal, inner quotes doubled.
std::string quoteString(std::string_view text);

// True when nothing but white space, comments and semicolons remains in tail.
bool isOnlyTrivia(std::string_view tail);

} // namespace vantrel::sqlite
