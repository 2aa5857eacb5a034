#pragma once

#include "platform/core/Decimal.h"

#include <QString>

namespace zentaro {

// An amount the way Mexican invoices write it below the total: "MIL CIENTO SESENTA PESOS
// 00/100 M.N.", "UN DÓLAR 50/100 USD". The cents are rounded to two places first, so
// the words always say the printed figure. Works up to 999,999,999,999.99; larger
// amounts throw zentaro::Error.
QString amountInWords(const Decimal &amount, const QString &currency);

// Just the number: 21 -> "VEINTIÚN" (before a noun, as on the invoice).
QString numberInWords(qint64 value);

} // namespace zentaro
