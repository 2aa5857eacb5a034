// Times printing a global invoice of many notes to PDF: signs a demo invoice, repeats the
// conceptos of its stamped XML up to the requested count and writes the PDF.
//
//   output_bench [lines] [keep.pdf]      (default 10000; the PDF is kept when a path is given,
//                                         to look at its pages)

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
#include <QFile>
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
        // A fixed day and hour: the same run gives the same stamp, so two PDFs compare.
        const QDate today(2026, 12, 6);
        demo::fill(*connection, {417, today, 0});
        Platform::install(std::make_unique<Platform>(std::move(connection), QStringLiteral("ADMIN"),
                                                     std::make_shared<ScriptPresenter>(JsonLines(stderr))));
        Platform::instance().fixClock(QDateTime(today, QTime(10, 0)));
        const QString folio = QStringLiteral("FG-000002");
        const QString refused = DocumentSigner().signInvoice(folio);
        if (!refused.isEmpty()) {
            std::fprintf(stderr, "output_bench: %s\n", qPrintable(refused));
            return 1;
        }
        // A stamped invoice prints the conceptos of its XML: those are repeated up to the count.
        const auto stamped = findDigitalDocument(Platform::instance().connection(), QStringLiteral("Factura"), folio);
        InvoicePrintout printout = InvoicePrintout::load(folio, QDateTime(today, QTime(10, 0)));
        const QList<cfdi::Concepto> notes = printout.comprobante.conceptos;
        printout.comprobante.conceptos.clear();
        for (int i = 0; i < count; ++i) {
            cfdi::Concepto concepto = notes.at(i % notes.size());
            concepto.noIdentificacion = QStringLiteral("NB-%1").arg(i + 1, 6, 10, QLatin1Char('0'));
            printout.comprobante.conceptos.append(concepto);
        }
        QElapsedTimer timer;
        timer.start();
        InvoicePdf pdf(std::move(printout));
        const QString path = dir.filePath(QStringLiteral("largo.pdf"));
        pdf.writePdf(path);
        std::printf("%d lines printed on %d pages in %lld ms (%.1f MB)\n", count, pdf.pageCount(),
                    static_cast<long long>(timer.elapsed()), QFileInfo(path).size() / 1048576.0);
        if (argc > 2) {
            QFile::remove(QString::fromLocal8Bit(argv[2]));
            QFile::copy(path, QString::fromLocal8Bit(argv[2]));
        }
    } catch (const Error &error) {
        std::fprintf(stderr, "output_bench: %s\n", error.what());
        return 1;
    }
    Platform::uninstall();
    return 0;
}
