#include "BenchSupport.h"

#include "oledb/OleDbEnvironment.h"
#include "vantrel/MessageBox.h"

namespace pgtest {

namespace {

std::vector<RecordedBox>* recording = nullptr;

int recordBox(HWND, const char* text, const char* caption, UINT) {
    if (recording != nullptr)
        recording->push_back({text != nullptr ? text : "", caption != nullptr ? caption : ""});
    return 1; // IDOK
}

} // namespace

void BenchTest::SetUp() {
    ServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    recording = &boxes;
    VantrelSetMessageBoxHandler(&recordBox);
    setUpOleDbEnvironment();
    environment_ = true;
}

void BenchTest::TearDown() {
    if (environment_)
        tearDownOleDbEnvironment();
    VantrelSetMessageBoxHandler(nullptr);
    recording = nullptr;
    ServerTest::TearDown();
}

std::unique_ptr<BenchCommunicator> BenchTest::communicatorFor(const std::string& connection) {
    return std::make_unique<BenchCommunicator>(&owner_, &log, connection, 0);
}

std::unique_ptr<BenchCommunicator> BenchTest::connect(const std::string& extra) {
    auto c = communicatorFor(connectionString(extra));
    if (!c->connect()) {
        ADD_FAILURE() << "could not connect: "
                      << (boxes.empty() ? std::string("no box") : boxes.back().text);
        return nullptr;
    }
    return c;
}

std::string BenchTest::count(const std::string& table) const {
    return query("SELECT count(*) FROM " + table);
}

std::string BenchTest::query(const std::string& sql) const {
    return queryText("SET search_path = " + schema_ + "; " + sql);
}

int BenchTest::logLines(const std::string& operationName) const {
    int n = 0;
    for (const std::string& line : log.lines)
        n += line.rfind(operationName + ": ", 0) == 0 ? 1 : 0;
    return n;
}

} // namespace pgtest
