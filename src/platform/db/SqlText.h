#pragma once

#include <QString>

namespace zentaro::sqltext {

// True when the text holds more than one statement: a semicolon outside quotes and
// comments followed by anything but blanks and comments.
bool holdsSeveralStatements(const QString &statement);

// True when the text holds "IN ()": SQLite takes an empty list as "no row matches", while
// the engines the screens were written for refuse the statement. The connection refuses it
// on SQLite too, so that a screen learns of its empty list the same way everywhere.
bool holdsEmptyInList(const QString &statement);

// Adapts the suite's SQL Server-style text to SQLite:
//   ISNULL(a, b)                    -> ifnull(a, b)
//   CAST(x AS Decimal(p,s))         -> zentaro_decimal(x, s)   (also Numeric, Money)
//   SUM(x)                          -> zentaro_sum(x)          (exact decimal sum)
// Quoted text, quoted identifiers and comments are left untouched.
QString adaptForSqlite(const QString &statement);

} // namespace zentaro::sqltext
