#pragma once

#include "BillingPeriod.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace zentaro {
class Connection;
}

namespace zentaro::app {

// One branch and currency with sales notes that may still be invoiced in a period: one
// global invoice to make.
struct CandidateGroup
{
    QString branch;
    QString currency;
    int notes = 0;
};

// The groups with candidate notes in the period (never invoiced, not cancelled, with a
// known customer and salesperson, as the screen lists them), by branch and currency.
// Empty `branches` or `currencies` mean all of them.
QList<CandidateGroup> findCandidateGroups(Connection &connection, const BillingPeriod &period,
                                          const QStringList &branches, const QStringList &currencies);

// Throws zentaro::Error naming the first code that is not an active branch or currency.
void requireKnownCodes(Connection &connection, const QStringList &branches, const QStringList &currencies);

} // namespace zentaro::app
