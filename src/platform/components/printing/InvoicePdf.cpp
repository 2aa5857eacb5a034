#include "platform/components/printing/InvoicePdf.h"

#include "platform/components/printing/InvoicePdfParts.h"
#include "platform/core/Error.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <atomic>
#include <vector>

namespace zentaro {

using namespace invoicepdf;

namespace {

constexpr int kPdfResolution = 300;

// The part of the table a page holds and where the summary and the stamp go on it.
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

// Lays the pages out from the parts' heights and draws each page from its parts, in the
// order the page is read.
class Renderer
{
public:
    Renderer(const InvoicePrintout &p, QPagedPaintDevice &device, QPainter &painter)
        : m_p(p), m_painter(painter), m_canvas(device, painter), m_frame(p, m_canvas), m_parties(p, m_canvas),
          m_lines(p, m_canvas), m_summary(p, m_canvas), m_stamp(p, m_canvas)
    {
    }

    std::vector<Page> layout()
    {
        std::vector<Page> pages;
        const double bottom = m_canvas.height() - kFooterHeight;
        Page page;
        page.tableHeader = true;
        double y = kPageHeaderHeight + kPartiesHeight + kTableHeaderHeight;
        for (int row = 0; row < m_lines.rowCount(); ++row) {
            const double h = m_lines.rowHeight(row);
            if (y + h > bottom && row > page.firstRow) {
                page.endRow = row;
                pages.push_back(page);
                page = Page{row, row, true, false, false, 0, 0};
                y = kPageHeaderHeight + kTableHeaderHeight;
            }
            y += h;
        }
        page.endRow = m_lines.rowCount();
        y += 8;
        const double summaryHeight = m_summary.height();
        if (y + summaryHeight > bottom) {
            pages.push_back(page);
            page = Page{page.endRow, page.endRow, false, false, false, 0, 0};
            y = kPageHeaderHeight;
        }
        page.summary = true;
        page.summaryTop = y;
        y += summaryHeight + 8;
        const double stampHeight = m_stamp.height();
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
        m_painter.scale(m_canvas.unit(), m_canvas.unit());
        m_frame.drawHeader();
        double y = kPageHeaderHeight;
        if (number == 1) {
            m_parties.draw(y);
            y += kPartiesHeight;
        }
        if (page.tableHeader) {
            m_lines.drawHeader(y);
            y += kTableHeaderHeight;
            for (int row = page.firstRow; row < page.endRow; ++row) {
                m_lines.drawRow(row, y);
                y += m_lines.rowHeight(row);
            }
        }
        if (page.summary)
            m_summary.draw(page.summaryTop);
        if (page.stamp)
            m_stamp.draw(page.stampTop);
        m_frame.drawFooter(number, count);
        if (!m_p.stamped())
            m_frame.drawWatermark();
        if (m_p.invoice.isCancelled())
            m_frame.drawCancelledMark();
        m_painter.restore();
    }

private:
    const InvoicePrintout &m_p;
    QPainter &m_painter;
    Canvas m_canvas;
    PageFrame m_frame;
    PartiesBlock m_parties;
    LinesTable m_lines;
    SummaryBlock m_summary;
    StampBlock m_stamp;
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
