#include "platform/components/printing/InvoicePdfParts.h"

#include "platform/components/printing/SatCatalogText.h"

#include <QPainter>

namespace zentaro::invoicepdf {

namespace {

struct Column
{
    const char16_t *title;
    double width;
    bool right;
};

const Column kColumns[] = {{u"#", 28, true},           {u"Nota", 70, false},        {u"Clave SAT", 44, false},
                           {u"Unidad", 30, false},     {u"Cant.", 24, true},        {u"Descripción", 74, false},
                           {u"Valor unitario", 62, true}, {u"Descuento", 52, true}, {u"Impuestos", 104, false},
                           {u"Importe", 52, true}};
constexpr int kTaxesColumn = 8;

QString rateText(const Decimal &rate) { return (rate * Decimal::fromInt(100)).toString() + u'%'; }

QString trasladoLine(const cfdi::Traslado &traslado)
{
    const QString described = satDescription(SatCatalog::Impuesto, traslado.impuesto);
    const QString name = described.isEmpty() ? traslado.impuesto : described;
    if (traslado.tipoFactor == QLatin1String("Exento"))
        return QStringLiteral("%1 exento").arg(name);
    const QString rate = traslado.tipoFactor == QLatin1String("Tasa")
                             ? rateText(Decimal::parse(traslado.tasaOCuota).value_or(Decimal()))
                             : traslado.tasaOCuota;
    return QStringLiteral("%1 %2: %3").arg(name, rate, money(traslado.importe));
}

} // namespace

LinesTable::LinesTable(const InvoicePrintout &p, Canvas &canvas) : m_c(canvas)
{
    static_assert(sizeof(kColumns) / sizeof(kColumns[0]) == kColumnCount);
    const QList<cfdi::Concepto> &conceptos = p.comprobante.conceptos;
    const int decimals = p.invoice.decimals();
    const QFontMetricsF &metrics = m_c.bodyMetrics();
    m_rows.resize(size_t(conceptos.size()));
    const double descriptionWidth = kColumns[5].width - 4;
    for (qsizetype i = 0; i < conceptos.size(); ++i) {
        const cfdi::Concepto &concepto = conceptos.at(i);
        Row &row = m_rows[size_t(i)];
        row.cells[0] = QString::number(i + 1);
        row.cells[1] = concepto.noIdentificacion;
        row.cells[2] = concepto.claveProdServ;
        row.cells[3] = concepto.claveUnidad;
        row.cells[4] = concepto.cantidad;
        row.cells[5] = concepto.descripcion;
        if (Canvas::advance(metrics, row.cells[5]) > descriptionWidth)
            row.cells[5] = metrics.elidedText(row.cells[5], Qt::ElideRight, descriptionWidth);
        row.cells[6] = money(concepto.valorUnitario);
        row.cells[7] = concepto.descuento.isEmpty() ? QString() : money(concepto.descuento);
        const Decimal net = Decimal::parse(concepto.importe).value_or(Decimal()) -
                            Decimal::parse(concepto.descuento).value_or(Decimal());
        row.cells[9] = money(net, decimals);
        for (const cfdi::Traslado &traslado : concepto.traslados)
            row.taxes << trasladoLine(traslado);
        if (row.taxes.isEmpty())
            row.taxes << QStringLiteral("No objeto de impuesto");
        row.height = kLineHeight * double(row.taxes.size());
    }
}

void LinesTable::drawHeader(double y)
{
    m_c.painter().fillRect(QRectF(0, y, m_c.width(), kTableHeaderHeight - 3), kShade);
    m_c.setFont(m_c.bold);
    double x = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        const Column &column = kColumns[c];
        const QString title = QString::fromUtf16(column.title);
        if (column.right)
            m_c.textRight(x + column.width - 2, y + 8, title, m_c.bold);
        else
            m_c.text(x + (c == kTaxesColumn ? 8 : 2), y + 8, title);
        x += column.width;
    }
    m_c.setFont(m_c.body);
}

void LinesTable::drawRow(int index, double y)
{
    const Row &row = m_rows[size_t(index)];
    const double baseline = y + 7;
    double x = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        const Column &column = kColumns[c];
        if (c == kTaxesColumn) {
            double line = baseline;
            for (const QString &tax : row.taxes) {
                m_c.text(x + 8, line, tax);
                line += kLineHeight;
            }
        } else if (!row.cells[c].isEmpty()) {
            if (column.right)
                m_c.painter().drawText(
                    QPointF(x + column.width - 2 - Canvas::advance(m_c.bodyMetrics(), row.cells[c]), baseline), row.cells[c]);
            else
                m_c.text(x + 2, baseline, row.cells[c]);
        }
        x += column.width;
    }
}

} // namespace zentaro::invoicepdf
