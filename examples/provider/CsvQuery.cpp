#include "CsvQuery.h"

#include <kit/Backend.h>

#include <cctype>

namespace csvprovider {

namespace {

using vantrel::kit::BackendError;
using vantrel::kit::ErrorClass;

// A cursor over the statement text that reads one token at a time.
class Tokens {
public:
    explicit Tokens(std::string_view sql) : sql_(sql) {}

    bool atEnd() {
        skipSpace();
        return pos_ == sql_.size();
    }

    // Consumes `symbol` ("*", ",", ";") when it comes next.
    bool accept(char symbol) {
        skipSpace();
        if (pos_ < sql_.size() && sql_[pos_] == symbol) {
            ++pos_;
            return true;
        }
        return false;
    }

    // Consumes the keyword (any case) when it comes next as a whole word.
    bool acceptKeyword(std::string_view keyword) {
        skipSpace();
        std::size_t end = pos_;
        while (end < sql_.size() && isNameChar(sql_[end]))
            ++end;
        if (end - pos_ != keyword.size())
            return false;
        for (std::size_t i = 0; i < keyword.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(sql_[pos_ + i])) != keyword[i])
                return false;
        pos_ = end;
        return true;
    }

    void expectKeyword(std::string_view keyword) {
        if (!acceptKeyword(keyword))
            fail(std::string(keyword));
    }

    // A plain or double-quoted name.
    std::string name() {
        skipSpace();
        if (pos_ < sql_.size() && sql_[pos_] == '"') {
            std::string text;
            for (std::size_t i = pos_ + 1; i < sql_.size(); ++i) {
                if (sql_[i] != '"') {
                    text += sql_[i];
                } else if (i + 1 < sql_.size() && sql_[i + 1] == '"') {
                    text += '"';
                    ++i;
                } else {
                    pos_ = i + 1;
                    if (text.empty())
                        fail("a name, not \"\"");
                    return text;
                }
            }
            fail("a closing '\"'");
        }
        std::size_t end = pos_;
        while (end < sql_.size() && isNameChar(sql_[end]))
            ++end;
        if (end == pos_ || std::isdigit(static_cast<unsigned char>(sql_[pos_])))
            fail("a name");
        std::string text(sql_.substr(pos_, end - pos_));
        pos_ = end;
        return text;
    }

    [[noreturn]] void fail(const std::string& expected) {
        skipSpace();
        const std::string found =
            pos_ < sql_.size() ? "'" + std::string(sql_.substr(pos_, 20)) + "'" : "the end";
        throw BackendError(ErrorClass::Syntax, "expected " + expected + " at " + found +
                                                   " (this provider runs SELECT * FROM table and "
                                                   "SELECT column, ... FROM table)");
    }

private:
    static bool isNameChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    }
    void skipSpace() {
        while (pos_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[pos_])))
            ++pos_;
    }

    std::string_view sql_;
    std::size_t pos_ = 0;
};

} // namespace

CsvQuery parseQuery(std::string_view sql) {
    Tokens tokens(sql);
    CsvQuery query;
    tokens.expectKeyword("SELECT");
    if (!tokens.accept('*')) {
        do
            query.columns.push_back(tokens.name());
        while (tokens.accept(','));
    }
    tokens.expectKeyword("FROM");
    query.table = tokens.name();
    tokens.accept(';');
    if (!tokens.atEnd())
        tokens.fail("the end of the statement");
    return query;
}

} // namespace csvprovider
