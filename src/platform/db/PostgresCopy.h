#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace zentaro::postgrescopy {

// Writes rows into a PostgreSQL table with COPY ... FROM STDIN on the connection beneath
// Qt's driver: one statement and one stream for any number of rows, where Qt's driver
// would send each row as a statement of its own. `columns` holds one list of values per
// column. Answers the engine's error (its text and SQLSTATE), an invalid one when every
// row was written.
QSqlError copyRows(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                 const QList<QVariantList> &values);

// True when libpq says the connection beneath Qt's driver is gone.
bool isBroken(const QSqlDatabase &db);

// The COPY statement copyRows runs, for traces and the fault hook.
QString copyStatement(const QString &table, const QStringList &columns);

} // namespace zentaro::postgrescopy
