#pragma once

#include "platform/core/Decimal.h"

#include <QDate>
#include <QString>

namespace zentaro {

// The invoice header a caller hands to the invoice builder, one member per field.
struct InvoiceHeader
{
    QDate date;                  // invoice date
    QString origin;              // what the invoice comes from: "VENTA", sales notes
    QString originDocument;      // the one source document; "" when each line names its own
    QString reference;
    QString comment;
    bool creditCondition = false;   // the sale condition is of the credit type ("02")
    QDate termsDate;             // the day credit terms count from
    QString currency;
    Decimal exchangeRate;
    QString folio;               // out: the folio the builder gave the invoice ("FG-000005")
    QString documentNumber;      // out: the number text of the invoice ("FG-5")
    QString series;
    qint32 number = 0;
    QString branch;
    QString warehouse;
    QString customer;
    QString salesperson;
};

// One line of an invoice. Quantities come in pairs: the quantity sold in its sale unit,
// and the same quantity in the product's inventory unit. Amounts come in pairs where a
// line copies a source document: the invoice's amount, then the source's own amount,
// which must agree with it (a copy that differs from its source is a fault of the caller).
// Amounts are exact: the line carries the note's own six decimals, and the rounding to the
// currency's cents happens once, where the invoice's totals and its CFDI are made.
struct InvoiceLine
{
    QString id;                   // out: the line identifier within its invoice
    QString product;
    QString sourceFolio;          // the document the line copies (a sales note)
    // Codes of what storing the line sets off. "00" is "nothing": no stock movement (the
    // note already moved the goods) and no price list (the amounts are the note's).
    QString movementCode = QStringLiteral("00");
    QString priceListCode = QStringLiteral("00");
    Decimal quantity;
    QString unit;
    Decimal baseQuantity;
    QString baseUnit;
    Decimal listAmount;        // L, before discounts
    Decimal sourceListAmount;
    Decimal discount;          // D, line and global discounts together
    Decimal discountedAmount;  // S, after discounts, before tax
    Decimal sourceDiscountedAmount;
    Decimal tax;               // T
    Decimal netAmount;         // N, tax included
    Decimal sourceNetAmount;
};

} // namespace zentaro
