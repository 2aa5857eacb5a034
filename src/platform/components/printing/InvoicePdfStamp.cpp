#include "platform/components/printing/InvoicePdfParts.h"

#include "platform/cfdi/VerificationQr.h"

#include <QPainter>

#include <algorithm>

namespace zentaro::invoicepdf {

QStringList StampBlock::facts() const
{
    const cfdi::TimbreFiscalDigital &t = *m_p.timbre;
    return {QStringLiteral("Folio fiscal (UUID): %1").arg(t.uuid),
            QStringLiteral("No. de serie del certificado del emisor: %1").arg(m_p.comprobante.noCertificado),
            QStringLiteral("No. de serie del certificado del SAT: %1").arg(t.noCertificadoSat),
            QStringLiteral("Fecha y hora de certificación: %1").arg(t.fechaTimbrado),
            QStringLiteral("RFC del proveedor de certificación: %1").arg(t.rfcProvCertif),
            QStringLiteral("Este documento es una representación impresa de un CFDI versión 4.0")};
}

QList<QPair<QString, QString>> StampBlock::seals() const
{
    return {{QStringLiteral("Sello digital del CFDI:"), m_p.comprobante.sello},
            {QStringLiteral("Sello digital del SAT:"), m_p.timbre->selloSat},
            {QStringLiteral("Cadena original del complemento de certificación digital del SAT:"), m_p.cadenaTimbre}};
}

double StampBlock::height() const
{
    if (!m_p.stamped())
        return 24;
    const double textWidth = m_c.width() - kQrSize - 10;
    double sealsHeight = 0;
    for (const auto &[title, value] : seals())
        sealsHeight += 9 + Canvas::wrappedHeight(textWidth, value, m_c.sealMetrics()) + 3;
    return 11 + 4 + std::max(kQrSize, kLineHeight * 6 + 4 + sealsHeight);
}

void StampBlock::draw(double y)
{
    if (!m_p.stamped()) {
        m_c.boxTitle(0, y, m_c.width(), QStringLiteral("TIMBRE FISCAL DIGITAL"));
        m_c.setFont(m_c.bold);
        m_c.text(3, y + 20, QStringLiteral("Este comprobante no ha sido timbrado: no tiene validez fiscal."));
        m_c.setFont(m_c.body);
        return;
    }
    m_c.boxTitle(0, y, m_c.width(), QStringLiteral("TIMBRE FISCAL DIGITAL"));
    const double top = y + 15;
    drawQr(QRectF(0, top, kQrSize, kQrSize));
    const double x = kQrSize + 10;
    const double width = m_c.width() - x;
    double line = top + 7;
    m_c.setFont(m_c.body);
    for (const QString &fact : facts()) {
        m_c.text(x, line, fact);
        line += kLineHeight;
    }
    line += 4 - 7;
    for (const auto &[title, value] : seals()) {
        m_c.setFont(m_c.bold);
        m_c.text(x, line + 7, title);
        line += 9;
        line += m_c.wrapped(x, line, width, value, m_c.seal) + 3;
    }
    m_c.setFont(m_c.body);
}

void StampBlock::drawQr(const QRectF &area)
{
    QPainter &painter = m_c.painter();
    const cfdi::QrMatrix qr = cfdi::encodeQr(m_p.verificationUrl);
    // Four modules of quiet zone, as readers expect around the symbol.
    const int modules = qr.width + 8;
    const double module = area.width() / modules;
    painter.fillRect(area, Qt::white);
    for (int y = 0; y < qr.width; ++y) {
        // Runs of dark modules become one rectangle: fewer PDF operators and no hairline
        // gaps between neighbours in some viewers.
        int x = 0;
        while (x < qr.width) {
            if (!qr.dark(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            while (end < qr.width && qr.dark(end, y))
                ++end;
            painter.fillRect(
                QRectF(area.left() + (x + 4) * module, area.top() + (y + 4) * module, (end - x) * module, module),
                Qt::black);
            x = end;
        }
    }
}

} // namespace zentaro::invoicepdf
