// TOLEDBCommunicator connected to the PostgreSQL provider on the test server, in the test's
// own schema.
#pragma once

#include "PgTestServer.h"

#include "../bench/BenchHarness.h"

#include <memory>
#include <string>

namespace pgtest {

using benchtest::BenchCommunicator;
using benchtest::TestMemo;

class BenchTest : public ServerTest, public benchtest::BenchHarness {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connected communicator (nullptr after a failed connect, which the test checks).
    std::unique_ptr<BenchCommunicator> connect(const std::string& extra = "") {
        return connectWith(connectionString(extra));
    }
    // The row count of a benchmark table in the test's schema, straight from the server.
    std::string count(const std::string& table) const;
    // A query in the test's schema, straight from the server.
    std::string query(const std::string& sql) const;
    benchtest::DirectQuery directQuery() const {
        return [this](const std::string& sql) { return query(sql); };
    }
};

} // namespace pgtest
