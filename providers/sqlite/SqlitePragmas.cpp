#include "SqlitePragmas.h"

#include "kit/Backend.h"

namespace vantrel::sqlite {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool isIdentifier(std::string_view text) {
    if (text.empty() || (text.front() >= '0' && text.front() <= '9'))
        return false;
    for (char c : text)
        if (!isWordChar(c))
            return false;
    return true;
}

// A word (WAL, NORMAL, ON), a signed number (-2000, 1.5) or a quoted string without quotes
// inside it.
bool isPragmaValue(std::string_view text) {
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
        return text.substr(1, text.size() - 2).find('\'') == std::string_view::npos;
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty())
        return false;
    for (char c : text)
        if (!isWordChar(c) && c != '.')
            return false;
    return true;
}

[[noreturn]] void refuse(std::string_view item) {
    throw kit::BackendError(kit::ErrorClass::CantOpen, "Extended Properties: '" +
                                                           std::string(item) +
                                                           "' není pragma ve tvaru název=hodnota");
}

} // namespace

std::vector<std::string> pragmaStatements(std::string_view settings) {
    std::vector<std::string> statements;
    while (!settings.empty()) {
        const std::size_t end = settings.find(';');
        const std::string_view item = trim(settings.substr(0, end));
        settings = end == std::string_view::npos ? std::string_view() : settings.substr(end + 1);
        if (item.empty())
            continue;
        const std::size_t equals = item.find('=');
        const std::string_view name = trim(item.substr(0, equals));
        if (!isIdentifier(name))
            refuse(item);
        if (equals == std::string_view::npos) {
            statements.push_back("PRAGMA " + std::string(name));
            continue;
        }
        const std::string_view value = trim(item.substr(equals + 1));
        if (!isPragmaValue(value))
            refuse(item);
        statements.push_back("PRAGMA " + std::string(name) + "=" + std::string(value));
    }
    return statements;
}

} // namespace vantrel::sqlite
