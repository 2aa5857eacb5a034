#include "BillingPeriod.h"

#include "platform/core/Error.h"

#include <gtest/gtest.h>

using namespace zentaro;
using zentaro::app::BillingPeriod;

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
    } cases[] = {
        {none, none, none, QDate(2026, 12, 5), QDate(2026, 12, 5)},   // nothing means yesterday
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
            const BillingPeriod period = BillingPeriod::fromOptions(c.date, c.from, c.to, kToday);
            EXPECT_EQ(period.from, c.wantFrom);
            EXPECT_EQ(period.to, c.wantTo);
        } catch (const Error &error) {
            EXPECT_TRUE(*c.refusal && error.description().startsWith(QString::fromUtf8(c.refusal)))
                << error.description().toStdString();
        }
    }
}

// Due within the 24 hours after the period closes: the day after its last day.
TEST(BillingPeriod, IsLateOnlyAfterTheDayFollowingItsEnd)
{
    const BillingPeriod day {QDate(2026, 12, 1), QDate(2026, 12, 1)};
    EXPECT_EQ(day.lateWarning(QDate(2026, 12, 1)), QString());
    EXPECT_EQ(day.lateWarning(QDate(2026, 12, 2)), QString());
    EXPECT_EQ(day.lateWarning(QDate(2026, 12, 3)),
              QStringLiteral("Factura global fuera de plazo: las ventas del 01/12/2026 al 01/12/2026 debían facturarse "
                             "a más tardar el 02/12/2026"));
    const BillingPeriod fortnight {QDate(2026, 11, 1), QDate(2026, 11, 15)};
    EXPECT_FALSE(fortnight.isLateOn(QDate(2026, 11, 16)));
    EXPECT_TRUE(fortnight.isLateOn(QDate(2026, 11, 17)));
}

} // namespace
