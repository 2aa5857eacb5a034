#pragma once

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
    double exchangeRate = 0;
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
struct InvoiceLine
{
    QString id;                   // out: the line identifier within its invoice
    QString product;
    QString sourceFolio;          // the document the line copies (a sales note)
    // Codes of what storing the line sets off. "00" is "nothing": no stock movement (the
    // note already moved the goods) and no price list (the amounts are the note's).
    QString movementCode = QStringLiteral("00");
    QString priceListCode = QStringLiteral("00");
    double quantity = 0;
    QString unit;
    double baseQuantity = 0;
    QString baseUnit;
    double listAmount = 0;        // L, before discounts
    double sourceListAmount = 0;
    double discount = 0;          // D, line and global discounts together
    double discountedAmount = 0;  // S, after discounts, before tax
    double sourceDiscountedAmount = 0;
    double tax = 0;               // T
    double netAmount = 0;         // N, tax included
    double sourceNetAmount = 0;
};

} // namespace zentaro
