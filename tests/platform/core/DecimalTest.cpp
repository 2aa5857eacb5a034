#include "platform/core/Decimal.h"
#include "platform/core/Error.h"

#include <gtest/gtest.h>

#include <limits>

using zentaro::Decimal;

namespace {

struct ParseCase
{
    const char *text;
    const char *expected;   // toString(), or nullptr when the text is not a number
};

class DecimalParse : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(DecimalParse, ReadsPlainDecimalText)
{
    const auto parsed = Decimal::parse(QString::fromLatin1(GetParam().text));
    if (!GetParam().expected) {
        EXPECT_FALSE(parsed.has_value()) << GetParam().text;
        return;
    }
    ASSERT_TRUE(parsed.has_value()) << GetParam().text;
    EXPECT_EQ(parsed->toString().toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, DecimalParse,
                         ::testing::Values(ParseCase {"3.69", "3.69"}, ParseCase {"-0.50", "-0.5"},
                                           ParseCase {"+12", "12"}, ParseCase {" 7.000000 ", "7"},
                                           ParseCase {"1.0000005", "1.000001"}, ParseCase {"-1.0000005", "-1.000001"},
                                           ParseCase {"1.5e2", "150"}, ParseCase {"125e-2", "1.25"},
                                           ParseCase {".5", "0.5"}, ParseCase {"", nullptr}, ParseCase {"1,5", nullptr},
                                           ParseCase {"abc", nullptr}, ParseCase {"1.2.3", nullptr},
                                           ParseCase {"99999999999999999999", nullptr}));

TEST(Decimal, RoundsHalfAwayFromZero)
{
    EXPECT_EQ(Decimal::fromDouble(1.005).rounded(2).toString(), QStringLiteral("1.01"));
    EXPECT_EQ(Decimal::fromDouble(2.675).rounded(2).toString(), QStringLiteral("2.68"));
    EXPECT_EQ(Decimal::fromDouble(-2.675).rounded(2).toString(), QStringLiteral("-2.68"));
    EXPECT_EQ(Decimal::fromDouble(0.125).rounded(2).toFixed(2), QStringLiteral("0.13"));
    EXPECT_EQ(Decimal::fromDouble(0.124999).rounded(2).toFixed(2), QStringLiteral("0.12"));
    EXPECT_EQ(Decimal::fromInt(5).toFixed(2), QStringLiteral("5.00"));
    EXPECT_EQ(Decimal::fromDouble(-0.001).toFixed(2), QStringLiteral("0.00"));
}

TEST(Decimal, SumsWithoutBinaryNoise)
{
    Decimal total;
    double binary = 0;
    for (int i = 0; i < 100000; ++i) {
        total += Decimal::fromDouble(0.1);
        binary += 0.1;
    }
    EXPECT_EQ(total.toFixed(9), QStringLiteral("10000.000000000"));
    EXPECT_NE(QString::number(binary, 'f', 9), QStringLiteral("10000.000000000"));   // why the type exists
}

TEST(Decimal, RefusesToLeaveTheInt64Range)
{
    const Decimal max = Decimal::fromUnits(std::numeric_limits<std::int64_t>::max());
    EXPECT_THROW(max + Decimal::fromUnits(1), zentaro::Error);
    EXPECT_THROW(-Decimal::fromUnits(std::numeric_limits<std::int64_t>::min()), zentaro::Error);
    EXPECT_THROW(max * Decimal::fromInt(2), zentaro::Error);
    EXPECT_THROW(Decimal::fromDouble(1e300), zentaro::Error);
    EXPECT_EQ((Decimal::fromDouble(1160) * Decimal::fromDouble(0.16)).toString(), QStringLiteral("185.6"));
}

TEST(Decimal, ReadsWhatRecordsetsHold)
{
    EXPECT_EQ(Decimal::fromVariant(QVariant()).toString(), QStringLiteral("0"));
    EXPECT_EQ(Decimal::fromVariant(QVariant(qlonglong(42))).toString(), QStringLiteral("42"));
    EXPECT_EQ(Decimal::fromVariant(QVariant(QStringLiteral("1160.000000"))).toString(), QStringLiteral("1160"));
    EXPECT_THROW(Decimal::fromVariant(QVariant(QStringLiteral("doce"))), zentaro::Error);
}

} // namespace

namespace {

// What each engine hands back for a money column, read exactly: PostgreSQL's NUMERIC(18,6)
// text, SQLite's reals and integers, exponents, and values below a cent.
TEST(Decimal, ReadsBothEnginesNumericTexts)
{
    const struct
    {
        QVariant stored;
        const char *expected;
    } cases[] = {
        {QStringLiteral("9865.026900"), "9865.0269"}, {QStringLiteral("1E+2"), "100"},
        {QStringLiteral("-0.005"), "-0.005"},          {QStringLiteral("0.000000"), "0"},
        {QStringLiteral("-116.000000"), "-116"},       {QStringLiteral("1.2345678e3"), "1234.5678"},
        {QVariant(8.62069), "8.62069"},                {QVariant(1.379310), "1.37931"},
        {QVariant(qlonglong(-116)), "-116"},           {QStringLiteral("999999999999.999999"), "999999999999.999999"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Decimal::fromVariant(c.stored).toString().toStdString(), c.expected) << c.stored.toString().toStdString();
    for (const char *bad : {"NaN", "Infinity", "-", "1e", "12,50"})
        EXPECT_THROW(Decimal::fromVariant(QVariant(QString::fromLatin1(bad))), zentaro::Error) << bad;
    EXPECT_THROW(Decimal::fromDouble(std::numeric_limits<double>::quiet_NaN()), zentaro::Error);
}

// Money is rounded half away from zero (as both engines round a cast to Decimal(18,2)); the
// SAT's bounds need floor and ceiling, of values and of exact products.
TEST(Decimal, RoundsEachWayAtItsEdges)
{
    using R = Decimal::Rounding;
    const struct
    {
        const char *value;
        R mode;
        const char *expected;
    } cases[] = {
        {"-0.005", R::HalfAwayFromZero, "-0.01"}, {"0.005", R::HalfAwayFromZero, "0.01"},
        {"0.004999", R::HalfAwayFromZero, "0.00"}, {"-0.004999", R::HalfAwayFromZero, "0.00"},
        {"1.379310", R::Floor, "1.37"},            {"1.379310", R::Ceiling, "1.38"},
        {"-1.379310", R::Floor, "-1.38"},          {"-1.379310", R::Ceiling, "-1.37"},
        {"16.000000", R::Floor, "16.00"},          {"16.000000", R::Ceiling, "16.00"},
        {"0.000001", R::Ceiling, "0.01"},          {"-0.000001", R::Floor, "-0.01"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Decimal::parse(QString::fromLatin1(c.value))->rounded(2, c.mode).toFixed(2).toStdString(), c.expected)
            << c.value << ' ' << int(c.mode);

    // 7.98 x 0.08 = 0.6384 and 8.62 x 0.16 = 1.3792: floor and ceiling of the exact product.
    const Decimal rate = *Decimal::parse(u"0.16");
    EXPECT_EQ(Decimal::parse(u"8.62")->times(rate, 2, R::Floor).toFixed(2), QStringLiteral("1.37"));
    EXPECT_EQ(Decimal::parse(u"8.62")->times(rate, 2, R::Ceiling).toFixed(2), QStringLiteral("1.38"));
    // A product with eight decimals just under a cent: rounding it to six first would make its
    // ceiling the cent itself.
    const Decimal tiny = *Decimal::parse(u"0.000001");
    EXPECT_EQ(Decimal::parse(u"9999.99")->times(tiny, 2, R::Ceiling).toFixed(2), QStringLiteral("0.01"));
    EXPECT_EQ(Decimal::parse(u"0.01")->times(tiny, 6, R::Ceiling).toFixed(6), QStringLiteral("0.000001"));
    EXPECT_EQ(Decimal::parse(u"0.01")->times(tiny, 6, R::Floor).toFixed(6), QStringLiteral("0.000000"));
    EXPECT_EQ(Decimal::parse(u"-8.62")->times(rate, 2, R::Floor).toFixed(2), QStringLiteral("-1.38"));
    EXPECT_EQ(Decimal::unit(2).toString(), QStringLiteral("0.01"));
}

// A global invoice of many six-decimal tickets: the exact sum and the sum of the rounded
// amounts part ways, and neither drifts with the number of lines.
TEST(Decimal, SumsManyLinesExactly)
{
    Decimal exact;
    Decimal cents;
    Decimal negatives;
    for (int i = 0; i < 100000; ++i) {
        const Decimal line = *Decimal::parse(u"8.620690");
        exact += line;
        cents += line.rounded(2);
        negatives -= line;
    }
    EXPECT_EQ(exact.toString(), QStringLiteral("862069"));
    EXPECT_EQ(cents.toString(), QStringLiteral("862000"));
    EXPECT_EQ((exact + negatives).toString(), QStringLiteral("0"));
    EXPECT_EQ(negatives.toFixed(2), QStringLiteral("-862069.00"));
}

} // namespace
