#pragma once

#include <QString>
#include <QStringView>

namespace zentaro::cfdi {

// Writes a plain decimal text ("5", "431.025", Decimal::toString()) with exactly `decimals`
// decimals, rounding half away from zero like zentaro::Decimal. Throws zentaro::Error when
// the text is not a number.
QString formatAmount(QStringView text, int decimals);

// Decimals SAT allows for document amounts in a currency (c_Moneda "Decimales"). SubTotal,
// Total and the document taxes may not carry more.
int currencyDecimals(QStringView moneda);

// How many decimals a number is written with: 2 for "10.50", 0 for "10".
int writtenDecimals(QStringView text);

} // namespace zentaro::cfdi
