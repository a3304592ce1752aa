// The libpq backend through the kit's seam, against the real server: what the OLE DB layer
// cannot show directly (statement atomicity inside transactions, row identities that survive
// updates, the server's error classes, value forms).
#include "PgTestServer.h"

#include "postgres/PgConnection.h"
#include "postgres/PgSettings.h"
#include "postgres/PgTypes.h"

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using namespace vantrel;
using postgres::dbtype::DbTimestamp;
using postgres::dbtype::I4;
using postgres::dbtype::Str;

kit::InitSetting text(std::uint32_t id, const std::string& value) {
    return {kit::PropertySet::DbInit, id, kit::Value(kit::ValueView::ofText(value))};
}

class BackendTest : public pgtest::ServerTest {
protected:
    // `serverOptions` are further "-c name=value" settings for the session.
    kit::InitSettings baseSettings(const std::string& serverOptions = "",
                                   const std::string& keywords = "") const {
        return {text(postgres::propDataSource, settings().dataSource()),
                text(postgres::propCatalog, settings().database),
                text(postgres::propUserId, settings().user),
                text(postgres::propPassword, settings().password),
                text(postgres::propProviderString,
                     "options='-c search_path=" + schema_ + " " + serverOptions + "' " + keywords)};
    }
    std::unique_ptr<kit::Connection> open(const std::string& serverOptions = "",
                                          const std::string& keywords = "") const {
        return postgres::openPgConnection(baseSettings(serverOptions, keywords));
    }
    static std::int64_t count(kit::Connection& c, const std::string& sql) {
        auto s = c.prepare(sql, {});
        EXPECT_TRUE(s->step());
        return s->value(0).integer;
    }
    static void exec(kit::Connection& c, const std::string& sql) {
        auto s = c.prepare(sql, {});
        while (s->step()) {
        }
    }
    // The bench's accounts table, made as ITableDefinition makes it.
    static void createAccounts(kit::Connection& c) {
        std::vector<kit::ColumnDefinition> columns(4);
        columns[0] = {"Aid", "", I4, 0, 0, 0, false, true, false, std::nullopt};
        columns[1] = {"Bid", "", I4, 0, 0, 0, false, false, false, std::nullopt};
        columns[2] = {"Abalance", "", I4, 0, 0, 0, false, false, false, std::nullopt};
        columns[3] = {"Remark", "char", Str, 87, 0, 0, true, false, false, std::nullopt};
        c.createTable("accounts", columns);
    }
};

kit::ErrorClass classOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const kit::BackendError& e) {
        return e.errorClass();
    }
    ADD_FAILURE() << "no BackendError";
    return kit::ErrorClass::Other;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const kit::BackendError& e) {
        return e.what();
    }
    return "";
}

TEST(PgSettings, DataSourceForms) {
    using postgres::splitDataSource;
    EXPECT_EQ(splitDataSource("db.example"),
              std::make_pair(std::string("db.example"), std::string()));
    EXPECT_EQ(splitDataSource("db:5433"), std::make_pair(std::string("db"), std::string("5433")));
    EXPECT_EQ(splitDataSource("[::1]:6000"),
              std::make_pair(std::string("::1"), std::string("6000")));
    EXPECT_EQ(splitDataSource("::1"), std::make_pair(std::string("::1"), std::string()));
    EXPECT_EQ(splitDataSource("/run/postgresql").first, "/run/postgresql");
    for (const char* bad : {"db:", "db:0", "db:65536", "db:54x", "[::1]x", "[::1"})
        EXPECT_THROW(splitDataSource(bad), kit::BackendError) << bad;
}

TEST(PgSettings, ExtendedPropertiesAreLibpqKeywordsAndUnknownOnesAreRefused) {
    kit::InitSettings settings{
        text(postgres::propProviderString, "sslmode=disable application_name='bench run'")};
    const postgres::Keywords keywords = postgres::connectionKeywords(settings);
    auto has = [&](const std::string& k, const std::string& v) {
        for (const auto& [key, value] : keywords)
            if (key == k && value == v)
                return true;
        return false;
    };
    EXPECT_TRUE(has("sslmode", "disable"));
    EXPECT_TRUE(has("application_name", "bench run"));
    EXPECT_TRUE(has("client_encoding", "UTF8"));
    EXPECT_TRUE(has("connect_timeout", "15"));

    settings = {text(postgres::propProviderString, "sslmode=disable colour=blue")};
    const std::string message = messageOf([&] { postgres::connectionKeywords(settings); });
    EXPECT_NE(message.find("colour"), std::string::npos) << message;
    EXPECT_NE(message.find("Extended Properties"), std::string::npos) << message;
    settings = {text(postgres::propProviderString, "client_encoding=LATIN2")};
    EXPECT_EQ(classOf([&] { postgres::connectionKeywords(settings); }), kit::ErrorClass::CantOpen);
}

TEST_F(BackendTest, WrongPasswordGivesTheServersMessage) {
    kit::InitSettings s = baseSettings();
    s[3] = text(postgres::propPassword, "not-the-password");
    const std::string message = messageOf([&] { postgres::openPgConnection(s); });
    EXPECT_NE(message.find("password authentication failed"), std::string::npos) << message;
}

TEST_F(BackendTest, UnreachableServerFailsWithinTheConnectTimeout) {
    kit::InitSettings s = baseSettings();
    // A port nothing listens on: refused at once; the time-out bounds a silent host too.
    s[0] = text(postgres::propDataSource, "127.0.0.1:1");
    s.push_back(
        {kit::PropertySet::DbInit, postgres::propTimeout, kit::Value(kit::ValueView::ofInt(2))});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(classOf([&] { postgres::openPgConnection(s); }), kit::ErrorClass::CantOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(BackendTest, DescribesTheServerAndDatabase) {
    auto c = open();
    const kit::ConnectionInfo info = c->info();
    EXPECT_EQ(info.dbmsName, "PostgreSQL");
    EXPECT_EQ(info.dbmsVersion.substr(0, 3), "15.");
    EXPECT_EQ(info.catalog, settings().database);
    EXPECT_EQ(info.serverName, settings().dataSource());
    EXPECT_EQ(info.dataSourceName, settings().dataSource());
    EXPECT_FALSE(info.readOnly);
    EXPECT_EQ(info.isolationLevels.size(), 4u);

    auto readOnly = open("-c default_transaction_read_only=on");
    EXPECT_TRUE(readOnly->info().readOnly);
}

TEST_F(BackendTest, CreatedTablesDescribeBackAsTheSameTypes) {
    auto c = open();
    createAccounts(*c);
    std::vector<kit::ColumnDefinition> history(2);
    history[0] = {"Time", "datetime", DbTimestamp, 0, 0, 0, true, false, false, std::nullopt};
    history[1] = {"Remark", "char", Str, 75, 0, 0, true, false, false, std::nullopt};
    c->createTable("history", history);
    EXPECT_TRUE(c->tableExists("accounts"));
    EXPECT_TRUE(c->tableExists("ACCOUNTS"));
    EXPECT_FALSE(c->tableExists("nothing_here"));

    // Unquoted mixed-case names in SQL find the columns.
    auto s = c->prepare("SELECT Aid, Remark FROM accounts", {});
    ASSERT_EQ(s->columns().size(), 2u);
    EXPECT_EQ(s->columns()[0].type, I4);
    EXPECT_FALSE(s->columns()[0].nullable);
    EXPECT_TRUE(s->columns()[0].primaryKey);
    EXPECT_EQ(s->columns()[0].baseTable, "accounts");
    EXPECT_EQ(s->columns()[1].type, Str);
    EXPECT_EQ(s->columns()[1].size, 87u);
    EXPECT_TRUE(s->columns()[1].nullable);
    auto h = c->prepare("SELECT * FROM history", {});
    EXPECT_EQ(h->columns()[0].type, DbTimestamp);
    EXPECT_EQ(h->columns()[1].size, 75u);

    EXPECT_EQ(classOf([&] { createAccounts(*c); }), kit::ErrorClass::DuplicateTable);
    c->dropTable("accounts");
    EXPECT_FALSE(c->tableExists("accounts"));
    EXPECT_EQ(classOf([&] { c->dropTable("accounts"); }), kit::ErrorClass::NoTable);
}

TEST_F(BackendTest, InsertParametersAreDescribedFromTheirColumns) {
    auto c = open();
    createAccounts(*c);
    auto s =
        c->prepare("INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (?, ?, ?, ?)", {});
    ASSERT_EQ(s->parameterCount(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(s->parameterInfo(i).known);
        EXPECT_EQ(s->parameterInfo(i).type, I4);
    }
    EXPECT_EQ(s->parameterInfo(3).type, Str);
    EXPECT_EQ(s->parameterInfo(3).size, 87u);
    EXPECT_FALSE(s->returnsRows());

    // A comparison is typed by the server.
    auto q = c->prepare("SELECT Remark FROM accounts WHERE Aid = ? AND Remark <> '?'", {});
    ASSERT_EQ(q->parameterCount(), 1u);
    EXPECT_EQ(q->parameterInfo(0).type, I4);
}

TEST_F(BackendTest, RefusedStatementsLeaveTheTransactionUsable) {
    auto c = open();
    createAccounts(*c);
    auto insert = c->prepare(
        "INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (?, 0, 0, 'filler')", {});
    for (int pass = 0; pass < 2; ++pass) {
        c->begin(kit::IsolationLevel::Serializable);
        int refused = 0;
        for (int key : {1, 2, 2, 3, 1, 4}) {
            insert->reset();
            insert->bind(0, kit::ValueView::ofInt(key));
            try {
                EXPECT_FALSE(insert->step());
                EXPECT_EQ(insert->rowsAffected(), 1);
            } catch (const kit::BackendError& e) {
                EXPECT_EQ(e.errorClass(), kit::ErrorClass::Integrity) << e.what();
                EXPECT_NE(std::string(e.what()).find("23505"), std::string::npos);
                ++refused;
            }
        }
        // The second pass refuses every row and still commits.
        EXPECT_EQ(refused, pass == 0 ? 2 : 6);
        c->commit();
    }
    EXPECT_EQ(count(*c, "SELECT count(*) FROM accounts"), 4);

    // Loads beyond the checkpoint interval, with changes of other kinds in between: a failed
    // row costs only itself.
    c->begin(kit::IsolationLevel::Serializable);
    int refused = 0;
    for (int key = 100; key < 700; ++key) {
        insert->reset();
        insert->bind(0, kit::ValueView::ofInt(key % 300 == 0 ? 1 : key));
        try {
            insert->step();
        } catch (const kit::BackendError&) {
            ++refused;
        }
        if (key == 450)
            exec(*c, "UPDATE accounts SET Abalance = 5 WHERE Aid = 449");
    }
    EXPECT_EQ(refused, 2); // keys 300 and 600 became the duplicate 1
    c->commit();
    EXPECT_EQ(count(*c, "SELECT count(*) FROM accounts"), 4 + 598);
    EXPECT_EQ(count(*c, "SELECT Abalance FROM accounts WHERE Aid = 449"), 5);

    // A failed statement right before the commit is repaired before committing.
    c->begin(kit::IsolationLevel::ReadCommitted);
    exec(*c, "INSERT INTO accounts VALUES (10, 0, 0, 'x')");
    EXPECT_EQ(classOf([&] { exec(*c, "INSERT INTO accounts VALUES (10, 0, 0, 'x')"); }),
              kit::ErrorClass::Integrity);
    EXPECT_EQ(classOf([&] { c->prepare("SELEC nothing", {}); }), kit::ErrorClass::Syntax);
    c->commit();
    EXPECT_EQ(count(*c, "SELECT count(*) FROM accounts WHERE Aid = 10"), 1);

    // Rolling back undoes the statements that succeeded.
    c->begin(kit::IsolationLevel::RepeatableRead);
    exec(*c, "INSERT INTO accounts VALUES (11, 0, 0, 'x')");
    EXPECT_THROW(exec(*c, "INSERT INTO accounts VALUES (11, 0, 0, 'x')"), kit::BackendError);
    c->rollback();
    EXPECT_EQ(count(*c, "SELECT count(*) FROM accounts WHERE Aid = 11"), 0);
}

TEST_F(BackendTest, ErrorsAreClassifiedBySqlState) {
    auto c = open();
    createAccounts(*c);
    EXPECT_EQ(classOf([&] { c->prepare("SELECT * FROM missing_table", {}); }),
              kit::ErrorClass::NoTable);
    EXPECT_EQ(classOf([&] { c->prepareTableScan("missing_table", {}); }), kit::ErrorClass::NoTable);
    EXPECT_EQ(classOf([&] { c->prepare("SELECT FROM WHERE", {}); }), kit::ErrorClass::Syntax);
    EXPECT_EQ(classOf([&] { exec(*c, "INSERT INTO accounts VALUES (NULL, 0, 0, 'x')"); }),
              kit::ErrorClass::Integrity);
    EXPECT_EQ(classOf([&] { exec(*c, "SELECT 'abc'::integer"); }), kit::ErrorClass::TypeMismatch);
    auto readOnly = open("-c default_transaction_read_only=on");
    EXPECT_EQ(classOf([&] { exec(*readOnly, "INSERT INTO accounts VALUES (1, 0, 0, 'x')"); }),
              kit::ErrorClass::ReadOnly);
}

TEST_F(BackendTest, ValuesKeepTheirKindAndContent) {
    auto c = open();
    auto s =
        c->prepare("SELECT 42::int4, 7::int8, 1.5::float8, true, NULL::int4, 'žluťoučký'::text, "
                   "'\\x00ff10'::bytea, TIMESTAMP '2024-02-29 13:14:15.25', DATE '1999-12-31', "
                   "'NaN'::float8, 'infinity'::timestamp, ?::bytea, ?::timestamp, ''::text",
                   {});
    const char raw[] = {'\0', 'a', '\xff'};
    s->bind(0, kit::ValueView::ofBlob(std::string_view(raw, 3)));
    kit::Timestamp t{2001, 2, 3, 4, 5, 6, 123456000};
    s->bind(1, kit::ValueView::ofTimestamp(t));
    ASSERT_TRUE(s->step());
    EXPECT_EQ(s->value(0).integer, 42);
    EXPECT_EQ(s->value(1).integer, 7);
    EXPECT_DOUBLE_EQ(s->value(2).real, 1.5);
    EXPECT_EQ(s->value(3).integer, 1);
    EXPECT_TRUE(s->value(4).isNull());
    // An empty text is no NULL.
    EXPECT_EQ(s->value(13).kind, kit::ValueKind::Text);
    EXPECT_EQ(s->value(13).bytes, "");
    EXPECT_EQ(s->value(5).bytes, "žluťoučký");
    EXPECT_EQ(s->value(6).bytes, std::string("\x00\xff\x10", 3));
    const kit::Timestamp leap = s->value(7).timestamp;
    EXPECT_EQ(leap, (kit::Timestamp{2024, 2, 29, 13, 14, 15, 250000000}));
    EXPECT_EQ(s->value(8).kind, kit::ValueKind::Timestamp);
    EXPECT_EQ(s->value(8).timestamp.year, 1999);
    EXPECT_TRUE(std::isnan(s->value(9).real));
    // No DBTIMESTAMP holds infinity: it comes as text.
    EXPECT_EQ(s->value(10).bytes, "infinity");
    EXPECT_EQ(s->value(11).bytes, std::string(raw, 3));
    EXPECT_EQ(s->value(12).timestamp, t);
    EXPECT_FALSE(s->step());

    auto nul = c->prepare("SELECT ?::text", {});
    EXPECT_EQ(classOf([&] { nul->bind(0, kit::ValueView::ofText(std::string_view("a\0b", 3))); }),
              kit::ErrorClass::TypeMismatch);
    auto fraction = c->prepare("SELECT ?::int4", {});
    EXPECT_THROW(fraction->bind(0, kit::ValueView::ofReal(1.5)), kit::BackendError);
    fraction->bind(0, kit::ValueView::ofReal(3.0));
    ASSERT_TRUE(fraction->step());
    EXPECT_EQ(fraction->value(0).integer, 3);
}

TEST_F(BackendTest, AStatementThatFailedToPrepareLeavesTheTransactionUsable) {
    auto c = open();
    createAccounts(*c);
    c->begin(kit::IsolationLevel::ReadCommitted);
    exec(*c, "INSERT INTO accounts VALUES (1, 0, 0, 'kept')");
    // Refused while it is prepared: the server never had it, whatever name it was given.
    EXPECT_THROW(c->prepare("SELECT * FROM no_such_table", {}), kit::BackendError);
    EXPECT_THROW(c->prepare("SELECT no_such_column FROM accounts", {}), kit::BackendError);
    for (int key = 2; key <= 4; ++key)
        exec(*c, "INSERT INTO accounts VALUES (" + std::to_string(key) + ", 0, 0, 'kept')");
    EXPECT_EQ(count(*c, "SELECT count(*) FROM accounts"), 4);
    // The consumer's own DEALLOCATE ALL takes a statement still prepared: dropping it later
    // finds nothing to drop, and the transaction goes on.
    auto kept = c->prepare("SELECT count(*) FROM accounts", {});
    kit::PrepareOptions once;
    once.runOnce = true;
    auto all = c->prepare("DEALLOCATE ALL", once);
    EXPECT_FALSE(all->step());
    kept.reset();
    exec(*c, "INSERT INTO accounts VALUES (5, 0, 0, 'kept')");
    EXPECT_EQ(count(*c, "SELECT count(*) FROM accounts"), 5);
    c->commit();
    EXPECT_EQ(count(*open(), "SELECT count(*) FROM accounts"), 5);

    // Outside a transaction the drops go in front of the next request: it sees them done, and
    // one the server no longer has costs that request nothing.
    auto named = [&](const std::string& marker) {
        return count(*c, "SELECT count(*) FROM pg_prepared_statements WHERE statement LIKE '%" +
                             marker + "%'");
    };
    kept = c->prepare("SELECT 'marker_one' FROM accounts", {});
    EXPECT_EQ(named("marker_one"), 2); // itself and the statement counting
    kept.reset();
    EXPECT_EQ(named("marker_one"), 1); // the counting one only
    kept = c->prepare("SELECT 'marker_two' FROM accounts", {});
    all = c->prepare("DEALLOCATE ALL", once);
    EXPECT_FALSE(all->step());
    kept.reset();
    exec(*c, "INSERT INTO accounts VALUES (6, 0, 0, 'kept')");
    EXPECT_EQ(count(*open(), "SELECT count(*) FROM accounts"), 6);
}

TEST_F(BackendTest, IntegersOfEveryLengthAndBothEndsOfTheRangeReadExactly) {
    auto c = open();
    // 1 to 19 digits, both signs: the short ones and the long ones are read differently.
    std::vector<std::int64_t> expected;
    std::string sql = "SELECT ";
    // The next value is made only while there is one to make: past 18 digits it would overflow.
    for (std::int64_t v = 9, digits = 1;; v = v * 10 + 7, ++digits) {
        for (std::int64_t x : {v, -v})
            expected.push_back(x);
        if (digits == 18)
            break;
    }
    expected.push_back(std::numeric_limits<std::int64_t>::max());
    expected.push_back(std::numeric_limits<std::int64_t>::min());
    expected.push_back(1000000000000000000);
    expected.push_back(0);
    for (std::size_t i = 0; i < expected.size(); ++i)
        sql += (i ? ", " : "") + std::string("(") + std::to_string(expected[i]) + ")::int8";
    sql += ", 32767::int2, (-2147483648)::int4, 4294967295::oid";
    auto s = c->prepare(sql, {});
    ASSERT_TRUE(s->step());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(s->value(i).integer, expected[i]) << i;
    EXPECT_EQ(s->value(expected.size()).integer, 32767);
    EXPECT_EQ(s->value(expected.size() + 1).integer, -2147483648LL);
    EXPECT_EQ(s->value(expected.size() + 2).integer, 4294967295LL);
    EXPECT_EQ(s->value(expected.size()).kind, kit::ValueKind::Int);
}

TEST_F(BackendTest, RowsAreFoundByPrimaryKeyAcrossUpdates) {
    auto c = open();
    createAccounts(*c);
    exec(*c, "INSERT INTO accounts SELECT g, 0, 0, 'filler' FROM generate_series(0, 9) g");
    auto s = c->prepare("SELECT Remark FROM accounts WHERE Aid = 1", {true});
    ASSERT_TRUE(s->hasRowIdentity());
    EXPECT_EQ(s->baseTable(), "accounts");
    ASSERT_EQ(s->columns().size(), 1u); // the key stays hidden
    ASSERT_TRUE(s->step());
    const kit::RowIdentity id = s->rowIdentity();
    const std::string remark[] = {"Remark"};
    for (const char* value : {"111111", "filler"}) {
        const kit::ValueView v[] = {kit::ValueView::ofText(value)};
        EXPECT_TRUE(c->updateRow("accounts", id, remark, v));
        std::vector<kit::Value> now;
        ASSERT_TRUE(c->readRow("accounts", id, remark, now));
        EXPECT_EQ(now[0].bytes.substr(0, 6), value);
    }
    // The key itself changes: the identity follows the row.
    const std::string key[] = {"Aid"};
    const kit::ValueView newKey[] = {kit::ValueView::ofInt(100)};
    EXPECT_TRUE(c->updateRow("accounts", id, key, newKey));
    std::vector<kit::Value> now;
    ASSERT_TRUE(c->readRow("accounts", id, key, now));
    EXPECT_EQ(now[0].integer, 100);
    EXPECT_TRUE(c->deleteRow("accounts", id));
    EXPECT_FALSE(c->readRow("accounts", id, key, now));
    EXPECT_FALSE(c->deleteRow("accounts", id));

    const std::string columns[] = {"Aid", "Bid", "Abalance", "Remark"};
    const kit::ValueView values[] = {kit::ValueView::ofInt(50), kit::ValueView::ofInt(0),
                                     kit::ValueView::ofInt(0), kit::ValueView::null()};
    const kit::RowIdentity inserted = c->insertRow("accounts", columns, values);
    ASSERT_TRUE(c->readRow("accounts", inserted, columns, now));
    EXPECT_EQ(now[0].integer, 50);
    EXPECT_TRUE(now[3].isNull());
}

TEST_F(BackendTest, RowsOfATableWithoutKeyAreFollowedByCtid) {
    auto c = open();
    exec(*c, "CREATE TABLE notes (body text)");
    exec(*c, "INSERT INTO notes VALUES ('a'), ('b')");
    auto s = c->prepare("SELECT body FROM notes ORDER BY body", {true});
    ASSERT_TRUE(s->hasRowIdentity());
    ASSERT_TRUE(s->step());
    const kit::RowIdentity id = s->rowIdentity();
    const std::string body[] = {"body"};
    // Each update moves the row to a new ctid; the identity keeps finding it.
    for (const char* value : {"x", "y", "z"}) {
        const kit::ValueView v[] = {kit::ValueView::ofText(value)};
        EXPECT_TRUE(c->updateRow("notes", id, body, v));
    }
    std::vector<kit::Value> now;
    ASSERT_TRUE(c->readRow("notes", id, body, now));
    EXPECT_EQ(now[0].bytes, "z");
    EXPECT_EQ(count(*c, "SELECT count(*) FROM notes WHERE body = 'b'"), 1);

    // Queries over two tables, or aggregates, have no identity.
    EXPECT_FALSE(c->prepare("SELECT count(*) FROM notes", {true})->hasRowIdentity());
    EXPECT_FALSE(c->prepare("SELECT a.body FROM notes a, notes b", {true})->hasRowIdentity());
}

TEST_F(BackendTest, SavepointsOutsideATransactionGroupStatements) {
    auto c = open();
    exec(*c, "CREATE TABLE t (v int)");
    c->savepoint("change");
    exec(*c, "INSERT INTO t VALUES (1)");
    c->rollbackToSavepoint("change");
    c->releaseSavepoint("change");
    c->savepoint("change");
    exec(*c, "INSERT INTO t VALUES (2)");
    c->releaseSavepoint("change");
    // Autocommit again: a second connection sees exactly the released change.
    auto other = open();
    EXPECT_EQ(count(*other, "SELECT coalesce(sum(v), 0) FROM t"), 2);
}

TEST_F(BackendTest, AStatementRunOnceIsSentWithItsExecutionAndDescribedFromItsResult) {
    auto c = open();
    createAccounts(*c);
    exec(*c, "INSERT INTO accounts VALUES (1, 7, 0, 'x'), (2, 7, 5, NULL)");
    kit::PrepareOptions once;
    once.runOnce = true;
    // Prepared ahead, the statement is one of the session's prepared statements; sent with its
    // execution, it is none, and its columns come from the result.
    EXPECT_EQ(count(*c, "SELECT count(*) FROM pg_prepared_statements WHERE statement LIKE "
                        "'%pg_prepared_statements%'"),
              1);
    auto direct = c->prepare("SELECT count(*) FROM pg_prepared_statements WHERE statement LIKE "
                             "'%pg_prepared_statements%'",
                             once);
    ASSERT_TRUE(direct->step());
    EXPECT_EQ(direct->value(0).integer, 0);
    auto rows = c->prepare("SELECT Aid, Remark FROM accounts ORDER BY Aid", once);
    ASSERT_TRUE(rows->step());
    ASSERT_EQ(rows->columns().size(), 2u);
    EXPECT_EQ(rows->columns()[0].type, I4);
    EXPECT_EQ(rows->columns()[1].baseColumn, "remark");
    EXPECT_TRUE(rows->returnsRows());
    EXPECT_TRUE(rows->step());
    EXPECT_TRUE(rows->value(1).isNull());
    EXPECT_FALSE(rows->step());
    // A change reports its count; an error is classed when the statement runs.
    auto update = c->prepare("UPDATE accounts SET Abalance = Abalance + 1 WHERE Bid = 7", once);
    EXPECT_FALSE(update->step());
    EXPECT_EQ(update->rowsAffected(), 2);
    EXPECT_FALSE(update->returnsRows());
    auto wrong = c->prepare("SELEC nothing", once);
    EXPECT_EQ(classOf([&] { wrong->step(); }), kit::ErrorClass::Syntax);
    // With parameters the statement is still prepared, so their types are known.
    auto withParameter = c->prepare("SELECT Remark FROM accounts WHERE Aid = ?", once);
    ASSERT_EQ(withParameter->parameterCount(), 1u);
    EXPECT_TRUE(withParameter->parameterInfo(0).known);
}

// Results of the same shape share one description; any difference in a name, a type's
// modifier, a base column or the hidden identity columns, or a change to the table made on this
// connection, describes the result anew.
TEST_F(BackendTest, ResultsOfOneShapeShareADescriptionAndOthersGetTheirOwn) {
    auto c = open();
    exec(*c, "CREATE TABLE t (k int PRIMARY KEY, a varchar(5) NOT NULL, b varchar(5))");
    exec(*c, "INSERT INTO t VALUES (1, 'x', 'y')");
    kit::PrepareOptions once;
    once.runOnce = true;
    auto described = [&](const std::string& sql, const kit::PrepareOptions& options) {
        auto s = c->prepare(sql, options);
        EXPECT_TRUE(s->step()) << sql;
        return std::make_pair(s->columns(), s->columnSnapshot());
    };
    const auto first = described("SELECT a AS x FROM t WHERE k = 1", once);
    const auto again = described("SELECT a AS x FROM t WHERE k = 2 OR k = 1", once);
    EXPECT_EQ(first.second, again.second);
    EXPECT_EQ(described("SELECT a AS y FROM t", once).first[0].name, "y");
    EXPECT_EQ(described("SELECT a::varchar(4) AS x FROM t", once).first[0].size, 4u);
    EXPECT_EQ(described("SELECT a::varchar(9) AS x FROM t", once).first[0].size, 9u);
    EXPECT_EQ(described("SELECT a::char(3) AS x FROM t", once).first[0].size, 3u);
    EXPECT_EQ(described("SELECT a::char(6) AS x FROM t", once).first[0].size, 6u);
    const auto other = described("SELECT b AS x FROM t", once).first[0];
    EXPECT_EQ(other.baseColumn, "b");
    EXPECT_TRUE(other.nullable);
    kit::PrepareOptions identity;
    identity.wantRowIdentity = true;
    auto withIdentity = c->prepare("SELECT a AS x FROM t", identity);
    ASSERT_TRUE(withIdentity->step());
    EXPECT_TRUE(withIdentity->hasRowIdentity());
    ASSERT_EQ(withIdentity->columns().size(), 1u);
    EXPECT_EQ(withIdentity->value(0).bytes, "x");
    EXPECT_FALSE(first.first[0].nullable);
    exec(*c, "ALTER TABLE t ALTER a DROP NOT NULL");
    EXPECT_TRUE(described("SELECT a AS x FROM t WHERE k = 1", once).first[0].nullable);
}

// Transaction control written as text runs as it is, never under the savepoint that wraps each
// statement of a transaction: releasing that one would take the consumer's savepoint with it.
TEST_F(BackendTest, SavepointsWrittenAsTextOutliveTheStatementThatMadeThem) {
    auto c = open();
    exec(*c, "CREATE TABLE t (v int)");
    kit::PrepareOptions once;
    once.runOnce = true;
    for (const kit::PrepareOptions& options : {kit::PrepareOptions{}, once}) {
        c->begin(kit::IsolationLevel::ReadCommitted);
        exec(*c, "INSERT INTO t VALUES (1)");
        c->prepare("  savepoint mine", options)->step();
        exec(*c, "INSERT INTO t VALUES (2)");
        c->prepare("rollback TO SAVEPOINT mine", options)->step();
        c->prepare("Release mine", options)->step();
        c->commit();
    }
    EXPECT_EQ(count(*c, "SELECT count(*) FROM t WHERE v = 1"), 2);
    EXPECT_EQ(count(*c, "SELECT count(*) FROM t WHERE v = 2"), 0);
}

TEST_F(BackendTest, AHundredThousandRowsStepThrough) {
    auto c = open();
    auto s = c->prepare("SELECT g, 'filler' FROM generate_series(0, 99999) g", {});
    std::int64_t n = 0;
    std::int64_t sum = 0;
    while (s->step()) {
        sum += s->value(0).integer;
        ++n;
    }
    EXPECT_EQ(n, 100000);
    EXPECT_EQ(sum, 99999LL * 100000 / 2);
    // Ready to run again.
    s->reset();
    EXPECT_TRUE(s->step());
    EXPECT_EQ(s->value(0).integer, 0);
}

TEST_F(BackendTest, ALostConnectionIsReportedNotHung) {
    auto c = open("", "application_name=lost_connection_" + schema_);
    exec(*c, "CREATE TABLE t (v int)");
    auto insert = c->prepare("INSERT INTO t VALUES (?)", {});
    c->begin(kit::IsolationLevel::Serializable);
    insert->bind(0, kit::ValueView::ofInt(1));
    insert->step();
    ASSERT_EQ(pgtest::runAdminSql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE application_name = 'lost_connection_" +
                                  schema_ + "'"),
              "");
    insert->reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(classOf([&] { insert->step(); }), kit::ErrorClass::Other);
    EXPECT_THROW(c->commit(), kit::BackendError);
    EXPECT_THROW(c->prepare("SELECT 1", {}), kit::BackendError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // A new connection works.
    auto again = open();
    EXPECT_EQ(count(*again, "SELECT count(*) FROM t"), 0);
}

} // namespace

TEST_F(BackendTest, CopyToOrFromTheClientIsRefusedAndLeavesTheConnectionUsable) {
    auto c = open();
    exec(*c, "CREATE TABLE t (v int)");
    exec(*c, "INSERT INTO t VALUES (1), (2)");
    kit::PrepareOptions once;
    once.runOnce = true;
    for (const char* sql :
         {"COPY t FROM STDIN", "COPY t TO STDOUT", "COPY (SELECT v FROM t) TO STDOUT"}) {
        for (const bool runOnce : {true, false}) {
            for (const bool inTransaction : {false, true}) {
                SCOPED_TRACE(std::string(sql) + (runOnce ? ", run once" : ", prepared") +
                             (inTransaction ? ", in a transaction" : ", autocommit"));
                if (inTransaction)
                    c->begin(kit::IsolationLevel::ReadCommitted);
                try {
                    auto s = c->prepare(sql, runOnce ? once : kit::PrepareOptions{});
                    s->step();
                    ADD_FAILURE() << "no error";
                } catch (const kit::BackendError& e) {
                    EXPECT_NE(std::string(e.what()).find("COPY"), std::string::npos) << e.what();
                }
                // The connection (and the transaction) goes on.
                EXPECT_EQ(count(*c, "SELECT count(*) FROM t"), 2);
                if (inTransaction)
                    c->commit();
            }
        }
    }
}
