#pragma once
// What most OLE DB tests share: the OLE DB environment entered for the test, a temporary
// directory for SQLite databases, the operation log as a vector of lines, and MessageBoxA
// recorded instead of shown.

#include "MessageBoxRecorder.h"

#include "core/CommunicatorOwner.h"
#include "core/Memo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TVectorMemo : public TMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

class TTestOwner : public TCommunicatorOwner {
public:
    void* nativeWindowHandle() override { return this; }
};

class TOleDbTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A database file path in the test's own directory (the file need not exist).
    std::string databasePath(const std::string& name = "bench.db") const;
    // "Provider=Vantrel.SQLite.1;Data Source=<databasePath(name)>".
    std::string sqliteConnectionString(const std::string& name = "bench.db") const;
    // Runs one SQL text on a fresh connection of its own (the test's setup), failing the test
    // when it does not execute.
    void runSql(const std::string& sql, const std::string& name = "bench.db");

    std::string directory;
    TVectorMemo log;
    TTestOwner owner;
    TMessageBoxRecorder boxes;
};
