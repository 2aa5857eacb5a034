#include "platform/components/printing/LastPrintedPdf.h"

#include "platform/components/invoicing/InvoiceDocument.h"

#include <QMutex>

namespace zentaro::lastprintedpdf {

namespace {

// What of the stored invoice a stamped printout shows besides its XML.
QStringList shownFacts(const QString &database, const InvoiceDocument &invoice)
{
    return {database,        invoice.folio,        invoice.state,    invoice.name,
            invoice.branch,  invoice.branchName,   invoice.customer.key, invoice.currency};
}

struct Kept
{
    QStringList facts;
    QByteArray stampedXml;
    QByteArray pdf;
};

QMutex mutex;
std::optional<Kept> kept;

} // namespace

void remember(const QString &database, const InvoiceDocument &invoice, const QByteArray &stampedXml,
              const QByteArray &pdf)
{
    QMutexLocker lock(&mutex);
    if (stampedXml.isEmpty()) {
        kept.reset();
        return;
    }
    kept = Kept{shownFacts(database, invoice), stampedXml, pdf};
}

std::optional<QByteArray> recall(const QString &database, const InvoiceDocument &invoice, const QByteArray &stampedXml)
{
    QMutexLocker lock(&mutex);
    if (!kept || stampedXml.isEmpty() || kept->facts != shownFacts(database, invoice) || kept->stampedXml != stampedXml)
        return std::nullopt;
    return kept->pdf;
}

} // namespace zentaro::lastprintedpdf
