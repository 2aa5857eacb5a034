// Times printing a global invoice of many notes to PDF: signs a demo invoice, repeats its
// lines up to the requested count and writes the PDF.
//
//   output_bench [lines]      (default 10000)

#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/components/printing/InvoicePdf.h"
#include "platform/components/printing/InvoicePrintout.h"
#include "platform/core/Error.h"
#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"
#include "platform/host/ScriptPresenter.h"
#include "platform/services/Platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace zentaro;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir dir;
    ConnectionUrl url;
    url.path = dir.filePath(QStringLiteral("bench.sqlite"));
    try {
        auto connection = Connection::open(url, Connection::OpenMode::Create);
        schema::create(*connection);
        const QDate today = QDate::currentDate();
        demo::fill(*connection, {417, today, 0});
        Platform::install(std::make_unique<Platform>(std::move(connection), QStringLiteral("ADMIN"),
                                                     std::make_shared<ScriptPresenter>(JsonLines(stderr))));
        const QString folio = QStringLiteral("FG-000002");
        const QString refused = DocumentSigner().signInvoice(folio);
        if (!refused.isEmpty()) {
            std::fprintf(stderr, "output_bench: %s\n", qPrintable(refused));
            return 1;
        }
        InvoiceDocument invoice = InvoiceDocument::load(Platform::instance().connection(), folio);
        const QList<InvoiceDocument::Line> notes = invoice.lines;
        invoice.lines.clear();
        for (int i = 0; i < count; ++i) {
            InvoiceDocument::Line line = notes.at(i % notes.size());
            line.id = QString::number(i + 1);
            line.noteFolio = QStringLiteral("NB-%1").arg(i + 1, 6, 10, QLatin1Char('0'));
            invoice.lines.append(line);
        }
        const auto stamped = findDigitalDocument(Platform::instance().connection(), QStringLiteral("Factura"), folio);
        QElapsedTimer timer;
        timer.start();
        InvoicePdf pdf(InvoicePrintout::fromInvoice(invoice, stamped->xml, QDateTime::currentDateTime()));
        const QString path = dir.filePath(QStringLiteral("largo.pdf"));
        pdf.writePdf(path);
        std::printf("%d lines printed on %d pages in %lld ms (%.1f MB)\n", count, pdf.pageCount(),
                    static_cast<long long>(timer.elapsed()), QFileInfo(path).size() / 1048576.0);
    } catch (const Error &error) {
        std::fprintf(stderr, "output_bench: %s\n", error.what());
        return 1;
    }
    Platform::uninstall();
    return 0;
}
