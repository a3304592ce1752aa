#include "OdbcBench.h"

#include "oledb/OleDbEnvironment.h"
#include "vantrel/MessageBox.h"

namespace odbctest {

namespace {

std::vector<RecordedBox>* recording = nullptr;

int recordBox(HWND, const char* text, const char* caption, UINT) {
    if (recording != nullptr)
        recording->push_back({text != nullptr ? text : "", caption != nullptr ? caption : ""});
    return 1; // IDOK
}

} // namespace

void BenchTest::SetUp() {
    DriverTest::SetUp();
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
    DriverTest::TearDown();
}

std::unique_ptr<BenchCommunicator> BenchTest::communicatorFor(const std::string& initString) {
    return std::make_unique<BenchCommunicator>(&owner_, &log, initString, 0);
}

std::unique_ptr<BenchCommunicator> BenchTest::connect(const std::string& extra) {
    auto c = communicatorFor(initString(extra));
    if (!c->connect()) {
        ADD_FAILURE() << "could not connect: "
                      << (boxes.empty() ? std::string("no box") : boxes.back().text);
        return nullptr;
    }
    return c;
}

int BenchTest::logLines(const std::string& operationName) const {
    int n = 0;
    for (const std::string& line : log.lines)
        n += line.rfind(operationName + ": ", 0) == 0 ? 1 : 0;
    return n;
}

std::string BenchTest::refusedWith(const std::string& initString) {
    auto c = communicatorFor(initString);
    EXPECT_FALSE(c->connect());
    EXPECT_FALSE(c->isConnected());
    EXPECT_EQ(boxes.size(), 1u);
    if (boxes.empty())
        return "";
    EXPECT_EQ(boxes[0].caption, "OLE DB Error");
    return boxes[0].text;
}

} // namespace odbctest
