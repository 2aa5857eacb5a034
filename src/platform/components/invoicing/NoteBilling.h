#pragma once

#include "platform/core/Decimal.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace zentaro {

// How one sales note becomes one concept of an invoice and of its CFDI, in one place: the
// check Accept makes before it writes anything, the totals InvoiceBuilder stores and the
// concepts the signer writes all ask this, so an invoice that Accept lets through is one
// the PAC stamps, and its stored header is the CFDI's to the cent.
//
// The rule (docs/money-rounding.md says why the simpler ones fail):
// - Importe is the note's list amount rounded to the currency's decimals and Descuento its
//   discount rounded the same way; every amount of the concept is in cents.
// - A tax row whose base is the note's taxable amount (list - discount) takes Importe -
//   Descuento as its base; a row whose base is that plus the IEPS rows before it (VAT on a
//   product with IEPS) takes Importe - Descuento plus the IEPS amounts chosen for those rows;
//   any other row (a note that splits its base between rates) takes its own base rounded.
// - Each tax amount is the floor or the ceiling of Base x rate, both inside SAT's bounds
//   (CFDI40180), chosen so that Importe - Descuento + the taxes is the note's total rounded;
//   the nearest rounding is tried first. Only when no choice adds up (a note whose
//   six-decimal amounts round apart), Importe moves by one cent, which Cantidad 1 x
//   ValorUnitario = Importe keeps inside CFDI40167.
// The document's SubTotal, Descuento, taxes and Total are then exact sums of the concepts.

// A money value as the database gave it: empty (NULL, '') and text that is not a number
// are kept apart from 0, because a note with such an amount cannot be billed.
struct MoneyField
{
    std::optional<Decimal> value;
    QString raw;   // the stored text when it was not a number

    static MoneyField read(const QVariant &stored);
    static MoneyField of(Decimal amount) { return MoneyField{amount, {}}; }
    bool ok() const { return value.has_value(); }
    Decimal get() const { return value.value_or(Decimal()); }
    // "vacío" or "\"NaN\"": what the clerk is told the field holds.
    QString described() const;
};

struct NoteTaxRow
{
    QString key;          // the note's tax key (Im_Cve_Impuesto)
    QString impuestoSat;  // 001, 002, 003; empty when the key is not in the tax catalogue
    QString tipoFactor;   // Tasa, Cuota, Exento
    Decimal rate;
    MoneyField base;
    MoneyField amount;
    bool exempt() const { return tipoFactor.compare(QLatin1String("Exento"), Qt::CaseInsensitive) == 0; }
};

// The amounts a note puts on its invoice line: L, D (line and global discounts together),
// S (after discounts), T and N.
struct NoteAmounts
{
    QString folio;
    MoneyField list;
    MoneyField discount;
    MoneyField discounted;
    MoneyField tax;
    MoneyField net;
    QList<NoteTaxRow> taxes;

    // The amounts of a line already built or stored, each of them a number; taxes follow.
    static NoteAmounts of(const QString &folio, Decimal list, Decimal discount, Decimal discounted, Decimal tax,
                          Decimal net)
    {
        return NoteAmounts{folio,          MoneyField::of(list), MoneyField::of(discount), MoneyField::of(discounted),
                           MoneyField::of(tax), MoneyField::of(net), {}};
    }
};

struct ConceptTax
{
    Decimal base;
    Decimal amount;   // 0 for an exempt row, which has no Importe in the CFDI
};

struct ConceptAmounts
{
    Decimal importe;
    Decimal descuento;
    QList<ConceptTax> taxes;   // one per tax row of the note, in its order

    Decimal transferred() const;   // the taxes' amounts together
    Decimal total() const { return importe - descuento + transferred(); }
};

struct NoteBilling
{
    // False for a note without list amount that carries no money (its total, tax and tax
    // rows 0): it is marked invoiced without a line. A note with money always gets one.
    bool billable = false;
    // Set when the note cannot be billed: a Spanish clause naming why ("su total es
    // negativo (-116.00)"), meant to follow the folio.
    QString problem;
    ConceptAmounts amounts;
};

// The concept of one note in a currency written with `decimals` decimals.
NoteBilling billNote(const NoteAmounts &note, int decimals);

} // namespace zentaro
