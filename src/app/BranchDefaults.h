#pragma once

#include <QString>

namespace zentaro {
class Connection;
}

namespace zentaro::app {

// What a clerk of a branch puts in the header of its global invoice when nobody says
// otherwise: the configured warehouse when it belongs to the branch (else the branch's
// first active one), and the general public's customer (RFC XAXX010101000, the branch's
// own when it has one) with its salesperson and sale condition. The screen's own lookups
// may fill the salesperson and the condition first; these are typed only when it does not.
struct BranchDefaults
{
    QString warehouse;
    QString customer;
    QString salesperson;
    QString condition;

    // Throws zentaro::Error in Spanish when the branch has no active warehouse or the
    // company no customer for the general public.
    static BranchDefaults of(Connection &connection, const QString &branch);
};

} // namespace zentaro::app
