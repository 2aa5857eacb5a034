#pragma once

#include "platform/cfdi/Comprobante.h"
#include "platform/components/invoicing/NoteBilling.h"
#include "platform/core/Decimal.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace zentaro {

class Connection;

// A stored invoice with everything its electronic document and its printout need: the
// Factura header, one line per sales note with that line's tax rows, the customer, the
// branch, the issuer and the notes' dates and payment forms. Read with a handful of
// statements whatever the number of lines, so a global invoice of ten thousand tickets
// loads as fast as one of three.
class InvoiceDocument
{
public:
    struct Tax
    {
        QString key;          // Im_Cve_Impuesto
        QString description;  // Im_Descripcion
        QString impuestoSat;  // 001 ISR, 002 IVA, 003 IEPS
        QString tipoFactor;   // Tasa, Cuota, Exento
        Decimal rate;
        Decimal base;
        Decimal amount;
        bool exempt() const { return tipoFactor.compare(QLatin1String("Exento"), Qt::CaseInsensitive) == 0; }
    };

    struct Line
    {
        QString id;            // Fc_ID
        QString noteFolio;     // Vn_Folio
        QDate noteDate;        // the note's date, or the invoice's when the note is gone
        QString paymentForm;   // the note's Vn_Forma_Pago
        Decimal noteNet;       // the note's net amount, to pick the invoice's payment form
        QString product;
        QString claveProdServ;
        QString unit;
        QString claveUnidad;
        QString description;
        Decimal quantity;      // Fl_Cantidad: 1 for a line that bills a whole note
        Decimal list;
        Decimal discount;
        Decimal discounted;
        Decimal tax;
        Decimal net;
        QList<Tax> taxes;
    };

    struct Party
    {
        QString key;
        QString rfc;
        QString name;
        QString regimen;
        QString postalCode;
        QString usoCfdi;
        QString address;
    };

    // Throws zentaro::Error, in Spanish, when the invoice does not exist or a catalogue row
    // it needs (branch, customer, tax, issuer) is missing.
    static InvoiceDocument load(Connection &connection, const QString &folio);
    // The header with its customer and branch only: no lines, taxes or issuer. For who
    // needs the parties or the state of an invoice whose fiscal content is its stamped XML
    // (printing and mailing it), without reading ten thousand lines for nothing.
    static InvoiceDocument loadHeader(Connection &connection, const QString &folio);
    // The issuer of every document of the database (Emisor); throws in Spanish when none is
    // registered.
    static Party loadIssuer(Connection &connection);

    QString folio;
    QString series;
    int number = 0;
    QString name;      // Fc_Factura, as the clerk and the customer call it ("FG-12")
    QDate date;
    QString state;     // Es_Cve_Estado
    QString branch;
    QString branchName;
    QString branchPostalCode;
    QString currency;
    Decimal exchangeRate;
    QString comment;
    Decimal storedNet; // Fc_Precio_Neto_Importe
    bool credit = false;      // Fc_Credito: a sale on credit is paid later (PPD)
    // The global invoice's c_Periodicidad: the invoice's own choice, else the branch's
    // CFDI_PERIODICIDAD_<branch>, else CFDI_PERIODICIDAD, else 01 (daily).
    QString periodicity;
    // UUIDs of the cancelled invoices that gave back the notes this one bills again.
    QStringList replacedUuids;
    Party customer;
    Party issuer;      // rfc, name and regimen only
    QList<Line> lines;

    bool isPublic() const;    // XAXX010101000: a global invoice
    bool isGeneric() const;   // XAXX010101000 or XEXX010101000: names no taxpayer
    bool isCancelled() const { return state == QLatin1String("CA"); }
    int decimals() const;
    // The SAT payment form of the invoice: that of its largest note by net amount; 99 (to be
    // defined) for a named customer's sale on credit.
    QString paymentForm() const;

    // The comprobante to seal, dated `fecha` (the moment of sealing, written as the local
    // time of the branch's postal code): every concept in cents by conceptAmounts, so its
    // totals, exact sums of the concepts, are the ones the invoice stored. Throws zentaro::Error when the invoice cannot become a CFDI (no lines, a note
    // without payment form, a global with notes outside its period, of a year SAT no longer
    // takes, or paid "to be defined").
    cfdi::Comprobante toComprobante(const QDateTime &fecha) const;
    // The line's concept in cents by the rule Accept checked and the header was stored with
    // (NoteBilling.h). Throws zentaro::Error naming the note when the rule refuses it.
    ConceptAmounts conceptAmounts(const Line &line) const;
    // "" when the comprobante's Total is the invoice's stored net amount, else a sentence
    // saying both: a CFDI whose total differs from the invoice's would leave the
    // receivable and the tax authority disagreeing.
    QString totalMismatch(const cfdi::Comprobante &comprobante) const;
};

} // namespace zentaro
