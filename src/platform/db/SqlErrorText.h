#pragma once

#include <QSqlError>
#include <QString>

namespace zentaro {

// The engine's own words for a failure, falling back to the driver's and Qt's.
QString engineErrorText(const QSqlError &error);

// What a statement's failure says to a clerk: the engine's primary message alone. Qt's
// PostgreSQL driver hands over the whole server report ("ERROR:  ...", the CONTEXT of the
// function that raised it, the SQLSTATE in parentheses); only the first sentence is meant
// for a person.
QString statementFailureText(const QSqlError &error);

// The engine's code of a failure: PostgreSQL's SQLSTATE, SQLite's result code as a number
// (extended, since the suite's connections ask SQLite for extended codes).
QString engineErrorCode(const QSqlError &error);

} // namespace zentaro
