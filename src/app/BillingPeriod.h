#pragma once

#include <QDate>
#include <QString>

namespace zentaro::app {

// The days whose sales notes one global invoice gathers, and the SAT's deadline for it.
//
// The SAT asks for the global invoice of the general public's sales to be issued within
// the 24 hours that follow the close of its period (daily, weekly, fortnightly, monthly or
// bimonthly): the notes of Tuesday are due by the end of Wednesday, those of 1-15 April by
// the end of 16 April, those of March by the end of 1 April. The deadline is therefore the
// day after the period's last day, and an invoice issued on a later day is late. A late
// invoice is still made (the sales must be invoiced anyway); it carries a warning.
struct BillingPeriod
{
    QDate from;
    QDate to;

    // The period of a branch's periodicity (c_Periodicidad) that holds `day`, as the signer
    // fixes it (cfdi::globalPeriod). Throws zentaro::Error for a periodicity outside 01-05 or
    // a bimester without regime 621.
    static BillingPeriod holding(const QString &periodicity, const QDate &day, const QString &issuerRegime);

    // A period closes at the end of its last day: on `today` it may be invoiced only when
    // it ended before.
    bool isClosedOn(const QDate &today) const { return to < today; }
    bool contains(const QDate &day) const { return from <= day && day <= to; }
    QDate deadline() const { return to.addDays(1); }
    bool isLateOn(const QDate &issueDay) const { return issueDay > deadline(); }
    // The warning of a late invoice, "" when `issueDay` is within the deadline.
    QString lateWarning(const QDate &issueDay) const;
    // "2026-12-01/2026-12-31"
    QString text() const;

    bool operator==(const BillingPeriod &other) const = default;
};

// The days a run covers, from the command line: --date DAY, or --from D --to D, or neither:
// a catch-up over every day that may still go into a global invoice, from 1 January of the
// year before `today` (the SAT takes a global of the year of its issue or the one before)
// to the day before `today`. Each branch invoices the periods of its own periodicity that
// hold those days, whole. Throws zentaro::Error with a Spanish explanation on bad input.
struct RunDays
{
    QDate from;
    QDate to;
    bool catchUp = false;

    static RunDays fromOptions(const QString &date, const QString &from, const QString &to, const QDate &today);
};

// --today: the day the run acts as on; null when not given. Throws zentaro::Error.
QDate readToday(const QString &text);

} // namespace zentaro::app
