// The settings file's private-profile semantics on real files in a temporary directory.

#include "ui/IniFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs check as an unprivileged user, so file permissions hold even when the suite runs as root
// (root writes read-only files). Returns whether check passed.
bool asUnprivilegedUser(const std::function<bool()>& check, const std::vector<fs::path>& owned) {
    if (geteuid() != 0) {
        return check();
    }
    const uid_t nobody = 65534;
    for (const fs::path& path : owned) {
        if (chown(path.c_str(), nobody, nobody) != 0) {
            return false;
        }
    }
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody) != 0 || setuid(nobody) != 0) {
            _exit(2);
        }
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantrel-ini-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        file = dir / "Options.ini";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, ignored);
        fs::remove_all(dir, ignored);
    }
    void put(const std::string& content) {
        std::ofstream out(file, std::ios::binary);
        out << content;
    }
    std::string content() const {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    TIniFile ini() const { return TIniFile(file.string()); }

    fs::path dir;
    fs::path file;
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndFirstWriteCreatesPrivateFile) {
    EXPECT_EQ(ini().readString("General", "Driver", "dflt"), "dflt");
    EXPECT_FALSE(fs::exists(file));

    TIniFile settings = ini();
    settings.writeString("General", "Driver", "SQLite");
    settings.writeString("General", "ConnectionString", "");
    EXPECT_EQ(content(), "[General]\nDriver=SQLite\nConnectionString=\n");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(settings.readString("General", "ConnectionString", "x"), "");
}

TEST_F(IniFileTest, ExistingFileKeepsItsPermissionsAndForeignLines) {
    put("; my notes\n[Other]\nDriver=elsewhere\n\n[general]\nDRIVER=old\nExtra = kept\n");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    ini().writeString("General", "Driver", "new");
    ini().writeString("General", "ConnectionString", "Data Source=a.db");
    EXPECT_EQ(content(), "; my notes\n[Other]\nDriver=elsewhere\n\n[general]\nDriver=new\n"
                         "Extra = kept\nConnectionString=Data Source=a.db\n");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(ini().readString("Other", "driver", ""), "elsewhere");
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutLetterCaseAndBlanksAreTrimmed) {
    put("[ GENERAL ]\n  driver  =  Vantrel SQLite  \nquoted=\"  padded  \"\n");
    EXPECT_EQ(ini().readString("General", "Driver", ""), "Vantrel SQLite");
    EXPECT_EQ(ini().readString("general", "QUOTED", ""), "  padded  ");
    EXPECT_EQ(ini().readString("General", "Missing", "d"), "d");
    EXPECT_EQ(ini().readString("Missing", "Driver", "d"), "d");
}

TEST_F(IniFileTest, CrlfAndLfLineEndsBothReadAndCrlfIsKeptOnWrite) {
    put("[General]\r\nDriver=one\r\nConnectionString=two\r\n");
    EXPECT_EQ(ini().readString("General", "Driver", ""), "one");
    EXPECT_EQ(ini().readString("General", "ConnectionString", ""), "two");
    ini().writeString("General", "Driver", "three");
    EXPECT_EQ(content(), "[General]\r\nDriver=three\r\nConnectionString=two\r\n");

    put("[General]\nDriver=lf");
    EXPECT_EQ(ini().readString("General", "Driver", ""), "lf");
    ini().writeString("General", "ConnectionString", "x");
    EXPECT_EQ(content(), "[General]\nDriver=lf\nConnectionString=x\n");
}

TEST_F(IniFileTest, DuplicateKeysReadTheFirstAndWriteReplacesOnlyTheFirst) {
    put("[General]\nDriver=first\nDriver=second\n");
    EXPECT_EQ(ini().readString("General", "Driver", ""), "first");
    ini().writeString("General", "Driver", "third");
    EXPECT_EQ(content(), "[General]\nDriver=third\nDriver=second\n");
}

TEST_F(IniFileTest, KeysBeforeAnySectionBelongToNoSection) {
    put("Driver=orphan\nConnectionString=orphan\n");
    EXPECT_EQ(ini().readString("General", "Driver", "none"), "none");
    ini().writeString("General", "Driver", "d");
    EXPECT_EQ(content(), "Driver=orphan\nConnectionString=orphan\n\n[General]\nDriver=d\n");
}

TEST_F(IniFileTest, LongValuesAreReadBackCutTo2047Characters) {
    const std::string longValue(5000, 'v');
    ini().writeString("General", "ConnectionString", longValue);
    EXPECT_NE(content().find(longValue), std::string::npos) << "the file holds the whole value";
    EXPECT_EQ(ini().readString("General", "ConnectionString", ""), std::string(2047, 'v'));
    const std::string exact(2047, 'e');
    ini().writeString("General", "Driver", exact);
    EXPECT_EQ(ini().readString("General", "Driver", ""), exact);
}

TEST_F(IniFileTest, BinaryGarbageAndVeryLongLinesDoNotDisturbReadsOrWrites) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.push_back(static_cast<char>((i * 131) % 256));
    }
    put(garbage + "\n" + std::string(100000, 'x') + "\n[General]\nDriver=after\n");
    EXPECT_EQ(ini().readString("General", "Driver", ""), "after");
    ini().writeString("General", "Driver", "changed");
    const std::string written = content();
    EXPECT_EQ(written.substr(0, garbage.size()), garbage);
    EXPECT_EQ(ini().readString("General", "Driver", ""), "changed");
}

TEST_F(IniFileTest, Cp1250BytesPassThroughUnchanged) {
    const std::string czech = "P\xF8ipojen\xED \x9A\xE8\xF9";
    ini().writeString("General", "ConnectionString", czech);
    EXPECT_EQ(ini().readString("General", "ConnectionString", ""), czech);
}

TEST_F(IniFileTest, ReadOnlyFileFailsWithThePathInTheMessage) {
    put("[General]\nDriver=kept\n");
    ASSERT_EQ(chmod(file.c_str(), 0400), 0);
    const std::string path = file.string();
    EXPECT_TRUE(asUnprivilegedUser(
        [&] {
            TIniFile settings(path);
            try {
                settings.writeString("General", "Driver", "new");
            } catch (const EIniFileException& e) {
                return e.message() == "Unable to write to " + path &&
                       settings.readString("General", "Driver", "") == "kept";
            }
            return false;
        },
        {dir, file}));
    EXPECT_EQ(ini().readString("General", "Driver", ""), "kept");
}

TEST_F(IniFileTest, UnwritableDirectoryFailsAndCreatesNothing) {
    ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
    const std::string path = file.string();
    EXPECT_TRUE(asUnprivilegedUser(
        [&] {
            TIniFile settings(path);
            try {
                settings.writeString("General", "Driver", "d");
            } catch (const EIniFileException& e) {
                return e.message() == "Unable to write to " + path;
            }
            return false;
        },
        {dir}));
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(IniFileTest, FailsOnAFileThatIsNoFile) {
    fs::create_directory(file);
    TIniFile settings(file.string());
    EXPECT_THROW(settings.writeString("General", "Driver", "d"), EIniFileException);
    EXPECT_EQ(settings.readString("General", "Driver", "d"), "d");
}

TEST_F(IniFileTest, LineBreaksInAValueAreRefusedInsteadOfAddingLines) {
    put("[General]\nDriver=safe\n");
    EXPECT_THROW(ini().writeString("General", "Driver", "x\n[General]\nDriver=evil"),
                 EIniFileException);
    EXPECT_EQ(content(), "[General]\nDriver=safe\n");
}

TEST_F(IniFileTest, NamesAReadCouldNeverFindAgainAreRefusedAndTheFileStaysAsItWas) {
    // Each of these once wrote a line that reads back as something else: a section or key
    // with blanks around it (reads trim them), a key read as a comment or as a section header.
    put("[General]\nDriver=safe\n");
    const std::pair<const char*, const char*> names[] = {
        {" General", "Driver"},  {"General ", "Driver"}, {"General", " Driver"},
        {"General", "Driver\t"}, {"General", ";Driver"}, {"General", "[Other]"},
        {"Gen]eral", "Driver"},  {"General", "Dri=ver"}};
    for (const auto& [section, key] : names) {
        EXPECT_THROW(ini().writeString(section, key, "evil"), EIniFileException)
            << '"' << section << "\" \"" << key << '"';
    }
    EXPECT_EQ(content(), "[General]\nDriver=safe\n");
    // Names with inner blanks, brackets and an empty key still work.
    ini().writeString("My Section", "a b[1]", "v1");
    ini().writeString("My Section", "", "v2");
    EXPECT_EQ(ini().readString("my section", "A B[1]", "-"), "v1");
    EXPECT_EQ(ini().readString("My Section", "", "-"), "v2");
}

TEST_F(IniFileTest, BackslashPathIsResolvedAgainstTheWorkingDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    TIniFile settings(".\\Options.ini");
    settings.writeString("General", "Driver", "here");
    fs::current_path(before);
    EXPECT_EQ(ini().readString("General", "Driver", ""), "here");
    EXPECT_EQ(settings.fileName(), ".\\Options.ini");
}

TEST_F(IniFileTest, OnlyTheFirstSectionOfANameCounts) {
    put("[General]\nDriver=first\n[Other]\nx=1\n[GENERAL]\nDriver=second\nConnectionString=late\n");
    EXPECT_EQ(ini().readString("General", "Driver", ""), "first");
    EXPECT_EQ(ini().readString("General", "ConnectionString", "none"), "none")
        << "a key of the later section of the same name is not read";
    ini().writeString("General", "ConnectionString", "s");
    EXPECT_EQ(ini().readString("General", "ConnectionString", ""), "s");
    EXPECT_EQ(content(), "[General]\nDriver=first\nConnectionString=s\n[Other]\nx=1\n[GENERAL]\n"
                         "Driver=second\nConnectionString=late\n");
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNotOverwritten) {
    const std::string original = "[General]\nDriver=kept\n[Mine]\nnote=precious\n";
    put(original);
    ASSERT_EQ(chmod(file.c_str(), 0200), 0);
    const std::string path = file.string();
    EXPECT_TRUE(asUnprivilegedUser(
        [&] {
            TIniFile settings(path);
            try {
                settings.writeString("General", "Driver", "new");
            } catch (const EIniFileException& e) {
                return e.message() == "Unable to write to " + path;
            }
            return false;
        },
        {dir, file}));
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    EXPECT_EQ(content(), original);
}

// Runs a write in a child process whose files may grow to at most `limit` bytes, as on a disk
// that fills up; answers whether the write failed with the settings error.
bool writeFailsWithFileSizeLimit(const std::string& path, const std::string& value, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the process
        const rlimit small{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &small) != 0) {
            _exit(2);
        }
        try {
            TIniFile(path).writeString("General", "ConnectionString", value);
        } catch (const EIniFileException&) {
            _exit(0);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(IniFileTest, AWriteThatRunsOutOfSpaceLeavesTheOldFileWholeAndNoTemporaryFile) {
    const std::string original = "[General]\nDriver=kept\nConnectionString=old\n[Mine]\nnote=1\n";
    put(original);
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    EXPECT_TRUE(writeFailsWithFileSizeLimit(file.string(), std::string(20000, 'v'), 4096));
    EXPECT_EQ(content(), original);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Options.ini"});

    ini().writeString("General", "ConnectionString", "new");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "a replaced file keeps its mode";
    EXPECT_EQ(ini().readString("Mine", "note", ""), "1");
}

TEST_F(IniFileTest, AWriteThroughASymbolicLinkReplacesItsTargetAndKeepsTheLink) {
    const fs::path target = dir / "real.ini";
    {
        std::ofstream out(target, std::ios::binary);
        out << "[General]\nDriver=old\n";
    }
    fs::create_symlink(target, file);
    ini().writeString("General", "Driver", "new");
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(ini().readString("General", "Driver", ""), "new");
}

} // namespace
