#pragma once

#include "platform/db/Connection.h"

#include <QMap>
#include <QStringList>

namespace zentaro::test {

// Every row of every table of the suite, as text, each table's rows sorted: two snapshots
// are equal exactly when the database holds the same data, whatever order the engine
// returns rows in.
QMap<QString, QStringList> snapshotTables(Connection &connection);

// The tables whose rows differ between two snapshots, with a few differing rows each.
QString describeDifferences(const QMap<QString, QStringList> &before, const QMap<QString, QStringList> &after);

} // namespace zentaro::test
