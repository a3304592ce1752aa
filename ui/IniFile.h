#pragma once
// A settings file in the Windows private-profile format: "[section]" lines and "key=value" lines,
// sections and keys matched without regard to letter case, every other line kept as it stands.
// The object remembers only the path: each read and write goes straight to the file, so there
// is nothing to flush. All text is Windows-1250.

#include "core/Exception.h"

#include <string>

// A write that could not be done; the message is "Unable to write to <path>".
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

class TIniFile {
public:
    // Longest value a read gives back; longer values are cut to this many characters.
    static constexpr std::size_t maxValueLength = 2047;

    // path as the bench names it (".\Options.ini"); backslashes stand for the platform's
    // separator and the path is resolved against the working directory at each access.
    explicit TIniFile(std::string path);

    const std::string& fileName() const { return path; }

    // The value of key in the first section of that name (first match of the key), blanks around it
    // removed and one pair of enclosing quotes dropped; def when the file, section or key is
    // missing.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;

    // Sets key in section, replacing the first such key or adding it at the end of the section;
    // a missing section is added at the end, a missing file is created readable and writable by
    // its owner only (it may hold a password). An existing file keeps its permissions and its
    // line ends. The file is replaced in one step (a temporary file in its directory, renamed
    // over it), so a failure half-way leaves it as it was. Throws EIniFileException, leaving the
    // file untouched, when it exists but cannot be read or written or is no regular file, when
    // the new content cannot be stored, when the value holds a line break (which would add
    // lines of its own to the file), or when a read could never find the section or key again
    // (blanks around it, ']' in a section, '=' in a key, a key starting with ';' or '[').
    void writeString(const std::string& section, const std::string& key, const std::string& value);

private:
    std::string systemPath() const;

    std::string path;
};
