#include "platform/components/printing/DocumentOutput.h"

#include "platform/components/records/DocumentLog.h"
#include "platform/components/printing/InvoicePdf.h"
#include "platform/components/printing/LastPrintedPdf.h"
#include "platform/controls/FileDialogs.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QDir>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStandardPaths>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");

InvoicePrintout printoutOf(const QString &folio)
{
    if (folio.trimmed().isEmpty())
        throw Error(QStringLiteral("Indique el folio de la factura que se imprime"));
    return InvoicePrintout::load(folio, Utilities().ServerNow());
}

void setUpPrinter(QPrinter &printer, const InvoicePrintout &p)
{
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(36, 36, 36, 36),
                                      QPageLayout::Point));
    printer.setDocName(QStringLiteral("Factura %1").arg(p.invoice.name));
}

// Folios are keys of the suite and never hold a path separator, but a file name is built
// from them: anything a file system could misread becomes "_".
QString fileNameOf(const QString &folio)
{
    QString name = folio;
    for (QChar &c : name)
        if (!(c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.'))
            c = u'_';
    return name + QStringLiteral(".pdf");
}

} // namespace

QString DocumentOutput::documentsFolder()
{
    const QString configured = qEnvironmentVariable("ZENTARO_OUTPUT_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("Zentaro"));
}

QString DocumentOutput::issuerFolder(const QString &issuerRfc)
{
    // Folios repeat from one company to another (every database starts its series at 1),
    // so each issuer gets a folder of its own. A test copy that stamps does so with a test
    // certificate, whose RFC is not the company's, and keeps apart as well.
    QString name;
    for (const QChar c : issuerRfc.trimmed().toUpper())
        if (c.isLetterOrNumber() || c == u'&')
            name.append(c);
    return name.isEmpty() ? documentsFolder() : QDir(documentsFolder()).filePath(name);
}

QString DocumentOutput::writePdf(const QString &folio, const QString &folder)
{
    InvoicePdf pdf(printoutOf(folio));
    const QDir dir(folder.isEmpty() ? issuerFolder(pdf.printout().comprobante.emisor.rfc) : folder);
    if (!dir.mkpath(QStringLiteral(".")))
        throw Error(QStringLiteral("No se pudo crear la carpeta de documentos %1").arg(dir.absolutePath()));
    const QString path = dir.absoluteFilePath(fileNameOf(folio));
    const QByteArray bytes = pdf.writePdf(path);
    // The mail that usually follows attaches these bytes rather than drawing them again.
    lastprintedpdf::remember(Platform::instance().connection().defaultDatabase(), pdf.printout().invoice,
                             pdf.printout().stampedXml, bytes);
    return path;
}

QByteArray DocumentOutput::pdf(const QString &folio)
{
    InvoicePdf pdf(printoutOf(folio));
    return pdf.toPdf();
}

void DocumentOutput::Produce(const QString &profile, const QString &folio, const QString &text, int copies, int flags,
                             const QString &printer)
{
    Q_UNUSED(text);
    Q_UNUSED(copies);
    Q_UNUSED(flags);
    Q_UNUSED(printer);
    Platform &platform = Platform::instance();
    const QString kind = profile.trimmed().toUpper();
    if (platform.interactive() && kind == QLatin1String("PREVIEW")) {
        InvoicePdf pdf(printoutOf(folio));
        QPrinter device(QPrinter::HighResolution);
        setUpPrinter(device, pdf.printout());
        // Its print button opens Qt's print dialog, whose file-name box lists folders.
        filedialogs::guardQtDialogs();
        QPrintPreviewDialog dialog(&device);
        dialog.setWindowTitle(QStringLiteral("Vista previa de la factura %1").arg(pdf.printout().invoice.name));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                         [&pdf](QPrinter *target) { pdf.paint(*target); });
        dialog.exec();
        return;
    }
    if (platform.interactive() && kind == QLatin1String("PRINT")) {
        InvoicePdf pdf(printoutOf(folio));
        QPrinter device(QPrinter::HighResolution);
        if (!device.isValid())
            throw Error(QStringLiteral("No hay una impresora predeterminada para imprimir la factura %1").arg(folio));
        setUpPrinter(device, pdf.printout());
        pdf.paint(device);
        logDocumentEvent(platform.connection(), kInvoiceTable, folio, QStringLiteral("Impresión"),
                         QStringLiteral("%1 páginas en %2").arg(pdf.pageCount()).arg(device.printerName()));
        // A printer that prints to a file says where the file went.
        if (!device.outputFileName().isEmpty())
            platform.presenter().reportOutput(device.outputFileName());
        return;
    }
    const QString path = writePdf(folio);
    platform.presenter().reportOutput(path);
}

} // namespace zentaro
