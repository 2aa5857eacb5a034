#include "ElectronicDocumentFixture.h"

#include "platform/cfdi/ComprobanteXmlReader.h"

#include "platform/components/printing/AmountInWords.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/printing/DocumentOutput.h"
#include "platform/components/records/DocumentRecord.h"
#include "platform/components/printing/InvoicePdf.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>

namespace zentaro::test {

namespace {

// poppler-utils is part of the development setup; the text checks read what a person
// would read on the page.
QString popplerOutput(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(120000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// 0 when pdfinfo cannot read the file as a PDF.
int pdfPages(const QString &path)
{
    static const QRegularExpression pages(QStringLiteral("^Pages: *(\\d+)"), QRegularExpression::MultilineOption);
    return pages.match(popplerOutput(QStringLiteral("pdfinfo"), {path})).captured(1).toInt();
}

QString pdfText(const QString &path, int first = 1, int last = 1)
{
    return popplerOutput(QStringLiteral("pdftotext"),
                         {QStringLiteral("-f"), QString::number(first), QStringLiteral("-l"), QString::number(last),
                          QStringLiteral("-layout"), path, QStringLiteral("-")});
}

// Share of the page's middle that is printed in the watermark's red: the diagonal mark is
// drawn, not written, as far as a text extractor can tell.
double redShare(const QString &path)
{
    const QString root = path + QStringLiteral("-pagina");
    popplerOutput(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("30"),
                                               QStringLiteral("-singlefile"), path, root});
    const QImage page(root + QStringLiteral(".png"));
    if (page.isNull())
        return -1;
    const QRect middle(page.width() / 4, page.height() / 4, page.width() / 2, page.height() / 2);
    int red = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const QColor c = page.pixelColor(x, y);
            red += c.red() > c.green() + 25 && c.red() > c.blue() + 25;
        }
    return double(red) / (middle.width() * middle.height());
}

} // namespace

TEST(AmountInWordsTest, WritesAmountsAsMexicanInvoicesDo)
{
    struct Case
    {
        const char *amount;
        const char *currency;
        const char16_t *words;
    };
    // "1.5" and "1160.004" also prove how 1 and 1160 read.
    const Case cases[] = {
        {"0", "MXN", u"CERO PESOS 00/100 M.N."},
        {"1.5", "MXN", u"UN PESO 50/100 M.N."},
        {"16", "MXN", u"DIECISÉIS PESOS 00/100 M.N."},
        {"21", "MXN", u"VEINTIÚN PESOS 00/100 M.N."},
        {"22.05", "MXN", u"VEINTIDÓS PESOS 05/100 M.N."},
        {"31", "MXN", u"TREINTA Y UN PESOS 00/100 M.N."},
        {"100", "MXN", u"CIEN PESOS 00/100 M.N."},
        {"101", "MXN", u"CIENTO UN PESOS 00/100 M.N."},
        {"515.99", "MXN", u"QUINIENTOS QUINCE PESOS 99/100 M.N."},
        {"1160.004", "MXN", u"MIL CIENTO SESENTA PESOS 00/100 M.N."},
        {"1160.995", "MXN", u"MIL CIENTO SESENTA Y UN PESOS 00/100 M.N."},
        {"21000", "MXN", u"VEINTIÚN MIL PESOS 00/100 M.N."},
        {"100000", "MXN", u"CIEN MIL PESOS 00/100 M.N."},
        {"999999.99", "MXN", u"NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE PESOS 99/100 M.N."},
        {"1000000", "MXN", u"UN MILLÓN DE PESOS 00/100 M.N."},
        {"1000100", "MXN", u"UN MILLÓN CIEN PESOS 00/100 M.N."},
        {"2500000.75", "MXN", u"DOS MILLONES QUINIENTOS MIL PESOS 75/100 M.N."},
        {"1000000000", "MXN", u"MIL MILLONES DE PESOS 00/100 M.N."},
        {"1", "USD", u"UN DÓLAR 00/100 USD"},
        {"1234.56", "USD", u"MIL DOSCIENTOS TREINTA Y CUATRO DÓLARES 56/100 USD"},
        {"-12", "MXN", u"MENOS DOCE PESOS 00/100 M.N."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.amount);
        const auto amount = Decimal::parse(QString::fromLatin1(c.amount));
        ASSERT_TRUE(amount);
        EXPECT_EQ(amountInWords(*amount, QString::fromLatin1(c.currency)), QString::fromUtf16(c.words));
    }
    EXPECT_THROW(numberInWords(1'000'000'000'000LL), Error);
}

class OutputTest : public ElectronicDocumentTest
{
protected:
    // The demo company's documents go to its RFC's folder.
    QDir issuerDir() const { return QDir(outputDir.filePath(QStringLiteral("EKU9003173C9"))); }
};

// Two companies on one machine number their invoices alike; their documents never share a
// folder, whatever their RFCs hold.
TEST(DocumentOutputFolder, EachIssuerHasAFolderOfItsOwn)
{
    const QByteArray configured = qgetenv("ZENTARO_OUTPUT_DIR");
    qputenv("ZENTARO_OUTPUT_DIR", "/srv/documentos");
    const QList<QPair<QString, QString>> cases = {
        {QStringLiteral("EKU9003173C9"), QStringLiteral("/srv/documentos/EKU9003173C9")},
        {QStringLiteral(" aaa010101aaa "), QStringLiteral("/srv/documentos/AAA010101AAA")},
        {QStringLiteral("Ñ&A010101AB1"), QStringLiteral("/srv/documentos/Ñ&A010101AB1")},
        {QStringLiteral("../../etc"), QStringLiteral("/srv/documentos/ETC")},
        {QString(), QStringLiteral("/srv/documentos")},
    };
    for (const auto &[rfc, folder] : cases)
        EXPECT_EQ(DocumentOutput::issuerFolder(rfc), folder) << qPrintable(rfc);
    qunsetenv("ZENTARO_OUTPUT_DIR");
    EXPECT_TRUE(DocumentOutput::issuerFolder(QStringLiteral("EKU9003173C9")).endsWith(QStringLiteral("/Zentaro/EKU9003173C9")));
    qputenv("ZENTARO_OUTPUT_DIR", configured);
}

TEST_P(OutputTest, SignedAndUnsignedInvoicesPrintWithWhatTheyAre)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    const QString uuid = uuidOf(QStringLiteral("FG-000001"));
    struct Case
    {
        const char *folio;
        bool signedInvoice;
        QString profile;
    };
    const Case cases[] = {{"FG-000001", true, QStringLiteral("PDF")},
                          {"FG-000004", false, QStringLiteral("FACTURA")},
                          {"FG-000003", false, QStringLiteral("PRINT")}}; // no user at the screen: a PDF too
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folio);
        reports->outputs.clear();
        DocumentOutput().Produce(c.profile, QString::fromLatin1(c.folio), {}, 0, 0, {});
        ASSERT_EQ(reports->outputs.size(), 1);
        const QString path = reports->outputs.first();
        EXPECT_EQ(path, issuerDir().filePath(QString::fromLatin1(c.folio) + QStringLiteral(".pdf")));
        EXPECT_EQ(pdfPages(path), 1);   // a PDF, or pdfinfo would not count its pages
        const QString text = pdfText(path);
        EXPECT_TRUE(text.contains(QStringLiteral("Página 1 de 1")));
        EXPECT_TRUE(text.contains(QStringLiteral("ESCUELA KEMPER URGATE")));
        EXPECT_EQ(text.contains(QStringLiteral("sin validez fiscal")), !c.signedInvoice) << text.toStdString();
        EXPECT_EQ(redShare(path) > 0.01, !c.signedInvoice) << redShare(path);
        EXPECT_EQ(text.contains(uuid), c.signedInvoice);
        EXPECT_EQ(text.contains(QStringLiteral("Cadena original del complemento de certificación digital del SAT")),
                  c.signedInvoice);
    }
    const QString global = pdfText(issuerDir().filePath(QStringLiteral("FG-000001.pdf")));
    EXPECT_TRUE(global.contains(QStringLiteral("PUBLICO EN GENERAL")));
    EXPECT_TRUE(global.contains(QStringLiteral("periodicidad 01 - Diario")));
    EXPECT_TRUE(global.contains(QStringLiteral("PESOS"))) << global.toStdString();
    EXPECT_TRUE(pdfText(issuerDir().filePath(QStringLiteral("FG-000004.pdf"))).contains(QString::fromUtf16(u"DÓLARES")));
}

TEST_P(OutputTest, TenThousandNotesPrintOnNumberedPages)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000002")), QString());
    const InvoiceDocument invoice = InvoiceDocument::load(db(), QStringLiteral("FG-000002"));
    const auto stamped = findDigitalDocument(db(), QStringLiteral("Factura"), QStringLiteral("FG-000002"));
    InvoicePrintout printout = InvoicePrintout::fromInvoice(invoice, stamped->xml, now());
    // The stamped conceptos, repeated as ten thousand notes.
    const QList<cfdi::Concepto> notes = printout.comprobante.conceptos;
    printout.comprobante.conceptos.clear();
    for (int i = 0; i < 10000; ++i) {
        cfdi::Concepto concepto = notes.at(i % notes.size());
        concepto.noIdentificacion = QStringLiteral("NB-%1").arg(i + 1, 6, 10, QLatin1Char('0'));
        printout.comprobante.conceptos.append(concepto);
    }
    // How fast this prints is measured by bench/output_bench, not here.
    InvoicePdf pdf(printout);
    const QString path = outputDir.filePath(QStringLiteral("largo.pdf"));
    pdf.writePdf(path);
    // Rows are 9 pt of a 720 pt page, one to three taxes each: well over a hundred pages.
    EXPECT_GT(pdf.pageCount(), 100);
    EXPECT_LT(pdf.pageCount(), 300);
    EXPECT_EQ(pdfPages(path), pdf.pageCount());
    const QString first = pdfText(path, 1, 1);
    EXPECT_TRUE(first.contains(QStringLiteral("Página 1 de %1").arg(pdf.pageCount())));
    EXPECT_TRUE(first.contains(QStringLiteral("RECEPTOR")));
    EXPECT_TRUE(first.contains(QStringLiteral("NB-000001")));
    const QString last = pdfText(path, pdf.pageCount(), pdf.pageCount());
    EXPECT_TRUE(last.contains(QStringLiteral("Página %1 de %1").arg(pdf.pageCount())));
    EXPECT_TRUE(last.contains(QStringLiteral("TIMBRE FISCAL DIGITAL")));
    // A middle page repeats the header and the columns but not the receiver.
    const QString middle = pdfText(path, 50, 50);
    EXPECT_TRUE(middle.contains(QStringLiteral("Valor unitario")));
    EXPECT_TRUE(middle.contains(QStringLiteral("Serie y folio")));
    EXPECT_FALSE(middle.contains(QStringLiteral("RECEPTOR")));
    // Every note is printed once: the last one too.
    EXPECT_TRUE(popplerOutput(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).contains(QStringLiteral("NB-010000")));
}

TEST_P(OutputTest, WhatWasStampedIsWhatIsPrinted)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000006")), QString());
    const QByteArray xml = findDigitalDocument(db(), QStringLiteral("Factura"), QStringLiteral("FG-000006"))->xml;
    // The tables change after stamping; the fiscal document does not.
    exec(QStringLiteral("UPDATE Factura_Linea SET Fl_Precio_Lista_Importe = 1, Fl_Descripcion = 'Otra cosa' "
                        "WHERE Fc_Folio = 'FG-000006'"));
    exec(QStringLiteral("UPDATE Sucursal SET Sc_Codigo_Postal = '06600' WHERE Sc_Cve_Sucursal = 'S01'"));
    const InvoicePrintout printout = InvoicePrintout::load(QStringLiteral("FG-000006"), now());
    const cfdi::Comprobante stamped = cfdi::readComprobanteXml(xml);
    ASSERT_EQ(printout.comprobante.conceptos.size(), stamped.conceptos.size());
    for (qsizetype i = 0; i < stamped.conceptos.size(); ++i) {
        EXPECT_EQ(printout.comprobante.conceptos.at(i).valorUnitario, stamped.conceptos.at(i).valorUnitario);
        EXPECT_EQ(printout.comprobante.conceptos.at(i).descripcion, QStringLiteral("Venta"));
    }
    EXPECT_EQ(printout.comprobante.lugarExpedicion, QStringLiteral("44100"));

    DocumentOutput().Produce(QStringLiteral("PDF"), QStringLiteral("FG-000006"), {}, 0, 0, {});
    const QString text = pdfText(issuerDir().filePath(QStringLiteral("FG-000006.pdf")));
    EXPECT_TRUE(text.contains(QStringLiteral("CFDI relacionado (04): ") + stamped.cfdiRelacionados.value(0).uuids.value(0)))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Otra cosa")));
    EXPECT_TRUE(text.contains(stamped.conceptos.first().noIdentificacion));
}

TEST_P(OutputTest, FailuresAreSpanishErrors)
{
    EXPECT_THROW(DocumentOutput().Produce(QStringLiteral("PDF"), QStringLiteral("FG-999999"), {}, 0, 0, {}), Error);
    EXPECT_THROW(DocumentOutput().Produce(QStringLiteral("PDF"), QString(), {}, 0, 0, {}), Error);
    qputenv("ZENTARO_OUTPUT_DIR", "/proc/no-se-puede");
    try {
        DocumentOutput().Produce(QStringLiteral("PDF"), QStringLiteral("FG-000001"), {}, 0, 0, {});
        ADD_FAILURE() << "se esperaba un error";
    } catch (const Error &error) {
        EXPECT_TRUE(error.description().startsWith(QStringLiteral("No se pudo"))) << error.what();
    }
    EXPECT_TRUE(reports->outputs.isEmpty());
}

TEST_P(OutputTest, DocumentRecordShowsItsContentsWithoutAUser)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    DocumentRecord().Open(QStringLiteral("Factura"), QStringLiteral("Fc_Folio"), QStringLiteral("FG-000001"), {}, {}, {}, {});
    ASSERT_EQ(reports->messages.size(), 1);
    const QString text = reports->messages.first().text;
    EXPECT_TRUE(text.contains(QStringLiteral("Folio fiscal: ") + uuidOf(QStringLiteral("FG-000001"))));
    EXPECT_TRUE(text.contains(QStringLiteral("Certificado del SAT: 3")));
    EXPECT_TRUE(text.contains(QStringLiteral("Estado ante el SAT: Vigente")));
    EXPECT_TRUE(text.contains(QStringLiteral("| ADMIN | Timbrado |")));
    DocumentRecord().Open(QStringLiteral("Factura"), QStringLiteral("Fc_Folio"), QStringLiteral("NADA"), {}, {}, {}, {});
    EXPECT_TRUE(reports->messages.last().text.contains(QStringLiteral("Documento sin timbrar")));
}

ZENTARO_ON_BOTH_ENGINES(OutputTest);

} // namespace zentaro::test

