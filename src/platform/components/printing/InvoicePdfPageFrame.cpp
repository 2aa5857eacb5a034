#include "platform/components/printing/InvoicePdfParts.h"

#include "platform/components/printing/SatCatalogText.h"

#include <QPagedPaintDevice>
#include <QPainter>

#include <cmath>

namespace zentaro::invoicepdf {

void PageFrame::drawHeader()
{
    const cfdi::Comprobante &c = m_p.comprobante;
    QPainter &painter = m_c.painter();
    painter.setPen(kInk);
    m_c.setFont(m_c.name);
    m_c.text(0, 11, c.emisor.nombre);
    m_c.setFont(m_c.body);
    m_c.text(0, 24, QStringLiteral("RFC: %1").arg(c.emisor.rfc));
    m_c.text(0, 33, QStringLiteral("Régimen fiscal: %1").arg(satKeyText(SatCatalog::RegimenFiscal, c.emisor.regimenFiscal)));
    m_c.text(0, 42, QStringLiteral("Lugar de expedición: %1").arg(c.lugarExpedicion));
    m_c.text(0, 51, QStringLiteral("Sucursal: %1 %2").arg(m_p.invoice.branch, m_p.invoice.branchName));

    const double right = m_c.width();
    m_c.textRight(right, 12, QStringLiteral("FACTURA"), m_c.title);
    m_c.setFont(m_c.body);
    m_c.textRight(right, 24, QStringLiteral("Serie y folio: %1 %2   (%3)").arg(c.serie, c.folio, m_p.invoice.folio), m_c.body);
    m_c.textRight(right, 33, QStringLiteral("Fecha de emisión: %1").arg(c.fecha), m_c.body);
    m_c.textRight(right, 42,
                  m_p.stamped() ? QStringLiteral("Folio fiscal: %1").arg(m_p.timbre->uuid)
                                : QStringLiteral("Folio fiscal: sin timbrar"),
                  m_c.bold);
    m_c.setFont(m_c.body);
    painter.setPen(QPen(kRule, 0.8));
    painter.drawLine(QPointF(0, kPageHeaderHeight - 6), QPointF(m_c.width(), kPageHeaderHeight - 6));
    painter.setPen(kInk);
}

void PageFrame::drawFooter(int number, int count)
{
    QPainter &painter = m_c.painter();
    const double y = m_c.height() - kFooterHeight + 4;
    painter.setPen(QPen(kRule, 0.8));
    painter.drawLine(QPointF(0, y), QPointF(m_c.width(), y));
    painter.setPen(kInk);
    m_c.setFont(m_c.small);
    m_c.text(0, y + 9,
             m_p.stamped() ? QStringLiteral("Este documento es una representación impresa de un CFDI")
                           : QStringLiteral("Documento sin timbrar: sin validez fiscal"));
    m_c.textRight(m_c.width(), y + 9, QStringLiteral("Página %1 de %2").arg(number).arg(count), m_c.small);
    m_c.setFont(m_c.body);
}

void PageFrame::drawWatermark()
{
    QPainter &painter = m_c.painter();
    painter.save();
    painter.translate(m_c.width() / 2, m_c.height() / 2);
    painter.rotate(-std::atan2(m_c.height(), m_c.width()) * 180 / M_PI);
    QFont f = m_c.font(54, true);
    painter.setFont(f);
    painter.setPen(kWatermark);
    const QString mark = QStringLiteral("SIN VALIDEZ FISCAL");
    const QFontMetricsF m(f, &m_c.device());
    painter.drawText(QPointF(-Canvas::advance(m, mark) / 2, m.ascent() / 3), mark);
    painter.restore();
}

// A reprint of a cancelled invoice must not pass for a valid one: a framed "CANCELADA"
// across the top of every page.
void PageFrame::drawCancelledMark()
{
    QPainter &painter = m_c.painter();
    painter.save();
    QFont f = m_c.font(40, true);
    painter.setFont(f);
    const QString mark = QStringLiteral("CANCELADA");
    const QFontMetricsF m(f, &m_c.device());
    const double width = Canvas::advance(m, mark) + 2 * m.height() / 3;
    const QRectF box((m_c.width() - width) / 2, m_c.height() / 4, width, m.height() * 1.4);
    painter.translate(box.center());
    painter.rotate(-12);
    painter.translate(-box.center());
    painter.setPen(QPen(kCancelledInk, m.height() / 12));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, mark);
    painter.restore();
}

} // namespace zentaro::invoicepdf
