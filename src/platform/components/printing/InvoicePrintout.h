#pragma once

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/Comprobante.h"
#include "platform/components/invoicing/InvoiceDocument.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace zentaro {

// What the printed invoice shows. For a stamped invoice everything fiscal (header, parties,
// related documents, conceptos, taxes, totals) comes from the stamped XML, the document with
// fiscal effect; the stored invoice only adds what the XML does not carry (branch name,
// customer key). An unstamped invoice prints its would-be comprobante, marked as having no
// fiscal validity.
struct InvoicePrintout
{
    InvoiceDocument invoice;
    cfdi::Comprobante comprobante;
    std::optional<cfdi::TimbreFiscalDigital> timbre;
    QByteArray stampedXml;     // what it was read from; empty for an unstamped invoice
    QString cadenaTimbre;      // cadena original del complemento de certificación digital del SAT
    QString verificationUrl;   // the QR's text

    bool stamped() const { return timbre.has_value(); }

    // Loads the invoice and its Comprobante_Digital row. `now` dates an unstamped one.
    // Throws zentaro::Error, in Spanish, when the invoice cannot be read.
    static InvoicePrintout load(const QString &folio, const QDateTime &now);
    // For a stamped invoice (`stampedXml` not empty) the header of `invoice` is enough
    // (InvoiceDocument::loadHeader); an unstamped one needs its lines.
    static InvoicePrintout fromInvoice(InvoiceDocument invoice, const QByteArray &stampedXml, const QDateTime &now);
};

} // namespace zentaro
