#include "platform/cfdi/ComprobanteXmlReader.h"

#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

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

} // namespace

Comprobante readComprobanteXml(const QByteArray &xml)
{
    const XmlDocument document = XmlDocument::parse(xml);
    const xmlNode *root = document.root();
    if (!isElement(root, kCfdiNamespace, "Comprobante"))
        throw Error(QStringLiteral("El documento no es un comprobante CFDI 4.0"));
    Comprobante c;
    c.serie = attributeOrEmpty(root, "Serie");
    c.folio = attributeOrEmpty(root, "Folio");
    c.fecha = attributeOrEmpty(root, "Fecha");
    c.formaPago = attributeOrEmpty(root, "FormaPago");
    c.subTotal = attributeOrEmpty(root, "SubTotal");
    c.descuento = attributeOrEmpty(root, "Descuento");
    c.moneda = attributeOrEmpty(root, "Moneda");
    c.tipoCambio = attributeOrEmpty(root, "TipoCambio");
    c.total = attributeOrEmpty(root, "Total");
    c.tipoDeComprobante = attributeOrEmpty(root, "TipoDeComprobante");
    c.exportacion = attributeOrEmpty(root, "Exportacion");
    c.metodoPago = attributeOrEmpty(root, "MetodoPago");
    c.lugarExpedicion = attributeOrEmpty(root, "LugarExpedicion");
    c.noCertificado = attributeOrEmpty(root, "NoCertificado");
    c.certificado = attributeOrEmpty(root, "Certificado");
    c.sello = attributeOrEmpty(root, "Sello");
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

} // namespace zentaro::cfdi
