// Jumps in a read-only rowset give the rows a plain forward read gives, at every position: near
// both ends, on and beside the places a provider may remember as starting points, and at
// random; over a table whose keys have gaps, with a WHERE clause, and after the data changed
// under a rowset that had jumped before (through this session, through another connection, and
// inside a transaction whose changes are then taken back).
#include "ConformanceSupport.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace conformance {
namespace {

constexpr DBROWCOUNT screen = 20;

class Positioning : public ProviderTest {
protected:
    // jumps(id, v): ids 1..6000 with gaps (every 7th from 3, and 1500..2600), v cycling 0..12.
    void fill() {
        run("CREATE TABLE jumps (id INTEGER PRIMARY KEY, v INTEGER, note VARCHAR(20))");
        run(isSQLite() ? "INSERT INTO jumps WITH RECURSIVE n(g) AS (SELECT 1 UNION ALL SELECT g + "
                         "1 FROM n WHERE g < 6000) SELECT g, g * 7 % 13, 'row ' || g FROM n"
                       : "INSERT INTO jumps SELECT g, g * 7 % 13, 'row ' || g FROM "
                         "generate_series(1, 6000) g");
        run("DELETE FROM jumps WHERE id % 7 = 3 OR id BETWEEN 1500 AND 2600");
    }

    struct Reader {
        Ptr<IRowset> rowset;
        Ptr<IAccessor> accessor;
        HACCESSOR handle = DB_NULL_HACCESSOR;
        ~Reader() {
            if (accessor)
                accessor->ReleaseAccessor(handle, nullptr);
        }
    };
    // A rowset of `text` (a command, prepared or not) read through one binding of its first
    // column.
    static void openReader(ICommandText* text, Reader& reader) {
        ASSERT_EQ(text->Execute(nullptr, IID_IRowset, nullptr, nullptr, reader.rowset.outUnknown()),
                  S_OK)
            << takeErrorDescription();
        reader.accessor = reader.rowset.query<IAccessor>(IID_IAccessor);
        DBBINDING id = cellBinding(1, DBTYPE_I8, 8, 0);
        ASSERT_EQ(
            reader.accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &id, 0, &reader.handle, nullptr),
            S_OK);
    }
    // A prepared command: its rowsets share one statement, and whatever that remembers.
    Ptr<ICommandText> prepared(const std::string& sql) const {
        Ptr<ICommandText> text = command(sql);
        auto prepare = text.query<ICommandPrepare>(IID_ICommandPrepare);
        EXPECT_EQ(prepare->Prepare(0), S_OK) << takeErrorDescription();
        return text;
    }

    // Appends the ids of `got` fetched rows to `ids` and releases the rows.
    static void takeIds(const Reader& r, HROW* rows, DBCOUNTITEM got, std::vector<long long>& ids) {
        for (DBCOUNTITEM i = 0; i < got; ++i) {
            Cell cell{};
            EXPECT_EQ(r.rowset->GetData(rows[i], r.handle, &cell), S_OK);
            long long id = 0;
            std::memcpy(&id, cell.value, sizeof id);
            ids.push_back(id);
        }
        if (got > 0)
            r.rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
    }

    // The ids of up to `count` rows from 0-based row `first`, after a rewind (a jump).
    static std::vector<long long> idsAt(const Reader& r, DBROWOFFSET first, DBROWCOUNT count) {
        std::vector<long long> ids;
        EXPECT_EQ(r.rowset->RestartPosition(DB_NULL_HCHAPTER), S_OK);
        HROW rows[100];
        HROW* p = rows;
        DBCOUNTITEM got = 0;
        const HRESULT hr = r.rowset->GetNextRows(DB_NULL_HCHAPTER, first, count, &got, &p);
        EXPECT_TRUE(hr == S_OK || hr == DB_S_ENDOFROWSET) << std::hex << hr;
        takeIds(r, rows, got, ids);
        return ids;
    }

    // Every id, read forwards from the first row without a jump.
    static std::vector<long long> forwardRead(const Reader& r) {
        std::vector<long long> ids;
        EXPECT_EQ(r.rowset->RestartPosition(DB_NULL_HCHAPTER), S_OK);
        while (true) {
            HROW rows[100];
            HROW* p = rows;
            DBCOUNTITEM got = 0;
            const HRESULT hr = r.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 100, &got, &p);
            EXPECT_TRUE(hr == S_OK || hr == DB_S_ENDOFROWSET) << std::hex << hr;
            takeIds(r, rows, got, ids);
            if (hr != S_OK || got == 0)
                return ids;
        }
    }

    // Runs a change through a connection of its own, which it then closes.
    void runElsewhere(const char* sql) const {
        Ptr<IDBInitialize> other = createDataSource();
        ASSERT_EQ(other->Initialize(), S_OK) << takeErrorDescription();
        auto create = other.query<IDBCreateSession>(IID_IDBCreateSession);
        Ptr<IUnknown> session;
        ASSERT_EQ(create->CreateSession(nullptr, IID_IUnknown, session.out()), S_OK);
        auto commands = session.query<IDBCreateCommand>(IID_IDBCreateCommand);
        Ptr<ICommandText> change;
        ASSERT_EQ(commands->CreateCommand(nullptr, IID_ICommandText, change.outUnknown()), S_OK);
        ASSERT_EQ(change->SetCommandText(DBGUID_DBSQL, u16(sql).c_str()), S_OK);
        ASSERT_EQ(change->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), S_OK)
            << takeErrorDescription();
        change.reset();
        session.reset();
        other->Uninitialize();
    }

    // Reads the command's rows forwards into `ids`, then checks jumps to many places against them.
    static void readAndJump(ICommandText* text, unsigned seed, std::vector<long long>& ids) {
        Reader r;
        ASSERT_NO_FATAL_FAILURE(openReader(text, r));
        ids = forwardRead(r);
        ASSERT_NO_FATAL_FAILURE(expectJumpsMatch(r, ids, seed));
    }

    // Jumps to many positions and compares each screen with the forward read `all`: the ends,
    // both sides of multiples of 256 and 512, backwards from the end, and random places.
    static void expectJumpsMatch(const Reader& r, const std::vector<long long>& all,
                                 unsigned seed) {
        const auto n = static_cast<DBROWOFFSET>(all.size());
        std::vector<DBROWOFFSET> places = {0, 1, n - screen, n - 1, n, n + 5};
        for (DBROWOFFSET k = 256; k < n; k += 256)
            for (DBROWOFFSET d : {-1, 0, 1})
                places.push_back(k + d);
        for (DBROWOFFSET first = n - screen; first > n - 40 * screen; first -= screen)
            places.push_back(first);
        std::mt19937 generator(seed);
        std::uniform_int_distribution<DBROWOFFSET> anywhere(0, n - 1);
        for (int i = 0; i < 60; ++i)
            places.push_back(anywhere(generator));
        for (DBROWOFFSET first : places) {
            const auto from = std::min<std::size_t>(static_cast<std::size_t>(first), all.size());
            const auto to = std::min<std::size_t>(from + screen, all.size());
            const std::vector<long long> expected(all.begin() + from, all.begin() + to);
            ASSERT_EQ(idsAt(r, first, screen), expected) << "jump to row " << first;
        }
    }
};

TEST_P(Positioning, JumpsGiveTheRowsOfAForwardReadAtEveryPlace) {
    fill();
    for (const char* sql : {"SELECT id, v FROM jumps", "SELECT id, note FROM jumps WHERE v <> 4",
                            "SELECT j.id FROM jumps j WHERE j.v < 11 AND j.note LIKE 'row %'"}) {
        SCOPED_TRACE(sql);
        Reader r;
        ASSERT_NO_FATAL_FAILURE(openReader(command(sql).get(), r));
        const std::vector<long long> all = forwardRead(r);
        ASSERT_GT(all.size(), 3000u);
        ASSERT_NO_FATAL_FAILURE(expectJumpsMatch(r, all, 7));
        // Once more, from what the first round may have remembered.
        ASSERT_NO_FATAL_FAILURE(expectJumpsMatch(r, all, 8));
    }
}

TEST_P(Positioning, JumpsAfterTheDataChangedGiveTheRowsAsTheyAreNow) {
    fill();
    Ptr<ICommandText> text = prepared("SELECT id FROM jumps");
    std::vector<long long> now;
    ASSERT_NO_FATAL_FAILURE(readAndJump(text.get(), 1, now));
    // Through this session: rows go at the start and in the middle, new ones come at the end.
    run("DELETE FROM jumps WHERE id < 700 OR id BETWEEN 3000 AND 3100");
    run("INSERT INTO jumps (id, v) VALUES (7001, 1), (7002, 2), (7003, 3)");
    ASSERT_NO_FATAL_FAILURE(readAndJump(text.get(), 2, now));
    EXPECT_EQ(now.front(), 700);
    EXPECT_EQ(now.back(), 7003);
    // Through another connection.
    ASSERT_NO_FATAL_FAILURE(runElsewhere("DELETE FROM jumps WHERE id < 1200"));
    ASSERT_NO_FATAL_FAILURE(readAndJump(text.get(), 3, now));
    EXPECT_EQ(now.front(), 1201);
}

// The connection may keep what one rowset learnt about places for the next statement over the
// same query: every later rowset is a new statement, and its first jumps come before anything
// it reads itself would show a change.
TEST_P(Positioning, ALaterStatementOverTheSameQueryJumpsToTheRowsAsTheyAreNow) {
    fill();
    const std::string sql = "SELECT id, v FROM jumps";
    std::vector<long long> before, now;
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 11, before));
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 12, now));
    EXPECT_EQ(now, before);
    // The same query written otherwise.
    ASSERT_NO_FATAL_FAILURE(
        readAndJump(command("select id,  v\nFROM jumps -- again").get(), 13, now));
    EXPECT_EQ(now, before);

    // Through this session: rows go at the start, one moves to the end, and rows come in the
    // middle.
    run("DELETE FROM jumps WHERE id < 900");
    run(isSQLite() ? "UPDATE jumps SET id = 9000 WHERE id = 2700"
                   : "UPDATE jumps SET id = 9000, note = 'moved' WHERE id = 2700");
    run("INSERT INTO jumps (id, v) VALUES (1600, 1), (1601, 2)");
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 14, now));
    EXPECT_EQ(now.front(), 900);
    EXPECT_NE(std::find(now.begin(), now.end(), 9000), now.end());

    // Through another connection, between two rowsets that read nothing in between.
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 15, before));
    ASSERT_NO_FATAL_FAILURE(runElsewhere("DELETE FROM jumps WHERE id BETWEEN 3000 AND 3400"));
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 16, now));
    EXPECT_EQ(now.size(), before.size() - 344);

    // Another table under the same name, holding as many rows as the first, but other ones.
    run("CREATE TABLE jumps_odd AS SELECT CAST(id + 1 AS INTEGER) AS id, v FROM jumps ORDER BY id "
        "DESC");
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 17, before));
    run("ALTER TABLE jumps RENAME TO jumps_old");
    run("ALTER TABLE jumps_odd RENAME TO jumps");
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 18, now));
    ASSERT_EQ(now.size(), before.size());
    EXPECT_NE(now, before);
}

TEST_P(Positioning, AFilterReadingASessionSettingIsCountedAfreshWhenTheSettingChanged) {
    if (GetParam() != Provider::PostgreSQL)
        GTEST_SKIP() << "PostgreSQL's session settings";
    fill();
    // SET takes no transaction id: the snapshot stays, and other rows pass the filter.
    const std::string sql =
        "SELECT id FROM jumps WHERE v <> current_setting('vantrel_test.skip')::int";
    std::vector<long long> before, now;
    run("SET vantrel_test.skip = '4'");
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 23, before));
    run("SET vantrel_test.skip = '5'");
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 24, now));
    EXPECT_EQ(now.size(), before.size());
    EXPECT_NE(now, before);
}

TEST_P(Positioning, RowsPackedAnewByVacuumFullAreFoundWhereTheyAreNow) {
    if (GetParam() != Provider::PostgreSQL)
        GTEST_SKIP() << "PostgreSQL's VACUUM FULL";
    fill();
    // Pages half emptied, then counted by a rowset; VACUUM FULL packs the rows that are left
    // into fewer pages without changing any of them.
    run("DELETE FROM jumps WHERE id % 3 = 0 OR id BETWEEN 3000 AND 4000");
    const std::string sql = "SELECT id FROM jumps";
    std::vector<long long> before, now;
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 21, before));
    run("VACUUM FULL jumps");
    ASSERT_NO_FATAL_FAILURE(readAndJump(command(sql).get(), 22, now));
    EXPECT_EQ(now, before);
}

TEST_P(Positioning, ChangesTakenBackInsideATransactionLeaveNoWrongPlaces) {
    fill();
    Ptr<ICommandText> text = prepared("SELECT id FROM jumps");
    std::vector<long long> before;
    ASSERT_NO_FATAL_FAILURE(readAndJump(text.get(), 4, before));
    auto transaction = session_.query<ITransactionLocal>(IID_ITransactionLocal);
    ASSERT_TRUE(transaction);
    ASSERT_EQ(transaction->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr),
              S_OK);
    run("SAVEPOINT taken_back");
    run("DELETE FROM jumps WHERE id < 4000");
    std::vector<long long> inside;
    ASSERT_NO_FATAL_FAILURE(readAndJump(text.get(), 5, inside));
    EXPECT_EQ(inside.front(), 4001);
    run("ROLLBACK TO SAVEPOINT taken_back");
    {
        // The table is as before: jumps place by the rows there are, not by the deleted ones.
        Reader r;
        ASSERT_NO_FATAL_FAILURE(openReader(text.get(), r));
        ASSERT_NO_FATAL_FAILURE(expectJumpsMatch(r, before, 6));
    }
    EXPECT_EQ(transaction->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
    Reader r;
    ASSERT_NO_FATAL_FAILURE(openReader(text.get(), r));
    EXPECT_EQ(forwardRead(r), before);
}

TEST_P(Positioning, AScanStartsAtTheTablesFirstPageEveryTime) {
    if (GetParam() != Provider::PostgreSQL)
        GTEST_SKIP() << "PostgreSQL's synchronised scans";
    // With synchronised scans a large table's scan starts where another scan is, so the same
    // query gives its rows in another order and a position names another row.
    EXPECT_EQ(firstCell("SHOW synchronize_seqscans"), "off");
}

INSTANTIATE_TEST_SUITE_P(EveryProvider, Positioning,
                         ::testing::Values(Provider::SQLite, Provider::PostgreSQL,
                                           Provider::OdbcSQLite),
                         ProviderName());

} // namespace
} // namespace conformance
