#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/components/printing/LastPrintedPdf.h"

#include <gtest/gtest.h>

#include <functional>

namespace zentaro::test {

// The PDF kept for the mail is handed out only for the invoice it was drawn from: a change of
// anything the printout shows (a cancellation since, a renamed branch, another stamp) or of
// the database draws anew.
TEST(LastPrintedPdfTest, AnswersOnlyForWhatThePdfWasDrawnFrom)
{
    InvoiceDocument invoice;
    invoice.folio = QStringLiteral("FG-000001");
    invoice.state = QStringLiteral("AC");
    invoice.name = QStringLiteral("FG-1");
    invoice.branch = QStringLiteral("S01");
    invoice.branchName = QStringLiteral("Matriz Guadalajara");
    invoice.customer.key = QStringLiteral("PUBLICO");
    invoice.currency = QStringLiteral("MXN");
    const QByteArray xml = "<cfdi:Comprobante Sello=\"abc\"/>";
    const QByteArray pdf = "%PDF-1.4 la factura";
    const QString database = QStringLiteral("empresa");

    struct Case
    {
        const char *what;
        std::function<void(QString &, InvoiceDocument &, QByteArray &)> change;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"the same invoice", [](QString &, InvoiceDocument &, QByteArray &) {}, true},
        {"another database", [](QString &d, InvoiceDocument &, QByteArray &) { d = QStringLiteral("sucursal"); }, false},
        {"another folio", [](QString &, InvoiceDocument &i, QByteArray &) { i.folio = QStringLiteral("FG-000002"); }, false},
        {"cancelled since", [](QString &, InvoiceDocument &i, QByteArray &) { i.state = QStringLiteral("CA"); }, false},
        {"branch renamed", [](QString &, InvoiceDocument &i, QByteArray &) { i.branchName += u'.'; }, false},
        {"another customer", [](QString &, InvoiceDocument &i, QByteArray &) { i.customer.key = QStringLiteral("C-0001"); }, false},
        {"another stamp", [](QString &, InvoiceDocument &, QByteArray &x) { x.replace("abc", "abd"); }, false},
        {"not stamped", [](QString &, InvoiceDocument &, QByteArray &x) { x.clear(); }, false},
    };
    for (const Case &c : cases) {
        lastprintedpdf::remember(database, invoice, xml, pdf);
        QString otherDatabase = database;
        InvoiceDocument other = invoice;
        QByteArray otherXml = xml;
        c.change(otherDatabase, other, otherXml);
        const std::optional<QByteArray> kept = lastprintedpdf::recall(otherDatabase, other, otherXml);
        EXPECT_EQ(kept.has_value(), c.kept) << c.what;
        if (kept) {
            EXPECT_EQ(*kept, pdf) << c.what;
        }
    }
    // An unstamped printout (no XML) is never kept, and forgets the one before.
    lastprintedpdf::remember(database, invoice, xml, pdf);
    lastprintedpdf::remember(database, invoice, {}, "%PDF-1.4 borrador");
    EXPECT_FALSE(lastprintedpdf::recall(database, invoice, xml));
}

} // namespace zentaro::test
