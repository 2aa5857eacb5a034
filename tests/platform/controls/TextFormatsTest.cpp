#include "platform/controls/TextFormats.h"

#include "platform/core/Error.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zentaro;

namespace {

const QString kMoney = QStringLiteral("$#,##0.00#######");

struct FormatCase
{
    double value;
    QString mask;
    QString expected;
};

class FormatNumberTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatNumberTest, FormatsAsTheMaskSays)
{
    const FormatCase &c = GetParam();
    EXPECT_EQ(textformat::formatNumber(c.value, c.mask), c.expected)
        << c.value << " with " << c.mask.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FormatNumberTest,
    ::testing::Values(
        // Currency: two decimals at least, nine at most, sign before the currency sign.
        FormatCase{1160, kMoney, QStringLiteral("$1,160.00")},
        FormatCase{0.125, kMoney, QStringLiteral("$0.125")},
        FormatCase{-3.5, kMoney, QStringLiteral("-$3.50")},
        FormatCase{0, kMoney, QStringLiteral("$0.00")},
        FormatCase{1234567.891, kMoney, QStringLiteral("$1,234,567.891")},
        FormatCase{-1234567.5, kMoney, QStringLiteral("-$1,234,567.50")},
        FormatCase{0.1 + 0.2, kMoney, QStringLiteral("$0.30")},                 // binary noise dropped
        FormatCase{1.0000000005, kMoney, QStringLiteral("$1.000000001")},       // ninth decimal rounded up
        FormatCase{1.0000000004, kMoney, QStringLiteral("$1.00")},
        FormatCase{1e-10, kMoney, QStringLiteral("$0.00")},
        FormatCase{-1e-10, kMoney, QStringLiteral("$0.00")},                    // no "-$0.00"
        FormatCase{999999999.99, kMoney, QStringLiteral("$999,999,999.99")},
        // Fixed decimals
        FormatCase{17.25, QStringLiteral("#,##0.0000"), QStringLiteral("17.2500")},
        FormatCase{1234.5, QStringLiteral("#,##0.0000"), QStringLiteral("1,234.5000")},
        FormatCase{0.00005, QStringLiteral("#,##0.0000"), QStringLiteral("0.0001")},
        FormatCase{-0.00004, QStringLiteral("#,##0.0000"), QStringLiteral("0.0000")},
        FormatCase{0.5, QStringLiteral("0.00"), QStringLiteral("0.50")},
        FormatCase{1234.5, QStringLiteral("0.00"), QStringLiteral("1234.50")},   // no grouping asked
        // Rounding half away from zero, on the decimal the user sees
        FormatCase{1.005, QStringLiteral("0.00"), QStringLiteral("1.01")},
        FormatCase{2.675, QStringLiteral("0.00"), QStringLiteral("2.68")},
        FormatCase{-2.675, QStringLiteral("0.00"), QStringLiteral("-2.68")},
        FormatCase{0.155, QStringLiteral("0.00"), QStringLiteral("0.16")},
        FormatCase{999.995, QStringLiteral("#,##0.00"), QStringLiteral("1,000.00")},
        FormatCase{9.999, QStringLiteral("0.00"), QStringLiteral("10.00")},
        FormatCase{2.5, QStringLiteral("#,##0"), QStringLiteral("3")},
        FormatCase{1e15, QStringLiteral("#,##0"), QStringLiteral("1,000,000,000,000,000")},
        // Percentages and empty masks
        FormatCase{0.1234, QStringLiteral("0.00%"), QStringLiteral("12.34%")},
        FormatCase{0.16, QStringLiteral("0%"), QStringLiteral("16%")},
        FormatCase{3.69, QString(), QStringLiteral("3.69")},
        FormatCase{-5, QString(), QStringLiteral("-5")}));

struct ReadCase
{
    QString text;
    double expected;
};

class ReadNumberTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadNumberTest, ReadsWhatTheUserWrites)
{
    const ReadCase &c = GetParam();
    EXPECT_DOUBLE_EQ(textformat::readNumber(c.text), c.expected) << c.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadNumberTest,
    ::testing::Values(ReadCase{QStringLiteral("$1,160.00"), 1160}, ReadCase{QStringLiteral("1160"), 1160},
                      ReadCase{QStringLiteral(" 1,160.5 "), 1160.5}, ReadCase{QStringLiteral("-$3.50"), -3.5},
                      ReadCase{QStringLiteral("$-3.50"), -3.5}, ReadCase{QStringLiteral("(3.50)"), -3.5},
                      ReadCase{QStringLiteral("($1,000.25)"), -1000.25}, ReadCase{QStringLiteral(".5"), 0.5},
                      ReadCase{QStringLiteral("+7"), 7}, ReadCase{QStringLiteral("0.125"), 0.125},
                      ReadCase{QStringLiteral("$ 1 160"), 1160}, ReadCase{QStringLiteral("1,234,567.891"), 1234567.891}));

class ReadNumberRefusalTest : public ::testing::TestWithParam<QString> {};

TEST_P(ReadNumberRefusalTest, RefusesWithTheTypeMismatchText)
{
    try {
        textformat::readNumber(GetParam());
        FAIL() << "accepted " << GetParam().toStdString();
    } catch (const Error &error) {
        EXPECT_EQ(error.description(), QStringLiteral("No coinciden los tipos"));
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadNumberRefusalTest,
                         ::testing::Values(QString(), QStringLiteral("   "), QStringLiteral("abc"), QStringLiteral("12a"),
                                           QStringLiteral("1.2.3"), QStringLiteral("$"), QStringLiteral("-"),
                                           QStringLiteral("--3"), QStringLiteral("(-3)"), QStringLiteral(",123"),
                                           QStringLiteral("1,160.5,0"), QStringLiteral("1-2"), QStringLiteral("."),
                                           QStringLiteral("3,50.0.0"), QStringLiteral("€5")));

TEST(TextFormats, FormattedTextReadsBackToTheSameNumber)
{
    for (const double value : {1160.0, 0.125, -3.5, 1234567.891, -0.01, 17.25}) {
        EXPECT_DOUBLE_EQ(textformat::readNumber(textformat::formatNumber(value, kMoney)), value) << value;
        EXPECT_DOUBLE_EQ(textformat::readNumber(textformat::formatNumber(value, QStringLiteral("#,##0.0000"))), value);
    }
}

TEST(TextFormats, NonFiniteNumbersAreRefused)
{
    EXPECT_THROW(textformat::formatNumber(std::numeric_limits<double>::quiet_NaN(), kMoney), Error);
    EXPECT_THROW(textformat::formatNumber(std::numeric_limits<double>::infinity(), kMoney), Error);
}

TEST(TextFormats, DefaultDateTextIsDayMonthYear)
{
    EXPECT_EQ(textformat::defaultDateText(QDate(2026, 12, 4)), QStringLiteral("04/12/2026"));
    EXPECT_EQ(textformat::defaultDateText(QDate(2027, 1, 31)), QStringLiteral("31/01/2027"));
    EXPECT_EQ(textformat::defaultDateText(QDate()), QString());
}

// Dates and times as a clerk or a script writes them: every accepted writing, and every
// refusal naming what is wrong (nothing after the date is ignored any more).
TEST(ReadDateTime, TakesOnlyWholeDatesAndRealTimes)
{
    const struct
    {
        const char *text;
        QDateTime expected;
    } good[] = {
        {"2026-12-06", QDateTime(QDate(2026, 12, 6), QTime(0, 0))},
        {"06/12/2026", QDateTime(QDate(2026, 12, 6), QTime(0, 0))},
        {" 2026-12-06T10:30 ", QDateTime(QDate(2026, 12, 6), QTime(10, 30))},
        {"2026-12-06T23:59:59", QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59))},
        {"6/1/2027 00:00", QDateTime(QDate(2027, 1, 6), QTime(0, 0))},
        {"2028-02-29", QDateTime(QDate(2028, 2, 29), QTime(0, 0))},
    };
    for (const auto &c : good)
        EXPECT_EQ(textformat::readDateTime(QString::fromLatin1(c.text)), c.expected) << c.text;

    const struct
    {
        const char *text;
        const char *says;
    } bad[] = {
        {"2026-12-06T25:61", "las horas van de 00 a 23"},
        {"2026-12-06T24:00", "las horas van de 00 a 23"},
        {"2026-12-06T10:60", "minutos y segundos de 00 a 59"},
        {"2026-12-06T10:30:60", "minutos y segundos de 00 a 59"},
        {"2027-02-29", "no tiene día 29"},
        {"2026-13-01", "el mes 13 no existe"},
        {"2026-12-06x", "no es una fecha válida"},
        {"2026-12-06T10", "no es una fecha válida"},
        {"mañana", "no es una fecha válida"},
        {"", "no es una fecha válida"},
    };
    for (const auto &c : bad) {
        try {
            textformat::readDateTime(QString::fromUtf8(c.text));
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const Error &error) {
            EXPECT_TRUE(error.description().contains(QString::fromUtf8(c.says))) << c.text << ": " << error.what();
        }
    }
}

} // namespace
