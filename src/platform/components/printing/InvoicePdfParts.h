#pragma once

#include "platform/components/printing/InvoicePdfCanvas.h"
#include "platform/components/printing/InvoicePrintout.h"

#include <QStringList>

#include <vector>

// The parts of a printed invoice's page, each drawing one region on the shared Canvas.
// InvoicePdf lays the pages out from their heights and calls them in page order.

namespace zentaro::invoicepdf {

// Top and bottom of every page, and what lies across it: the issuer and the document's
// identity in the header, "Página n de N" in the footer, "SIN VALIDEZ FISCAL" over an
// unstamped invoice and a framed "CANCELADA" over a cancelled one.
class PageFrame
{
public:
    PageFrame(const InvoicePrintout &p, Canvas &canvas) : m_p(p), m_c(canvas) {}
    void drawHeader();
    void drawFooter(int number, int count);
    void drawWatermark();
    void drawCancelledMark();

private:
    const InvoicePrintout &m_p;
    Canvas &m_c;
};

// The receiver's box and the comprobante's box (type, currency, payment, related
// documents, global information), side by side under the header of the first page.
class PartiesBlock
{
public:
    PartiesBlock(const InvoicePrintout &p, Canvas &canvas) : m_p(p), m_c(canvas) {}
    void draw(double y);

private:
    const InvoicePrintout &m_p;
    Canvas &m_c;
};

// The table of conceptos, one row per note: cells prepared once, rows one line tall per
// tax, so the pages can be laid out before the first is drawn. For a stamped invoice the
// rows are exactly what the stamped XML says, which is what has fiscal effect.
class LinesTable
{
public:
    LinesTable(const InvoicePrintout &p, Canvas &canvas);
    int rowCount() const { return int(m_rows.size()); }
    double rowHeight(int row) const { return m_rows[size_t(row)].height; }
    void drawHeader(double y);
    void drawRow(int index, double y);

private:
    static constexpr int kColumnCount = 10;
    struct Row
    {
        QString cells[kColumnCount];
        QStringList taxes;
        double height = kLineHeight;
    };
    Canvas &m_c;
    std::vector<Row> m_rows;
};

// After the last row: the transferred taxes, the amount in words and the totals.
class SummaryBlock
{
public:
    SummaryBlock(const InvoicePrintout &p, Canvas &canvas) : m_p(p), m_c(canvas) {}
    double height() const;
    void draw(double y);

private:
    QStringList totalLines(QStringList *labels) const;
    QString amountWords() const;

    const InvoicePrintout &m_p;
    Canvas &m_c;
};

// The SAT's stamp: its verification QR, the timbre's facts and the three seals; for an
// unstamped invoice, the sentence that it has no fiscal validity.
class StampBlock
{
public:
    StampBlock(const InvoicePrintout &p, Canvas &canvas) : m_p(p), m_c(canvas) {}
    double height() const;
    void draw(double y);

private:
    QStringList facts() const;
    QList<QPair<QString, QString>> seals() const;
    void drawQr(const QRectF &area);

    const InvoicePrintout &m_p;
    Canvas &m_c;
};

} // namespace zentaro::invoicepdf
