#include "BillingPeriod.h"

#include "platform/core/Error.h"

#include <gtest/gtest.h>

using namespace zentaro;
using zentaro::app::BillingPeriod;
using zentaro::app::RunDays;

namespace {

const QDate kToday(2026, 12, 6);

TEST(BillingPeriod, ReadsTheDaysOrRefusesInSpanish)
{
    const QString none;
    const struct
    {
        QString date, from, to;
        QDate wantFrom, wantTo;   // invalid: refused with `refusal`
        const char *refusal = "";
        bool catchUp = false;
    } cases[] = {
        // Nothing means a catch-up: every day the SAT still takes in a global, up to yesterday.
        {none, none, none, QDate(2025, 1, 1), QDate(2026, 12, 5), "", true},
        {QStringLiteral("2026-11-30"), none, none, QDate(2026, 11, 30), QDate(2026, 11, 30)},
        {none, QStringLiteral("2026-11-01"), QStringLiteral("2026-11-15"), QDate(2026, 11, 1), QDate(2026, 11, 15)},
        {QStringLiteral("2026-13-01"), none, none, {}, {}, "--date espera una fecha"},
        {QStringLiteral("2026-11-30"), QStringLiteral("2026-11-01"), none, {}, {}, "Use --date o bien"},
        {none, QStringLiteral("2026-11-01"), none, {}, {}, "--from y --to van juntos"},
        {none, QStringLiteral("2026-11-15"), QStringLiteral("2026-11-01"), {}, {}, "El periodo empieza el 15/11/2026"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.date + u' ' + c.from + u' ' + c.to).toStdString());
        try {
            const RunDays days = RunDays::fromOptions(c.date, c.from, c.to, kToday);
            EXPECT_EQ(days.from, c.wantFrom);
            EXPECT_EQ(days.to, c.wantTo);
            EXPECT_EQ(days.catchUp, c.catchUp);
        } catch (const Error &error) {
            EXPECT_TRUE(*c.refusal && error.description().startsWith(QString::fromUtf8(c.refusal)))
                << error.description().toStdString();
        }
    }
    EXPECT_EQ(app::readToday(QStringLiteral("2026-12-31")), QDate(2026, 12, 31));
    EXPECT_FALSE(app::readToday(QString()).isValid());
    EXPECT_THROW(app::readToday(QStringLiteral("31/12/2026")), Error);
}

// A period is invoiced only once it has closed, and is due within the 24 hours after: the
// day after its last day, whatever its length.
TEST(BillingPeriod, ClosesAfterItsLastDayAndIsLateAfterTheDayThatFollows)
{
    const struct
    {
        const char *periodicity;
        QDate day;
        QDate from, to;
    } cases[] = {
        {"01", QDate(2026, 12, 1), QDate(2026, 12, 1), QDate(2026, 12, 1)},
        {"02", QDate(2026, 12, 2), QDate(2026, 12, 1), QDate(2026, 12, 6)},      // cut at the month's start
        {"02", QDate(2026, 11, 29), QDate(2026, 11, 23), QDate(2026, 11, 29)},
        {"02", QDate(2026, 12, 30), QDate(2026, 12, 28), QDate(2026, 12, 31)},   // cut at the month's end
        {"03", QDate(2026, 11, 15), QDate(2026, 11, 1), QDate(2026, 11, 15)},
        {"03", QDate(2026, 11, 16), QDate(2026, 11, 16), QDate(2026, 11, 30)},
        {"04", QDate(2026, 2, 10), QDate(2026, 2, 1), QDate(2026, 2, 28)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.periodicity) + ' ' + c.day.toString(Qt::ISODate).toStdString());
        const BillingPeriod period = BillingPeriod::holding(QLatin1String(c.periodicity), c.day, QStringLiteral("601"));
        EXPECT_EQ(period, (BillingPeriod {c.from, c.to}));
        EXPECT_FALSE(period.isClosedOn(c.to));
        EXPECT_TRUE(period.isClosedOn(c.to.addDays(1)));
        EXPECT_EQ(period.lateWarning(c.to.addDays(1)), QString());
        EXPECT_EQ(period.lateWarning(c.to.addDays(2)),
                  QStringLiteral("Factura global fuera de plazo: las ventas del %1 al %2 debían facturarse a más tardar el %3")
                      .arg(c.from.toString(QStringLiteral("dd/MM/yyyy")), c.to.toString(QStringLiteral("dd/MM/yyyy")),
                           c.to.addDays(1).toString(QStringLiteral("dd/MM/yyyy"))));
    }
    EXPECT_EQ((BillingPeriod {QDate(2026, 12, 1), QDate(2026, 12, 31)}).text(), QStringLiteral("2026-12-01/2026-12-31"));
    // Bimesters are for regime 621 only.
    EXPECT_EQ(BillingPeriod::holding(QStringLiteral("05"), QDate(2026, 4, 9), QStringLiteral("621")),
              (BillingPeriod {QDate(2026, 3, 1), QDate(2026, 4, 30)}));
    EXPECT_THROW(BillingPeriod::holding(QStringLiteral("05"), QDate(2026, 4, 9), QStringLiteral("601")), Error);
    EXPECT_THROW(BillingPeriod::holding(QStringLiteral("07"), QDate(2026, 4, 9), QStringLiteral("601")), Error);
}

} // namespace
