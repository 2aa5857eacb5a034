#pragma once

#include "platform/core/Decimal.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QString>

#include <memory>

class QPagedPaintDevice;
class QPainter;

namespace zentaro {

// What every part of the printed invoice draws with: the painter scaled to points, the page
// size in points, the fonts and the few ways text is placed. Everything is measured in
// points and converted to the device's units once, so the same layout prints on a 1200 dpi
// printer and in a 300 dpi PDF. The painter's font is state shared by the parts, drawn in
// page order.
namespace invoicepdf {

constexpr double kPageHeaderHeight = 62;
constexpr double kPartiesHeight = 84;
constexpr double kTableHeaderHeight = 14;
constexpr double kFooterHeight = 18;
constexpr double kLineHeight = 9;
constexpr double kQrSize = 96;

inline const QColor kInk(25, 25, 25);
inline const QColor kRule(150, 150, 150);
inline const QColor kShade(232, 236, 242);
inline const QColor kWatermark(200, 30, 30, 70);
inline const QColor kCancelledInk(190, 20, 20, 170);

// "1234567.5" -> "1,234,567.50"
QString money(const QString &plain);
QString money(const Decimal &amount, int decimals);

class Canvas
{
public:
    Canvas(QPagedPaintDevice &device, QPainter &painter);

    QPainter &painter() const { return m_painter; }
    QPagedPaintDevice &device() const { return m_device; }
    double unit() const { return m_unit; }
    double width() const { return m_width; }
    double height() const { return m_height; }

    // DejaVu Sans at `points`, unhinted and unshaped (see the definition).
    QFont font(double points, bool bold = false) const;
    const QFont body, bold, small, title, name, seal;
    const QFontMetricsF &bodyMetrics() const { return *m_bodyMetrics; }
    const QFontMetricsF &sealMetrics() const { return *m_sealMetrics; }

    void setFont(const QFont &f);
    // Metrics in points.
    static double advance(const QFontMetricsF &m, const QString &text) { return m.horizontalAdvance(text); }
    void text(double x, double baseline, const QString &s);
    void textRight(double right, double baseline, const QString &s, const QFont &f);
    // Draws wrapped text in a box of `width` points and gives the height it took.
    double wrapped(double x, double y, double width, const QString &s, const QFont &f);
    static double wrappedHeight(double width, const QString &s, const QFontMetricsF &m);
    // A shaded band with a bold title, as every box of the page starts.
    void boxTitle(double x, double y, double width, const QString &title);

private:
    QPagedPaintDevice &m_device;
    QPainter &m_painter;
    double m_unit;
    double m_width;
    double m_height;
    std::unique_ptr<QFontMetricsF> m_bodyMetrics;
    std::unique_ptr<QFontMetricsF> m_sealMetrics;
};

} // namespace invoicepdf
} // namespace zentaro
