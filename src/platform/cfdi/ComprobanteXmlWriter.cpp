#include "platform/cfdi/ComprobanteXmlWriter.h"

#include <QXmlStreamWriter>

namespace zentaro::cfdi {

namespace {

const QString kCfdi = QStringLiteral("http://www.sat.gob.mx/cfd/4");
const QString kXsi = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

class Writer
{
public:
    explicit Writer(QByteArray *out) : m_xml(out)
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(2);
    }

    QXmlStreamWriter &xml() { return m_xml; }

    void start(const QString &name) { m_xml.writeStartElement(kCfdi, name); }
    void end() { m_xml.writeEndElement(); }
    void required(const QString &name, const QString &value) { m_xml.writeAttribute(name, value); }
    void optional(const QString &name, const QString &value)
    {
        if (!value.isEmpty())
            m_xml.writeAttribute(name, value);
    }

    void traslados(const QList<Traslado> &list)
    {
        start(QStringLiteral("Traslados"));
        for (const Traslado &t : list) {
            start(QStringLiteral("Traslado"));
            required(QStringLiteral("Base"), t.base);
            required(QStringLiteral("Impuesto"), t.impuesto);
            required(QStringLiteral("TipoFactor"), t.tipoFactor);
            optional(QStringLiteral("TasaOCuota"), t.tasaOCuota);
            optional(QStringLiteral("Importe"), t.importe);
            end();
        }
        end();
    }

private:
    QXmlStreamWriter m_xml;
};

void writeConcepto(Writer &w, const Concepto &c)
{
    w.start(QStringLiteral("Concepto"));
    w.required(QStringLiteral("ClaveProdServ"), c.claveProdServ);
    w.optional(QStringLiteral("NoIdentificacion"), c.noIdentificacion);
    w.required(QStringLiteral("Cantidad"), c.cantidad);
    w.required(QStringLiteral("ClaveUnidad"), c.claveUnidad);
    w.optional(QStringLiteral("Unidad"), c.unidad);
    w.required(QStringLiteral("Descripcion"), c.descripcion);
    w.required(QStringLiteral("ValorUnitario"), c.valorUnitario);
    w.required(QStringLiteral("Importe"), c.importe);
    w.optional(QStringLiteral("Descuento"), c.descuento);
    w.required(QStringLiteral("ObjetoImp"), c.objetoImp);
    if (!c.traslados.isEmpty()) {
        w.start(QStringLiteral("Impuestos"));
        w.traslados(c.traslados);
        w.end();
    }
    w.end();
}

} // namespace

QByteArray writeComprobanteXml(const Comprobante &c)
{
    QByteArray out;
    Writer w(&out);
    QXmlStreamWriter &xml = w.xml();
    xml.writeStartDocument();
    xml.writeNamespace(kCfdi, QStringLiteral("cfdi"));
    xml.writeNamespace(kXsi, QStringLiteral("xsi"));
    w.start(QStringLiteral("Comprobante"));
    xml.writeAttribute(
        kXsi, QStringLiteral("schemaLocation"),
        QStringLiteral("http://www.sat.gob.mx/cfd/4 http://www.sat.gob.mx/sitio_internet/cfd/4/cfdv40.xsd"));
    w.required(QStringLiteral("Version"), QStringLiteral("4.0"));
    w.optional(QStringLiteral("Serie"), c.serie);
    w.optional(QStringLiteral("Folio"), c.folio);
    w.required(QStringLiteral("Fecha"), c.fecha);
    w.required(QStringLiteral("Sello"), c.sello);
    w.optional(QStringLiteral("FormaPago"), c.formaPago);
    w.required(QStringLiteral("NoCertificado"), c.noCertificado);
    w.required(QStringLiteral("Certificado"), c.certificado);
    w.required(QStringLiteral("SubTotal"), c.subTotal);
    w.optional(QStringLiteral("Descuento"), c.descuento);
    w.required(QStringLiteral("Moneda"), c.moneda);
    w.optional(QStringLiteral("TipoCambio"), c.tipoCambio);
    w.required(QStringLiteral("Total"), c.total);
    w.required(QStringLiteral("TipoDeComprobante"), c.tipoDeComprobante);
    w.required(QStringLiteral("Exportacion"), c.exportacion);
    w.optional(QStringLiteral("MetodoPago"), c.metodoPago);
    w.required(QStringLiteral("LugarExpedicion"), c.lugarExpedicion);

    if (c.informacionGlobal) {
        w.start(QStringLiteral("InformacionGlobal"));
        w.required(QStringLiteral("Periodicidad"), c.informacionGlobal->periodicidad);
        w.required(QStringLiteral("Meses"), c.informacionGlobal->meses);
        w.required(QStringLiteral("Año"), c.informacionGlobal->anio);
        w.end();
    }

    for (const CfdiRelacionados &group : c.cfdiRelacionados) {
        w.start(QStringLiteral("CfdiRelacionados"));
        w.required(QStringLiteral("TipoRelacion"), group.tipoRelacion);
        for (const QString &uuid : group.uuids) {
            w.start(QStringLiteral("CfdiRelacionado"));
            w.required(QStringLiteral("UUID"), uuid);
            w.end();
        }
        w.end();
    }

    w.start(QStringLiteral("Emisor"));
    w.required(QStringLiteral("Rfc"), c.emisor.rfc);
    w.required(QStringLiteral("Nombre"), c.emisor.nombre);
    w.required(QStringLiteral("RegimenFiscal"), c.emisor.regimenFiscal);
    w.end();

    w.start(QStringLiteral("Receptor"));
    w.required(QStringLiteral("Rfc"), c.receptor.rfc);
    w.required(QStringLiteral("Nombre"), c.receptor.nombre);
    w.required(QStringLiteral("DomicilioFiscalReceptor"), c.receptor.domicilioFiscalReceptor);
    w.required(QStringLiteral("RegimenFiscalReceptor"), c.receptor.regimenFiscalReceptor);
    w.required(QStringLiteral("UsoCFDI"), c.receptor.usoCfdi);
    w.end();

    w.start(QStringLiteral("Conceptos"));
    for (const Concepto &concepto : c.conceptos)
        writeConcepto(w, concepto);
    w.end();

    if (c.impuestos && !c.impuestos->traslados.isEmpty()) {
        w.start(QStringLiteral("Impuestos"));
        w.optional(QStringLiteral("TotalImpuestosTrasladados"), c.impuestos->totalImpuestosTrasladados);
        w.traslados(c.impuestos->traslados);
        w.end();
    }

    w.end();
    xml.writeEndDocument();
    return out;
}

} // namespace zentaro::cfdi
