#pragma once

#include "BillingPeriod.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace zentaro {
class Connection;
}

namespace zentaro::app {

// One branch, currency and period with sales notes that may still be invoiced: one global
// invoice to make.
struct CandidateGroup
{
    QString branch;
    QString currency;
    int notes = 0;
    BillingPeriod period;
    QString periodicity;   // the branch's c_Periodicidad
    QString refusal;       // why the branch's notes cannot be grouped (a bad periodicity), else ""
};

// What a run finds to do in the days it covers.
struct RunPlan
{
    // The closed periods' groups, oldest period first, then by branch and currency.
    QList<CandidateGroup> groups;
    // Per branch, its periods with candidate notes that have not closed yet, oldest first.
    QList<std::pair<QString, BillingPeriod>> openPeriods;
};

// The groups with candidate notes (never invoiced, not cancelled, with a known customer and
// salesperson, as the screen lists them) in the periods of each branch's periodicity that
// hold a day of `days`, split into those closed on `today` and those still open. Empty
// `branches` or `currencies` mean all of them.
RunPlan planRun(Connection &connection, const RunDays &days, const QDate &today, const QStringList &branches,
                const QStringList &currencies);

// Throws zentaro::Error naming the first code that is not an active branch or currency.
void requireKnownCodes(Connection &connection, const QStringList &branches, const QStringList &currencies);

// " AND column IN (?, ?)" with the codes appended to `values`; "" for no codes.
QString inList(const QString &column, const QStringList &codes, QVariantList &values);

} // namespace zentaro::app
