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
