// libFuzzer harness for the SQLite provider's SQL tokenizer and statement-shape reader, which
// read every command text a consumer sends before SQLite sees it. Beyond "no crash, no
// sanitizer report, no runaway allocation", it checks what the provider relies on: tokens lie
// inside the text in order with only blanks and comments between them, quoting any text gives
// one token that reads back as that text, and the shape points only at what the text holds.
#include "SqlTokens.h"
#include "StatementShape.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace vantrel::sqlite;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkTokens(std::string_view sql, const std::vector<Token>& tokens) {
    std::size_t end = 0;
    for (const Token& token : tokens) {
        check(!token.text.empty());
        check(token.offset >= end && token.offset + token.text.size() <= sql.size());
        check(token.text.data() == sql.data() + token.offset);
        check(token.depth >= 0);
        check(isOnlyTrivia(sql.substr(end, token.offset - end)));
        end = token.offset + token.text.size();
    }
    check(isOnlyTrivia(sql.substr(end)));
}

// Quoting the whole input must give exactly one token of the right kind that stands for it.
void checkQuoting(std::string_view text) {
    const std::string name = quoteName(text);
    const std::vector<Token> nameTokens = tokenizeSql(name);
    check(nameTokens.size() == 1 && nameTokens[0].kind == TokenKind::QuotedName);
    check(nameTokens[0].text.size() == name.size() && nameOf(nameTokens[0]) == text);

    const std::string literal = quoteString(text);
    const std::vector<Token> literalTokens = tokenizeSql(literal);
    check(literalTokens.size() == 1 && literalTokens[0].kind == TokenKind::String);
    check(literalTokens[0].text.size() == literal.size());
}

void checkShape(std::string_view sql, const StatementShape& shape) {
    // SQLite numbers parameters up to its variable limit at most; the shape never holds more
    // entries than the text could address.
    check(shape.parameters.size() <= 250000);
    // A quoted "" is a name SQLite accepts, so only named tables must resolve by their name.
    for (const TableReference& table : shape.tables) {
        const std::string& qualifier = table.alias.empty() ? table.name : table.alias;
        if (!qualifier.empty())
            check(resolveTable(shape.tables, qualifier) != nullptr);
    }
    if (shape.singleTable) {
        check(shape.singleTable->insertPosition <= sql.size());
        check(!shape.singleTable->qualifier.empty() || shape.singleTable->table.name.empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    checkTokens(sql, tokenizeSql(sql));
    checkQuoting(sql);
    checkShape(sql, analyzeStatement(sql));
    return 0;
}
