#include "platform/components/InvoicePdf.h"

#include "platform/cfdi/VerificationQr.h"
#include "platform/components/AmountInWords.h"
#include "platform/components/SatCatalogText.h"
#include "platform/core/Error.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <atomic>
#include <vector>

namespace zentaro {

namespace {

// Everything below is measured in points and converted to the device's units once, so the
// same layout prints on a 1200 dpi printer and in a 300 dpi PDF.
constexpr double kPageHeaderHeight = 62;
constexpr double kPartiesHeight = 84;
constexpr double kTableHeaderHeight = 14;
constexpr double kFooterHeight = 18;
constexpr double kLineHeight = 9;
constexpr double kQrSize = 96;
constexpr int kPdfResolution = 300;

const QColor kInk(25, 25, 25);
const QColor kRule(150, 150, 150);
const QColor kShade(232, 236, 242);
const QColor kWatermark(200, 30, 30, 70);
const QColor kCancelledInk(190, 20, 20, 170);

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
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));

// "1234567.5" -> "1,234,567.50"
QString money(const QString &plain)
{
    QString text = plain;
    const qsizetype point = text.indexOf(u'.');
    qsizetype end = point < 0 ? text.size() : point;
    const qsizetype start = text.startsWith(u'-') ? 1 : 0;
    for (qsizetype i = end - 3; i > start; i -= 3)
        text.insert(i, u',');
    return text;
}

QString money(const Decimal &amount, int decimals) { return money(amount.toFixed(decimals)); }

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

struct Page
{
    int firstRow = 0;
    int endRow = 0;
    bool tableHeader = false;
    bool summary = false;
    bool stamp = false;
    double summaryTop = 0;
    double stampTop = 0;
};

class Renderer
{
public:
    Renderer(const InvoicePrintout &p, QPagedPaintDevice &device, QPainter &painter)
        : m_p(p), m_device(device), m_painter(painter), m_unit(device.logicalDpiY() / 72.0),
          m_width(device.width() / m_unit), m_height(device.height() / m_unit),
          m_decimals(p.invoice.decimals())
    {
        m_body = font(7);
        m_bold = font(7, true);
        m_small = font(6);
        m_title = font(12, true);
        m_name = font(10, true);
        m_seal = font(5.5);
        m_bodyMetrics = std::make_unique<QFontMetricsF>(m_body, &m_device);
        m_sealMetrics = std::make_unique<QFontMetricsF>(m_seal, &m_device);
        prepareRows();
    }

    std::vector<Page> layout()
    {
        std::vector<Page> pages;
        const double bottom = m_height - kFooterHeight;
        Page page;
        page.tableHeader = true;
        double y = kPageHeaderHeight + kPartiesHeight + kTableHeaderHeight;
        for (int row = 0; row < int(m_rows.size()); ++row) {
            const double h = m_rows[row].height;
            if (y + h > bottom && row > page.firstRow) {
                page.endRow = row;
                pages.push_back(page);
                page = Page{row, row, true, false, false, 0, 0};
                y = kPageHeaderHeight + kTableHeaderHeight;
            }
            y += h;
        }
        page.endRow = int(m_rows.size());
        y += 8;
        const double summaryHeight = this->summaryHeight();
        if (y + summaryHeight > bottom) {
            pages.push_back(page);
            page = Page{page.endRow, page.endRow, false, false, false, 0, 0};
            y = kPageHeaderHeight;
        }
        page.summary = true;
        page.summaryTop = y;
        y += summaryHeight + 8;
        const double stampHeight = this->stampHeight();
        if (y + stampHeight > bottom) {
            pages.push_back(page);
            page = Page{page.endRow, page.endRow, false, false, false, 0, 0};
            y = kPageHeaderHeight;
        }
        page.stamp = true;
        page.stampTop = y;
        pages.push_back(page);
        return pages;
    }

    void drawPage(const Page &page, int number, int count)
    {
        m_painter.save();
        m_painter.scale(m_unit, m_unit);
        drawPageHeader();
        double y = kPageHeaderHeight;
        if (number == 1) {
            drawParties(y);
            y += kPartiesHeight;
        }
        if (page.tableHeader) {
            drawTableHeader(y);
            y += kTableHeaderHeight;
            for (int row = page.firstRow; row < page.endRow; ++row) {
                drawRow(row, y);
                y += m_rows[row].height;
            }
        }
        if (page.summary)
            drawSummary(page.summaryTop);
        if (page.stamp)
            drawStamp(page.stampTop);
        drawFooter(number, count);
        if (!m_p.stamped())
            drawWatermark();
        if (m_p.invoice.isCancelled())
            drawCancelledMark();
        m_painter.restore();
    }

private:
    struct Row
    {
        QString cells[kColumnCount];
        QStringList taxes;
        double height = kLineHeight;
    };

    // The painter is scaled to points, and a font's point size is turned into device
    // pixels before that scale applies: dividing by the scale keeps a 7 pt font 7 pt tall
    // and makes every metric come out in points. Without hinting the advances are the
    // font's own, fractional, so the PDF and the printer measure alike.
    QFont font(double points, bool bold = false) const
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setStyleHint(QFont::SansSerif);
        f.setHintingPreference(QFont::PreferNoHinting);
        // Without shaping there are no "fi" ligatures: a customer who copies "fiscal" or a
        // seal out of the PDF gets the letters that were printed. It is also faster.
        f.setStyleStrategy(QFont::PreferNoShaping);
        f.setPointSizeF(points / m_unit);
        f.setBold(bold);
        return f;
    }

    void setFont(const QFont &f) { m_painter.setFont(f); }
    // Metrics in points.
    double advance(const QFontMetricsF &m, const QString &text) const { return m.horizontalAdvance(text); }

    void text(double x, double baseline, const QString &s) { m_painter.drawText(QPointF(x, baseline), s); }
    void textRight(double right, double baseline, const QString &s, const QFont &f)
    {
        const QFontMetricsF m(f, &m_device);
        m_painter.drawText(QPointF(right - advance(m, s), baseline), s);
    }
    // Draws wrapped text in a box of `width` points and gives the height it took.
    double wrapped(double x, double y, double width, const QString &s, const QFont &f)
    {
        setFont(f);
        const QRectF box(x, y, width, 10000);
        QRectF used;
        m_painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, s, &used);
        return used.height();
    }
    double wrappedHeight(double width, const QString &s, const QFontMetricsF &m) const
    {
        const QRectF r = m.boundingRect(QRectF(0, 0, width, 1e7), Qt::AlignLeft | Qt::TextWrapAnywhere, s);
        return r.height();
    }

    // One row per concepto of the comprobante: for a stamped invoice, exactly what the
    // stamped XML says, which is what has fiscal effect.
    void prepareRows()
    {
        const QList<cfdi::Concepto> &conceptos = m_p.comprobante.conceptos;
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
            if (advance(*m_bodyMetrics, row.cells[5]) > descriptionWidth)
                row.cells[5] = m_bodyMetrics->elidedText(row.cells[5], Qt::ElideRight, descriptionWidth);
            row.cells[6] = money(concepto.valorUnitario);
            row.cells[7] = concepto.descuento.isEmpty() ? QString() : money(concepto.descuento);
            const Decimal net = Decimal::parse(concepto.importe).value_or(Decimal()) -
                                Decimal::parse(concepto.descuento).value_or(Decimal());
            row.cells[9] = money(net, m_decimals);
            for (const cfdi::Traslado &traslado : concepto.traslados)
                row.taxes << trasladoLine(traslado);
            if (row.taxes.isEmpty())
                row.taxes << QStringLiteral("No objeto de impuesto");
            row.height = kLineHeight * double(row.taxes.size());
        }
    }

    void drawPageHeader()
    {
        const cfdi::Comprobante &c = m_p.comprobante;
        m_painter.setPen(kInk);
        setFont(m_name);
        text(0, 11, c.emisor.nombre);
        setFont(m_body);
        text(0, 24, QStringLiteral("RFC: %1").arg(c.emisor.rfc));
        text(0, 33, QStringLiteral("Régimen fiscal: %1").arg(satKeyText(SatCatalog::RegimenFiscal, c.emisor.regimenFiscal)));
        text(0, 42, QStringLiteral("Lugar de expedición: %1").arg(c.lugarExpedicion));
        text(0, 51, QStringLiteral("Sucursal: %1 %2").arg(m_p.invoice.branch, m_p.invoice.branchName));

        const double right = m_width;
        textRight(right, 12, QStringLiteral("FACTURA"), m_title);
        setFont(m_body);
        textRight(right, 24, QStringLiteral("Serie y folio: %1 %2   (%3)").arg(c.serie, c.folio, m_p.invoice.folio), m_body);
        textRight(right, 33, QStringLiteral("Fecha de emisión: %1").arg(c.fecha), m_body);
        textRight(right, 42,
                  m_p.stamped() ? QStringLiteral("Folio fiscal: %1").arg(m_p.timbre->uuid)
                                : QStringLiteral("Folio fiscal: sin timbrar"),
                  m_bold);
        setFont(m_body);
        m_painter.setPen(QPen(kRule, 0.8));
        m_painter.drawLine(QPointF(0, kPageHeaderHeight - 6), QPointF(m_width, kPageHeaderHeight - 6));
        m_painter.setPen(kInk);
    }

    void drawBoxTitle(double x, double y, double width, const QString &title)
    {
        m_painter.fillRect(QRectF(x, y, width, 11), kShade);
        setFont(m_bold);
        text(x + 3, y + 8, title);
        setFont(m_body);
    }

    void drawParties(double y)
    {
        const cfdi::Comprobante &c = m_p.comprobante;
        const double half = (m_width - 10) / 2;
        drawBoxTitle(0, y, half, QStringLiteral("RECEPTOR"));
        double line = y + 20;
        const QStringList receiver = {
            c.receptor.nombre,
            QStringLiteral("RFC: %1").arg(c.receptor.rfc),
            QStringLiteral("Régimen fiscal: %1").arg(satKeyText(SatCatalog::RegimenFiscal, c.receptor.regimenFiscalReceptor)),
            QStringLiteral("Uso del CFDI: %1").arg(satKeyText(SatCatalog::UsoCfdi, c.receptor.usoCfdi)),
            QStringLiteral("Domicilio fiscal: C.P. %1").arg(c.receptor.domicilioFiscalReceptor),
            QStringLiteral("Cliente: %1").arg(m_p.invoice.customer.key)};
        for (const QString &s : receiver) {
            text(3, line, s);
            line += kLineHeight;
        }

        const double x = half + 10;
        drawBoxTitle(x, y, half, QStringLiteral("COMPROBANTE"));
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
            text(x + 3, line, s);
            line += kLineHeight;
        }
    }

    void drawTableHeader(double y)
    {
        m_painter.fillRect(QRectF(0, y, m_width, kTableHeaderHeight - 3), kShade);
        setFont(m_bold);
        double x = 0;
        for (int c = 0; c < kColumnCount; ++c) {
            const Column &column = kColumns[c];
            const QString title = QString::fromUtf16(column.title);
            if (column.right)
                textRight(x + column.width - 2, y + 8, title, m_bold);
            else
                text(x + (c == 8 ? 8 : 2), y + 8, title);
            x += column.width;
        }
        setFont(m_body);
    }

    void drawRow(int index, double y)
    {
        const Row &row = m_rows[size_t(index)];
        const double baseline = y + 7;
        double x = 0;
        for (int c = 0; c < kColumnCount; ++c) {
            const Column &column = kColumns[c];
            if (c == 8) {
                double line = baseline;
                for (const QString &tax : row.taxes) {
                    text(x + 8, line, tax);
                    line += kLineHeight;
                }
            } else if (!row.cells[c].isEmpty()) {
                if (column.right)
                    m_painter.drawText(QPointF(x + column.width - 2 - advance(*m_bodyMetrics, row.cells[c]), baseline),
                                       row.cells[c]);
                else
                    text(x + 2, baseline, row.cells[c]);
            }
            x += column.width;
        }
    }

    QStringList totalLines(QStringList *labels) const
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

    QString amountWords() const
    {
        return amountInWords(Decimal::parse(m_p.comprobante.total).value_or(Decimal()), m_p.comprobante.moneda);
    }

    double summaryHeight() const
    {
        const int taxes = m_p.comprobante.impuestos ? int(m_p.comprobante.impuestos->traslados.size()) : 0;
        QStringList labels;
        const int totals = int(totalLines(&labels).size());
        const double left = 11 + 12 + kLineHeight * taxes + 14 + wrappedHeight(330, amountWords(), *m_bodyMetrics);
        const double right = 11 + 12 + kLineHeight * totals;
        return std::max(left, right);
    }

    void drawSummary(double y)
    {
        const cfdi::Comprobante &c = m_p.comprobante;
        const double leftWidth = 330;
        drawBoxTitle(0, y, leftWidth, QStringLiteral("IMPUESTOS TRASLADADOS"));
        const double cols[] = {0, 60, 120, 190, 260, 330};
        double line = y + 20;
        setFont(m_bold);
        text(3, line, QStringLiteral("Impuesto"));
        text(cols[1] + 3, line, QStringLiteral("Tipo factor"));
        text(cols[2] + 3, line, QStringLiteral("Tasa o cuota"));
        textRight(cols[4] - 3, line, QStringLiteral("Base"), m_bold);
        textRight(cols[5] - 3, line, QStringLiteral("Importe"), m_bold);
        setFont(m_body);
        line += kLineHeight;
        if (c.impuestos) {
            for (const cfdi::Traslado &t : c.impuestos->traslados) {
                text(3, line, satKeyText(SatCatalog::Impuesto, t.impuesto));
                text(cols[1] + 3, line, t.tipoFactor);
                text(cols[2] + 3, line, t.tasaOCuota);
                textRight(cols[4] - 3, line, money(t.base), m_body);
                textRight(cols[5] - 3, line, t.importe.isEmpty() ? QStringLiteral("-") : money(t.importe), m_body);
                line += kLineHeight;
            }
        }
        line += 5;
        setFont(m_bold);
        text(3, line, QStringLiteral("Importe con letra:"));
        wrapped(3, line + 2, leftWidth - 6, amountWords(), m_body);

        const double x = leftWidth + 20;
        const double width = m_width - x;
        drawBoxTitle(x, y, width, QStringLiteral("TOTALES (%1)").arg(c.moneda));
        QStringList labels;
        const QStringList values = totalLines(&labels);
        line = y + 20;
        for (qsizetype i = 0; i < labels.size(); ++i) {
            const bool total = i == labels.size() - 1;
            const QFont &f = total ? m_name : m_body;
            setFont(f);
            text(x + 3, line + (total ? 3 : 0), labels.at(i));
            textRight(m_width - 3, line + (total ? 3 : 0), QStringLiteral("$ ") + values.at(i), f);
            line += kLineHeight;
        }
        setFont(m_body);
    }

    QStringList stampFacts() const
    {
        const cfdi::TimbreFiscalDigital &t = *m_p.timbre;
        return {QStringLiteral("Folio fiscal (UUID): %1").arg(t.uuid),
                QStringLiteral("No. de serie del certificado del emisor: %1").arg(m_p.comprobante.noCertificado),
                QStringLiteral("No. de serie del certificado del SAT: %1").arg(t.noCertificadoSat),
                QStringLiteral("Fecha y hora de certificación: %1").arg(t.fechaTimbrado),
                QStringLiteral("RFC del proveedor de certificación: %1").arg(t.rfcProvCertif),
                QStringLiteral("Este documento es una representación impresa de un CFDI versión 4.0")};
    }

    QList<QPair<QString, QString>> seals() const
    {
        return {{QStringLiteral("Sello digital del CFDI:"), m_p.comprobante.sello},
                {QStringLiteral("Sello digital del SAT:"), m_p.timbre->selloSat},
                {QStringLiteral("Cadena original del complemento de certificación digital del SAT:"), m_p.cadenaTimbre}};
    }

    double stampHeight() const
    {
        if (!m_p.stamped())
            return 24;
        const double textWidth = m_width - kQrSize - 10;
        double sealsHeight = 0;
        for (const auto &[title, value] : seals())
            sealsHeight += 9 + wrappedHeight(textWidth, value, *m_sealMetrics) + 3;
        return 11 + 4 + std::max(kQrSize, kLineHeight * 6 + 4 + sealsHeight);
    }

    void drawStamp(double y)
    {
        if (!m_p.stamped()) {
            drawBoxTitle(0, y, m_width, QStringLiteral("TIMBRE FISCAL DIGITAL"));
            setFont(m_bold);
            text(3, y + 20, QStringLiteral("Este comprobante no ha sido timbrado: no tiene validez fiscal."));
            setFont(m_body);
            return;
        }
        drawBoxTitle(0, y, m_width, QStringLiteral("TIMBRE FISCAL DIGITAL"));
        const double top = y + 15;
        drawQr(QRectF(0, top, kQrSize, kQrSize));
        const double x = kQrSize + 10;
        const double width = m_width - x;
        double line = top + 7;
        setFont(m_body);
        for (const QString &fact : stampFacts()) {
            text(x, line, fact);
            line += kLineHeight;
        }
        line += 4 - 7;
        for (const auto &[title, value] : seals()) {
            setFont(m_bold);
            text(x, line + 7, title);
            line += 9;
            line += wrapped(x, line, width, value, m_seal) + 3;
        }
        setFont(m_body);
    }

    void drawQr(const QRectF &area)
    {
        const cfdi::QrMatrix qr = cfdi::encodeQr(m_p.verificationUrl);
        // Four modules of quiet zone, as readers expect around the symbol.
        const int modules = qr.width + 8;
        const double module = area.width() / modules;
        m_painter.fillRect(area, Qt::white);
        for (int y = 0; y < qr.width; ++y) {
            // Runs of dark modules become one rectangle: fewer PDF operators and no
            // hairline gaps between neighbours in some viewers.
            int x = 0;
            while (x < qr.width) {
                if (!qr.dark(x, y)) {
                    ++x;
                    continue;
                }
                int end = x;
                while (end < qr.width && qr.dark(end, y))
                    ++end;
                m_painter.fillRect(QRectF(area.left() + (x + 4) * module, area.top() + (y + 4) * module,
                                          (end - x) * module, module),
                                   Qt::black);
                x = end;
            }
        }
    }

    void drawFooter(int number, int count)
    {
        const double y = m_height - kFooterHeight + 4;
        m_painter.setPen(QPen(kRule, 0.8));
        m_painter.drawLine(QPointF(0, y), QPointF(m_width, y));
        m_painter.setPen(kInk);
        setFont(m_small);
        text(0, y + 9,
             m_p.stamped() ? QStringLiteral("Este documento es una representación impresa de un CFDI")
                           : QStringLiteral("Documento sin timbrar: sin validez fiscal"));
        textRight(m_width, y + 9, QStringLiteral("Página %1 de %2").arg(number).arg(count), m_small);
        setFont(m_body);
    }

    void drawWatermark()
    {
        m_painter.save();
        m_painter.translate(m_width / 2, m_height / 2);
        m_painter.rotate(-std::atan2(m_height, m_width) * 180 / M_PI);
        QFont f = font(54, true);
        m_painter.setFont(f);
        m_painter.setPen(kWatermark);
        const QString mark = QStringLiteral("SIN VALIDEZ FISCAL");
        const QFontMetricsF m(f, &m_device);
        m_painter.drawText(QPointF(-advance(m, mark) / 2, m.ascent() / 3), mark);
        m_painter.restore();
    }

    // A reprint of a cancelled invoice must not pass for a valid one: a framed
    // "CANCELADA" across the top of every page.
    void drawCancelledMark()
    {
        m_painter.save();
        QFont f = font(40, true);
        m_painter.setFont(f);
        const QString mark = QStringLiteral("CANCELADA");
        const QFontMetricsF m(f, &m_device);
        const double width = advance(m, mark) + 2 * m.height() / 3;
        const QRectF box((m_width - width) / 2, m_height / 4, width, m.height() * 1.4);
        m_painter.translate(box.center());
        m_painter.rotate(-12);
        m_painter.translate(-box.center());
        m_painter.setPen(QPen(kCancelledInk, m.height() / 12));
        m_painter.drawRect(box);
        m_painter.drawText(box, Qt::AlignCenter, mark);
        m_painter.restore();
    }

    const InvoicePrintout &m_p;
    QPagedPaintDevice &m_device;
    QPainter &m_painter;
    double m_unit;
    double m_width;
    double m_height;
    int m_decimals;
    QFont m_body, m_bold, m_small, m_title, m_name, m_seal;
    std::unique_ptr<QFontMetricsF> m_bodyMetrics;
    std::unique_ptr<QFontMetricsF> m_sealMetrics;
    std::vector<Row> m_rows;
};

std::atomic<int> drawingsSoFar {0};

void setUpPdf(QPdfWriter &writer, const InvoicePrintout &p)
{
    writer.setResolution(kPdfResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(36, 36, 36, 36),
                                     QPageLayout::Point));
    writer.setTitle(QStringLiteral("Factura %1").arg(p.invoice.name));
    writer.setCreator(QStringLiteral("Zentaro"));
}

} // namespace

InvoicePdf::InvoicePdf(InvoicePrintout printout) : m_printout(std::move(printout)) {}

int InvoicePdf::drawings()
{
    return drawingsSoFar;
}

void InvoicePdf::paint(QPagedPaintDevice &device)
{
    QPainter painter;
    if (!painter.begin(&device))
        throw Error(QStringLiteral("No se pudo iniciar la impresión de la factura %1").arg(m_printout.invoice.folio));
    painter.setRenderHint(QPainter::Antialiasing, false);
    ++drawingsSoFar;
    Renderer renderer(m_printout, device, painter);
    const std::vector<Page> pages = renderer.layout();
    m_pageCount = int(pages.size());
    for (int i = 0; i < m_pageCount; ++i) {
        if (i > 0)
            device.newPage();
        renderer.drawPage(pages[size_t(i)], i + 1, m_pageCount);
    }
    painter.end();
}

QByteArray InvoicePdf::writePdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(QStringLiteral("No se pudo escribir el PDF %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = toPdf();
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw Error(QStringLiteral("No se pudo escribir el PDF %1: %2").arg(path, file.errorString()));
    return bytes;
}

QByteArray InvoicePdf::toPdf()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        setUpPdf(writer, m_printout);
        paint(writer);
    }
    return bytes;
}

} // namespace zentaro
