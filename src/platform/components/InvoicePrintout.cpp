#include "platform/components/InvoicePrintout.h"

#include "platform/cfdi/VerificationQr.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"

#include <QHash>
#include <QXmlStreamReader>

namespace zentaro {

namespace {

using Attributes = QHash<QString, QString>;

// The attributes of the CFDI elements the printout overrides, by local name.
QHash<QString, Attributes> readCfdiAttributes(const QByteArray &xml)
{
    static const QStringList wanted = {QStringLiteral("Comprobante"), QStringLiteral("Emisor"), QStringLiteral("Receptor"),
                                       QStringLiteral("InformacionGlobal")};
    QHash<QString, Attributes> found;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.namespaceUri() != QLatin1String("http://www.sat.gob.mx/cfd/4"))
            continue;
        const QString name = reader.name().toString();
        if (!wanted.contains(name) || found.contains(name))
            continue;
        Attributes attributes;
        for (const QXmlStreamAttribute &a : reader.attributes())
            attributes.insert(a.name().toString(), a.value().toString());
        found.insert(name, attributes);
    }
    if (reader.hasError())
        throw Error(QStringLiteral("El XML timbrado guardado no se puede leer: %1").arg(reader.errorString()));
    return found;
}

} // namespace

InvoicePrintout InvoicePrintout::load(const QString &folio, const QDateTime &now)
{
    Connection &connection = Platform::instance().connection();
    InvoiceDocument invoice = InvoiceDocument::load(connection, folio);
    const auto digital = findDigitalDocument(connection, QStringLiteral("Factura"), folio);
    return fromInvoice(std::move(invoice), digital ? digital->xml : QByteArray(), now);
}

InvoicePrintout InvoicePrintout::fromInvoice(InvoiceDocument invoice, const QByteArray &stampedXml, const QDateTime &now)
{
    InvoicePrintout p;
    p.comprobante = invoice.toComprobante(now);
    p.invoice = std::move(invoice);
    if (stampedXml.isEmpty())
        return p;

    const QHash<QString, Attributes> xml = readCfdiAttributes(stampedXml);
    const Attributes root = xml.value(QStringLiteral("Comprobante"));
    cfdi::Comprobante &c = p.comprobante;
    auto take = [&root](QString &field, const char *name) {
        const QString value = root.value(QString::fromLatin1(name));
        if (!value.isEmpty())
            field = value;
    };
    take(c.serie, "Serie");
    take(c.folio, "Folio");
    take(c.fecha, "Fecha");
    take(c.formaPago, "FormaPago");
    take(c.metodoPago, "MetodoPago");
    take(c.subTotal, "SubTotal");
    c.descuento = root.value(QStringLiteral("Descuento"));
    take(c.moneda, "Moneda");
    c.tipoCambio = root.value(QStringLiteral("TipoCambio"));
    take(c.total, "Total");
    take(c.lugarExpedicion, "LugarExpedicion");
    take(c.noCertificado, "NoCertificado");
    take(c.sello, "Sello");
    const Attributes emisor = xml.value(QStringLiteral("Emisor"));
    if (!emisor.isEmpty())
        c.emisor = cfdi::Emisor{emisor.value(QStringLiteral("Rfc")), emisor.value(QStringLiteral("Nombre")),
                                emisor.value(QStringLiteral("RegimenFiscal"))};
    const Attributes receptor = xml.value(QStringLiteral("Receptor"));
    if (!receptor.isEmpty())
        c.receptor = cfdi::Receptor{receptor.value(QStringLiteral("Rfc")), receptor.value(QStringLiteral("Nombre")),
                                    receptor.value(QStringLiteral("DomicilioFiscalReceptor")),
                                    receptor.value(QStringLiteral("RegimenFiscalReceptor")),
                                    receptor.value(QStringLiteral("UsoCFDI"))};
    const Attributes global = xml.value(QStringLiteral("InformacionGlobal"));
    if (global.isEmpty())
        c.informacionGlobal.reset();
    else
        c.informacionGlobal = cfdi::InformacionGlobal{global.value(QStringLiteral("Periodicidad")),
                                                      global.value(QStringLiteral("Meses")),
                                                      global.value(QString::fromUtf16(u"Año"))};

    p.timbre = cfdi::readTimbreFiscalDigital(stampedXml);
    p.cadenaTimbre = cfdi::cadenaOriginalTfd(*p.timbre);
    p.verificationUrl = cfdi::verificationUrl(p.timbre->uuid, c.emisor.rfc, c.receptor.rfc, c.total, c.sello);
    return p;
}

} // namespace zentaro
