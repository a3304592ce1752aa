// The ODBC provider over a driver that misbehaves on demand (MisbehavingDriver.cpp, forwarding
// to SQLite ODBC): one that warns on every call, one whose text is longer than it described,
// one that claims more text than it delivered. The bench runs its whole sequence on each, and a
// consumer's bindings get truncation statuses and true lengths, never a write past a buffer.
#include "OdbcTargets.h"

#include "../bench/BenchHarness.h"
#include "../sqlite/ProviderTestSupport.h"

#include <msdasc.h>
#include <oleauto.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include <unistd.h>

namespace {

using sqlitetest::Ptr;

// This process's unixODBC configuration: the misbehaving driver only, by its build path.
class DriverConfiguration : public ::testing::Environment {
public:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("vantrel-misbehaving-" + std::to_string(getpid()));
        std::filesystem::create_directories(directory_);
        std::ofstream((directory_ / "odbcinst.ini").string())
            << "[Vantrel Misbehaving]\nDriver=" MISBEHAVING_ODBC_DRIVER "\n\n"
            << "[Vantrel SQLite3]\nDriver=" REAL_SQLITE_ODBC_DRIVER "\n";
        std::ofstream((directory_ / "odbc.ini").string());
        setenv("ODBCSYSINI", directory_.c_str(), 1);
        setenv("ODBCINI", (directory_ / "odbc.ini").c_str(), 1);
        // SQLite ODBC has no wide functions: unixODBC converts its text through the locale.
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

private:
    std::filesystem::path directory_;
};
[[maybe_unused]] ::testing::Environment* const configuration =
    ::testing::AddGlobalTestEnvironment(new DriverConfiguration);

class Misbehaving : public ::testing::TestWithParam<const char*>, public benchtest::BenchHarness {
protected:
    void SetUp() override {
        file_ = (std::filesystem::temp_directory_path() /
                 ("vantrel-misbehaving-" + std::to_string(getpid()) + ".db"))
                    .string();
        std::filesystem::remove(file_);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        startBench();
    }
    void TearDown() override {
        session.reset();
        dataSource.reset();
        stopBench();
        CoUninitialize();
        std::filesystem::remove(file_);
    }

    std::string odbcString(const std::string& driver) const {
        return "DRIVER={" + driver + "};Database=" + file_;
    }
    std::string initString() const {
        return "Provider=Vantrel.ODBC.1;Extended Properties=\"" +
               odbcString("Vantrel Misbehaving") + ";Misbehave=" + GetParam() + "\"";
    }
    // Straight through the real driver, no provider and no misbehaviour.
    benchtest::DirectQuery directQuery() const {
        return [this](const std::string& sql) {
            return odbctest::rawQuery(odbcString("Vantrel SQLite3"), sql);
        };
    }
    void rawRun(const std::string& sql) {
        ASSERT_EQ(odbctest::rawRun(odbcString("Vantrel SQLite3"), sql), "") << sql;
    }

    // A session through the data initialisation service; Initialize's result into `hr`.
    void open(const std::string& init, HRESULT& hr) {
        Ptr<IDataInitialize> service;
        ASSERT_EQ(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDataInitialize, service.outVoid()),
                  S_OK);
        Ptr<IUnknown> source;
        ASSERT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER,
                                         sqlitetest::u16(init).c_str(), IID_IDBInitialize,
                                         source.out()),
                  S_OK);
        dataSource = source.query<IDBInitialize>(IID_IDBInitialize);
        hr = dataSource->Initialize();
        initializeError = sqlitetest::takeError();
        if (FAILED(hr))
            return;
        auto create = dataSource.query<IDBCreateSession>(IID_IDBCreateSession);
        ASSERT_EQ(create->CreateSession(nullptr, IID_IUnknown, session.out()), S_OK);
    }
    void open() {
        HRESULT hr = E_FAIL;
        open(initString(), hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_TRUE(session);
    }

    Ptr<IDBInitialize> dataSource;
    Ptr<IUnknown> session;
    std::optional<sqlitetest::ErrorText> initializeError; // what Initialize left posted

private:
    std::string file_;
};

// ---- every mode: the bench works

TEST_P(Misbehaving, TheBenchsWholeSequenceAndConflictTestWork) {
    auto c = connectWith(initString());
    ASSERT_TRUE(c);
    benchtest::expectWholeSequence(*this, *c, directQuery());
    ASSERT_TRUE(c->createTables()) << lastBox();
    for (int tid = 0; tid < 10; ++tid)
        rawRun("INSERT INTO tellers VALUES (" + std::to_string(tid) + ", 0, 0, 'filler')");
    for (std::uint8_t type : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(type);
        benchtest::expectConflictRefused(*this, *c, type, "0x80040e38", directQuery());
    }
}

// Text of every length, shorter rows after longer ones, read back exactly: a driver's length
// that is too long must not pull stale characters of an earlier row into a value.
TEST_P(Misbehaving, TextComesBackExactlyWhateverTheDriverClaims) {
    open();
    std::string longText;
    for (int i = 0; longText.size() < 5000; ++i)
        longText += "řádek " + std::to_string(i) + "; ";
    sqlitetest::run(session.get(), "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20))");
    const std::array<std::string, 6> values = {
        "Generování a prohlížení dat", "filler", "ab", "", longText, "x"};
    for (std::size_t i = 0; i < values.size(); ++i)
        sqlitetest::run(session.get(),
                        "INSERT INTO t VALUES (" + std::to_string(i) + ", '" + values[i] + "')");
    sqlitetest::run(session.get(), "INSERT INTO t VALUES (99, NULL)");
    const std::vector<std::optional<std::u16string>> read =
        sqlitetest::wholeTexts(session.get(), "SELECT name FROM t ORDER BY id");
    ASSERT_EQ(read.size(), values.size() + 1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(read[i]) << i;
        EXPECT_EQ(read[i]->size(), sqlitetest::u16(values[i]).size()) << i;
        EXPECT_TRUE(*read[i] == sqlitetest::u16(values[i])) << i;
    }
    EXPECT_FALSE(read.back());
}

INSTANTIATE_TEST_SUITE_P(Modes, Misbehaving,
                         ::testing::Values("Warnings", "LongerThanSaid", "LengthOverstated"));

// ---- warnings on every call

class Warnings : public Misbehaving {};

TEST_P(Warnings, SucceedWithTheDriversRecordsInTheErrorObject) {
    open();
    // Initialize succeeded with the driver's warnings readable afterwards.
    auto error = initializeError;
    ASSERT_TRUE(error);
    EXPECT_NE(error->description.find("[Misbehaving] every call warns [SQLSTATE 01000, native "
                                      "7001]"),
              std::string::npos)
        << error->description;
    EXPECT_EQ(error->source, "Vantrel OLE DB Provider for ODBC Drivers");

    // A statement: S_OK, one warning line per driver call, and no pile-up from earlier calls.
    EXPECT_EQ(sqlitetest::execute(session.get(), "CREATE TABLE w (id INTEGER PRIMARY KEY)"), S_OK);
    error = sqlitetest::takeError();
    ASSERT_TRUE(error);
    EXPECT_NE(error->description.find("[SQLSTATE 01000"), std::string::npos);
    EXPECT_LE(std::count(error->description.begin(), error->description.end(), '\n'), 32);

    // A long fetch keeps a bounded number of lines and says how many more came.
    sqlitetest::run(session.get(),
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                    "INSERT INTO w SELECT i FROM n");
    EXPECT_EQ(sqlitetest::scalar(session.get(), "SELECT COUNT(*) FROM w"), 300);
    Ptr<IRowset> rowset;
    ASSERT_EQ(sqlitetest::execute(session.get(), "SELECT id FROM w", nullptr, IID_IRowset,
                                  reinterpret_cast<IUnknown**>(rowset.out())),
              S_OK);
    DBCOUNTITEM fetched = 0;
    HROW* rows = nullptr;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 300, &fetched, &rows), S_OK);
    EXPECT_EQ(fetched, 300u);
    error = sqlitetest::takeError();
    ASSERT_TRUE(error);
    EXPECT_EQ(std::count(error->description.begin(), error->description.end(), '\n'), 32)
        << error->description;
    EXPECT_NE(error->description.find("(dalších varování: "), std::string::npos);
    rowset->ReleaseRows(fetched, rows, nullptr, nullptr, nullptr);
    CoTaskMemFree(rows);

    // A failure is still a failure, classed by the driver's error rather than the warning.
    EXPECT_EQ(sqlitetest::execute(session.get(), "SELECT * FROM nowhere"), DB_E_NOTABLE);
    error = sqlitetest::takeError();
    ASSERT_TRUE(error);
    EXPECT_NE(error->description.find("no such table"), std::string::npos) << error->description;
}

TEST_P(Warnings, AWellBehavedDriverLeavesNoErrorObjectAfterSuccess) {
    HRESULT hr = E_FAIL;
    open("Provider=Vantrel.ODBC.1;Extended Properties=\"" + odbcString("Vantrel SQLite3") + "\"",
         hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_FALSE(initializeError);
    EXPECT_EQ(sqlitetest::execute(session.get(), "CREATE TABLE w (id INTEGER PRIMARY KEY)"), S_OK);
    EXPECT_FALSE(sqlitetest::takeError());
}

INSTANTIATE_TEST_SUITE_P(Mode, Warnings, ::testing::Values("Warnings"));

// ---- text longer than described

class LongerThanSaid : public Misbehaving {};

// The consumer sizes its binding by the described width (3 characters): every text binding
// answers DBSTATUS_S_TRUNCATED with the value's true length, and not a byte is written past
// the binding.
TEST_P(LongerThanSaid, BindingsOfTheDescribedWidthAreTruncatedWithTrueLengths) {
    open();
    sqlitetest::run(session.get(), "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20))");
    sqlitetest::run(session.get(), "INSERT INTO t VALUES (1, 'filler')");
    Ptr<IRowset> rowset;
    ASSERT_EQ(sqlitetest::execute(session.get(), "SELECT name || '' AS label FROM t", nullptr,
                                  IID_IRowset, reinterpret_cast<IUnknown**>(rowset.out())),
              S_OK);
    auto info = rowset.query<IColumnsInfo>(IID_IColumnsInfo);
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* names = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&count, &columns, &names), S_OK);
    ASSERT_EQ(count, 1u);
    const DBLENGTH described = columns[0].ulColumnSize;
    CoTaskMemFree(columns);
    CoTaskMemFree(names);
    EXPECT_EQ(described, 3u);

    constexpr unsigned char guard = 0xA5;
    struct Cell {
        DBSTATUS status;
        DBLENGTH length;
        unsigned char value[64];
    };
    auto accessor = rowset.query<IAccessor>(IID_IAccessor);
    DBCOUNTITEM fetched = 0;
    HROW row = DB_NULL_HROW;
    HROW* rows = &row;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &fetched, &rows), S_OK);
    for (const DBTYPE type : {DBTYPE_STR, DBTYPE_WSTR}) {
        SCOPED_TRACE(type);
        const DBLENGTH unit = type == DBTYPE_STR ? 1 : 2;
        DBBINDING binding{};
        binding.iOrdinal = 1;
        binding.obStatus = offsetof(Cell, status);
        binding.obLength = offsetof(Cell, length);
        binding.obValue = offsetof(Cell, value);
        binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        binding.wType = type;
        binding.cbMaxLen = (described + 1) * unit;
        HACCESSOR handle = DB_NULL_HACCESSOR;
        ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, sizeof(Cell), &handle,
                                           nullptr),
                  S_OK);
        Cell cell{};
        std::memset(cell.value, guard, sizeof cell.value);
        EXPECT_EQ(rowset->GetData(row, handle, &cell), S_OK); // truncation is no error

        EXPECT_EQ(cell.status, DBSTATUS_S_TRUNCATED);
        EXPECT_EQ(cell.length, 6 * unit); // "filler", whole
        if (type == DBTYPE_STR)
            EXPECT_STREQ(reinterpret_cast<const char*>(cell.value), "fil");
        else
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(cell.value)), u"fil");
        for (std::size_t i = binding.cbMaxLen; i < sizeof cell.value; ++i)
            ASSERT_EQ(cell.value[i], guard) << "written past the binding at " << i;
        accessor->ReleaseAccessor(handle, nullptr);
    }
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Mode, LongerThanSaid, ::testing::Values("LongerThanSaid"));

} // namespace
