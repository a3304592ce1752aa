#include "OdbcBench.h"

namespace odbctest {

void BenchTest::SetUp() {
    DriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    startBench();
}

void BenchTest::TearDown() {
    stopBench();
    DriverTest::TearDown();
}

} // namespace odbctest
