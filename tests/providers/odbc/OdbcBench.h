// TOLEDBCommunicator on the ODBC provider over one driver, the test's own database.
#pragma once

#include "OdbcTargets.h"

#include "../bench/BenchHarness.h"

#include <memory>
#include <string>

namespace odbctest {

using benchtest::BenchCommunicator;
using benchtest::TestMemo;

class BenchTest : public DriverTest, public benchtest::BenchHarness {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connected communicator on the test's database (nullptr after a failed connect, which
    // the test then reports).
    std::unique_ptr<BenchCommunicator> connect(const std::string& extra = "") {
        return connectWith(initString(extra));
    }
    // The first cell of a query on the test's database, for the shared checks.
    benchtest::DirectQuery directQuery() const {
        return [this](const std::string& sql) { return query(sql); };
    }
};

} // namespace odbctest
