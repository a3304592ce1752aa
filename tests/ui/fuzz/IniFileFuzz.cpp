// libFuzzer harness for the settings file (TIniFile), through its public reading and writing
// calls on a real file. The input is the file's content, then, each after a NUL byte, a section,
// a key and a value to write, and another section and key to watch. Beyond "no crash, no
// sanitizer report", it checks what the bench relies on: a read gives the default or a value
// no longer than the limit and without a line break; a write that succeeds reads back (a value
// with nothing to trim exactly) and changes no other key's value.
#include "ui/IniFile.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// The file every run uses, in a directory of this process's own, removed at exit.
std::string directory;
std::string path;

void removeFile() {
    ::unlink(path.c_str());
    ::rmdir(directory.c_str());
}

const std::string& filePath() {
    if (path.empty()) {
        directory = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
        directory += "/vantrel-inifuzz.XXXXXX";
        check(::mkdtemp(directory.data()) != nullptr);
        path = directory + "/Options.ini";
        std::atexit(removeFile);
    }
    return path;
}

std::vector<std::string> fields(std::string_view input, std::size_t count) {
    std::vector<std::string> out;
    while (out.size() + 1 < count) {
        const std::size_t nul = input.find('\0');
        if (nul == std::string_view::npos)
            break;
        out.emplace_back(input.substr(0, nul));
        input.remove_prefix(nul + 1);
    }
    out.emplace_back(input);
    out.resize(count);
    return out;
}

// The default a read gives when it finds nothing: a line break, which no value read from the file
// can hold and no write accepts.
const std::string noValue = "\n(not in the file)";

// A read that may fail only as the class promises (an exception of its own), never otherwise.
bool read(const TIniFile& ini, const std::string& section, const std::string& key,
          std::string& value) {
    try {
        value = ini.readString(section, key, noValue);
    } catch (const EIniFileException&) {
        return false;
    }
    check(value == noValue || value.size() <= TIniFile::maxValueLength);
    check(value == noValue || value.find('\n') == std::string::npos);
    return true;
}

bool plain(const std::string& value) {
    return !value.empty() && value.size() <= TIniFile::maxValueLength &&
           value.find_first_of(" \t\r") != 0 && value.find_last_of(" \t\r") != value.size() - 1 &&
           value.front() != '"' && value.front() != '\'';
}

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> f =
        fields(std::string_view(reinterpret_cast<const char*>(data), size), 6);
    const std::string& content = f[0];
    const std::string& section = f[1];
    const std::string& key = f[2];
    const std::string& value = f[3];
    const std::string& otherSection = f[4];
    const std::string& otherKey = f[5];

    {
        std::ofstream file(filePath(), std::ios::binary | std::ios::trunc);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
        check(file.good());
    }
    TIniFile ini(filePath());
    std::string before;
    std::string ignored;
    const bool otherReadable = read(ini, otherSection, otherKey, before);
    read(ini, section, key, ignored);

    try {
        ini.writeString(section, key, value);
    } catch (const EIniFileException&) {
        return 0;
    }
    std::string after;
    check(read(ini, section, key, after));
    check(after != noValue);
    if (plain(value))
        check(after == value);

    if (otherReadable && !(sameText(otherSection, section) && sameText(otherKey, key))) {
        std::string otherAfter;
        check(read(ini, otherSection, otherKey, otherAfter));
        check(otherAfter == before);
    }
    return 0;
}
