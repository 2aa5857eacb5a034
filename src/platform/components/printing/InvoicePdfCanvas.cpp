#include "platform/components/printing/InvoicePdfCanvas.h"

#include <QPagedPaintDevice>
#include <QPainter>

namespace zentaro::invoicepdf {

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

namespace {

double unitOf(const QPagedPaintDevice &device) { return device.logicalDpiY() / 72.0; }

// The painter is scaled to points, and a font's point size is turned into device pixels
// before that scale applies: dividing by the scale keeps a 7 pt font 7 pt tall and makes
// every metric come out in points. Without hinting the advances are the font's own,
// fractional, so the PDF and the printer measure alike.
QFont fontAt(double unit, double points, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setHintingPreference(QFont::PreferNoHinting);
    // Without shaping there are no "fi" ligatures: a customer who copies "fiscal" or a
    // seal out of the PDF gets the letters that were printed. It is also faster.
    f.setStyleStrategy(QFont::PreferNoShaping);
    f.setPointSizeF(points / unit);
    f.setBold(bold);
    return f;
}

} // namespace

Canvas::Canvas(QPagedPaintDevice &device, QPainter &painter)
    : body(fontAt(unitOf(device), 7, false)), bold(fontAt(unitOf(device), 7, true)),
      small(fontAt(unitOf(device), 6, false)), title(fontAt(unitOf(device), 12, true)),
      name(fontAt(unitOf(device), 10, true)), seal(fontAt(unitOf(device), 5.5, false)), m_device(device),
      m_painter(painter), m_unit(unitOf(device)), m_width(device.width() / m_unit), m_height(device.height() / m_unit),
      m_bodyMetrics(std::make_unique<QFontMetricsF>(body, &device)),
      m_sealMetrics(std::make_unique<QFontMetricsF>(seal, &device))
{
}

QFont Canvas::font(double points, bool isBold) const { return fontAt(m_unit, points, isBold); }

void Canvas::setFont(const QFont &f) { m_painter.setFont(f); }

void Canvas::text(double x, double baseline, const QString &s) { m_painter.drawText(QPointF(x, baseline), s); }

void Canvas::textRight(double right, double baseline, const QString &s, const QFont &f)
{
    const QFontMetricsF m(f, &m_device);
    m_painter.drawText(QPointF(right - advance(m, s), baseline), s);
}

double Canvas::wrapped(double x, double y, double width, const QString &s, const QFont &f)
{
    setFont(f);
    const QRectF box(x, y, width, 10000);
    QRectF used;
    m_painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, s, &used);
    return used.height();
}

double Canvas::wrappedHeight(double width, const QString &s, const QFontMetricsF &m)
{
    const QRectF r = m.boundingRect(QRectF(0, 0, width, 1e7), Qt::AlignLeft | Qt::TextWrapAnywhere, s);
    return r.height();
}

void Canvas::boxTitle(double x, double y, double width, const QString &title)
{
    m_painter.fillRect(QRectF(x, y, width, 11), kShade);
    setFont(bold);
    text(x + 3, y + 8, title);
    setFont(body);
}

} // namespace zentaro::invoicepdf
