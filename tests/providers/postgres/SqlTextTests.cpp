// The SQL text the backend rewrites: placeholders and hidden identity columns must never touch
// literals, quoted names or comments.
#include "postgres/PgSqlText.h"

#include <gtest/gtest.h>

namespace {

using namespace vantrel::postgres;

TEST(PgSqlText, QuestionMarksBecomeNumberedOutsideQuotesAndComments) {
    std::size_t n = 0;
    EXPECT_EQ(numberPlaceholders("INSERT INTO t (a, b) VALUES (?, ?)", n),
              "INSERT INTO t (a, b) VALUES ($1, $2)");
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(numberPlaceholders(
                  "SELECT '?', \"a?\", $$?$$, $q$ ? $q$, E'\\'?', ? -- ?\n/* ? /* ? */ ? */ ?", n),
              "SELECT '?', \"a?\", $$?$$, $q$ ? $q$, E'\\'?', $1 -- ?\n/* ? /* ? */ ? */ $2");
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(numberPlaceholders("SELECT $1 + $2", n), "SELECT $1 + $2");
    EXPECT_EQ(n, 0u);
    // An unterminated literal is passed on for the server to refuse.
    EXPECT_EQ(numberPlaceholders("SELECT 'open ?", n), "SELECT 'open ?");
}

TEST(PgSqlText, KeywordsAndSelectLists) {
    EXPECT_EQ(leadingKeyword("  -- c\n ( select 1)"), "SELECT");
    EXPECT_EQ(leadingKeyword("commit"), "COMMIT");
    EXPECT_EQ(leadingKeyword(""), "");
    EXPECT_EQ(leadingKeyword("/* a /* nested */ b */ With x AS (SELECT 1) TABLE x"), "WITH");
    EXPECT_EQ(leadingKeyword("\"select\" x"), "");
    EXPECT_EQ(leadingKeyword("$$select$$"), "");
    EXPECT_EQ(leadingKeyword("-- only a comment"), "");
    EXPECT_EQ(selectListStart("SELECT Remark FROM tellers"), 6u);
    EXPECT_EQ(selectListStart(" /* x */ select * from t"), 15u);
    EXPECT_FALSE(selectListStart("SELECT DISTINCT a FROM t"));
    EXPECT_FALSE(selectListStart("WITH x AS (SELECT 1) SELECT * FROM x"));
    EXPECT_FALSE(selectListStart("SELECTED"));
    EXPECT_FALSE(selectListStart("(SELECT 1)"));
}

TEST(PgSqlText, OutlineTellsStatementsApartAndWhereALimitFits) {
    EXPECT_FALSE(outlineOf("UPDATE t SET a = 1;  -- done\n;").severalStatements);
    EXPECT_FALSE(outlineOf("SELECT ';', \"a;b\", $$;$$, E'\\';' /* ; */").severalStatements);
    EXPECT_TRUE(outlineOf("SELECT 1; SELECT 2").severalStatements);
    EXPECT_TRUE(outlineOf("BEGIN;'x'").severalStatements);
    // A LIMIT may follow the query only where it would limit the whole result and nothing
    // else: not after a limit of the query's own, nor on SELECT INTO (it would cut the table).
    for (const char* query : {"SELECT a FROM t WHERE b IN (SELECT b FROM u LIMIT 3) ORDER BY a",
                              "SELECT 'limit', \"offset\", $x$ into $x$ FROM t -- fetch\n",
                              "(SELECT 1) UNION ALL (SELECT 2)", "TABLE accounts",
                              "SELECT limiter, intoxicated FROM t", "VALUES (1), (2)"})
        EXPECT_TRUE(outlineOf(query).takesLimit) << query;
    for (const char* query :
         {"SELECT a FROM t LIMIT 5", "SELECT a FROM t offset 10",
          "SELECT a FROM t FETCH FIRST 3 ROWS ONLY", "SELECT a Into b FROM t", "SELECT 1into b",
          "SELECT 1;", "SELECT 1; SELECT 2", "SELECT (1", "SELECT 1) + (2"})
        EXPECT_FALSE(outlineOf(query).takesLimit) << query;
}

TEST(PgSqlText, OnlyTextThatProvesAShortResultIsSeenAsShort) {
    using K = ShortResult::Kind;
    auto kind = [](std::string_view sql) { return shortResultOf(sql).kind; };
    EXPECT_EQ(kind("SELECT COUNT(*), SUM(Abalance) FROM accounts WHERE Aid BETWEEN 1 AND 99"),
              K::OneRow);
    EXPECT_EQ(kind("select max(a) filter (where b > 0) as m, count(distinct (a, b)) from t, u "
                   "where (t.x = u.x) having count(*) > 1 -- note"),
              K::OneRow);
    // Anything that can make several rows out of aggregates proves nothing.
    for (const char* many : {"SELECT count(*) FROM t GROUP BY a",
                             "SELECT count(*) FROM t UNION "
                             "SELECT 1 FROM u",
                             "SELECT count(*), generate_series(1, 3) FROM t",
                             "SELECT count(*) OVER () FROM t", "SELECT sum(a) + 1 FROM t",
                             "SELECT count(*) FROM t; SELECT a FROM t", "SELECT s.count(*) FROM t",
                             "SELECT count(*) FROM (t", "SELECT count(*) FROM t WHERE a = 'open"})
        EXPECT_EQ(kind(many), K::None) << many;

    ShortResult lookup =
        shortResultOf("SELECT Aid, a.Bid, \"Remark\", * FROM Accounts AS a WHERE a.AID = 42");
    EXPECT_EQ(lookup.kind, K::KeyLookup);
    EXPECT_EQ(lookup.table, "accounts");
    EXPECT_EQ(lookup.column, "aid");
    lookup = shortResultOf("select v from \"Odd\"\"Name\".t x where \"K\" = $1");
    EXPECT_EQ(lookup.kind, K::KeyLookup);
    EXPECT_EQ(lookup.table, "Odd\"Name.t");
    EXPECT_EQ(lookup.column, "K");
    EXPECT_EQ(kind("SELECT a FROM t WHERE k = -7"), K::KeyLookup);
    EXPECT_EQ(kind("SELECT a FROM t WHERE k = 'x''y'"), K::KeyLookup);
    for (const char* other :
         {"SELECT a FROM t WHERE k = 1 OR k = 2", "SELECT a FROM t WHERE k < 5",
          "SELECT upper(a) FROM t WHERE k = 1", "SELECT generate_series(1, 9) FROM t WHERE k = 1",
          "SELECT a FROM t, u WHERE k = 1", "SELECT a FROM t JOIN u ON true WHERE k = 1",
          "SELECT a FROM f(1) WHERE k = 1", "SELECT DISTINCT a FROM t WHERE k = 1",
          "SELECT a FROM t WHERE k = 1::int", "SELECT a FROM t WHERE k = 1 ORDER BY a",
          "SELECT a FROM t", "SELECT a b FROM t WHERE k = 1", "VALUES (1)", ""})
        EXPECT_EQ(kind(other), K::None) << other;
}

TEST(PgSqlText, TextsReadAlikeDifferOnlyInNumbersStandingAlone) {
    EXPECT_TRUE(sameButNumbers("SELECT a FROM t WHERE k = 7", "SELECT a FROM t WHERE k = 12345"));
    EXPECT_TRUE(sameButNumbers("SELECT count(*) FROM t WHERE k BETWEEN 1 AND 100;",
                               "SELECT count(*) FROM t WHERE k BETWEEN 20 AND 119;"));
    EXPECT_TRUE(sameButNumbers("SELECT f(1,2) -- 3", "SELECT f(10,20) -- 30"));
    EXPECT_TRUE(sameButNumbers("SELECT 1", "SELECT 12"));
    EXPECT_TRUE(sameButNumbers("SELECT x FROM a_long_table_name WHERE k = 123",
                               "SELECT x FROM a_long_table_name WHERE k = 129"));
    EXPECT_FALSE(sameButNumbers("SELECT x FROM t12", "SELECT x FROM t13"));
    EXPECT_FALSE(sameButNumbers("SELECT 15", "SELECT 1a"));
    // A digit that belongs to a name, a parameter, a tag, an escape or a decimal is no number
    // that may differ.
    for (auto [a, b] :
         {std::pair{"SELECT a FROM t1", "SELECT a FROM t2"},
          {"SELECT \"1\" FROM t WHERE \"2\" = 5", "SELECT \"2\" FROM t WHERE \"1\" = 5"},
          {"SELECT $1", "SELECT $2"},
          {"SELECT U&\"\\0041\"", "SELECT U&\"\\0042\""},
          {"SELECT $a1$x$a1$", "SELECT $a2$x$a2$"},
          {"SELECT 1e5", "SELECT 2e5"},
          {"SELECT 1.5", "SELECT 1.25"},
          {"SELECT 1", "SELECT 1 UNION SELECT 2"},
          {"SELECT a FROM t WHERE k = 7", "SELECT a FROM t WHERE k = 7 OR k = 8"}})
        EXPECT_FALSE(sameButNumbers(a, b)) << a << " / " << b;
    // Texts are compared a word at a time: a difference at every place within a word.
    for (std::size_t pad = 0; pad < 16; ++pad) {
        const std::string head = "SELECT a" + std::string(pad, ' ') + " FROM t WHERE k = ";
        EXPECT_TRUE(sameButNumbers(head + "123", head + "129")) << pad;
        EXPECT_TRUE(sameButNumbers(head + "5 AND j = 6", head + "70 AND j = 6")) << pad;
        EXPECT_FALSE(sameButNumbers(head + "1 AND j = x1", head + "1 AND j = x2")) << pad;
        EXPECT_FALSE(sameButNumbers(head + "1 AND j = 1", head + "1 AND i = 1")) << pad;
        EXPECT_FALSE(sameButNumbers(head + "15", head + "1a")) << pad;
    }
}

TEST(PgSqlText, InsertShapeMapsParametersToColumns) {
    auto shape =
        insertShape("INSERT INTO Accounts (Aid, \"Odd Name\", x) VALUES ($2, $1, lower($3))", 3);
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->table, "accounts");
    EXPECT_EQ(shape->columns, (std::vector<std::string>{"aid", "Odd Name", "x"}));
    EXPECT_EQ(shape->positionOfParameter, (std::vector<int>{1, 0, -1}));
    shape = insertShape("insert into s.t values ($1)", 1);
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->table, "s.t");
    EXPECT_TRUE(shape->columns.empty());
    EXPECT_FALSE(insertShape("INSERT INTO t SELECT $1", 1));
    EXPECT_FALSE(insertShape("UPDATE t SET a = $1", 1));
}

TEST(PgSqlText, FoldingFollowsUnquotedIdentifiers) {
    EXPECT_EQ(foldName("Remark"), "remark");
    EXPECT_EQ(foldName("Odd Name"), "Odd Name");
    EXPECT_EQ(foldName("1abc"), "1abc");
    EXPECT_EQ(foldName("Ünï"), "Ünï");
}

} // namespace

TEST(PgSqlText, OnlyACopyThroughTheClientIsSeenAsOne) {
    EXPECT_TRUE(copiesThroughClient("copy t from stdin"));
    EXPECT_TRUE(copiesThroughClient("/* load */ COPY t (a, b) FROM STDIN WITH (FORMAT csv)"));
    EXPECT_TRUE(copiesThroughClient("COPY (SELECT a FROM stdin_log) TO -- out\n STDOUT"));
    EXPECT_FALSE(copiesThroughClient("COPY t FROM '/srv/data.csv'"));
    EXPECT_FALSE(copiesThroughClient("COPY (SELECT 1 FROM stdin) TO '/tmp/x'"));
    EXPECT_FALSE(copiesThroughClient("COPY t TO \"stdout\""));
    EXPECT_FALSE(copiesThroughClient("SELECT 'COPY t FROM STDIN'"));
}
