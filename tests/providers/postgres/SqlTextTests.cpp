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
    EXPECT_EQ(selectListStart("SELECT Remark FROM tellers"), 6u);
    EXPECT_EQ(selectListStart(" /* x */ select * from t"), 15u);
    EXPECT_FALSE(selectListStart("SELECT DISTINCT a FROM t"));
    EXPECT_FALSE(selectListStart("WITH x AS (SELECT 1) SELECT * FROM x"));
    EXPECT_FALSE(selectListStart("SELECTED"));
    EXPECT_FALSE(selectListStart("(SELECT 1)"));
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
