#include "platform/cfdi/CadenaOriginal.h"

#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

namespace zentaro::cfdi {

namespace {

// XPath normalize-space(): only space, tab, CR and LF count as white space. QString::simplified
// would also eat no-break spaces that SAT keeps.
QString normalizeSpace(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace)
            out += u' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

class CadenaWriter
{
public:
    // The stylesheet's "Requerido": a missing attribute still leaves its separator.
    void required(const xmlNode *node, const char *name)
    {
        m_text += u'|' + normalizeSpace(attributeOrEmpty(node, name));
    }
    // "Opcional" tests the attribute node, so a present but empty attribute still counts.
    void optional(const xmlNode *node, const char *name)
    {
        if (const auto value = attribute(node, name))
            m_text += u'|' + normalizeSpace(*value);
    }
    void requiredAll(const xmlNode *node, std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            required(node, name);
    }
    void text(const QString &raw) { m_text += raw; }
    QString result() const { return m_text; }

    // The same rules over the fields of a Comprobante: the writer writes a required
    // attribute always and an optional one only when it is not empty.
    void required(const QString &value) { m_text += u'|' + normalizeSpace(value); }
    void optional(const QString &value)
    {
        if (!value.isEmpty())
            required(value);
    }

private:
    QString m_text;
};

void refuseComplements(const xmlNode *parent, const char *where)
{
    for (const xmlNode *child = parent->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && !isElement(child, kTfdNamespace, "TimbreFiscalDigital"))
            throw Error(
                QStringLiteral("El complemento %1 en %2 no está soportado")
                    .arg(QString::fromUtf8(reinterpret_cast<const char *>(child->name)), QString::fromLatin1(where)));
    }
}

void writeTraslado(CadenaWriter &w, const xmlNode *t, bool withBase)
{
    if (withBase)
        w.required(t, "Base");
    w.requiredAll(t, {"Impuesto", "TipoFactor"});
    w.optional(t, "TasaOCuota");
    w.optional(t, "Importe");
}

void writeConcepto(CadenaWriter &w, const xmlNode *c)
{
    w.required(c, "ClaveProdServ");
    w.optional(c, "NoIdentificacion");
    w.requiredAll(c, {"Cantidad", "ClaveUnidad"});
    w.optional(c, "Unidad");
    w.requiredAll(c, {"Descripcion", "ValorUnitario", "Importe"});
    w.optional(c, "Descuento");
    w.required(c, "ObjetoImp");

    const QList<xmlNode *> impuestos = childElements(c, kCfdiNamespace, "Impuestos");
    for (const xmlNode *i : impuestos)
        for (const xmlNode *ts : childElements(i, kCfdiNamespace, "Traslados"))
            for (const xmlNode *t : childElements(ts, kCfdiNamespace, "Traslado"))
                writeTraslado(w, t, true);
    for (const xmlNode *i : impuestos)
        for (const xmlNode *rs : childElements(i, kCfdiNamespace, "Retenciones"))
            for (const xmlNode *r : childElements(rs, kCfdiNamespace, "Retencion"))
                w.requiredAll(r, {"Base", "Impuesto", "TipoFactor", "TasaOCuota", "Importe"});
    for (const xmlNode *a : childElements(c, kCfdiNamespace, "ACuentaTerceros"))
        w.requiredAll(a, {"RfcACuentaTerceros", "NombreACuentaTerceros", "RegimenFiscalACuentaTerceros",
                          "DomicilioFiscalACuentaTerceros"});
    for (const xmlNode *a : childElements(c, kCfdiNamespace, "InformacionAduanera"))
        w.required(a, "NumeroPedimento");
    for (const xmlNode *p : childElements(c, kCfdiNamespace, "CuentaPredial"))
        w.required(p, "Numero");
    for (const xmlNode *cc : childElements(c, kCfdiNamespace, "ComplementoConcepto"))
        refuseComplements(cc, "el concepto");
    for (const xmlNode *p : descendantElements(c, kCfdiNamespace, "Parte")) {
        w.required(p, "ClaveProdServ");
        w.optional(p, "NoIdentificacion");
        w.required(p, "Cantidad");
        w.optional(p, "Unidad");
        w.required(p, "Descripcion");
        w.optional(p, "ValorUnitario");
        w.optional(p, "Importe");
        for (const xmlNode *a : descendantElements(p, kCfdiNamespace, "InformacionAduanera"))
            w.required(a, "NumeroPedimento");
    }
}

void writeImpuestos(CadenaWriter &w, const xmlNode *i)
{
    for (const xmlNode *rs : childElements(i, kCfdiNamespace, "Retenciones"))
        for (const xmlNode *r : childElements(rs, kCfdiNamespace, "Retencion"))
            w.requiredAll(r, {"Impuesto", "Importe"});
    w.optional(i, "TotalImpuestosRetenidos");
    for (const xmlNode *ts : childElements(i, kCfdiNamespace, "Traslados"))
        for (const xmlNode *t : childElements(ts, kCfdiNamespace, "Traslado"))
            writeTraslado(w, t, true);
    w.optional(i, "TotalImpuestosTrasladados");
}

void writeComprobante(CadenaWriter &w, const xmlNode *c)
{
    w.required(c, "Version");
    w.optional(c, "Serie");
    w.optional(c, "Folio");
    w.required(c, "Fecha");
    w.optional(c, "FormaPago");
    w.required(c, "NoCertificado");
    w.optional(c, "CondicionesDePago");
    w.required(c, "SubTotal");
    w.optional(c, "Descuento");
    w.required(c, "Moneda");
    w.optional(c, "TipoCambio");
    w.requiredAll(c, {"Total", "TipoDeComprobante", "Exportacion"});
    w.optional(c, "MetodoPago");
    w.required(c, "LugarExpedicion");
    w.optional(c, "Confirmacion");

    for (const xmlNode *g : childElements(c, kCfdiNamespace, "InformacionGlobal"))
        w.requiredAll(g, {"Periodicidad", "Meses", "Año"});
    for (const xmlNode *r : childElements(c, kCfdiNamespace, "CfdiRelacionados")) {
        w.required(r, "TipoRelacion");
        for (const xmlNode *u : childElements(r, kCfdiNamespace, "CfdiRelacionado"))
            w.required(u, "UUID");
    }
    for (const xmlNode *e : childElements(c, kCfdiNamespace, "Emisor")) {
        w.requiredAll(e, {"Rfc", "Nombre", "RegimenFiscal"});
        w.optional(e, "FacAtrAdquirente");
    }
    for (const xmlNode *r : childElements(c, kCfdiNamespace, "Receptor")) {
        w.requiredAll(r, {"Rfc", "Nombre", "DomicilioFiscalReceptor"});
        w.optional(r, "ResidenciaFiscal");
        w.optional(r, "NumRegIdTrib");
        w.requiredAll(r, {"RegimenFiscalReceptor", "UsoCFDI"});
    }
    for (const xmlNode *cs : childElements(c, kCfdiNamespace, "Conceptos"))
        for (const xmlNode *concepto : childElements(cs, kCfdiNamespace, "Concepto"))
            writeConcepto(w, concepto);
    for (const xmlNode *i : childElements(c, kCfdiNamespace, "Impuestos"))
        writeImpuestos(w, i);
    for (const xmlNode *complemento : childElements(c, kCfdiNamespace, "Complemento")) {
        refuseComplements(complemento, "el comprobante");
        // The stylesheet has no template for the timbre, so XSLT's built-in rule copies
        // whatever text it holds (normally none).
        for (const xmlNode *tfd = complemento->children; tfd; tfd = tfd->next) {
            if (tfd->type != XML_ELEMENT_NODE)
                continue;
            xmlChar *content = xmlNodeGetContent(tfd);
            w.text(QString::fromUtf8(reinterpret_cast<const char *>(content)));
            xmlFree(content);
        }
    }
}

void writeTraslados(CadenaWriter &w, const QList<Traslado> &traslados)
{
    for (const Traslado &t : traslados) {
        w.required(t.base);
        w.required(t.impuesto);
        w.required(t.tipoFactor);
        w.optional(t.tasaOCuota);
        w.optional(t.importe);
    }
}

// In the order of writeComprobante above; the attributes and elements the writer never
// writes (CondicionesDePago, Confirmacion, FacAtrAdquirente, ResidenciaFiscal,
// NumRegIdTrib, retentions, third parties, customs, parts, complements) are left out.
void writeComprobante(CadenaWriter &w, const Comprobante &c)
{
    w.required(QStringLiteral("4.0"));
    w.optional(c.serie);
    w.optional(c.folio);
    w.required(c.fecha);
    w.optional(c.formaPago);
    w.required(c.noCertificado);
    w.required(c.subTotal);
    w.optional(c.descuento);
    w.required(c.moneda);
    w.optional(c.tipoCambio);
    w.required(c.total);
    w.required(c.tipoDeComprobante);
    w.required(c.exportacion);
    w.optional(c.metodoPago);
    w.required(c.lugarExpedicion);
    if (c.informacionGlobal) {
        w.required(c.informacionGlobal->periodicidad);
        w.required(c.informacionGlobal->meses);
        w.required(c.informacionGlobal->anio);
    }
    for (const CfdiRelacionados &group : c.cfdiRelacionados) {
        w.required(group.tipoRelacion);
        for (const QString &uuid : group.uuids)
            w.required(uuid);
    }
    w.required(c.emisor.rfc);
    w.required(c.emisor.nombre);
    w.required(c.emisor.regimenFiscal);
    w.required(c.receptor.rfc);
    w.required(c.receptor.nombre);
    w.required(c.receptor.domicilioFiscalReceptor);
    w.required(c.receptor.regimenFiscalReceptor);
    w.required(c.receptor.usoCfdi);
    for (const Concepto &k : c.conceptos) {
        w.required(k.claveProdServ);
        w.optional(k.noIdentificacion);
        w.required(k.cantidad);
        w.required(k.claveUnidad);
        w.optional(k.unidad);
        w.required(k.descripcion);
        w.required(k.valorUnitario);
        w.required(k.importe);
        w.optional(k.descuento);
        w.required(k.objetoImp);
        writeTraslados(w, k.traslados);
    }
    if (c.impuestos && !c.impuestos->traslados.isEmpty()) {
        writeTraslados(w, c.impuestos->traslados);
        w.optional(c.impuestos->totalImpuestosTrasladados);
    }
}

const xmlNode *findTfd(const xmlNode *root)
{
    if (isElement(root, kTfdNamespace, "TimbreFiscalDigital"))
        return root;
    const QList<xmlNode *> found = descendantElements(root, kTfdNamespace, "TimbreFiscalDigital");
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace

QString cadenaOriginal(const QByteArray &comprobanteXml)
{
    return cadenaOriginal(XmlDocument::parse(comprobanteXml));
}

QString cadenaOriginal(const XmlDocument &document)
{
    const xmlNode *root = document.root();
    if (!isElement(root, kCfdiNamespace, "Comprobante"))
        throw Error(QStringLiteral("El documento no es un comprobante CFDI 4.0"));
    CadenaWriter w;
    w.text(QStringLiteral("|"));
    writeComprobante(w, root);
    w.text(QStringLiteral("||"));
    return w.result();
}

QString cadenaOriginal(const Comprobante &comprobante)
{
    CadenaWriter w;
    w.text(QStringLiteral("|"));
    writeComprobante(w, comprobante);
    w.text(QStringLiteral("||"));
    return w.result();
}

QString cadenaOriginalTfd(const TimbreFiscalDigital &tfd)
{
    QString text = u'|' + normalizeSpace(tfd.version);
    for (const QString *field : {&tfd.uuid, &tfd.fechaTimbrado, &tfd.rfcProvCertif})
        text += u'|' + normalizeSpace(*field);
    if (tfd.leyenda)
        text += u'|' + normalizeSpace(*tfd.leyenda);
    text += u'|' + normalizeSpace(tfd.selloCfd) + u'|' + normalizeSpace(tfd.noCertificadoSat);
    return u'|' + text + QStringLiteral("||");
}

TimbreFiscalDigital readTimbreFiscalDigital(const QByteArray &xml)
{
    return readTimbreFiscalDigital(XmlDocument::parse(xml));
}

TimbreFiscalDigital readTimbreFiscalDigital(const XmlDocument &document)
{
    const xmlNode *node = findTfd(document.root());
    if (!node)
        throw Error(QStringLiteral("El comprobante no tiene timbre fiscal digital"));
    TimbreFiscalDigital tfd;
    tfd.version = attributeOrEmpty(node, "Version");
    tfd.uuid = attributeOrEmpty(node, "UUID");
    tfd.fechaTimbrado = attributeOrEmpty(node, "FechaTimbrado");
    tfd.rfcProvCertif = attributeOrEmpty(node, "RfcProvCertif");
    tfd.leyenda = attribute(node, "Leyenda");
    tfd.selloCfd = attributeOrEmpty(node, "SelloCFD");
    tfd.noCertificadoSat = attributeOrEmpty(node, "NoCertificadoSAT");
    tfd.selloSat = attributeOrEmpty(node, "SelloSAT");
    return tfd;
}

} // namespace zentaro::cfdi
