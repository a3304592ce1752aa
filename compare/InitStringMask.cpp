#include "compare/InitStringMask.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// One keyword=value pair: the keyword, the unquoted value and where the value was written
// (from its first character, opening quote included, to its end, closing quote included).
struct TPair {
    std::string keyword;
    std::string value;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

std::vector<TPair> pairsOf(const std::string& text) {
    std::vector<TPair> pairs;
    std::size_t pos = 0;
    const std::size_t n = text.size();
    while (pos < n) {
        // Keyword: up to a single '='; "==" is a '=' inside the keyword.
        std::string keyword;
        while (pos < n && text[pos] != ';') {
            if (text[pos] == '=') {
                if (pos + 1 < n && text[pos + 1] == '=') {
                    keyword += '=';
                    pos += 2;
                    continue;
                }
                break;
            }
            keyword += text[pos++];
        }
        if (pos >= n || text[pos] == ';') {
            ++pos; // a segment without '=' carries no value
            continue;
        }
        ++pos; // the '='
        while (pos < n && isBlank(text[pos]))
            ++pos;
        TPair pair;
        pair.keyword = lowered(trimmed(keyword));
        pair.valueBegin = pos;
        if (pos < n && (text[pos] == '\'' || text[pos] == '"')) {
            const char quote = text[pos++];
            bool closed = false;
            while (pos < n) {
                if (text[pos] == quote) {
                    if (pos + 1 < n && text[pos + 1] == quote) {
                        pair.value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                pair.value += text[pos++];
            }
            pair.valueEnd = pos;
            if (!closed) {
                pairs.push_back(pair);
                break;
            }
            while (pos < n && text[pos] != ';')
                ++pos;
        } else {
            while (pos < n && text[pos] != ';')
                pair.value += text[pos++];
            std::size_t end = pos;
            while (end > pair.valueBegin && isBlank(text[end - 1]))
                --end;
            pair.valueEnd = end;
            pair.value = trimmed(pair.value);
        }
        pairs.push_back(pair);
        ++pos; // the ';'
    }
    return pairs;
}

bool isPasswordKeyword(const std::string& keyword) {
    return keyword == "password" || keyword == "pwd" || keyword == "jet oledb:database password";
}

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

} // namespace

std::string maskPasswords(const std::string& initString) {
    std::string masked = initString;
    const std::vector<TPair> pairs = pairsOf(initString);
    // From the last pair back, so that earlier offsets stay valid.
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        if (isPasswordKeyword(pair->keyword))
            masked.replace(pair->valueBegin, pair->valueEnd - pair->valueBegin, maskedPassword);
    }
    return masked;
}

std::string providerOf(const std::string& initString) {
    std::string provider;
    for (const TPair& pair : pairsOf(initString)) {
        if (pair.keyword == "provider")
            provider = trimmed(pair.value);
    }
    return provider;
}

std::vector<std::string> passwordsOf(const std::string& initString) {
    std::vector<std::string> passwords;
    for (const TPair& pair : pairsOf(initString)) {
        if (isPasswordKeyword(pair.keyword) && !pair.value.empty())
            passwords.push_back(pair.value);
    }
    return passwords;
}

std::string redactSecrets(std::string text, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets) {
        if (secret.empty())
            continue;
        const bool wholeWordOnly = secret.size() < 4;
        std::size_t pos = 0;
        while ((pos = text.find(secret, pos)) != std::string::npos) {
            const std::size_t end = pos + secret.size();
            const bool standsAlone = (pos == 0 || !isWordCharacter(text[pos - 1])) &&
                                     (end >= text.size() || !isWordCharacter(text[end]));
            if (wholeWordOnly && !standsAlone) {
                pos = end;
                continue;
            }
            text.replace(pos, secret.size(), maskedPassword);
            pos += std::char_traits<char>::length(maskedPassword);
        }
    }
    return text;
}
