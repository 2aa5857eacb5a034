#pragma once

#include <QDate>
#include <QString>

namespace zentaro::app {

// The days whose sales notes one global invoice gathers, and the SAT's deadline for it.
//
// The SAT asks for the global invoice of the general public's sales to be issued within
// the 24 hours that follow the close of its period (daily, weekly, fortnightly, monthly or
// bimonthly): the notes of Tuesday are due by the end of Wednesday, those of 1-15 April by
// the end of 16 April. The deadline is therefore the day after the period's last day, and
// an invoice issued on a later day is late. A late invoice is still made (the sales must be
// invoiced anyway); it carries a warning.
struct BillingPeriod
{
    QDate from;
    QDate to;

    // From the command line: --date DAY, or --from D --to D, or neither (yesterday, the day
    // a night run closes). Throws zentaro::Error with a Spanish explanation on bad input.
    static BillingPeriod fromOptions(const QString &date, const QString &from, const QString &to, const QDate &today);

    QDate deadline() const { return to.addDays(1); }
    bool isLateOn(const QDate &issueDay) const { return issueDay > deadline(); }
    // The warning of a late invoice, "" when `issueDay` is within the deadline.
    QString lateWarning(const QDate &issueDay) const;
};

} // namespace zentaro::app
