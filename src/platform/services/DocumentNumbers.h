#pragma once

#include <QString>

namespace zentaro {

class Connection;

// The numbering of invoices by series (Serie.Sr_Siguiente_Numero).
namespace documentnumbers {

struct SeriesNumber
{
    QString series;
    int next = 0;
    QString message;   // why there is none, "" when found
};

// The default invoice series of a branch and its next number.
SeriesNumber defaultSeries(Connection &connection, const QString &branch);
// The next number of a series.
SeriesNumber nextNumber(Connection &connection, const QString &series);

struct Reservation
{
    bool reserved = false;
    int next = 0;      // the series' next number as the database has it now
    QString message;   // why the number could not be reserved
};

// Takes `number` of `series` inside the caller's open transaction: only when it is still
// the series' next number and no invoice holds it. The series row stays locked until the
// caller commits or rolls back, so a second clerk waits and then finds the number gone.
Reservation reserve(Connection &connection, const QString &series, int number);

// The text of an invoice number, "FG-12", and the folio that stores it, "FG-000012".
QString numberText(const QString &series, int number);
QString folio(const QString &series, int number);

} // namespace documentnumbers
} // namespace zentaro
