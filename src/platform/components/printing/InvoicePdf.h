#pragma once

#include "platform/components/printing/InvoicePrintout.h"

#include <QByteArray>
#include <QString>

class QPagedPaintDevice;

namespace zentaro {

// Draws the printed representation of an invoice on Letter pages: issuer and document
// header on every page, receiver and global-invoice data on the first, one row per note
// (as many pages as the notes need), then taxes, totals, the amount in words and the
// SAT stamp with its verification QR. Every page carries "Página n de N"; an unstamped
// invoice carries a diagonal "SIN VALIDEZ FISCAL" on every page, a cancelled one a framed
// "CANCELADA".
//
// Rows are one line tall (one more per extra tax), so the pages are laid out before the
// first one is drawn and the page count is known for the footers.
class InvoicePdf
{
public:
    explicit InvoicePdf(InvoicePrintout printout);

    // Any paged device: a QPdfWriter, or a QPrinter for printing and preview. Its margins
    // are left as they are; the drawing fills its paint rectangle.
    void paint(QPagedPaintDevice &device);
    // Writes the file and gives its bytes. Throws zentaro::Error when it cannot be written.
    QByteArray writePdf(const QString &path);
    QByteArray toPdf();

    // Pages of the last paint.
    int pageCount() const { return m_pageCount; }
    // Invoices this process has drawn, on any device. Drawing a large invoice costs as much
    // as stamping it; the tests and benches read this to see that nothing draws one twice.
    static int drawings();
    const InvoicePrintout &printout() const { return m_printout; }

private:
    InvoicePrintout m_printout;
    int m_pageCount = 0;
};

} // namespace zentaro
