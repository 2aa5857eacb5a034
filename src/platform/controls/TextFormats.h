#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace zentaro::textformat {

// Formats a number with a mask of the suite: "$#,##0.00#######" gives "$1,160.00",
// "$0.125" and "-$3.50"; "#,##0.0000" gives "17.2500". Groups with ",", decimals with ".",
// as the user's locale (es-MX) writes them.
QString formatNumber(double value, const QString &mask);

// Reads a number as the user's locale writes it: "," groups, "." decimals, a currency
// sign and blanks accepted, "(...)" or a leading "-" negative. Throws zentaro::Error
// ("No coinciden los tipos") for an empty or non-numeric text.
double readNumber(const QString &text);

// The platform's default date text: dd/MM/yyyy.
QString defaultDateText(const QDate &date);

// Reads a date, and a time when one follows, as a clerk or a script writes them:
// "2026-12-05" or "05/12/2026", then optionally "T" or a blank and "HH:mm" or "HH:mm:ss".
// Nothing else is taken: no trailing text, no hour 24 or more, no minute or second 60 or
// more, no 30th of February. Throws zentaro::Error with a Spanish sentence that names what
// is wrong. A date alone is midnight.
QDateTime readDateTime(const QString &text);

} // namespace zentaro::textformat
