#include "platform/components/printing/InvoicePdfParts.h"

#include "platform/components/printing/SatCatalogText.h"

namespace zentaro::invoicepdf {

void PartiesBlock::draw(double y)
{
    const cfdi::Comprobante &c = m_p.comprobante;
    const double half = (m_c.width() - 10) / 2;
    m_c.boxTitle(0, y, half, QStringLiteral("RECEPTOR"));
    double line = y + 20;
    const QStringList receiver = {
        c.receptor.nombre,
        QStringLiteral("RFC: %1").arg(c.receptor.rfc),
        QStringLiteral("Régimen fiscal: %1").arg(satKeyText(SatCatalog::RegimenFiscal, c.receptor.regimenFiscalReceptor)),
        QStringLiteral("Uso del CFDI: %1").arg(satKeyText(SatCatalog::UsoCfdi, c.receptor.usoCfdi)),
        QStringLiteral("Domicilio fiscal: C.P. %1").arg(c.receptor.domicilioFiscalReceptor),
        QStringLiteral("Cliente: %1").arg(m_p.invoice.customer.key)};
    for (const QString &s : receiver) {
        m_c.text(3, line, s);
        line += kLineHeight;
    }

    const double x = half + 10;
    m_c.boxTitle(x, y, half, QStringLiteral("COMPROBANTE"));
    QStringList data = {
        QStringLiteral("Tipo: %1    Exportación: %2")
            .arg(satKeyText(SatCatalog::TipoDeComprobante, c.tipoDeComprobante),
                 satKeyText(SatCatalog::Exportacion, c.exportacion)),
        c.tipoCambio.isEmpty() ? QStringLiteral("Moneda: %1").arg(c.moneda)
                               : QStringLiteral("Moneda: %1    Tipo de cambio: %2").arg(c.moneda, c.tipoCambio),
        QStringLiteral("Forma de pago: %1").arg(satKeyText(SatCatalog::FormaPago, c.formaPago)),
        QStringLiteral("Método de pago: %1").arg(satKeyText(SatCatalog::MetodoPago, c.metodoPago))};
    for (const cfdi::CfdiRelacionados &related : c.cfdiRelacionados)
        for (const QString &uuid : related.uuids)
            data << QStringLiteral("CFDI relacionado (%1): %2").arg(related.tipoRelacion, uuid);
    if (c.informacionGlobal) {
        data << QStringLiteral("Información global: periodicidad %1")
                    .arg(satKeyText(SatCatalog::Periodicidad, c.informacionGlobal->periodicidad))
             << QStringLiteral("Meses: %1    Año: %2")
                    .arg(satKeyText(SatCatalog::Meses, c.informacionGlobal->meses), c.informacionGlobal->anio);
    }
    line = y + 20;
    for (const QString &s : data) {
        m_c.text(x + 3, line, s);
        line += kLineHeight;
    }
}

} // namespace zentaro::invoicepdf
