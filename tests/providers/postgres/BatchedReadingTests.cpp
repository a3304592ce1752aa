// Queries read in batches through a server-side cursor, against the real server: the rows come
// whole and in order across batches and jumps, statements on the same connection keep their
// own transactions, and failures mid-result leave the connection usable.
#include "PgTestServer.h"

#include "postgres/PgConnection.h"
#include "postgres/PgSettings.h"
#include "postgres/PgStatement.h"

namespace {

using namespace vantrel;

constexpr int batch = postgres::PgStatement::batchRows;

class BatchedReading : public pgtest::ServerTest {
protected:
    std::unique_ptr<kit::Connection> open() const {
        auto text = [](std::uint32_t id, const std::string& value) {
            return kit::InitSetting{kit::PropertySet::DbInit, id,
                                    kit::Value(kit::ValueView::ofText(value))};
        };
        return postgres::openPgConnection(
            {text(postgres::propDataSource, settings().dataSource()),
             text(postgres::propCatalog, settings().database),
             text(postgres::propUserId, settings().user),
             text(postgres::propPassword, settings().password),
             text(postgres::propProviderString,
                  searchPathOption() + " application_name=batched_" + schema_)});
    }
    static void exec(kit::Connection& c, const std::string& sql) {
        auto s = c.prepare(sql, {});
        while (s->step()) {
        }
    }
    // What the server says of this test's connection, asked on another one.
    std::string connectionState() const {
        return pgtest::queryText("SELECT state FROM pg_stat_activity WHERE application_name = "
                                 "'batched_" +
                                 schema_ + "'");
    }
    // Steps `n` rows and checks that they are `first`, `first` + 1, ... in column 0.
    static void expectRows(kit::Statement& s, std::int64_t first, std::int64_t n) {
        for (std::int64_t i = 0; i < n; ++i) {
            ASSERT_TRUE(s.step()) << "row " << first + i;
            ASSERT_EQ(s.value(0).integer, first + i);
        }
    }
    static kit::PrepareOptions once() {
        kit::PrepareOptions o;
        o.runOnce = true;
        return o;
    }
};

TEST_F(BatchedReading, RowsComeWholeAcrossBatchesAndJumps) {
    auto c = open();
    exec(*c, "CREATE TABLE t AS SELECT g AS v, repeat('x', g % 7) AS r FROM "
             "generate_series(0, 9999) g");
    auto s = c->prepare("SELECT v, r FROM t ORDER BY v -- trailing comment\n;", once());
    ASSERT_TRUE(s->canSeek());
    expectRows(*s, 0, 3 * batch + 5);
    EXPECT_EQ(s->value(1).bytes, std::string((3 * batch + 4) % 7, 'x'));
    // Back, far ahead, to the last row, past the end, and back again.
    for (std::uint64_t row : {10u, 9000u, 9999u, 0u, 5000u}) {
        ASSERT_TRUE(s->seek(row));
        expectRows(*s, static_cast<std::int64_t>(row), 1);
    }
    // Reading on after a jump crosses batches of every size.
    ASSERT_TRUE(s->seek(100));
    expectRows(*s, 100, 2 * batch);
    ASSERT_TRUE(s->seek(9998));
    expectRows(*s, 9998, 2);
    EXPECT_FALSE(s->step());
    ASSERT_TRUE(s->seek(20000));
    EXPECT_FALSE(s->step());
    // After the end and a reset, the statement runs afresh.
    s->reset();
    expectRows(*s, 0, batch + 1);
}

TEST_F(BatchedReading, ParametersApplyToEveryBatch) {
    auto c = open();
    auto s = c->prepare("SELECT g FROM generate_series(1, ?::int) g WHERE g % 2 = 0", {});
    ASSERT_TRUE(s->canSeek());
    s->bind(0, kit::ValueView::ofInt(6000));
    std::int64_t n = 0;
    while (s->step())
        ASSERT_EQ(s->value(0).integer, 2 * ++n);
    EXPECT_EQ(n, 3000);
    s->reset();
    s->bind(0, kit::ValueView::ofInt(4000));
    ASSERT_TRUE(s->seek(1999));
    ASSERT_TRUE(s->step());
    EXPECT_EQ(s->value(0).integer, 4000);
    EXPECT_FALSE(s->step());
}

// Outside a transaction the cursor has one of its own; any other statement ends it first, so
// that statement commits on its own at once, and the browsed rows carry on.
TEST_F(BatchedReading, OtherStatementsStillCommitOnTheirOwn) {
    auto c = open();
    exec(*c, "CREATE TABLE t AS SELECT g AS v FROM generate_series(0, 4999) g");
    exec(*c, "CREATE TABLE log (v int)");
    auto s = c->prepare("SELECT v FROM t ORDER BY v", once());
    expectRows(*s, 0, batch + 10);
    EXPECT_EQ(connectionState(), "idle in transaction");
    exec(*c, "INSERT INTO log VALUES (1)");
    EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".log"), "1");
    EXPECT_EQ(connectionState(), "idle");
    expectRows(*s, batch + 10, 2 * batch);
    // Releasing the rows ends the cursor and its transaction.
    s.reset();
    EXPECT_EQ(connectionState(), "idle");
    // A transaction begun while a cursor is open is the consumer's own: a rollback undoes it.
    auto again = c->prepare("SELECT v FROM t ORDER BY v", once());
    expectRows(*again, 0, batch + 1);
    c->begin(kit::IsolationLevel::ReadCommitted);
    exec(*c, "INSERT INTO log VALUES (2)");
    expectRows(*again, batch + 1, batch);
    c->rollback();
    EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".log"), "1");
    expectRows(*again, 2 * batch + 1, 10);
}

// Inside a transaction the cursor sees its uncommitted rows and survives a refused statement;
// after the commit the rows are read afresh from where they were.
TEST_F(BatchedReading, InsideATransactionTheCursorIsPartOfIt) {
    auto c = open();
    exec(*c, "CREATE TABLE t (v int PRIMARY KEY)");
    c->begin(kit::IsolationLevel::ReadCommitted);
    exec(*c, "INSERT INTO t SELECT g FROM generate_series(0, 2999) g");
    auto s = c->prepare("SELECT v FROM t ORDER BY v", once());
    expectRows(*s, 0, batch + 1);
    EXPECT_THROW(exec(*c, "INSERT INTO t VALUES (1)"), kit::BackendError);
    expectRows(*s, batch + 1, batch);
    c->commit();
    expectRows(*s, 2 * batch + 1, 3000 - 2 * batch - 1);
    EXPECT_FALSE(s->step());
    EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".t"), "3000");
}

TEST_F(BatchedReading, AnErrorMidResultFailsTheStepAndLeavesTheConnectionUsable) {
    auto c = open();
    const std::string failing = "SELECT 100 / (3000 - g) FROM generate_series(0, 5000) g";
    for (bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction ? "in a transaction" : "autocommit");
        if (inTransaction)
            c->begin(kit::IsolationLevel::ReadCommitted);
        exec(*c, "CREATE TABLE kept_" + std::to_string(inTransaction) + " (v int)");
        auto s = c->prepare(failing, once());
        int rows = 0;
        try {
            while (s->step())
                ++rows;
            ADD_FAILURE() << "no error";
        } catch (const kit::BackendError& e) {
            EXPECT_NE(std::string(e.what()).find("division by zero"), std::string::npos)
                << e.what();
        }
        EXPECT_GE(rows, batch);
        EXPECT_LT(rows, 3000);
        s->reset();
        exec(*c, "INSERT INTO kept_" + std::to_string(inTransaction) + " VALUES (1)");
        if (inTransaction)
            c->commit();
        EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".kept_" +
                                    std::to_string(inTransaction)),
                  "1");
    }
}

// Statements a cursor cannot give run as they are.
TEST_F(BatchedReading, StatementsThatDoNotNestRunAsTheyAre) {
    auto c = open();
    exec(*c, "CREATE TABLE t AS SELECT g AS v FROM generate_series(1, 3) g");
    auto into = c->prepare("SELECT v INTO copied FROM t", once());
    EXPECT_FALSE(into->step());
    EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".copied"), "3");
    auto prepared = c->prepare("SELECT v INTO copied_again FROM t", {});
    EXPECT_FALSE(prepared->canSeek());
    EXPECT_FALSE(prepared->step());
    auto wrong = c->prepare("SELECT nothing FROM t", once());
    try {
        wrong->step();
        ADD_FAILURE() << "no error";
    } catch (const kit::BackendError& e) {
        EXPECT_EQ(e.errorClass(), kit::ErrorClass::Syntax) << e.what();
        EXPECT_EQ(std::string(e.what()).find("vantrel_rows"), std::string::npos) << e.what();
    }
    // More rows than a batch: SELECT INTO is not cut to the first one.
    exec(*c, "INSERT INTO t SELECT g FROM generate_series(4, 3000) g");
    auto intoMany = c->prepare("SELECT v INTO copied_many FROM t", once());
    EXPECT_FALSE(intoMany->step());
    EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".copied_many"), "3000");
    auto values = c->prepare("VALUES (1, 'a'), (2, 'b');", once());
    ASSERT_TRUE(values->step());
    EXPECT_EQ(values->columns().size(), 2u);
    ASSERT_TRUE(values->step());
    EXPECT_EQ(values->value(1).bytes, "b");
    EXPECT_FALSE(values->step());
}

TEST_F(BatchedReading, AQuerysOwnLimitOrderAndOffsetHoldAcrossBatches) {
    auto c = open();
    exec(*c, "CREATE TABLE t AS SELECT g AS v FROM generate_series(0, 2999) g");
    for (bool runOnce : {true, false}) {
        auto limited = c->prepare("SELECT v FROM t ORDER BY v DESC LIMIT 2000",
                                  runOnce ? once() : kit::PrepareOptions{});
        ASSERT_TRUE(limited->canSeek());
        for (std::int64_t i = 0; i < 2000; ++i) {
            ASSERT_TRUE(limited->step()) << i;
            ASSERT_EQ(limited->value(0).integer, 2999 - i);
        }
        EXPECT_FALSE(limited->step());
        ASSERT_TRUE(limited->seek(1500));
        ASSERT_TRUE(limited->step());
        EXPECT_EQ(limited->value(0).integer, 1499);
        auto offset = c->prepare("SELECT v FROM t ORDER BY v OFFSET 10",
                                 runOnce ? once() : kit::PrepareOptions{});
        expectRows(*offset, 10, 2990);
        EXPECT_FALSE(offset->step());
    }
}

// Text that proves its result short goes to the server without a row limit and is read whole;
// anything else keeps the limit and its batches, even when it starts like a short one.
TEST_F(BatchedReading, OnlyProvablyShortResultsGoWithoutALimit) {
    auto c = open();
    exec(*c, "CREATE TABLE t (k int PRIMARY KEY, v int)");
    exec(*c, "INSERT INTO t SELECT g, g * 2 FROM generate_series(1, 3000) g");
    exec(*c, "CREATE TABLE child () INHERITS (t)");
    exec(*c, "INSERT INTO child VALUES (7, -1)");
    auto lastText = [&] {
        return pgtest::queryText("SELECT query FROM pg_stat_activity WHERE application_name = "
                                 "'batched_" +
                                 schema_ + "'");
    };
    for (bool runOnce : {true, false}) {
        const kit::PrepareOptions options = runOnce ? once() : kit::PrepareOptions{};
        auto sum = c->prepare("SELECT count(*), sum(v) FROM t WHERE k > 100", options);
        ASSERT_TRUE(sum->step());
        EXPECT_EQ(sum->value(0).integer, 2900);
        EXPECT_FALSE(sum->step());
        if (runOnce) {
            EXPECT_EQ(lastText().find("LIMIT"), std::string::npos) << lastText();
        }
        // By the key: one row here, and the inheriting table's row too, all of them.
        auto key = c->prepare("SELECT v FROM t WHERE k = 7", options);
        std::vector<std::int64_t> rows;
        while (key->step())
            rows.push_back(key->value(0).integer);
        EXPECT_EQ(rows, (std::vector<std::int64_t>{14, -1}));
        if (runOnce) {
            EXPECT_EQ(lastText().find("LIMIT"), std::string::npos) << lastText();
        }
        ASSERT_TRUE(key->seek(1));
        ASSERT_TRUE(key->step());
        EXPECT_EQ(key->value(0).integer, -1);
        // Not the key, and a set-returning function beside an aggregate: limited and batched.
        auto other = c->prepare("SELECT k FROM t WHERE v = 14", options);
        ASSERT_TRUE(other->step());
        if (runOnce) {
            EXPECT_NE(lastText().find("LIMIT"), std::string::npos) << lastText();
        }
        // Texts read alike when only their numbers differ, never when a name does.
        exec(*c, "CREATE TABLE IF NOT EXISTS d (\"1\" int PRIMARY KEY, \"2\" int)");
        exec(*c,
             "INSERT INTO d SELECT g, 5 FROM generate_series(1, 2000) g ON CONFLICT DO NOTHING");
        auto byKey = c->prepare("SELECT \"2\" FROM d WHERE \"1\" = 5", options);
        ASSERT_TRUE(byKey->step());
        EXPECT_FALSE(byKey->step());
        if (runOnce) {
            EXPECT_EQ(lastText().find("LIMIT"), std::string::npos) << lastText();
        }
        auto notByKey = c->prepare("SELECT \"1\" FROM d WHERE \"2\" = 5", options);
        ASSERT_TRUE(notByKey->step());
        if (runOnce) {
            EXPECT_NE(lastText().find("LIMIT"), std::string::npos) << lastText();
        }
        int rest = 0;
        while (notByKey->step())
            ++rest;
        EXPECT_EQ(rest, 1999);
        auto many = c->prepare("SELECT count(*), generate_series(1, 3000) FROM t", options);
        for (std::int64_t i = 1; i <= 3000; ++i) {
            ASSERT_TRUE(many->step()) << i;
            ASSERT_EQ(many->value(1).integer, i);
        }
        EXPECT_FALSE(many->step());
    }
}

// A text read like an earlier one still needs the table's key as the catalog has it now: after
// the table is made again without a key, the same lookup is limited and comes whole. A long
// text (not remembered) is read as any other.
TEST_F(BatchedReading, TextsReadAlikeStillNeedTheKeyTheTableHasNow) {
    auto c = open();
    auto lastText = [&] {
        return pgtest::queryText("SELECT query FROM pg_stat_activity WHERE application_name = "
                                 "'batched_" +
                                 schema_ + "'");
    };
    exec(*c, "CREATE TABLE t (k int PRIMARY KEY, v int)");
    exec(*c, "INSERT INTO t SELECT g, g FROM generate_series(1, 3000) g");
    auto byKey = c->prepare("SELECT v FROM t WHERE k = 1", once());
    ASSERT_TRUE(byKey->step());
    EXPECT_EQ(lastText().find("LIMIT"), std::string::npos) << lastText();
    // Another key: the answer the facts gave is kept with the reading.
    auto nextKey = c->prepare("SELECT v FROM t WHERE k = 2", once());
    ASSERT_TRUE(nextKey->step());
    EXPECT_EQ(nextKey->value(0).integer, 2);
    EXPECT_FALSE(nextKey->step());
    EXPECT_EQ(lastText().find("LIMIT"), std::string::npos) << lastText();
    exec(*c, "DROP TABLE t");
    exec(*c, "CREATE TABLE t (k int, v int)");
    exec(*c, "INSERT INTO t SELECT 2, g FROM generate_series(1, 3000) g");
    // Described once, the new table's facts are at hand without asking.
    exec(*c, "SELECT v FROM t WHERE v = 0");
    auto same = c->prepare("SELECT v FROM t WHERE k = 2", once());
    ASSERT_TRUE(same->step());
    EXPECT_NE(lastText().find("LIMIT"), std::string::npos) << lastText();
    int rows = 1;
    while (same->step())
        ++rows;
    EXPECT_EQ(rows, 3000);

    std::string longText = "SELECT count(*), sum(v) FROM t WHERE v IN (0";
    for (int v = 1; v <= 1500; ++v)
        longText += ", " + std::to_string(v);
    longText += ")";
    ASSERT_GT(longText.size(), 4096u);
    for (int round = 0; round < 2; ++round) {
        auto sum = c->prepare(longText, once());
        ASSERT_TRUE(sum->step());
        EXPECT_EQ(sum->value(0).integer, 1500);
        EXPECT_EQ(sum->value(1).integer, 1500 * 1501 / 2);
        EXPECT_FALSE(sum->step());
    }
}

TEST_F(BatchedReading, TextOfSeveralStatementsIsRefusedWholeAsBefore) {
    auto c = open();
    exec(*c, "CREATE TABLE t AS SELECT g AS v FROM generate_series(1, 5) g");
    for (const char* text :
         {"SELECT 1; DELETE FROM t", "DELETE FROM t WHERE v = 1; DELETE FROM t"}) {
        auto s = c->prepare(text, once());
        EXPECT_THROW(s->step(), kit::BackendError) << text;
        EXPECT_EQ(pgtest::queryText("SELECT count(*) FROM " + schema_ + ".t"), "5") << text;
    }
    // One statement and a comment after its semicolon is one statement; a notice is no error.
    auto one = c->prepare("DELETE FROM t WHERE v = 1; -- and no more", once());
    EXPECT_FALSE(one->step());
    EXPECT_EQ(one->rowsAffected(), 1);
    auto notice = c->prepare("DROP TABLE IF EXISTS not_there", once());
    EXPECT_FALSE(notice->step());
}

} // namespace
