#include "BillingPeriod.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/core/Error.h"

namespace zentaro::app {

namespace {

QDate readDate(const QString &text, const char *option)
{
    const QDate date = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (!date.isValid())
        throw Error(QStringLiteral("--%1 espera una fecha AAAA-MM-DD: %2").arg(QLatin1String(option), text));
    return date;
}

QString shown(const QDate &date) { return date.toString(QStringLiteral("dd/MM/yyyy")); }

} // namespace

BillingPeriod BillingPeriod::holding(const QString &periodicity, const QDate &day, const QString &issuerRegime)
{
    const cfdi::GlobalPeriod period = cfdi::globalPeriod(periodicity, day, issuerRegime);
    return {period.first, period.last};
}

QString BillingPeriod::lateWarning(const QDate &issueDay) const
{
    if (!isLateOn(issueDay))
        return {};
    return QStringLiteral("Factura global fuera de plazo: las ventas del %1 al %2 debían facturarse a más tardar el %3")
        .arg(shown(from), shown(to), shown(deadline()));
}

QString BillingPeriod::text() const { return from.toString(Qt::ISODate) + u'/' + to.toString(Qt::ISODate); }

RunDays RunDays::fromOptions(const QString &date, const QString &from, const QString &to, const QDate &today)
{
    const bool range = !from.isNull() || !to.isNull();
    if (!date.isNull() && range)
        throw Error(QStringLiteral("Use --date o bien --from y --to, no ambos"));
    if (!date.isNull()) {
        const QDate day = readDate(date, "date");
        return {day, day};
    }
    if (!range)
        return {QDate(today.year() - 1, 1, 1), today.addDays(-1), true};
    if (from.isNull() || to.isNull())
        throw Error(QStringLiteral("--from y --to van juntos"));
    const RunDays days {readDate(from, "from"), readDate(to, "to")};
    if (days.from > days.to)
        throw Error(QStringLiteral("El periodo empieza el %1, después de terminar el %2").arg(shown(days.from), shown(days.to)));
    return days;
}

QDate readToday(const QString &text)
{
    if (text.isNull())
        return {};
    return readDate(text, "today");
}

} // namespace zentaro::app
