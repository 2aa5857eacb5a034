#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zentaro {

class InvoiceDocument;

// The PDF of the stamped invoice last written to a file, kept so that the mail that follows
// it (Accept prints, then mails) attaches the very bytes of the file instead of drawing the
// invoice a second time: a global invoice of ten thousand notes takes as long to draw as to
// stamp. The PDF is answered only for the same database, folio, stamped XML and the header
// facts the printout shows beside it (state, name, branch, customer, currency); anything
// else draws anew. One PDF is kept per process, the last one.
namespace lastprintedpdf {

void remember(const QString &database, const InvoiceDocument &invoice, const QByteArray &stampedXml,
              const QByteArray &pdf);
std::optional<QByteArray> recall(const QString &database, const InvoiceDocument &invoice, const QByteArray &stampedXml);

} // namespace lastprintedpdf

} // namespace zentaro
