#include "platform/cfdi/ComprobanteTotals.h"

#include "platform/cfdi/AmountText.h"
#include "platform/cfdi/ExactDecimal.h"
#include "platform/core/Error.h"

namespace zentaro::cfdi {

namespace {

ExactDecimal amount(const QString &text, const QString &what)
{
    const auto value = ExactDecimal::parse(text);
    if (!value)
        throw Error(QStringLiteral("El %1 \"%2\" no es un importe válido").arg(what, text));
    return *value;
}

struct TaxGroup
{
    Traslado key;
    ExactDecimal base;
    ExactDecimal importe;
};

} // namespace

void computeTotals(Comprobante &c)
{
    const int decimals = currencyDecimals(c.moneda);
    ExactDecimal subTotal;
    ExactDecimal descuento;
    bool anyDiscount = false;
    QList<TaxGroup> groups;
    for (const Concepto &concepto : std::as_const(c.conceptos)) {
        subTotal += amount(concepto.importe, QStringLiteral("importe"));
        if (!concepto.descuento.isEmpty()) {
            descuento += amount(concepto.descuento, QStringLiteral("descuento"));
            anyDiscount = true;
        }
        for (const Traslado &t : concepto.traslados) {
            auto group = std::find_if(groups.begin(), groups.end(), [&t](const TaxGroup &g) {
                return g.key.impuesto == t.impuesto && g.key.tipoFactor == t.tipoFactor &&
                       g.key.tasaOCuota == t.tasaOCuota;
            });
            if (group == groups.end())
                group = groups.insert(groups.end(), TaxGroup{t, {}, {}});
            group->base += amount(t.base, QStringLiteral("base"));
            if (!t.importe.isEmpty())
                group->importe += amount(t.importe, QStringLiteral("impuesto"));
        }
    }

    c.subTotal = subTotal.toFixed(decimals);
    c.descuento = anyDiscount ? descuento.toFixed(decimals) : QString();
    ExactDecimal total = amount(c.subTotal, {}) - (anyDiscount ? amount(c.descuento, {}) : ExactDecimal());

    c.impuestos.reset();
    if (!groups.isEmpty()) {
        ImpuestosDocumento impuestos;
        ExactDecimal trasladados;
        bool anyRate = false;
        for (const TaxGroup &g : std::as_const(groups)) {
            Traslado t = g.key;
            t.base = g.base.toFixed(decimals);
            if (t.tipoFactor != u"Exento") {
                t.importe = g.importe.toFixed(decimals);
                trasladados += amount(t.importe, {});
                anyRate = true;
            }
            impuestos.traslados.append(t);
        }
        if (anyRate)
            impuestos.totalImpuestosTrasladados = trasladados.toFixed(decimals);
        total += trasladados;
        c.impuestos = impuestos;
    }
    c.total = total.toFixed(decimals);
}

} // namespace zentaro::cfdi
