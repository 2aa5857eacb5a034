#include "platform/cfdi/ComprobanteXmlReader.h"

#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

#include <QXmlStreamReader>

#include <functional>

namespace zentaro::cfdi {

namespace {

QList<Traslado> readTraslados(const xmlNode *parent)
{
    QList<Traslado> list;
    for (const xmlNode *ts : childElements(parent, kCfdiNamespace, "Traslados"))
        for (const xmlNode *t : childElements(ts, kCfdiNamespace, "Traslado"))
            list.append(Traslado{attributeOrEmpty(t, "Base"), attributeOrEmpty(t, "Impuesto"),
                                 attributeOrEmpty(t, "TipoFactor"), attributeOrEmpty(t, "TasaOCuota"),
                                 attributeOrEmpty(t, "Importe")});
    return list;
}

void readRootAttributes(Comprobante &c, const std::function<QString(const char *)> &at)
{
    c.serie = at("Serie");
    c.folio = at("Folio");
    c.fecha = at("Fecha");
    c.formaPago = at("FormaPago");
    c.subTotal = at("SubTotal");
    c.descuento = at("Descuento");
    c.moneda = at("Moneda");
    c.tipoCambio = at("TipoCambio");
    c.total = at("Total");
    c.tipoDeComprobante = at("TipoDeComprobante");
    c.exportacion = at("Exportacion");
    c.metodoPago = at("MetodoPago");
    c.lugarExpedicion = at("LugarExpedicion");
    c.noCertificado = at("NoCertificado");
    c.certificado = at("Certificado");
    c.sello = at("Sello");
}

} // namespace

Comprobante readComprobanteHeader(const QByteArray &xml)
{
    const QString cfdi = QString::fromLatin1(kCfdiNamespace);
    // Fed in pieces: handed the whole text at once, the reader would decode all of it first.
    constexpr qsizetype kPiece = 16 * 1024;
    QXmlStreamReader reader;
    qsizetype fed = 0;
    const auto feed = [&] {
        reader.addData(xml.mid(fed, kPiece));
        fed += kPiece;
    };
    feed();
    Comprobante c;
    bool root = true;
    for (;;) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (reader.error() == QXmlStreamReader::PrematureEndOfDocumentError && fed < xml.size()) {
            feed();
            continue;
        }
        if (reader.atEnd())
            break;
        if (token != QXmlStreamReader::StartElement)
            continue;
        const bool ours = reader.namespaceUri() == cfdi;
        const QStringView name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        const auto at = [&attributes](const char *attribute) {
            return attributes.value(QString(), QString::fromUtf8(attribute)).toString();
        };
        if (root) {
            if (!ours || name != u"Comprobante")
                throw Error(QStringLiteral("El documento no es un comprobante CFDI 4.0"));
            readRootAttributes(c, at);
            root = false;
        } else if (!ours) {
            continue;
        } else if (name == u"Conceptos") {
            return c;
        } else if (name == u"InformacionGlobal") {
            c.informacionGlobal = InformacionGlobal{at("Periodicidad"), at("Meses"), at("Año")};
        } else if (name == u"CfdiRelacionados") {
            c.cfdiRelacionados.append(CfdiRelacionados{at("TipoRelacion"), {}});
        } else if (name == u"CfdiRelacionado" && !c.cfdiRelacionados.isEmpty()) {
            c.cfdiRelacionados.last().uuids.append(at("UUID"));
        } else if (name == u"Emisor") {
            c.emisor = Emisor{at("Rfc"), at("Nombre"), at("RegimenFiscal")};
        } else if (name == u"Receptor") {
            c.receptor = Receptor{at("Rfc"), at("Nombre"), at("DomicilioFiscalReceptor"), at("RegimenFiscalReceptor"),
                                  at("UsoCFDI")};
        }
    }
    if (reader.hasError())
        throw Error(QStringLiteral("El XML del comprobante no es válido: %1").arg(reader.errorString()));
    if (root)
        throw Error(QStringLiteral("El documento no es un comprobante CFDI 4.0"));
    return c;
}

namespace {

Comprobante readComprobante(const XmlDocument &document)
{
    const xmlNode *root = document.root();
    if (!isElement(root, kCfdiNamespace, "Comprobante"))
        throw Error(QStringLiteral("El documento no es un comprobante CFDI 4.0"));
    Comprobante c;
    readRootAttributes(c, [root](const char *name) { return attributeOrEmpty(root, name); });
    if (const xmlNode *g = firstChildElement(root, kCfdiNamespace, "InformacionGlobal"))
        c.informacionGlobal =
            InformacionGlobal{attributeOrEmpty(g, "Periodicidad"), attributeOrEmpty(g, "Meses"), attributeOrEmpty(g, "Año")};
    for (const xmlNode *r : childElements(root, kCfdiNamespace, "CfdiRelacionados")) {
        CfdiRelacionados group;
        group.tipoRelacion = attributeOrEmpty(r, "TipoRelacion");
        for (const xmlNode *u : childElements(r, kCfdiNamespace, "CfdiRelacionado"))
            group.uuids.append(attributeOrEmpty(u, "UUID"));
        c.cfdiRelacionados.append(group);
    }
    if (const xmlNode *e = firstChildElement(root, kCfdiNamespace, "Emisor"))
        c.emisor = Emisor{attributeOrEmpty(e, "Rfc"), attributeOrEmpty(e, "Nombre"), attributeOrEmpty(e, "RegimenFiscal")};
    if (const xmlNode *r = firstChildElement(root, kCfdiNamespace, "Receptor"))
        c.receptor = Receptor{attributeOrEmpty(r, "Rfc"), attributeOrEmpty(r, "Nombre"),
                              attributeOrEmpty(r, "DomicilioFiscalReceptor"), attributeOrEmpty(r, "RegimenFiscalReceptor"),
                              attributeOrEmpty(r, "UsoCFDI")};
    for (const xmlNode *cs : childElements(root, kCfdiNamespace, "Conceptos")) {
        for (const xmlNode *k : childElements(cs, kCfdiNamespace, "Concepto")) {
            Concepto concepto;
            concepto.claveProdServ = attributeOrEmpty(k, "ClaveProdServ");
            concepto.noIdentificacion = attributeOrEmpty(k, "NoIdentificacion");
            concepto.cantidad = attributeOrEmpty(k, "Cantidad");
            concepto.claveUnidad = attributeOrEmpty(k, "ClaveUnidad");
            concepto.unidad = attributeOrEmpty(k, "Unidad");
            concepto.descripcion = attributeOrEmpty(k, "Descripcion");
            concepto.valorUnitario = attributeOrEmpty(k, "ValorUnitario");
            concepto.importe = attributeOrEmpty(k, "Importe");
            concepto.descuento = attributeOrEmpty(k, "Descuento");
            concepto.objetoImp = attributeOrEmpty(k, "ObjetoImp");
            for (const xmlNode *i : childElements(k, kCfdiNamespace, "Impuestos"))
                concepto.traslados += readTraslados(i);
            c.conceptos.append(concepto);
        }
    }
    if (const xmlNode *i = firstChildElement(root, kCfdiNamespace, "Impuestos")) {
        ImpuestosDocumento impuestos;
        impuestos.totalImpuestosTrasladados = attributeOrEmpty(i, "TotalImpuestosTrasladados");
        impuestos.traslados = readTraslados(i);
        c.impuestos = impuestos;
    }
    return c;
}

} // namespace

Comprobante readComprobanteXml(const QByteArray &xml)
{
    return readComprobante(XmlDocument::parse(xml));
}

StampedComprobante readStampedComprobante(const QByteArray &xml)
{
    const XmlDocument document = XmlDocument::parse(xml);
    return {readComprobante(document), readTimbreFiscalDigital(document)};
}

} // namespace zentaro::cfdi
