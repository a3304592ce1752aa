// A private class registry for one test: $VANTREL_CLASSES_DIR and the user's directory
// ($XDG_DATA_HOME) point into a fresh temporary directory, restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "oleauto.h"
#include "vantrel/ClassRegistry.h"

namespace comtest {

class SavedVariable {
public:
    explicit SavedVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name))
            value_ = value;
    }
    ~SavedVariable() {
        if (value_)
            ::setenv(name_, value_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> value_;
};

class ClassFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantrel-classes.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        envDir = root + "/env";
        userDir = root + "/data/vantrel/classes";
        std::filesystem::create_directories(envDir);
        std::filesystem::create_directories(userDir);
        ::setenv(VantrelClassDirectoryVariable, envDir.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    }
    void TearDown() override {
        VantrelSetRegistrationDirectory(nullptr);
        std::error_code ignored;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root, ignored);
    }

    static void write(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

    // A class file text naming module, with the given CLSID and ProgID.
    static std::string classText(const char* clsid, const char* progId, const std::string& module,
                                 const char* description = "A test class") {
        return std::string("CLSID=") + clsid + "\nProgID=" + progId +
               "\nDescription=" + description + "\nModule=" + module + "\nSourceType=1\n";
    }

    // The description of the thread's error object, in UTF-8 (ASCII in these tests).
    static std::string errorText() {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK || !info)
            return {};
        BSTR text = nullptr;
        info->GetDescription(&text);
        std::string out;
        for (const OLECHAR* p = text; p && *p; ++p)
            out += char(*p);
        SysFreeString(text);
        info->Release();
        return out;
    }

    std::string root, envDir, userDir;

private:
    SavedVariable savedClasses_{VantrelClassDirectoryVariable};
    SavedVariable savedData_{"XDG_DATA_HOME"};
};

} // namespace comtest
