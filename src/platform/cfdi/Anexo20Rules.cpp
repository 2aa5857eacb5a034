#include "platform/cfdi/Anexo20Rules.h"

#include "platform/cfdi/AmountText.h"
#include "platform/cfdi/ExactDecimal.h"
#include "platform/cfdi/GlobalInvoice.h"
#include "platform/cfdi/TasaOCuotaCatalog.h"
#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

namespace zentaro::cfdi {

namespace {

struct Fault
{
    PacRefusal refusal;
};

[[noreturn]] void refuse(const char *code, const QString &message)
{
    throw Fault{PacRefusal{QString::fromLatin1(code), message}};
}

QString elementName(const xmlNode *node)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(node->name));
}

struct Amount
{
    QString text;
    ExactDecimal value;
    int decimals() const { return writtenDecimals(text); }
};

std::optional<Amount> optionalAmount(const xmlNode *node, const char *name)
{
    const auto text = attribute(node, name);
    if (!text)
        return std::nullopt;
    const auto value = ExactDecimal::parse(*text);
    if (!value)
        refuse("301", QStringLiteral("El atributo %1 de %2 no es un número: \"%3\"")
                          .arg(QString::fromUtf8(name), elementName(node), *text));
    return Amount{*text, *value};
}

Amount requiredAmount(const xmlNode *node, const char *name)
{
    if (auto amount = optionalAmount(node, name))
        return *amount;
    refuse("301", QStringLiteral("Falta el atributo %1 en %2").arg(QString::fromUtf8(name), elementName(node)));
}

// SAT's tolerance for a product of written values: each factor may be off by half of its
// last written unit; the lower limit is truncated and the upper one rounded up to the
// decimals of the result.
bool withinProductLimits(const Amount &a, const Amount &b, const Amount &result, bool bIsExact)
{
    const ExactDecimal ha = ExactDecimal::halfUnit(a.decimals());
    const ExactDecimal hb = bIsExact ? ExactDecimal() : ExactDecimal::halfUnit(b.decimals());
    const ExactDecimal low = ((a.value - ha) * (b.value - hb)).truncated(result.decimals());
    const ExactDecimal high = ((a.value + ha) * (b.value + hb)).ceiled(result.decimals());
    return low <= result.value && result.value <= high;
}

struct TaxKey
{
    QString impuesto;
    QString tipoFactor;
    QString tasaOCuota;
    bool operator==(const TaxKey &) const = default;
};

struct TaxSum
{
    TaxKey key;
    ExactDecimal base;
    ExactDecimal importe;
};

TaxKey taxKey(const xmlNode *t)
{
    // "0.160000" and "0.16" are the same rate.
    QString rate = attributeOrEmpty(t, "TasaOCuota");
    if (const auto value = ExactDecimal::parse(rate))
        rate = value->toFixed(6);
    return TaxKey{attributeOrEmpty(t, "Impuesto"), attributeOrEmpty(t, "TipoFactor"), rate};
}

QString describe(const TaxKey &key)
{
    return key.tipoFactor == u"Exento" ? QStringLiteral("%1 exento").arg(key.impuesto)
                                       : QStringLiteral("%1 %2 %3").arg(key.impuesto, key.tipoFactor, key.tasaOCuota);
}

QList<const xmlNode *> traslados(const xmlNode *parent)
{
    QList<const xmlNode *> found;
    for (const xmlNode *i : childElements(parent, kCfdiNamespace, "Impuestos"))
        for (const xmlNode *ts : childElements(i, kCfdiNamespace, "Traslados"))
            for (const xmlNode *t : childElements(ts, kCfdiNamespace, "Traslado"))
                found.append(t);
    return found;
}

class Checker
{
public:
    explicit Checker(const xmlNode *root)
        : m_root(root), m_moneda(attributeOrEmpty(root, "Moneda")), m_decimals(currencyDecimals(m_moneda))
    {
    }

    void run()
    {
        checkTipoCambio();
        checkMetodoPago();
        const Amount subTotal = documentAmount(m_root, "SubTotal", "CFDI40107");
        const std::optional<Amount> descuento = optionalDocumentAmount(m_root, "Descuento", "CFDI40112");
        const Amount total = documentAmount(m_root, "Total", "SBX-DECIMALES");

        ExactDecimal sumImportes;
        ExactDecimal sumDescuentos;
        bool anyDescuento = false;
        QList<TaxSum> lineTaxes;
        int line = 0;
        for (const xmlNode *cs : childElements(m_root, kCfdiNamespace, "Conceptos")) {
            for (const xmlNode *c : childElements(cs, kCfdiNamespace, "Concepto")) {
                ++line;
                checkConcepto(c, line, lineTaxes);
                sumImportes += requiredAmount(c, "Importe").value;
                if (const auto d = optionalAmount(c, "Descuento")) {
                    sumDescuentos += d->value;
                    anyDescuento = true;
                }
            }
        }

        if (subTotal.value != sumImportes.roundedHalfAway(m_decimals))
            refuse("CFDI40108", QStringLiteral("El SubTotal %1 no es la suma de los importes de los conceptos (%2)")
                                    .arg(subTotal.text, sumImportes.toFixed(m_decimals)));
        if (anyDescuento != descuento.has_value() ||
            (descuento && descuento->value != sumDescuentos.roundedHalfAway(m_decimals)))
            refuse(
                "SBX-DESCUENTO",
                QStringLiteral("El Descuento %1 no es la suma de los descuentos de los conceptos (%2)")
                    .arg(descuento ? descuento->text : QStringLiteral("ausente"), sumDescuentos.toFixed(m_decimals)));
        if (descuento && descuento->value > subTotal.value)
            refuse("CFDI40110",
                   QStringLiteral("El Descuento %1 es mayor que el SubTotal %2").arg(descuento->text, subTotal.text));

        const ExactDecimal trasladados = checkDocumentTaxes(lineTaxes);
        const ExactDecimal expected = subTotal.value - (descuento ? descuento->value : ExactDecimal()) + trasladados;
        if (total.value != expected)
            refuse("CFDI40119",
                   QStringLiteral("El Total %1 no es SubTotal menos Descuento más impuestos trasladados (%2)")
                       .arg(total.text, expected.toFixed(m_decimals)));
        checkInformacionGlobal();
    }

private:
    // `code` is SAT's for too many decimals in that attribute.
    Amount documentAmount(const xmlNode *node, const char *name, const char *code)
    {
        const Amount amount = requiredAmount(node, name);
        checkCurrencyDecimals(node, name, amount, code);
        return amount;
    }

    std::optional<Amount> optionalDocumentAmount(const xmlNode *node, const char *name, const char *code)
    {
        const auto amount = optionalAmount(node, name);
        if (amount)
            checkCurrencyDecimals(node, name, *amount, code);
        return amount;
    }

    void checkCurrencyDecimals(const xmlNode *node, const char *name, const Amount &amount, const char *code)
    {
        if (amount.decimals() > m_decimals)
            refuse(code,
                   QStringLiteral("El %1 %2 de %3 tiene más decimales de los que admite la moneda %4 (%5)")
                       .arg(QString::fromUtf8(name), amount.text, elementName(node), m_moneda)
                       .arg(m_decimals));
    }

    void checkTipoCambio()
    {
        const auto tipoCambio = attribute(m_root, "TipoCambio");
        if (m_moneda == u"MXN") {
            if (tipoCambio && *tipoCambio != u"1")
                refuse("CFDI40114", QStringLiteral("Con moneda MXN el TipoCambio debe ser 1 u omitirse"));
        } else if (m_moneda == u"XXX") {
            if (tipoCambio)
                refuse("CFDI40116", QStringLiteral("Con moneda XXX no se registra TipoCambio"));
        } else if (!tipoCambio || !ExactDecimal::parse(*tipoCambio) || ExactDecimal::parse(*tipoCambio)->isZero()) {
            refuse("CFDI40115", QStringLiteral("Con moneda %1 se requiere el TipoCambio").arg(m_moneda));
        }
    }

    // Payment in installments or deferred (PPD) is paid later through payment receipts, so
    // its form is not yet known: 99.
    void checkMetodoPago()
    {
        if (attributeOrEmpty(m_root, "MetodoPago") == u"PPD" && attributeOrEmpty(m_root, "FormaPago") != u"99")
            refuse("CFDI40105", QStringLiteral("Con MetodoPago PPD la FormaPago debe ser 99 (por definir)"));
    }

    void checkConcepto(const xmlNode *c, int line, QList<TaxSum> &lineTaxes)
    {
        const Amount cantidad = requiredAmount(c, "Cantidad");
        const Amount valorUnitario = requiredAmount(c, "ValorUnitario");
        const Amount importe = requiredAmount(c, "Importe");
        if (!withinProductLimits(cantidad, valorUnitario, importe, false))
            refuse("CFDI40167",
                   QStringLiteral("Concepto %1: el Importe %2 no corresponde a Cantidad %3 por ValorUnitario %4")
                       .arg(line)
                       .arg(importe.text, cantidad.text, valorUnitario.text));
        if (const auto d = optionalAmount(c, "Descuento"); d && d->value > importe.value)
            refuse("CFDI40169", QStringLiteral("Concepto %1: el Descuento %2 es mayor que el Importe %3")
                                        .arg(line)
                                        .arg(d->text, importe.text));

        for (const xmlNode *t : traslados(c)) {
            const TaxKey key = taxKey(t);
            const Amount base = requiredAmount(t, "Base");
            const auto tasa = optionalAmount(t, "TasaOCuota");
            const auto tax = optionalAmount(t, "Importe");
            if (!(base.value > ExactDecimal()))
                refuse("CFDI40174", QStringLiteral("Concepto %1: la Base %2 del traslado %3 debe ser mayor que cero")
                                        .arg(line)
                                        .arg(base.text, describe(key)));
            if (key.tipoFactor == u"Exento") {
                if (tasa || tax)
                    refuse("CFDI40177",
                           QStringLiteral("Concepto %1: un traslado exento no lleva TasaOCuota ni Importe").arg(line));
            } else if (!tasa || !tax) {
                refuse("CFDI40178", QStringLiteral("Concepto %1: el traslado %2 requiere TasaOCuota e Importe")
                                           .arg(line)
                                           .arg(describe(key)));
            } else if (!isCataloguedTasaOCuota(key.impuesto, key.tipoFactor, tasa->value)) {
                refuse("CFDI40179", QStringLiteral("Concepto %1: la TasaOCuota %2 no está en el catálogo c_TasaOCuota "
                                                   "para el impuesto %3 con factor %4")
                                        .arg(line)
                                        .arg(tasa->text, key.impuesto, key.tipoFactor));
            } else if (!withinProductLimits(base, *tasa, *tax, true)) {
                refuse("CFDI40180",
                       QStringLiteral("Concepto %1: el Importe %2 del traslado %3 no corresponde a la Base %4")
                           .arg(line)
                           .arg(tax->text, describe(key), base.text));
            }
            auto sum =
                std::find_if(lineTaxes.begin(), lineTaxes.end(), [&key](const TaxSum &s) { return s.key == key; });
            if (sum == lineTaxes.end())
                sum = lineTaxes.insert(lineTaxes.end(), TaxSum{key, {}, {}});
            sum->base += base.value;
            if (tax)
                sum->importe += tax->value;
        }
    }

    // Returns TotalImpuestosTrasladados once every document traslado matches the conceptos.
    ExactDecimal checkDocumentTaxes(const QList<TaxSum> &lineTaxes)
    {
        const xmlNode *impuestos = firstChildElement(m_root, kCfdiNamespace, "Impuestos");
        QList<TaxKey> seen;
        ExactDecimal sumImportes;
        bool anyImporte = false;
        for (const xmlNode *t : traslados(m_root)) {
            const TaxKey key = taxKey(t);
            const auto line =
                std::find_if(lineTaxes.begin(), lineTaxes.end(), [&key](const TaxSum &s) { return s.key == key; });
            if (seen.contains(key))
                refuse("CFDI40218", QStringLiteral("El traslado %1 aparece más de una vez en el comprobante")
                                        .arg(describe(key)));
            if (line == lineTaxes.end())
                refuse(
                    "CFDI40215",
                    QStringLiteral("El traslado %1 del comprobante no corresponde a los conceptos").arg(describe(key)));
            seen.append(key);
            const Amount base = documentAmount(t, "Base", "CFDI40214");
            if (base.value != line->base.roundedHalfAway(m_decimals))
                refuse("CFDI40215",
                       QStringLiteral("La Base %1 del traslado %2 no es la suma de las bases de los conceptos (%3)")
                           .arg(base.text, describe(key), line->base.toFixed(m_decimals)));
            if (const auto importe = optionalDocumentAmount(t, "Importe", "CFDI40220")) {
                if (importe->value != line->importe.roundedHalfAway(m_decimals))
                    refuse("CFDI40221",
                           QStringLiteral("El Importe %1 del traslado %2 no es la suma de los conceptos (%3)")
                               .arg(importe->text, describe(key), line->importe.toFixed(m_decimals)));
                sumImportes += importe->value;
                anyImporte = true;
            }
        }
        if (seen.size() != lineTaxes.size())
            refuse("CFDI40216", QStringLiteral("El comprobante no resume todos los traslados de sus conceptos"));
        const auto total = impuestos ? optionalDocumentAmount(impuestos, "TotalImpuestosTrasladados", "CFDI40204")
                                     : std::nullopt;
        if (anyImporte && !total)
            refuse("CFDI40212", QStringLiteral("El comprobante traslada impuestos y no registra TotalImpuestosTrasladados"));
        if (anyImporte != total.has_value() || (total && total->value != sumImportes))
            refuse("CFDI40205",
                   QStringLiteral("TotalImpuestosTrasladados %1 no es la suma de los traslados (%2)")
                       .arg(total ? total->text : QStringLiteral("ausente"), sumImportes.toFixed(m_decimals)));
        return sumImportes;
    }

    // The receptor that names no taxpayer, and the global invoice to the public.
    void checkInformacionGlobal()
    {
        const xmlNode *receptor = firstChildElement(m_root, kCfdiNamespace, "Receptor");
        const xmlNode *emisor = firstChildElement(m_root, kCfdiNamespace, "Emisor");
        const xmlNode *global = firstChildElement(m_root, kCfdiNamespace, "InformacionGlobal");
        const QString rfc = attributeOrEmpty(receptor, "Rfc");
        const bool publico = rfc == QStringView(kPublicoEnGeneralRfc);
        const bool publicoEnGeneral = publico && attributeOrEmpty(receptor, "Nombre") == u"PUBLICO EN GENERAL";
        if (isGenericRfc(rfc)) {
            if (attributeOrEmpty(receptor, "DomicilioFiscalReceptor") != attributeOrEmpty(m_root, "LugarExpedicion"))
                refuse("CFDI40149", QStringLiteral("Con el RFC genérico %1 el DomicilioFiscalReceptor debe ser el "
                                                   "LugarExpedicion")
                                        .arg(rfc));
            if (attributeOrEmpty(receptor, "RegimenFiscalReceptor") != u"616")
                refuse("CFDI40158",
                       QStringLiteral("Con el RFC genérico %1 el RegimenFiscalReceptor debe ser 616").arg(rfc));
            if (attributeOrEmpty(receptor, "UsoCFDI") != u"S01")
                refuse("CFDI40161", QStringLiteral("Con el RFC genérico %1 el UsoCFDI debe ser S01").arg(rfc));
        }
        if (publicoEnGeneral && !global)
            refuse("SBX-GLOBAL", QStringLiteral("La factura al público en general requiere el nodo InformacionGlobal"));
        if (!global)
            return;
        if (!publico)
            refuse("CFDI40146",
                   QStringLiteral("InformacionGlobal solo se registra cuando el receptor es XAXX010101000"));
        if (!publicoEnGeneral)
            refuse("CFDI40130", QStringLiteral("En la factura global el Nombre del receptor es PUBLICO EN GENERAL"));
        if (attributeOrEmpty(m_root, "FormaPago") == u"99")
            refuse("SBX-GLOBAL", QStringLiteral("La factura global registra la forma de pago de sus operaciones; no "
                                                "admite 99 (por definir)"));
        const QString periodicidad = attributeOrEmpty(global, "Periodicidad");
        const int meses = attributeOrEmpty(global, "Meses").toInt();
        if (periodicidad == u"05" && attributeOrEmpty(emisor, "RegimenFiscal") != u"621")
            refuse("CFDI40132", QStringLiteral("La periodicidad bimestral solo aplica al régimen 621"));
        if (periodicidad == u"05" && !(meses >= 13 && meses <= 18))
            refuse("CFDI40135", QStringLiteral("Con periodicidad bimestral los Meses van de 13 a 18, no %1").arg(meses));
        if (periodicidad != u"05" && !(meses >= 1 && meses <= 12))
            refuse("CFDI40134",
                   QStringLiteral("Con periodicidad %1 los Meses van de 01 a 12, no %2").arg(periodicidad).arg(meses));
        const int anio = attributeOrEmpty(global, "Año").toInt();
        const int fechaYear = attributeOrEmpty(m_root, "Fecha").left(4).toInt();
        if (anio != fechaYear && anio != fechaYear - 1)
            refuse("CFDI40136", QStringLiteral("El Año %1 de InformacionGlobal no es el de la Fecha (%2) ni el anterior")
                                    .arg(anio)
                                    .arg(fechaYear));
        int line = 0;
        for (const xmlNode *cs : childElements(m_root, kCfdiNamespace, "Conceptos")) {
            for (const xmlNode *c : childElements(cs, kCfdiNamespace, "Concepto")) {
                ++line;
                if (attributeOrEmpty(c, "ClaveProdServ") != u"01010101")
                    refuse("CFDI40162",
                           QStringLiteral("Concepto %1: en la factura global la ClaveProdServ es 01010101").arg(line));
                if (attributeOrEmpty(c, "ClaveUnidad") != u"ACT")
                    refuse("CFDI40165",
                           QStringLiteral("Concepto %1: en la factura global la ClaveUnidad es ACT").arg(line));
                if (attributeOrEmpty(c, "Descripcion") != u"Venta")
                    refuse("SBX-GLOBAL",
                           QStringLiteral("Concepto %1: en la factura global la Descripcion es \"Venta\"").arg(line));
            }
        }
    }

    const xmlNode *m_root;
    QString m_moneda;
    int m_decimals;
};

} // namespace

std::optional<PacRefusal> findAnexo20Fault(const QByteArray &comprobanteXml)
{
    try {
        return findAnexo20Fault(XmlDocument::parse(comprobanteXml));
    } catch (const Error &error) {
        return PacRefusal{QStringLiteral("301"), error.description()};
    }
}

std::optional<PacRefusal> findAnexo20Fault(const XmlDocument &document)
{
    try {
        if (!isElement(document.root(), kCfdiNamespace, "Comprobante"))
            return PacRefusal{QStringLiteral("301"), QStringLiteral("El documento no es un comprobante CFDI 4.0")};
        Checker(document.root()).run();
        return std::nullopt;
    } catch (const Fault &fault) {
        return fault.refusal;
    } catch (const Error &error) {
        return PacRefusal{QStringLiteral("301"), error.description()};
    }
}

} // namespace zentaro::cfdi
