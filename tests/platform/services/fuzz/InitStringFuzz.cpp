// libFuzzer harness for the initialisation-string parser and writer. Beyond "no crash, no
// sanitizer report", it checks what callers rely on: offsets stay inside the text, keywords come
// out trimmed and free of ';', and whatever parses can be written back and parses to the same
// pairs.
#include "InitString.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace vantrel::services;

namespace {

// Even first byte: one character per byte, so the fuzzer finds the ASCII syntax quickly.
// Odd first byte: the rest is UTF-16LE, to reach characters beyond Latin-1.
std::u16string decode(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    if (size == 0)
        return text;
    if ((data[0] & 1) == 0) {
        for (std::size_t i = 1; i < size; ++i)
            text += char16_t(data[i]);
    } else {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            text += char16_t(data[i] | (data[i + 1] << 8));
    }
    return text;
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = decode(data, size);
    const InitStringParse parsed = parseInitString(text);

    for (const InitStringPair& pair : parsed.pairs) {
        check(!pair.keyword.empty());
        check(!isBlank(pair.keyword.front()) && !isBlank(pair.keyword.back()));
        check(pair.keyword.find(u';') == std::u16string::npos);
        check(pair.keywordOffset < text.size());
        check(pair.valueOffset <= text.size());
        check(pair.keywordOffset < pair.valueOffset);
    }
    if (parsed.error) {
        check(parsed.error->offset <= text.size());
        check(!describeInitStringError(*parsed.error).empty());
        return 0;
    }

    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    for (const InitStringPair& pair : parsed.pairs)
        pairs.emplace_back(pair.keyword, pair.value);
    const std::optional<std::u16string> written = formatInitString(pairs);
    check(written.has_value());
    const InitStringParse reparsed = parseInitString(*written);
    check(!reparsed.error);
    check(reparsed.pairs.size() == pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        check(reparsed.pairs[i].keyword == pairs[i].first);
        check(reparsed.pairs[i].value == pairs[i].second);
        check(sameInitKeyword(reparsed.pairs[i].keyword, pairs[i].first));
    }
    return 0;
}
