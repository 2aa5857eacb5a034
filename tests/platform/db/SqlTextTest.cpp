#include "platform/db/SqlText.h"

#include <gtest/gtest.h>

using namespace zentaro::sqltext;

namespace {

TEST(SqlText, CountsStatementsOutsideQuotesAndComments)
{
    EXPECT_FALSE(holdsSeveralStatements(QStringLiteral("SELECT 1")));
    EXPECT_FALSE(holdsSeveralStatements(QStringLiteral("SELECT 1;  ")));
    EXPECT_FALSE(holdsSeveralStatements(QStringLiteral("SELECT 1; -- nada más")));
    EXPECT_FALSE(holdsSeveralStatements(QStringLiteral("SELECT 'a;b' AS x")));
    EXPECT_FALSE(holdsSeveralStatements(QStringLiteral("SELECT 'it''s; fine'")));
    EXPECT_FALSE(holdsSeveralStatements(QStringLiteral("SELECT \"a;b\" FROM t /* ; */")));
    EXPECT_TRUE(holdsSeveralStatements(QStringLiteral("SELECT 1; SELECT 2")));
    EXPECT_TRUE(holdsSeveralStatements(QStringLiteral("SELECT * FROM t WHERE k = 'x'; DELETE FROM t")));
    EXPECT_TRUE(holdsSeveralStatements(QStringLiteral("SELECT 1;/* c */DROP TABLE t")));
}

TEST(SqlText, FindsEmptyInLists)
{
    EXPECT_TRUE(holdsEmptyInList(QStringLiteral("SELECT 1 FROM t WHERE k IN ()")));
    EXPECT_TRUE(holdsEmptyInList(QStringLiteral("UPDATE t SET a = 1 WHERE k in(  ) ")));
    EXPECT_FALSE(holdsEmptyInList(QStringLiteral("SELECT 1 FROM t WHERE k IN ('a', 'b')")));
    EXPECT_FALSE(holdsEmptyInList(QStringLiteral("SELECT 'IN ()' FROM t")));
    EXPECT_FALSE(holdsEmptyInList(QStringLiteral("SELECT min() FROM t")));
}

TEST(SqlText, AdaptsSqlServerFunctionsForSqlite)
{
    const struct
    {
        const char *in;
        const char *out;
    } cases[] = {
        {"SELECT ISNULL(a, 0) FROM t", "SELECT ifnull(a, 0) FROM t"},
        {"SELECT SUM(CAST(t.x AS Decimal(18,2))) as s", "SELECT zentaro_sum(zentaro_decimal(t.x, 2)) as s"},
        {"ISNULL(SUM(L.q),0)", "ifnull(zentaro_sum(L.q),0)"},
        {"CAST(a + (b * 2) AS numeric(10, 4))", "zentaro_decimal(a + (b * 2), 4)"},
        {"CAST(x AS Decimal)", "zentaro_decimal(x, 0)"},
        {"CAST(x AS VARCHAR(10))", "CAST(x AS VARCHAR(10))"},
        {"SELECT 'ISNULL(a,b)', \"SUM(x)\"", "SELECT 'ISNULL(a,b)', \"SUM(x)\""},
        {"SELECT t.SUM(x), my_sum(x)", "SELECT t.SUM(x), my_sum(x)"},
        {"CASE WHEN ISNULL(a,'') = '' THEN 1 END", "CASE WHEN ifnull(a,'') = '' THEN 1 END"},
        {"SELECT SUM(", "SELECT SUM("},
    };
    for (const auto &c : cases)
        EXPECT_EQ(adaptForSqlite(QString::fromLatin1(c.in)).toStdString(), c.out) << c.in;
}

} // namespace
