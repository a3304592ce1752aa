#include "InitString.h"

namespace vantrel::services {
namespace {

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool isQuote(char16_t c) {
    return c == u'\'' || c == u'"';
}

std::u16string_view trimmed(std::u16string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char16_t foldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

std::u16string asciiNumber(std::size_t n) {
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace

InitStringParse parseInitString(std::u16string_view text) {
    InitStringParse result;
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos <= n) {
        // Skip blanks before the keyword; an empty or blank segment is no pair.
        while (pos < n && isBlank(text[pos]))
            ++pos;
        if (pos == n)
            break;
        if (text[pos] == u';') {
            ++pos;
            continue;
        }

        // Keyword: up to a single '=' (a doubled one belongs to the keyword) or ';'.
        const std::size_t keywordStart = pos;
        std::u16string keyword;
        bool foundEquals = false;
        while (pos < n && text[pos] != u';') {
            if (text[pos] == u'=') {
                if (pos + 1 < n && text[pos + 1] == u'=') {
                    keyword += u'=';
                    pos += 2;
                    continue;
                }
                foundEquals = true;
                break;
            }
            keyword += text[pos++];
        }
        std::u16string_view keywordView = trimmed(keyword);
        std::u16string cleanKeyword(keywordView);
        if (!foundEquals) {
            result.error = InitStringError{InitStringErrorKind::missingEquals, keywordStart,
                                           std::move(cleanKeyword)};
            return result;
        }
        if (cleanKeyword.empty()) {
            result.error = InitStringError{InitStringErrorKind::emptyKeyword, keywordStart, {}};
            return result;
        }
        ++pos; // past '='

        while (pos < n && isBlank(text[pos]))
            ++pos;
        const std::size_t valueStart = pos;
        std::u16string value;
        if (pos < n && isQuote(text[pos])) {
            const char16_t quote = text[pos++];
            bool closed = false;
            while (pos < n) {
                if (text[pos] == quote) {
                    if (pos + 1 < n && text[pos + 1] == quote) {
                        value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                value += text[pos++];
            }
            if (!closed) {
                result.error = InitStringError{InitStringErrorKind::unterminatedQuote, valueStart,
                                               std::move(cleanKeyword)};
                return result;
            }
            while (pos < n && isBlank(text[pos]))
                ++pos;
            if (pos < n && text[pos] != u';') {
                result.error = InitStringError{InitStringErrorKind::textAfterQuote, pos,
                                               std::move(cleanKeyword)};
                return result;
            }
        } else {
            const std::size_t end = text.find(u';', pos);
            const std::size_t stop = end == std::u16string_view::npos ? n : end;
            value = std::u16string(trimmed(text.substr(pos, stop - pos)));
            pos = stop;
        }
        result.pairs.push_back(
            InitStringPair{std::move(cleanKeyword), std::move(value), keywordStart, valueStart});
        ++pos; // past ';' (or past the end, which ends the loop)
    }
    return result;
}

std::u16string quoteInitValue(std::u16string_view value) {
    bool needsQuotes = false;
    if (!value.empty()) {
        needsQuotes = isBlank(value.front()) || isBlank(value.back()) || value.front() == u'=';
        for (char16_t c : value)
            if (c == u';' || isQuote(c))
                needsQuotes = true;
    }
    if (!needsQuotes)
        return std::u16string(value);

    const bool hasDouble = value.find(u'"') != std::u16string_view::npos;
    const bool hasSingle = value.find(u'\'') != std::u16string_view::npos;
    const char16_t quote = (hasDouble && !hasSingle) ? u'\'' : u'"';
    std::u16string out;
    out.reserve(value.size() + 2);
    out += quote;
    for (char16_t c : value) {
        out += c;
        if (c == quote)
            out += c;
    }
    out += quote;
    return out;
}

std::optional<std::u16string> escapeInitKeyword(std::u16string_view keyword) {
    if (keyword.empty() || isBlank(keyword.front()) || isBlank(keyword.back()))
        return std::nullopt;
    std::u16string out;
    for (char16_t c : keyword) {
        if (c == u';')
            return std::nullopt;
        out += c;
        if (c == u'=')
            out += c;
    }
    return out;
}

std::optional<std::u16string>
formatInitString(const std::vector<std::pair<std::u16string, std::u16string>>& pairs) {
    std::u16string out;
    for (const auto& [keyword, value] : pairs) {
        std::optional<std::u16string> escaped = escapeInitKeyword(keyword);
        if (!escaped)
            return std::nullopt;
        if (!out.empty())
            out += u';';
        out += *escaped;
        out += u'=';
        out += quoteInitValue(value);
    }
    return out;
}

bool sameInitKeyword(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    return true;
}

std::u16string describeInitStringError(const InitStringError& error) {
    std::u16string text;
    switch (error.kind) {
    case InitStringErrorKind::missingEquals:
        text = u"Inicializační řetězec: za klíčovým slovem '" + error.keyword + u"' chybí '='";
        break;
    case InitStringErrorKind::emptyKeyword:
        text = u"Inicializační řetězec: hodnota nemá klíčové slovo";
        break;
    case InitStringErrorKind::unterminatedQuote:
        text = u"Inicializační řetězec: hodnota klíčového slova '" + error.keyword +
               u"' v uvozovkách nemá uzavírací uvozovku";
        break;
    case InitStringErrorKind::textAfterQuote:
        text = u"Inicializační řetězec: za uzavírací uvozovkou hodnoty '" + error.keyword +
               u"' následuje další text";
        break;
    }
    text += u" (na znaku " + asciiNumber(error.offset + 1) + u").";
    return text;
}

} // namespace vantrel::services
