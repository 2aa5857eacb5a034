#pragma once

#include <QDate>
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

} // namespace zentaro::textformat
