#include "BenchSupport.h"

namespace pgtest {

void BenchTest::SetUp() {
    ServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    startBench();
}

void BenchTest::TearDown() {
    stopBench();
    ServerTest::TearDown();
}

std::string BenchTest::count(const std::string& table) const {
    return query("SELECT count(*) FROM " + table);
}

std::string BenchTest::query(const std::string& sql) const {
    return queryText("SET search_path = " + schema_ + "; " + sql);
}

} // namespace pgtest
