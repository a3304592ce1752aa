// The text of one class file: "Key=Value" lines in UTF-8 (format in platform/com/README.md).
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>

#include "ClassFiles.h"
#include "RuntimeInternal.h"
#include "oleauto.h"

namespace vantrel::com {

namespace {

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}
bool isAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool isAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The keys a class file may hold; others are ignored, so later versions may add some.
constexpr const char* keyClsid = "CLSID";
constexpr const char* keyProgId = "ProgID";
constexpr const char* keyIndependentProgId = "VersionIndependentProgID";
constexpr const char* keyDescription = "Description";
constexpr const char* keyModule = "Module";
constexpr const char* keySourceType = "SourceType";
constexpr const char* keyParseName = "ParseName";

ParsedClassFile refuse(std::string problem) {
    ParsedClassFile result;
    result.problem = std::move(problem);
    return result;
}

} // namespace

bool isValidProgId(const std::u16string& progId) {
    if (progId.empty())
        return true;
    if (progId.size() > 39 || !isAsciiLetter(progId[0]))
        return false;
    return std::all_of(progId.begin(), progId.end(), [](char16_t c) {
        return isAsciiLetter(c) || isAsciiDigit(c) || c == u'.' || c == u'_';
    });
}

bool sameProgId(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return asciiLower(x) == asciiLower(y); });
}

bool utf8ToUtf16(const std::string& in, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const auto lead = static_cast<unsigned char>(in[i]);
        char32_t code;
        std::size_t length;
        if (lead < 0x80) {
            code = lead;
            length = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            length = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07;
            length = 4;
        } else {
            return false;
        }
        if (i + length > in.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(char16_t(0xD800 + (code >> 10)));
            out.push_back(char16_t(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(char16_t(code));
        }
        i += length;
    }
    return true;
}

std::string utf16ToUtf8(const std::u16string& in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t code = in[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        if (code < 0x80) {
            out.push_back(char(code));
        } else if (code < 0x800) {
            out.push_back(char(0xC0 | (code >> 6)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(char(0xE0 | (code >> 12)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (code >> 18)));
            out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::string bracedGuid(REFGUID guid) {
    OLECHAR text[CHARS_IN_GUID];
    StringFromGUID2(guid, text, CHARS_IN_GUID);
    return utf16ToUtf8(text);
}

std::string classFileName(REFCLSID clsid) {
    const std::string braced = bracedGuid(clsid);
    return braced.substr(1, braced.size() - 2) + ".class";
}

ParsedClassFile parseClassFile(const std::string& path, const std::string& text) {
    std::map<std::string, std::string> values;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            return refuse("line " + std::to_string(lineNumber) + " is not Key=Value");
        std::string key = line.substr(0, equals);
        if (values.count(key))
            return refuse("line " + std::to_string(lineNumber) + " repeats " + key);
        values.emplace(std::move(key), line.substr(equals + 1));
    }

    ParsedClassFile result;
    VantrelClassRegistration& r = result.registration;
    r.classFile = path;
    const auto clsid = values.find(keyClsid);
    if (clsid == values.end())
        return refuse("it has no CLSID line");
    std::u16string clsidText;
    if (!utf8ToUtf16(clsid->second, clsidText) || !parseBracedGuid(clsidText.c_str(), &r.clsid) ||
        r.clsid == GUID_NULL)
        return refuse("its CLSID \"" + clsid->second + "\" is not a braced GUID");

    const std::pair<const char*, std::u16string*> texts[] = {
        {keyProgId, &r.progId},
        {keyIndependentProgId, &r.versionIndependentProgId},
        {keyDescription, &r.description},
        {keyParseName, &r.parseName}};
    for (const auto& [key, target] : texts) {
        const auto found = values.find(key);
        if (found != values.end() && !utf8ToUtf16(found->second, *target))
            return refuse(std::string("its ") + key + " is not UTF-8 text");
    }
    if (!isValidProgId(r.progId) || !isValidProgId(r.versionIndependentProgId))
        return refuse(
            "its ProgID is not 1 to 39 letters, digits, '.' or '_' starting with a letter");

    const auto sourceType = values.find(keySourceType);
    if (sourceType != values.end()) {
        const std::string& digits = sourceType->second;
        unsigned value = 0;
        const auto [rest, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || error != std::errc() || rest != digits.data() + digits.size() ||
            value > 0xFFFF)
            return refuse("its SourceType \"" + digits + "\" is not a number from 0 to 65535");
        r.sourceType = value;
    }

    const auto module = values.find(keyModule);
    if (module == values.end() || module->second.empty())
        return refuse("it has no Module line");
    std::filesystem::path modulePath(module->second);
    if (modulePath.is_relative())
        modulePath = std::filesystem::path(path).parent_path() / modulePath;
    r.modulePath = modulePath.lexically_normal().string();
    result.valid = true;
    return result;
}

std::string formatClassFile(const VantrelClassRegistration& r, const std::string& directory) {
    // A module inside the prefix the directory belongs to (<prefix>/share/vantrel/classes) is
    // written relative to the directory, so the whole tree can move.
    const std::filesystem::path dir = std::filesystem::path(directory).lexically_normal();
    const std::filesystem::path module = std::filesystem::path(r.modulePath).lexically_normal();
    const std::filesystem::path prefix = (dir / "../../..").lexically_normal();
    std::string modulePath = module.string();
    const std::string prefixText = prefix.string();
    if (module.is_absolute() && dir.is_absolute() && prefixText.size() > 1 &&
        modulePath.compare(0, prefixText.size(), prefixText) == 0 &&
        (prefixText.back() == '/' || modulePath[prefixText.size()] == '/'))
        modulePath = module.lexically_relative(dir).string();

    std::string text = "# A class registration of the Vantrel COM runtime, written by "
                       "DllRegisterServer.\n";
    text += std::string(keyClsid) + "=" + bracedGuid(r.clsid) + "\n";
    if (!r.progId.empty())
        text += std::string(keyProgId) + "=" + utf16ToUtf8(r.progId) + "\n";
    if (!r.versionIndependentProgId.empty())
        text += std::string(keyIndependentProgId) + "=" + utf16ToUtf8(r.versionIndependentProgId) +
                "\n";
    if (!r.description.empty())
        text += std::string(keyDescription) + "=" + utf16ToUtf8(r.description) + "\n";
    text += std::string(keyModule) + "=" + modulePath + "\n";
    if (r.sourceType != 0)
        text += std::string(keySourceType) + "=" + std::to_string(r.sourceType) + "\n";
    if (!r.parseName.empty())
        text += std::string(keyParseName) + "=" + utf16ToUtf8(r.parseName) + "\n";
    return text;
}

void postRuntimeError(const std::string& description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create)
        return;
    std::u16string text;
    if (!utf8ToUtf16(description, text))
        text = u"The class registry failed.";
    std::u16string source = u"Vantrel COM runtime";
    create->SetDescription(text.data());
    create->SetSource(source.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) &&
        info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

} // namespace vantrel::com
