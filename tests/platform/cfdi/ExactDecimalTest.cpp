#include "platform/cfdi/ExactDecimal.h"
#include "platform/core/Error.h"

#include <gtest/gtest.h>

using zentaro::cfdi::ExactDecimal;

namespace {

ExactDecimal exact(const char *text)
{
    const auto parsed = ExactDecimal::parse(QString::fromUtf8(text));
    if (!parsed)
        throw zentaro::Error(QStringLiteral("no es un importe: %1").arg(QString::fromUtf8(text)));
    return *parsed;
}

// The amounts of a CFDI as its schema writes them: an optional '-', digits, a point and
// decimals, every decimal kept. No '+', exponent or blank.
TEST(ExactDecimal, ParsesWhatTheSchemaWritesAndNothingElse)
{
    const struct
    {
        const char *text;
        int decimals;          // -1: refused
        const char *fixed6;    // toFixed(6)
    } cases[] = {
        {"0", 0, "0.000000"},         {"-0", 0, "0.000000"},          {"-0.000", 3, "0.000000"},
        {"116.00", 2, "116.000000"},  {"0007.50", 2, "7.500000"},     {"1.", 0, "1.000000"},
        {".5", 1, "0.500000"},        {"-1379.310345", 6, "-1379.310345"},
        {"0.0000005", 7, "0.000001"}, {"-0.0000005", 7, "-0.000001"}, {"0.00000049", 8, "0.000000"},
        // 31 digits is the most it keeps
        {"9999999999999999999999999999999", 0, "9999999999999999999999999999999.000000"},
        {"99999999999999999999999999999999", -1, nullptr},
        {"", -1, nullptr},   {"-", -1, nullptr},    {".", -1, nullptr},   {"+1", -1, nullptr},
        {"1e2", -1, nullptr}, {" 1", -1, nullptr},  {"1,5", -1, nullptr}, {"1.2.3", -1, nullptr},
        {"--1", -1, nullptr}, {"\xd9\xa3", -1, nullptr},
    };
    for (const auto &c : cases) {
        const auto parsed = ExactDecimal::parse(QString::fromUtf8(c.text));
        EXPECT_EQ(parsed ? parsed->decimals() : -1, c.decimals) << '"' << c.text << '"';
        if (parsed && c.fixed6) {
            EXPECT_EQ(parsed->toFixed(6).toStdString(), c.fixed6) << '"' << c.text << '"';
        }
    }
}

// Half away from zero (the SAT's rounding of the written amounts), truncation toward zero
// and ceiling toward +infinity, on both signs; toFixed never writes "-0.00".
TEST(ExactDecimal, RoundsEachWayOnBothSigns)
{
    const struct
    {
        const char *value;
        const char *halfAway, *truncated, *ceiled;   // to two decimals
    } cases[] = {
        {"0.005", "0.01", "0.00", "0.01"},     {"-0.005", "-0.01", "0.00", "0.00"},
        {"0.125", "0.13", "0.12", "0.13"},     {"0.135", "0.14", "0.13", "0.14"},
        {"0.0049", "0.00", "0.00", "0.01"},    {"-0.0049", "0.00", "0.00", "0.00"},
        {"1.379310", "1.38", "1.37", "1.38"},  {"-1.379310", "-1.38", "-1.37", "-1.37"},
        {"16.000", "16.00", "16.00", "16.00"}, {"16", "16.00", "16.00", "16.00"},
    };
    for (const auto &c : cases) {
        const ExactDecimal value = exact(c.value);
        EXPECT_EQ(value.roundedHalfAway(2).toFixed(2).toStdString(), c.halfAway) << c.value;
        EXPECT_EQ(value.toFixed(2).toStdString(), c.halfAway) << c.value;
        EXPECT_EQ(value.truncated(2).toFixed(2).toStdString(), c.truncated) << c.value;
        EXPECT_EQ(value.ceiled(2).toFixed(2).toStdString(), c.ceiled) << c.value;
    }
    EXPECT_EQ(ExactDecimal::halfUnit(2), exact("0.005"));
    EXPECT_EQ(ExactDecimal::halfUnit(0), exact("0.5"));
}

// Sums, differences and products keep every decimal; values of different scales compare
// by what they are worth, and a comparison never throws, even where a sum would overflow.
TEST(ExactDecimal, ComputesAndComparesAcrossScales)
{
    EXPECT_EQ(exact("1.5") + exact("0.25"), exact("1.75"));
    EXPECT_EQ((exact("1.5") + exact("0.25")).decimals(), 2);
    EXPECT_EQ(exact("1") - exact("1.000001"), exact("-0.000001"));
    // (Cantidad + half a unit) x (ValorUnitario + half a unit): fourteen decimals, kept.
    const ExactDecimal product = (exact("3.5") + ExactDecimal::halfUnit(6)) * (exact("8.62069") + ExactDecimal::halfUnit(6));
    EXPECT_EQ(product.decimals(), 14);
    EXPECT_EQ(product.toFixed(14), QStringLiteral("30.17242106034525"));
    EXPECT_EQ(exact("-1.5") * exact("0.16"), exact("-0.24"));

    EXPECT_EQ(exact("1.5"), exact("1.500000"));
    EXPECT_EQ(exact("-0"), exact("0.00"));
    EXPECT_LT(exact("-1.5"), exact("-1.49"));
    EXPECT_LT(exact("0.1"), exact("0.10000000000000000000000000001"));
    const ExactDecimal huge = exact("9999999999999999999999999999999");
    const ExactDecimal fine = exact("0.00000001");
    EXPECT_GT(huge, fine);
    EXPECT_LT(exact("-9999999999999999999999999999999"), fine);
    EXPECT_LT(fine, huge);
    EXPECT_THROW(huge + fine, zentaro::Error);
    EXPECT_THROW(exact("0.0000000000000001") * exact("0.0000000000000001"), zentaro::Error);
    EXPECT_THROW(huge * huge, zentaro::Error);
}

} // namespace
