#include "ui/IniFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
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

// What reading the file found.
enum class TReadResult { read, missing, unreadable };

// Splits text into lines without their line ends.
void splitLines(const std::string& text, TLines& result) {
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
}

// Closes a descriptor when it goes out of scope.
struct TFileDescriptor {
    explicit TFileDescriptor(int fd) : fd(fd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int fd;
};

// Reads the whole of an open regular file into text.
bool readAll(int fd, std::string& text) {
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

// Reads the file as lines. forWriting also demands that the file may be written, so that a
// write is refused (and the file left alone) where writing in place would be refused too.
// `status` receives the file's mode and owner when it was read.
TReadResult readLines(const std::string& path, TLines& result, bool forWriting,
                      struct stat* status = nullptr) {
    // Non-blocking, so that a FIFO standing in the file's place cannot hang the bench.
    const int flags = (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    TFileDescriptor file(::open(path.c_str(), flags));
    if (file.fd < 0) {
        return errno == ENOENT ? TReadResult::missing : TReadResult::unreadable;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return TReadResult::unreadable;
    }
    std::string text;
    if (!readAll(file.fd, text)) {
        return TReadResult::unreadable;
    }
    splitLines(text, result);
    if (status != nullptr) {
        *status = info;
    }
    return TReadResult::read;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The file a write replaces: the target of a symbolic link rather than the link itself.
std::string replacedFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            std::string target = resolved;
            std::free(resolved);
            return target;
        }
    }
    return path;
}

// Replaces the file with content in one step: the content goes to a temporary file in the same
// directory, which is synced and then renamed over the file, so that a crash or a full disk
// leaves either the old file or the new one, never a part of either. The new file gets the old
// one's mode and owner (existing == nullptr: a new file, readable by its owner only).
bool replaceContent(const std::string& path, const std::string& content,
                    const struct stat* existing) {
    const std::string target = replacedFile(path);
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = directory + "/." + name + ".XXXXXX";
    TFileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC)); // created with mode 0600
    if (file.fd < 0) {
        return false;
    }
    bool ok = writeAll(file.fd, content);
    if (ok && existing != nullptr) {
        ok = ::fchmod(file.fd, existing->st_mode & 07777) == 0;
        // Keeping the owner needs privileges the bench rarely has; a file of the bench's own
        // user, the usual case, needs nothing.
        if (ok && (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid())) {
            [[maybe_unused]] const int ignored =
                ::fchown(file.fd, existing->st_uid, existing->st_gid);
        }
    }
    ok = ok && ::fsync(file.fd) == 0;
    const int fd = file.fd;
    file.fd = -1;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory; a failure here loses nothing.
    TFileDescriptor parent(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.fd >= 0) {
        ::fsync(parent.fd);
    }
    return true;
}

// False for a section or key name that a read could never find again: one holding a character
// of `forbidden`, or with blanks around it (reads trim them from the file's lines).
bool readsBackAsName(const std::string& name, const char* forbidden) {
    return name.find_first_of(forbidden) == std::string::npos && trimmed(name) == name;
}

// The same for a key; its line would be read as a comment or a section header if it started
// with ';' or '['.
bool readsBackAsKey(const std::string& key) {
    return readsBackAsName(key, "\r\n=") && (key.empty() || (key[0] != ';' && key[0] != '['));
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
    if (readLines(systemPath(), file, false) == TReadResult::read) {
        // Only the first section of the name counts; a later one of the same name is ignored,
        // as writes ignore it too.
        bool inSection = false;
        for (const std::string& line : file.lines) {
            std::string name;
            if (sectionName(line, name)) {
                if (inSection) {
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
    if (value.find_first_of("\r\n") != std::string::npos || !readsBackAsKey(key) ||
        !readsBackAsName(section, "\r\n]")) {
        throw failure;
    }
    // A file that exists but cannot be read (or written) is left as it is: writing it from
    // nothing would lose every other section and key in it.
    TLines file;
    struct stat existing {};
    const TReadResult found = readLines(systemPath(), file, true, &existing);
    if (found == TReadResult::unreadable) {
        throw failure;
    }
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
    if (!replaceContent(systemPath(), content, found == TReadResult::read ? &existing : nullptr)) {
        throw failure;
    }
}
