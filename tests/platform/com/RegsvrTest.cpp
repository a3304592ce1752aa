// vantrel-regsvr as a user runs it: registering, listing and unregistering a real module, and
// one clear line with a non-zero exit status on every failure.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "ClassFileFixture.h"

using namespace comtest;

namespace {

struct RegsvrRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs vantrel-regsvr with arguments (already shell-quoted), capturing both streams.
RegsvrRun regsvr(const std::string& arguments, const std::string& root) {
    const std::string errFile = root + "/stderr.txt";
    const std::string command =
        std::string("'") + REGSVR + "' " + arguments + " 2>'" + errFile + "'";
    RegsvrRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.out += buffer;
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

int lines(const std::string& text) {
    return int(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST_F(ClassFileTest, RegsvrRegistersListsAndUnregistersAModule) {
    const std::string dir = root + "/chosen";
    const std::string file = dir + "/6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10.class";
    RegsvrRun run = regsvr("--dir '" + dir + "' '" + TEST_MODULE + "'", root);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(file));

    run = regsvr("--list --dir '" + dir + "'", root);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Vantrel.ModuleTest.1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(file), std::string::npos) << run.out;

    // A second file claiming the same ProgID is listed as ignored.
    write(dir + "/copy.class", "CLSID={6B1F3C3F-8E4A-4D2B-9C51-7A0E3D2F4B10}\n"
                               "ProgID=Vantrel.ModuleTest.1\nModule=/nowhere.so\n");
    run = regsvr("--list --dir '" + dir + "'", root);
    EXPECT_NE(run.out.find(dir +
                           "/copy.class: its ProgID Vantrel.ModuleTest.1 is already "
                           "registered by " +
                           file),
              std::string::npos)
        << run.out;

    run = regsvr("-u --dir '" + dir + "' '" + TEST_MODULE + "'", root);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(ClassFileTest, RegsvrWritesWhereTheEnvironmentSaysByDefault) {
    RegsvrRun run = regsvr(std::string("'") + TEST_MODULE + "'", root);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(envDir + "/6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10.class"));
    run = regsvr(std::string("--user '") + TEST_MODULE + "'", root);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(userDir + "/6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10.class"));
}

TEST_F(ClassFileTest, RegsvrFailsWithOneLineForEveryBadInput) {
    write(root + "/notes.txt", "not a module");
    const std::string missing = root + "/missing.so";
    const std::pair<std::string, std::string> cases[] = {
        {"'" + root + "/notes.txt'", "notes.txt is not a loadable module"},
        {"'" + missing + "'", "missing.so: No such file or directory"},
        {std::string("'") + NO_ENTRY_MODULE + "'", "is not an in-process server module"},
        {std::string("'") + MISSING_SYMBOL_MODULE + "'", "vantrelSymbolNobodyDefines"},
        {"--bogus", "unknown option --bogus"},
    };
    for (const auto& [arguments, expected] : cases) {
        const RegsvrRun run = regsvr("--dir '" + root + "/d' " + arguments, root);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_EQ(lines(run.err), 1) << run.err;
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }
    // Nothing was registered by the failures.
    EXPECT_FALSE(std::filesystem::exists(root + "/d"));

    // A directory that cannot be written: a regular file stands where it should be.
    write(root + "/occupied", "");
    const RegsvrRun run =
        regsvr("--dir '" + root + "/occupied/classes' '" + TEST_MODULE + "'", root);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("DllRegisterServer failed (0x80040201)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(root + "/occupied/classes"), std::string::npos) << run.err;

    EXPECT_EQ(regsvr("", root).status, 2);
}
