// Initialisation and execution with input a provider must refuse clearly: files that are not
// databases, paths that cannot be opened, read-only files and modes, a database locked by
// another connection, malformed pragmas and parameter buffers that end before their text.
#include "ProviderTestSupport.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>

using namespace sqlitetest;

namespace {

class BadInput : public ProviderTest {
protected:
    // Initialize's HRESULT and the error description it posted.
    std::pair<HRESULT, std::string> initialize(const std::string& file, InitProperties& props) {
        auto dataSource = createDataSource(file, props);
        const HRESULT hr = dataSource->Initialize();
        const auto error = takeError();
        return {hr, error ? error->description : std::string()};
    }
    std::pair<HRESULT, std::string> initialize(const std::string& file) {
        InitProperties none;
        return initialize(file, none);
    }
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(BadInput, AMissingFileIsCreatedButAMissingDirectoryIsAnError) {
    EXPECT_EQ(S_OK, initialize("fresh.db").first);
    struct stat info;
    EXPECT_EQ(0, stat(pathOf("fresh.db").c_str(), &info));

    const auto [hr, message] = initialize("no/such/dir/x.db");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_TRUE(contains(message, "unable to open database file")) << message;
    EXPECT_TRUE(contains(message, "no/such/dir/x.db")) << message;
}

TEST_F(BadInput, AFileThatIsNotADatabaseFailsAtInitialize) {
    std::ofstream(pathOf("text.db")) << "This is a plain text file, long enough to have a header "
                                        "that SQLite reads and rejects as not its own.\n";
    const auto [hr, message] = initialize("text.db");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_TRUE(contains(message, "file is not a database")) << message;
}

TEST_F(BadInput, ReadModeRefusesWritesAndReportsReadOnly) {
    {
        auto c = connect("data.db");
        run(c.session.get(), "CREATE TABLE t (a INTEGER)");
    }
    InitProperties readOnly;
    readOnly.integer(DBPROP_INIT_MODE, DB_MODE_READ);
    auto c = connect("data.db", readOnly);
    EXPECT_EQ(0, scalar(c.session.get(), "SELECT COUNT(*) FROM t"));
    const HRESULT hr = execute(c.session.get(), "INSERT INTO t VALUES (1)");
    EXPECT_TRUE(FAILED(hr));
    const auto error = takeError();
    ASSERT_TRUE(error);
    EXPECT_TRUE(contains(error->description, "readonly")) << error->description;

    Ptr<IDBProperties> properties;
    ASSERT_EQ(S_OK, c.dataSource->QueryInterface(IID_IDBProperties, properties.outVoid()));
    DBPROPID ids[] = {DBPROP_DATASOURCEREADONLY};
    DBPROPIDSET request{ids, 1, DBPROPSET_DATASOURCEINFO};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    ASSERT_EQ(S_OK, properties->GetProperties(1, &request, &count, &sets));
    EXPECT_EQ(VT_BOOL, sets[0].rgProperties[0].vValue.vt);
    EXPECT_EQ(VARIANT_TRUE, sets[0].rgProperties[0].vValue.boolVal);
    CoTaskMemFree(sets[0].rgProperties);
    CoTaskMemFree(sets);

    // Read-only never creates a file.
    InitProperties readOnlyAgain;
    readOnlyAgain.integer(DBPROP_INIT_MODE, DB_MODE_READ);
    EXPECT_TRUE(FAILED(initialize("absent.db", readOnlyAgain).first));
    struct stat info;
    EXPECT_NE(0, stat(pathOf("absent.db").c_str(), &info));
}

TEST_F(BadInput, AReadOnlyFileOpenedForWritingIsRefusedWithAClearError) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root can write any file";
    {
        auto c = connect("locked.db");
        run(c.session.get(), "CREATE TABLE t (a INTEGER)");
    }
    ASSERT_EQ(0, chmod(pathOf("locked.db").c_str(), 0444));
    const auto [hr, message] = initialize("locked.db");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_TRUE(contains(message, "Mode=Read")) << message;
    InitProperties readOnly;
    readOnly.integer(DBPROP_INIT_MODE, DB_MODE_READ);
    EXPECT_EQ(S_OK, initialize("locked.db", readOnly).first);
}

TEST_F(BadInput, ALockedDatabaseTimesOutAfterTheBusyTimeoutInsteadOfHanging) {
    auto holder = connect("busy.db");
    run(holder.session.get(), "CREATE TABLE t (a INTEGER)");
    Ptr<ITransactionLocal> transaction;
    ASSERT_EQ(S_OK, holder.session->QueryInterface(IID_ITransactionLocal, transaction.outVoid()));
    // A serializable transaction takes the write lock at once and keeps it.
    ASSERT_EQ(S_OK,
              transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr));
    run(holder.session.get(), "INSERT INTO t VALUES (1)");

    InitProperties oneSecond;
    oneSecond.integer(DBPROP_INIT_TIMEOUT, 1);
    auto waiter = connect("busy.db", oneSecond);
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = execute(waiter.session.get(), "INSERT INTO t VALUES (2)");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(FAILED(hr));
    const auto error = takeError();
    ASSERT_TRUE(error);
    EXPECT_TRUE(contains(error->description, "locked")) << error->description;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(5));

    // Once the lock is gone the same statement goes through.
    ASSERT_EQ(S_OK, transaction->Commit(FALSE, XACTTC_SYNC, 0));
    EXPECT_EQ(S_OK, execute(waiter.session.get(), "INSERT INTO t VALUES (2)"));
    EXPECT_EQ(2, scalar(waiter.session.get(), "SELECT COUNT(*) FROM t"));
}

TEST_F(BadInput, ExtendedPropertiesTakePragmasAndNothingElse) {
    InitProperties wal;
    wal.text(DBPROP_INIT_PROVIDERSTRING, "journal_mode=WAL; synchronous = NORMAL");
    auto c = connect("wal.db", wal);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"wal"}}),
              query(c.session.get(), "PRAGMA journal_mode"));
    EXPECT_EQ(1, scalar(c.session.get(), "PRAGMA synchronous"));

    for (const char* bad : {"journal_mode=WAL; DROP TABLE x", "x=1)--", "=3", "a=b=c"}) {
        InitProperties props;
        props.text(DBPROP_INIT_PROVIDERSTRING, bad);
        const auto [hr, message] = initialize("bad.db", props);
        EXPECT_TRUE(FAILED(hr)) << bad;
        EXPECT_TRUE(contains(message, "Extended Properties")) << message;
    }
}

TEST_F(BadInput, SyntaxErrorsAndBadCommandsAreRefused) {
    auto c = connect();
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, execute(c.session.get(), "CREATE TABLE (a)"));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, execute(c.session.get(), "SELECT 'unterminated"));
    EXPECT_TRUE(FAILED(execute(c.session.get(), "")));
    EXPECT_TRUE(FAILED(execute(c.session.get(), "-- only a comment")));
}

TEST_F(BadInput, ParameterNumbersBeyondSQLitesLimitAreRefusedWithoutRunawayMemory) {
    auto c = connect();
    run(c.session.get(), "CREATE TABLE t (id INTEGER)");
    // Read before SQLite compiles the text, these once sized the statement's parameter list
    // by the number written (gigabytes) or overflowed the count.
    for (const char* sql : {"SELECT * FROM t WHERE id = ?2000000000",
                            "SELECT * FROM t WHERE id = ?2147483647 OR id = ?",
                            "SELECT * FROM t WHERE id = ?250000 OR id = :next"}) {
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, execute(c.session.get(), sql)) << sql;
        const auto error = takeError();
        ASSERT_TRUE(error) << sql;
        EXPECT_TRUE(contains(error->description, "variable")) << error->description;
    }
}

TEST_F(BadInput, ParameterTextIsReadNoFurtherThanItsBuffer) {
    auto c = connect();
    run(c.session.get(), "CREATE TABLE t (id INTEGER, s VARCHAR(20))");
    Ptr<IDBCreateCommand> create;
    ASSERT_EQ(S_OK, c.session->QueryInterface(IID_IDBCreateCommand, create.outVoid()));
    Ptr<ICommandText> command;
    ASSERT_EQ(S_OK, create->CreateCommand(nullptr, IID_ICommandText,
                                          reinterpret_cast<IUnknown**>(command.out())));
    ASSERT_EQ(S_OK, command->SetCommandText(DBGUID_DBSQL, u"INSERT INTO t (id, s) VALUES (1, ?)"));
    // A value part only, four bytes of text and no terminator inside cbMaxLen.
    DBBINDING binding{};
    binding.iOrdinal = 1;
    binding.dwPart = DBPART_VALUE;
    binding.eParamIO = DBPARAMIO_INPUT;
    binding.cbMaxLen = 4;
    binding.wType = DBTYPE_STR;
    auto accessor = command.query<IAccessor>(IID_IAccessor);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK,
              accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &binding, 4, &handle, nullptr));
    char buffer[8];
    std::memcpy(buffer, "abcdXYZ", 8);
    DBPARAMS params{buffer, 1, handle};
    EXPECT_TRUE(SUCCEEDED(command->Execute(nullptr, IID_NULL, &params, nullptr, nullptr)));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"abcd"}}),
              query(c.session.get(), "SELECT s FROM t"));

    // A length part longer than cbMaxLen is refused, not followed.
    binding.obLength = 8;
    binding.obValue = 0;
    binding.dwPart = DBPART_VALUE | DBPART_LENGTH;
    HACCESSOR withLength = DB_NULL_HACCESSOR;
    ASSERT_EQ(S_OK, accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &binding, 16, &withLength,
                                             nullptr));
    alignas(8) unsigned char row[16] = {'e', 'f', 'g', 'h'};
    const DBLENGTH tooLong = 1000;
    std::memcpy(row + 8, &tooLong, sizeof tooLong);
    DBPARAMS longParams{row, 1, withLength};
    EXPECT_TRUE(FAILED(command->Execute(nullptr, IID_NULL, &longParams, nullptr, nullptr)));
    EXPECT_EQ(1, scalar(c.session.get(), "SELECT COUNT(*) FROM t"));
    accessor->ReleaseAccessor(handle, nullptr);
    accessor->ReleaseAccessor(withLength, nullptr);
}

// SQLite reads a short text from a terminated copy the provider keeps for every statement and
// a long one in place: whatever the length, and whatever longer text came before, a statement
// runs whole, only its own words, and a second statement after it refuses the whole text
// before any of it runs.
TEST_F(BadInput, TextsOfAnyLengthRunWholeAndASecondStatementIsRefused) {
    auto c = connect();
    IUnknown* session = c.session.get();
    run(session, "CREATE TABLE t (id INTEGER, s TEXT)");
    for (const std::size_t length : {std::size_t{10}, std::size_t{16000}, std::size_t{40000}}) {
        const std::string literal = "'" + std::string(length, 'x') + "'";
        const std::string insert =
            "INSERT INTO t VALUES (" + std::to_string(length) + ", " + literal + ")";
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, execute(session, insert + "; DELETE FROM t")) << length;
        const auto error = takeError();
        ASSERT_TRUE(error) << length;
        EXPECT_TRUE(contains(error->description, "více než jeden příkaz")) << error->description;
        EXPECT_EQ(0,
                  scalar(session, "SELECT count(*) FROM t WHERE id = " + std::to_string(length)));
        // Trailing blanks, semicolons and comments are no second statement.
        EXPECT_EQ(S_OK, execute(session, insert + " ;\n-- done\n; /* really */ "));
        EXPECT_EQ(static_cast<std::int64_t>(length),
                  scalar(session, "SELECT length(s) FROM t WHERE id = " + std::to_string(length)));
        // A shorter text after a longer one is read to its own end, not the earlier one's.
        EXPECT_EQ(7, scalar(session, "SELECT 7"));
    }
    EXPECT_EQ(3, scalar(session, "SELECT count(*) FROM t"));
}
