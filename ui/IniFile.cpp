#include "ui/IniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

struct TLines {
    std::vector<std::string> lines;
    // The file's own line end (the first one found), kept by writes.
    std::string lineEnd = "\n";
};

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The section name of a "[name]" line, or false when the line is no section header.
bool sectionName(const std::string& line, std::string& name) {
    const std::string text = trimmed(line);
    if (text.size() < 2 || text.front() != '[') {
        return false;
    }
    const std::size_t close = text.find(']');
    if (close == std::string::npos) {
        return false;
    }
    name = trimmed(text.substr(1, close - 1));
    return true;
}

// Splits a "key=value" line; false for comments and lines without '='.
bool keyLine(const std::string& line, std::string& key, std::string& value) {
    const std::string text = trimmed(line);
    if (text.empty() || text.front() == ';') {
        return false;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    key = trimmed(text.substr(0, equals));
    value = trimmed(text.substr(equals + 1));
    return true;
}

// Reads the file as lines without their line ends; false when it cannot be opened.
bool readLines(const std::string& path, TLines& result) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    const std::string text = content.str();
    std::size_t start = 0;
    bool lineEndKnown = false;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            result.lines.push_back(text.substr(start));
            break;
        }
        std::size_t lineLength = end - start;
        const bool crlf = lineLength > 0 && text[end - 1] == '\r';
        if (crlf) {
            --lineLength;
        }
        if (!lineEndKnown) {
            result.lineEnd = crlf ? "\r\n" : "\n";
            lineEndKnown = true;
        }
        result.lines.push_back(text.substr(start, lineLength));
        start = end + 1;
    }
    return true;
}

// Writes the whole content; new files get mode 0600, existing ones keep theirs.
bool writeContent(const std::string& path, const std::string& content) {
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    bool ok = true;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        ok = false;
    }
    return ok;
}

} // namespace

TIniFile::TIniFile(std::string path) : path(std::move(path)) {}

std::string TIniFile::systemPath() const {
    std::string result = path;
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

std::string TIniFile::readString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    TLines file;
    std::string result = def;
    if (readLines(systemPath(), file)) {
        bool inSection = false;
        bool found = false;
        for (const std::string& line : file.lines) {
            std::string name;
            if (sectionName(line, name)) {
                if (found) {
                    break;
                }
                inSection = sameText(name, section);
                continue;
            }
            std::string lineKey;
            std::string value;
            if (inSection && keyLine(line, lineKey, value) && sameText(lineKey, key)) {
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                result = value;
                found = true;
                break;
            }
        }
    }
    if (result.size() > maxValueLength) {
        result.resize(maxValueLength);
    }
    return result;
}

void TIniFile::writeString(const std::string& section, const std::string& key,
                           const std::string& value) {
    const EIniFileException failure("Unable to write to " + path);
    if (value.find_first_of("\r\n") != std::string::npos ||
        key.find_first_of("\r\n=") != std::string::npos ||
        section.find_first_of("\r\n]") != std::string::npos) {
        throw failure;
    }
    TLines file;
    readLines(systemPath(), file);
    const std::string newLine = key + "=" + value;

    // Find the first matching section, then the key in it or the last key line of it.
    std::size_t sectionLine = file.lines.size();
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        std::string name;
        if (sectionName(file.lines[i], name) && sameText(name, section)) {
            sectionLine = i;
            break;
        }
    }
    if (sectionLine == file.lines.size()) {
        if (!file.lines.empty() && !trimmed(file.lines.back()).empty()) {
            file.lines.push_back(std::string());
        }
        file.lines.push_back("[" + section + "]");
        file.lines.push_back(newLine);
    } else {
        std::size_t insertAt = sectionLine + 1;
        bool replaced = false;
        for (std::size_t i = sectionLine + 1; i < file.lines.size(); ++i) {
            std::string name;
            if (sectionName(file.lines[i], name)) {
                break;
            }
            std::string lineKey;
            std::string lineValue;
            if (keyLine(file.lines[i], lineKey, lineValue)) {
                if (sameText(lineKey, key)) {
                    file.lines[i] = newLine;
                    replaced = true;
                    break;
                }
                insertAt = i + 1;
            }
        }
        if (!replaced) {
            file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
        }
    }

    std::string content;
    for (const std::string& line : file.lines) {
        content += line;
        content += file.lineEnd;
    }
    if (!writeContent(systemPath(), content)) {
        throw failure;
    }
}
