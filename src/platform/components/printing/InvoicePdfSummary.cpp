#include "platform/components/printing/InvoicePdfParts.h"

#include "platform/components/printing/AmountInWords.h"
#include "platform/components/printing/SatCatalogText.h"

#include <algorithm>

namespace zentaro::invoicepdf {

namespace {

constexpr double kLeftWidth = 330;

} // namespace

QStringList SummaryBlock::totalLines(QStringList *labels) const
{
    const cfdi::Comprobante &c = m_p.comprobante;
    QStringList values;
    *labels << QStringLiteral("Subtotal");
    values << money(c.subTotal);
    if (!c.descuento.isEmpty()) {
        *labels << QStringLiteral("Descuento");
        values << money(c.descuento);
    }
    if (c.impuestos && !c.impuestos->totalImpuestosTrasladados.isEmpty()) {
        *labels << QStringLiteral("Impuestos trasladados");
        values << money(c.impuestos->totalImpuestosTrasladados);
    }
    *labels << QStringLiteral("Total");
    values << money(c.total);
    return values;
}

QString SummaryBlock::amountWords() const
{
    return amountInWords(Decimal::parse(m_p.comprobante.total).value_or(Decimal()), m_p.comprobante.moneda);
}

double SummaryBlock::height() const
{
    const int taxes = m_p.comprobante.impuestos ? int(m_p.comprobante.impuestos->traslados.size()) : 0;
    QStringList labels;
    const int totals = int(totalLines(&labels).size());
    const double left = 11 + 12 + kLineHeight * taxes + 14 + Canvas::wrappedHeight(kLeftWidth, amountWords(), m_c.bodyMetrics());
    const double right = 11 + 12 + kLineHeight * totals;
    return std::max(left, right);
}

void SummaryBlock::draw(double y)
{
    const cfdi::Comprobante &c = m_p.comprobante;
    m_c.boxTitle(0, y, kLeftWidth, QStringLiteral("IMPUESTOS TRASLADADOS"));
    const double cols[] = {0, 60, 120, 190, 260, 330};
    double line = y + 20;
    m_c.setFont(m_c.bold);
    m_c.text(3, line, QStringLiteral("Impuesto"));
    m_c.text(cols[1] + 3, line, QStringLiteral("Tipo factor"));
    m_c.text(cols[2] + 3, line, QStringLiteral("Tasa o cuota"));
    m_c.textRight(cols[4] - 3, line, QStringLiteral("Base"), m_c.bold);
    m_c.textRight(cols[5] - 3, line, QStringLiteral("Importe"), m_c.bold);
    m_c.setFont(m_c.body);
    line += kLineHeight;
    if (c.impuestos) {
        for (const cfdi::Traslado &t : c.impuestos->traslados) {
            m_c.text(3, line, satKeyText(SatCatalog::Impuesto, t.impuesto));
            m_c.text(cols[1] + 3, line, t.tipoFactor);
            m_c.text(cols[2] + 3, line, t.tasaOCuota);
            m_c.textRight(cols[4] - 3, line, money(t.base), m_c.body);
            m_c.textRight(cols[5] - 3, line, t.importe.isEmpty() ? QStringLiteral("-") : money(t.importe), m_c.body);
            line += kLineHeight;
        }
    }
    line += 5;
    m_c.setFont(m_c.bold);
    m_c.text(3, line, QStringLiteral("Importe con letra:"));
    m_c.wrapped(3, line + 2, kLeftWidth - 6, amountWords(), m_c.body);

    const double x = kLeftWidth + 20;
    const double width = m_c.width() - x;
    m_c.boxTitle(x, y, width, QStringLiteral("TOTALES (%1)").arg(c.moneda));
    QStringList labels;
    const QStringList values = totalLines(&labels);
    line = y + 20;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        const bool total = i == labels.size() - 1;
        const QFont &f = total ? m_c.name : m_c.body;
        m_c.setFont(f);
        m_c.text(x + 3, line + (total ? 3 : 0), labels.at(i));
        m_c.textRight(m_c.width() - 3, line + (total ? 3 : 0), QStringLiteral("$ ") + values.at(i), f);
        line += kLineHeight;
    }
    m_c.setFont(m_c.body);
}

} // namespace zentaro::invoicepdf
