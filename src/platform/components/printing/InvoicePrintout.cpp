#include "platform/components/printing/InvoicePrintout.h"

#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/cfdi/VerificationQr.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"

namespace zentaro {

InvoicePrintout InvoicePrintout::load(const QString &folio, const QDateTime &now)
{
    Connection &connection = Platform::instance().connection();
    // A stamped invoice prints its XML: of the tables only the header is needed.
    const auto digital = findDigitalDocument(connection, QStringLiteral("Factura"), folio);
    InvoiceDocument invoice =
        digital ? InvoiceDocument::loadHeader(connection, folio) : InvoiceDocument::load(connection, folio);
    return fromInvoice(std::move(invoice), digital ? digital->xml : QByteArray(), now);
}

InvoicePrintout InvoicePrintout::fromInvoice(InvoiceDocument invoice, const QByteArray &stampedXml, const QDateTime &now)
{
    InvoicePrintout p;
    if (stampedXml.isEmpty()) {
        p.comprobante = invoice.toComprobante(now);
        p.invoice = std::move(invoice);
        return p;
    }
    // What was stamped is what is printed: every field and concepto comes from the XML,
    // never from the tables it was once made from.
    p.invoice = std::move(invoice);
    p.stampedXml = stampedXml;
    cfdi::StampedComprobante read = cfdi::readStampedComprobante(stampedXml);
    p.comprobante = std::move(read.comprobante);
    p.timbre = std::move(read.timbre);
    const cfdi::Comprobante &c = p.comprobante;
    p.cadenaTimbre = cfdi::cadenaOriginalTfd(*p.timbre);
    p.verificationUrl = cfdi::verificationUrl(p.timbre->uuid, c.emisor.rfc, c.receptor.rfc, c.total, c.sello);
    return p;
}

} // namespace zentaro
