#include "OdbcSqlText.h"

#include <cctype>

namespace vantrel::odbc {

namespace {

// A token of the simple lexer: a word, a quoted name, a string, or one punctuation character.
struct Token {
    enum class Kind { Word, Quoted, String, Punct, End } kind = Kind::End;
    std::string text; // words upper case; quoted names without their quotes
};

class Lexer {
public:
    explicit Lexer(std::string_view sql) : sql_(sql) {}
    Token next() {
        skipSpace();
        Token t;
        if (pos_ >= sql_.size())
            return t;
        const char c = sql_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            t.kind = Token::Kind::Word;
            while (pos_ < sql_.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql_[pos_])) || sql_[pos_] == '_' ||
                    sql_[pos_] == '$' || sql_[pos_] == '.'))
                t.text += static_cast<char>(std::toupper(static_cast<unsigned char>(sql_[pos_++])));
            return t;
        }
        if (c == '"' || c == '`' || c == '[' || c == '\'') {
            const char close = c == '[' ? ']' : c;
            t.kind = c == '\'' ? Token::Kind::String : Token::Kind::Quoted;
            ++pos_;
            while (pos_ < sql_.size()) {
                if (sql_[pos_] == close) {
                    if (pos_ + 1 < sql_.size() && sql_[pos_ + 1] == close && close != ']') {
                        t.text += close;
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    return t;
                }
                t.text += sql_[pos_++];
            }
            t.kind = Token::Kind::End; // unterminated: give up on the statement
            return t;
        }
        t.kind = Token::Kind::Punct;
        t.text = std::string(1, c);
        ++pos_;
        return t;
    }
    // The original spelling of the last word (for names).
    std::size_t position() const { return pos_; }

private:
    void skipSpace() {
        for (;;) {
            while (pos_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[pos_])))
                ++pos_;
            if (sql_.substr(pos_, 2) == "--") {
                while (pos_ < sql_.size() && sql_[pos_] != '\n')
                    ++pos_;
                continue;
            }
            if (sql_.substr(pos_, 2) == "/*") {
                const std::size_t end = sql_.find("*/", pos_ + 2);
                pos_ = end == std::string_view::npos ? sql_.size() : end + 2;
                continue;
            }
            return;
        }
    }
    std::string_view sql_;
    std::size_t pos_ = 0;
};

// A name token in its original spelling: words keep their case, quoted names their text.
std::optional<std::string> nameAt(std::string_view sql, Lexer& lexer) {
    const std::size_t before = lexer.position();
    Token t = lexer.next();
    if (t.kind == Token::Kind::Quoted)
        return t.text;
    if (t.kind != Token::Kind::Word)
        return std::nullopt;
    std::string_view rest = sql.substr(before);
    const std::size_t start = rest.find_first_not_of(" \t\r\n");
    return std::string(rest.substr(start, t.text.size()));
}

bool isPunct(const Token& t, char c) {
    return t.kind == Token::Kind::Punct && t.text.size() == 1 && t.text[0] == c;
}

} // namespace

std::string firstKeyword(std::string_view sql) {
    Lexer lexer(sql);
    Token t = lexer.next();
    return t.kind == Token::Kind::Word ? t.text : std::string();
}

std::optional<InsertShape> insertShape(std::string_view sql) {
    Lexer lexer(sql);
    if (lexer.next().text != "INSERT" || lexer.next().text != "INTO")
        return std::nullopt;
    InsertShape shape;
    auto table = nameAt(sql, lexer);
    if (!table)
        return std::nullopt;
    shape.table = *table;
    if (!isPunct(lexer.next(), '('))
        return std::nullopt;
    std::vector<std::string> columns;
    for (;;) {
        auto name = nameAt(sql, lexer);
        if (!name)
            return std::nullopt;
        columns.push_back(*name);
        Token t = lexer.next();
        if (isPunct(t, ')'))
            break;
        if (!isPunct(t, ','))
            return std::nullopt;
    }
    Token values = lexer.next();
    if (values.kind != Token::Kind::Word || values.text != "VALUES" || !isPunct(lexer.next(), '('))
        return std::nullopt;
    // Each value is one token: a marker, a literal, NULL or a plain word (DEFAULT).
    for (std::size_t i = 0;; ++i) {
        Token v = lexer.next();
        if (i >= columns.size() || v.kind == Token::Kind::End)
            return std::nullopt;
        if (isPunct(v, '?'))
            shape.markerColumns.push_back(columns[i]);
        else if (isPunct(v, '-') || isPunct(v, '+'))
            v = lexer.next(); // a signed number
        else if (v.kind == Token::Kind::Punct)
            return std::nullopt;
        Token t = lexer.next();
        if (isPunct(t, ')')) {
            if (i + 1 != columns.size())
                return std::nullopt;
            break;
        }
        if (!isPunct(t, ','))
            return std::nullopt;
    }
    Token end = lexer.next();
    if (isPunct(end, ';'))
        end = lexer.next();
    if (end.kind != Token::Kind::End)
        return std::nullopt;
    return shape;
}

std::optional<std::string> singleTable(std::string_view sql) {
    Lexer lexer(sql);
    if (lexer.next().text != "SELECT")
        return std::nullopt;
    int depth = 0;
    for (;;) {
        Token t = lexer.next();
        if (t.kind == Token::Kind::End)
            return std::nullopt;
        if (isPunct(t, '('))
            ++depth;
        else if (isPunct(t, ')'))
            --depth;
        else if (depth == 0 && t.kind == Token::Kind::Word && t.text == "FROM")
            break;
    }
    auto table = nameAt(sql, lexer);
    if (!table)
        return std::nullopt;
    Token t = lexer.next();
    if (t.kind == Token::Kind::End || isPunct(t, ';'))
        return table;
    if (t.kind == Token::Kind::Word &&
        (t.text == "WHERE" || t.text == "ORDER" || t.text == "FOR" || t.text == "LIMIT")) {
        // No further FROM or JOIN at the top level.
        int level = 0;
        for (Token u = lexer.next(); u.kind != Token::Kind::End; u = lexer.next()) {
            if (isPunct(u, '('))
                ++level;
            else if (isPunct(u, ')'))
                --level;
            else if (level == 0 && u.kind == Token::Kind::Word &&
                     (u.text == "JOIN" || u.text == "FROM" || u.text == "UNION"))
                return std::nullopt;
        }
        return table;
    }
    return std::nullopt;
}

std::optional<std::string_view> afterSelect(std::string_view sql) {
    Lexer lexer(sql);
    if (lexer.next().text != "SELECT")
        return std::nullopt;
    const std::size_t position = lexer.position();
    Token t = lexer.next();
    if (t.kind == Token::Kind::Word && (t.text == "DISTINCT" || t.text == "ALL"))
        return std::nullopt;
    return sql.substr(position);
}

} // namespace vantrel::odbc
