#include "platform/core/Decimal.h"
#include "platform/core/Error.h"

#include <gtest/gtest.h>

#include <limits>

using zentaro::Decimal;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Every text the parser meets: what a clerk types, what each engine hands back, what a
// double writes, and what is not a number. nullptr: refused.
TEST(Decimal, ParsesTextAtItsEdges)
{
    const struct
    {
        const char *text;
        const char *expected;
    } cases[] = {
        // signs, leading and trailing zeros, a bare point on either side
        {"3.69", "3.69"}, {"-0.50", "-0.5"}, {"+12", "12"}, {" 7.000000 ", "7"}, {"007.50", "7.5"},
        {".5", "0.5"}, {"-.5", "-0.5"}, {"5.", "5"},
        // negative zero is zero, whatever rounds to it too
        {"-0", "0"}, {"+0.000", "0"}, {"-0.0000004", "0"},
        // beyond six decimals: half away from zero, never half even
        {"1.0000005", "1.000001"}, {"-1.0000005", "-1.000001"}, {"0.0000025", "0.000003"},
        {"0.0000015", "0.000002"}, {"0.00000049", "0"},
        // exponents as PostgreSQL and a double's shortest text write them
        {"1.5e2", "150"}, {"125e-2", "1.25"}, {"1E+2", "100"}, {"1.2345678e3", "1234.5678"},
        {"1e-31", "0"}, {"4.94065645841247e-324", "0"}, {"0e999", "0"}, {"-1e-99999999999999999999", "0"},
        // the int64 range of millionths, to the last unit
        {"9223372036854.775807", "9223372036854.775807"}, {"-9223372036854.775808", "-9223372036854.775808"},
        {"9223372036854.775808", nullptr}, {"-9223372036854.775809", nullptr},
        {"99999999999999999999", nullptr}, {"1e20", nullptr}, {"1e99999999999999999999", nullptr},
        // garbage and empty
        {"", nullptr}, {"   ", nullptr}, {"-", nullptr}, {"+", nullptr}, {".", nullptr}, {"1,5", nullptr},
        {"abc", nullptr}, {"1.2.3", nullptr}, {"--1", nullptr}, {"1 000", nullptr}, {"0x10", nullptr},
        {"1e", nullptr}, {"1e+", nullptr}, {"e5", nullptr}, {"1e 2", nullptr}, {"1e2.5", nullptr},
        {"NaN", nullptr}, {"Infinity", nullptr},
        // only ASCII digits: Arabic-Indic three, full-width twelve
        {"\xd9\xa3", nullptr}, {"\xef\xbc\x91\xef\xbc\x92", nullptr},
    };
    for (const auto &c : cases) {
        const auto parsed = Decimal::parse(QString::fromUtf8(c.text));
        const std::string shown = parsed ? parsed->toString().toStdString() : std::string("(refused)");
        EXPECT_EQ(shown, c.expected ? c.expected : "(refused)") << '"' << c.text << '"';
    }
}

// Money is rounded half away from zero (docs/money-rounding.md: as both engines round a cast
// to Decimal(18,2)); the cases at .5 tell it from half even. The SAT's bounds need floor and
// ceiling. toFixed never writes a negative zero.
TEST(Decimal, RoundsEachWayAtItsEdges)
{
    using R = Decimal::Rounding;
    const struct
    {
        const char *value;
        int decimals;
        R mode;
        const char *expected;
    } cases[] = {
        {"0.125", 2, R::HalfAwayFromZero, "0.13"},   {"0.135", 2, R::HalfAwayFromZero, "0.14"},
        {"2.5", 0, R::HalfAwayFromZero, "3"},        {"-2.5", 0, R::HalfAwayFromZero, "-3"},
        {"-0.005", 2, R::HalfAwayFromZero, "-0.01"}, {"0.005", 2, R::HalfAwayFromZero, "0.01"},
        {"0.004999", 2, R::HalfAwayFromZero, "0.00"}, {"-0.004999", 2, R::HalfAwayFromZero, "0.00"},
        {"-0.4", 0, R::HalfAwayFromZero, "0"},       {"1.005", 2, R::HalfAwayFromZero, "1.01"},
        {"1.379310", 2, R::Floor, "1.37"},           {"1.379310", 2, R::Ceiling, "1.38"},
        {"-1.379310", 2, R::Floor, "-1.38"},         {"-1.379310", 2, R::Ceiling, "-1.37"},
        {"16.000000", 2, R::Floor, "16.00"},         {"16.000000", 2, R::Ceiling, "16.00"},
        {"0.000001", 2, R::Ceiling, "0.01"},         {"-0.000001", 2, R::Floor, "-0.01"},
        {"-0.000001", 2, R::Ceiling, "0.00"},        {"0.000001", 6, R::Floor, "0.000001"},
    };
    for (const auto &c : cases) {
        const Decimal value = *Decimal::parse(QString::fromLatin1(c.value));
        EXPECT_EQ(value.rounded(c.decimals, c.mode).toFixed(c.decimals).toStdString(), c.expected)
            << c.value << ' ' << int(c.mode);
        if (c.mode == R::HalfAwayFromZero) {
            EXPECT_EQ(value.rounded(c.decimals).toFixed(c.decimals).toStdString(), c.expected) << c.value;
            EXPECT_EQ(value.toFixed(c.decimals).toStdString(), c.expected) << c.value;
        }
    }
    // Doubles as record sets hold them: the stored 2.675 is the decimal 2.675.
    EXPECT_EQ(Decimal::fromDouble(2.675).rounded(2).toString(), QStringLiteral("2.68"));
    EXPECT_EQ(Decimal::fromDouble(-2.675).rounded(2).toString(), QStringLiteral("-2.68"));

    // 7.98 x 0.08 = 0.6384 and 8.62 x 0.16 = 1.3792: floor and ceiling of the exact product.
    const Decimal rate = *Decimal::parse(u"0.16");
    EXPECT_EQ(Decimal::parse(u"8.62")->times(rate, 2, R::Floor).toFixed(2), QStringLiteral("1.37"));
    EXPECT_EQ(Decimal::parse(u"8.62")->times(rate, 2, R::Ceiling).toFixed(2), QStringLiteral("1.38"));
    EXPECT_EQ(Decimal::parse(u"-8.62")->times(rate, 2, R::Floor).toFixed(2), QStringLiteral("-1.38"));
    // A product with eight decimals just under a cent: rounding it to six first would make its
    // ceiling the cent itself.
    const Decimal tiny = *Decimal::parse(u"0.000001");
    EXPECT_EQ(Decimal::parse(u"9999.99")->times(tiny, 2, R::Ceiling).toFixed(2), QStringLiteral("0.01"));
    EXPECT_EQ(Decimal::parse(u"0.01")->times(tiny, 6, R::Ceiling).toFixed(6), QStringLiteral("0.000001"));
    EXPECT_EQ(Decimal::parse(u"0.01")->times(tiny, 6, R::Floor).toFixed(6), QStringLiteral("0.000000"));
    // A product rounded to six decimals, half away from zero.
    EXPECT_EQ((*Decimal::parse(u"0.000001") * *Decimal::parse(u"0.5")).toString(), QStringLiteral("0.000001"));
    EXPECT_EQ((*Decimal::parse(u"-0.000001") * *Decimal::parse(u"0.5")).toString(), QStringLiteral("-0.000001"));
}

// Written and read back, every value is itself, at the limits too.
TEST(Decimal, WritesTextThatReadsBackTheSameValue)
{
    const Decimal values[] = {Decimal(), Decimal::fromUnits(1), Decimal::fromUnits(-1), Decimal::fromUnits(kMax),
                              Decimal::fromUnits(kMin), *Decimal::parse(u"1160.16"), *Decimal::parse(u"-0.5"),
                              Decimal::fromInt(42)};
    for (const Decimal &value : values) {
        EXPECT_EQ(Decimal::parse(value.toString()), value) << value.toString().toStdString();
        EXPECT_EQ(Decimal::parse(value.toFixed(6)), value) << value.toString().toStdString();
        EXPECT_EQ(Decimal::parse(value.toFixed(9)), value) << value.toString().toStdString();
    }
    EXPECT_EQ(Decimal::fromUnits(kMin).toString(), QStringLiteral("-9223372036854.775808"));
    EXPECT_EQ(Decimal::fromInt(5).toFixed(2), QStringLiteral("5.00"));
    EXPECT_EQ(Decimal::fromInt(5).toFixed(0), QStringLiteral("5"));
    EXPECT_EQ(Decimal::unit(2).toString(), QStringLiteral("0.01"));
    // One scale for all: the same amount typed with more zeros is equal, and order is numeric.
    EXPECT_EQ(*Decimal::parse(u"1.5"), *Decimal::parse(u"1.500000"));
    EXPECT_LT(*Decimal::parse(u"-1.5"), *Decimal::parse(u"-1.49"));
    EXPECT_LT(*Decimal::parse(u"0.000001"), *Decimal::parse(u"0.00001"));
}

// What leaves the int64 range of millionths throws instead of wrapping.
TEST(Decimal, RefusesToLeaveTheInt64Range)
{
    const Decimal max = Decimal::fromUnits(kMax);
    const Decimal min = Decimal::fromUnits(kMin);
    const Decimal one = Decimal::fromUnits(1);
    EXPECT_THROW(max + one, zentaro::Error);
    EXPECT_THROW(min - one, zentaro::Error);
    EXPECT_THROW(-min, zentaro::Error);
    EXPECT_THROW(max * Decimal::fromInt(2), zentaro::Error);
    EXPECT_THROW(max.rounded(0), zentaro::Error);
    EXPECT_THROW(Decimal::fromInt(9223372036855), zentaro::Error);
    EXPECT_THROW(Decimal::fromDouble(1e300), zentaro::Error);
    EXPECT_THROW(Decimal::fromDouble(std::numeric_limits<double>::quiet_NaN()), zentaro::Error);
    EXPECT_EQ(max * Decimal::fromInt(1), max);
    EXPECT_EQ(min * Decimal::fromInt(1), min);
    EXPECT_EQ(-max - one, min);
    EXPECT_EQ(Decimal::fromInt(9223372036854).toString(), QStringLiteral("9223372036854"));
    // A double too small for a millionth is nothing, not out of range.
    EXPECT_EQ(Decimal::fromDouble(1e-300), Decimal());
    EXPECT_EQ(Decimal::fromDouble(-0.0).toString(), QStringLiteral("0"));
}

// What each engine hands back for a money column, read exactly: PostgreSQL's NUMERIC(18,6)
// text, SQLite's reals and integers, exponents, and values below a cent.
TEST(Decimal, ReadsBothEnginesNumericTexts)
{
    const struct
    {
        QVariant stored;
        const char *expected;
    } cases[] = {
        {QVariant(), "0"},                             {QStringLiteral(" "), "0"},
        {QStringLiteral("9865.026900"), "9865.0269"},  {QStringLiteral("1E+2"), "100"},
        {QStringLiteral("-0.005"), "-0.005"},          {QStringLiteral("0.000000"), "0"},
        {QStringLiteral("-116.000000"), "-116"},       {QStringLiteral("1.2345678e3"), "1234.5678"},
        {QVariant(8.62069), "8.62069"},                {QVariant(1.379310), "1.37931"},
        {QVariant(1.005), "1.005"},                    {QVariant(qlonglong(-116)), "-116"},
        {QVariant(true), "1"},                         {QStringLiteral("999999999999.999999"), "999999999999.999999"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Decimal::fromVariant(c.stored).toString().toStdString(), c.expected) << c.stored.toString().toStdString();
    for (const char *bad : {"NaN", "Infinity", "-", "1e", "12,50", "doce"})
        EXPECT_THROW(Decimal::fromVariant(QVariant(QString::fromLatin1(bad))), zentaro::Error) << bad;
}

// A global invoice of many six-decimal tickets: the exact sum and the sum of the rounded
// amounts part ways, neither drifts with the number of lines, and the doubles it replaces do.
TEST(Decimal, SumsManyLinesExactly)
{
    Decimal exact;
    Decimal cents;
    Decimal negatives;
    Decimal tenths;
    double binary = 0;
    for (int i = 0; i < 100000; ++i) {
        const Decimal line = *Decimal::parse(u"8.620690");
        exact += line;
        cents += line.rounded(2);
        negatives -= line;
        tenths += Decimal::fromDouble(0.1);
        binary += 0.1;
    }
    EXPECT_EQ(exact.toString(), QStringLiteral("862069"));
    EXPECT_EQ(cents.toString(), QStringLiteral("862000"));
    EXPECT_EQ((exact + negatives).toString(), QStringLiteral("0"));
    EXPECT_EQ(negatives.toFixed(2), QStringLiteral("-862069.00"));
    EXPECT_EQ(tenths.toFixed(9), QStringLiteral("10000.000000000"));
    EXPECT_NE(QString::number(binary, 'f', 9), QStringLiteral("10000.000000000"));
}

} // namespace
