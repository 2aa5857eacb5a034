#include "ElectronicDocumentFixture.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/Pac.h"
#include "platform/cfdi/TestCertificate.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/components/InvoiceDocument.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/host/HostObject.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTimeZone>

namespace zentaro::test {

namespace {

QString attributeOf(const QByteArray &xml, const QString &element, const QString &name)
{
    const QRegularExpression re(QStringLiteral("<cfdi:%1 [^>]*\\b%2=\"([^\"]*)\"").arg(element, name));
    const auto match = re.match(QString::fromUtf8(xml));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("<ausente>");
}

class RefusingPac : public cfdi::Pac
{
public:
    cfdi::StampResult stamp(const QByteArray &) override
    {
        ++calls;
        return cfdi::StampResult::refused(QStringLiteral("CFDI40108"), QStringLiteral("El SubTotal no cuadra"));
    }
    int calls = 0;
};

} // namespace

class SigningTest : public ElectronicDocumentTest
{
};

TEST_P(SigningTest, EveryDemoInvoiceBecomesAValidSealedCfdi)
{
    struct Expected
    {
        const char *folio;
        const char *rfc;
        const char *periodicidad; // "<ausente>": not a global invoice
        const char *moneda;
        const char *lugar;
    };
    const Expected cases[] = {
        {"FG-000001", "XAXX010101000", "01", "MXN", "44100"},
        {"FG-000002", "XAXX010101000", "03", "MXN", "44100"},
        {"FG-000003", "APR980312K41", "<ausente>", "MXN", "44100"},
        {"FG-000004", "CBA120305TZ2", "<ausente>", "USD", "44100"},
        {"FZ-000001", "XAXX010101000", "04", "MXN", "45010"},
    };
    for (const Expected &e : cases) {
        const QString folio = QString::fromLatin1(e.folio);
        SCOPED_TRACE(e.folio);
        ASSERT_EQ(sign(folio), QString());
        const auto stamped = findDigitalDocument(db(), QStringLiteral("Factura"), folio);
        ASSERT_TRUE(stamped);
        EXPECT_EQ(stampedSchema().errors(stamped->xml), QStringList());
        EXPECT_TRUE(cfdi::verifyComprobanteSeal(stamped->xml));
        const cfdi::TimbreFiscalDigital tfd = cfdi::readTimbreFiscalDigital(stamped->xml);
        EXPECT_EQ(tfd.uuid, stamped->uuid);
        EXPECT_EQ(stamped->fechaTimbrado, now());
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Comprobante"), QStringLiteral("Fecha")),
                  QStringLiteral("2026-12-06T10:00:00"));
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Receptor"), QStringLiteral("Rfc")), QString::fromLatin1(e.rfc));
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("InformacionGlobal"), QStringLiteral("Periodicidad")),
                  QString::fromLatin1(e.periodicidad));
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Comprobante"), QStringLiteral("Moneda")),
                  QString::fromLatin1(e.moneda));
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Comprobante"), QStringLiteral("LugarExpedicion")),
                  QString::fromLatin1(e.lugar));
        // Pesos carry no TipoCambio; dollars carry the invoice's rate.
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Comprobante"), QStringLiteral("TipoCambio")) ==
                      QStringLiteral("<ausente>"),
                  QByteArray(e.moneda) == "MXN");
        // The CFDI total is the stored invoice's.
        const InvoiceDocument invoice = InvoiceDocument::load(db(), folio);
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Comprobante"), QStringLiteral("Total")),
                  invoice.storedNet.toFixed(2));
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Bitacora_Documento WHERE Bd_Documento = ? AND Bd_Accion = "
                                       "'Timbrado'"),
                        {folio}),
                  1);
    }
}

TEST_P(SigningTest, ConceptsFollowTheStoredLinesAndTheirTaxes)
{
    const InvoiceDocument invoice = InvoiceDocument::load(db(), QStringLiteral("FG-000001"));
    const cfdi::Comprobante c = invoice.toComprobante(now());
    ASSERT_EQ(c.conceptos.size(), invoice.lines.size());
    ASSERT_EQ(c.conceptos.size(), 5); // the day's five pinned notes: IVA 16, 0, exempt, IEPS, mixed
    QStringList factors;
    for (qsizetype i = 0; i < c.conceptos.size(); ++i) {
        const cfdi::Concepto &k = c.conceptos.at(i);
        EXPECT_EQ(k.noIdentificacion, invoice.lines.at(i).noteFolio);
        EXPECT_EQ(k.claveProdServ, QStringLiteral("01010101"));
        EXPECT_EQ(k.claveUnidad, QStringLiteral("ACT"));
        EXPECT_EQ(k.cantidad, QStringLiteral("1"));
        EXPECT_EQ(k.importe, invoice.lines.at(i).list.toFixed(2));
        for (const cfdi::Traslado &t : k.traslados)
            factors << t.impuesto + u' ' + t.tipoFactor + u' ' + t.tasaOCuota + u' ' + (t.importe.isEmpty() ? u'-' : u'+');
    }
    EXPECT_TRUE(factors.contains(QStringLiteral("002 Exento  -")));
    EXPECT_TRUE(factors.contains(QStringLiteral("002 Tasa 0.160000 +")));
    EXPECT_TRUE(factors.contains(QStringLiteral("002 Tasa 0.000000 +")));
    EXPECT_TRUE(factors.contains(QStringLiteral("003 Tasa 0.080000 +")));
    EXPECT_EQ(c.formaPago, invoice.paymentForm());
    EXPECT_EQ(c.receptor.nombre, QStringLiteral("PUBLICO EN GENERAL"));
    EXPECT_EQ(c.receptor.domicilioFiscalReceptor, c.lugarExpedicion);
    ASSERT_TRUE(c.informacionGlobal);
    EXPECT_EQ(c.informacionGlobal->meses, QStringLiteral("11"));
    EXPECT_EQ(c.informacionGlobal->anio, QStringLiteral("2026"));
}

TEST_P(SigningTest, PaymentFormIsTheLargestNotesOne)
{
    InvoiceDocument invoice = InvoiceDocument::load(db(), QStringLiteral("FG-000002"));
    ASSERT_GE(invoice.lines.size(), 2);
    for (InvoiceDocument::Line &line : invoice.lines) {
        line.noteNet = Decimal::fromInt(10);
        line.paymentForm = QStringLiteral("01");
    }
    invoice.lines.last().noteNet = Decimal::fromInt(11);
    invoice.lines.last().paymentForm = QStringLiteral("28");
    EXPECT_EQ(invoice.toComprobante(now()).formaPago, QStringLiteral("28"));
    invoice.lines.last().paymentForm.clear();
    EXPECT_THROW(invoice.toComprobante(now()), Error);
}

TEST_P(SigningTest, SigningTwiceNeverStampsTwice)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString());
    const QString uuid = uuidOf(QStringLiteral("FG-000003"));
    Platform::instance().fixClock(now().addSecs(600));
    EXPECT_EQ(sign(QStringLiteral("FG-000003")), QString());
    EXPECT_EQ(uuidOf(QStringLiteral("FG-000003")), uuid);
    EXPECT_EQ(stampedRows(), 1);
    EXPECT_EQ(logRows(QStringLiteral("Timbrado")), 1);
}

TEST_P(SigningTest, RefusalsExplainThemselvesAndWriteNothing)
{
    struct Case
    {
        const char *name;
        std::function<void(Connection &)> arrange;
        QString folio;
        QString request; // "" : the ordinary request for the folio
        QString expected;
    };
    const cfdi::Csd expired = cfdi::generateTestCsd(
        QStringLiteral("EKU9003173C9"), QStringLiteral("ESCUELA KEMPER URGATE"), QStringLiteral("12345678a"),
        QDateTime(QDate(2024, 1, 1), QTime(0, 0), QTimeZone::utc()), QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()));
    const QString fg3 = QStringLiteral("FG-000003");
    const QList<Case> cases = {
        {"wrong key password",
         [](Connection &t) { t.run(QStringLiteral("UPDATE Emisor SET Em_Clave = 'otra'")); }, fg3, {},
         QStringLiteral("contraseña de la llave privada del CSD es incorrecta")},
        {"expired certificate",
         [&expired](Connection &t) {
             t.run(QStringLiteral("UPDATE Emisor SET Em_Certificado = ?, Em_Llave = ?"),
                        {QString::fromLatin1(expired.certificateDer.toBase64()),
                         QString::fromLatin1(expired.privateKeyDer.toBase64())});
         },
         fg3, {}, QStringLiteral("venció")},
        {"cancelled invoice",
         [](Connection &t) { t.run(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000003'")); },
         fg3, {}, QStringLiteral("está cancelada")},
        {"series not electronic",
         [](Connection &t) { t.run(QStringLiteral("UPDATE Factura SET Fc_Serie = 'FGN' WHERE Fc_Folio = 'FG-000003'")); },
         fg3, {}, QStringLiteral("no es de facturas electrónicas")},
        {"unknown folio", [](Connection &) {}, QStringLiteral("FG-999999"), {}, QStringLiteral("no existe")},
        {"stored total differs from the lines",
         [](Connection &t) {
             t.run(QStringLiteral("UPDATE Factura SET Fc_Precio_Neto_Importe = Fc_Precio_Neto_Importe + 1 "
                                   "WHERE Fc_Folio = 'FG-000003'"));
         },
         fg3, {}, QStringLiteral("registra un total de")},
        {"notes of two months on a global invoice",
         [](Connection &t) {
             t.run(QStringLiteral("UPDATE Venta_Encabezado SET Vn_Fecha = '2026-10-30' WHERE Vn_Folio = "
                                   "(SELECT min(Vn_Folio) FROM Factura_Linea WHERE Fc_Folio = 'FG-000002')"));
         },
         QStringLiteral("FG-000002"), {}, QStringLiteral("abarcan más de un mes")},
        {"not an invoice", [](Connection &) {}, fg3, QStringLiteral("%1|7|FG-000003"), QStringLiteral("solo facturas")},
        {"another database", [](Connection &) {}, fg3, QStringLiteral("otra|6|FG-000003"),
         QStringLiteral("es para la base de datos otra")},
        {"malformed request", [](Connection &) {}, fg3, QStringLiteral("FG-000003"), QStringLiteral("no válida")},
        {"no PAC configured",
         [](Connection &t) { t.run(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = 'OTRO' WHERE Vc_Nombre = 'CFDI_PAC'")); },
         fg3, {}, QStringLiteral("CFDI_PAC no está disponible")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TransactionGuard scratch(db()); // every case starts from the untouched demo
        c.arrange(db());
        const QString request = c.request.isEmpty() ? this->request(c.folio) : c.request.arg(db().defaultDatabase());
        const QString answer = DocumentSigner().sign(request);
        EXPECT_TRUE(answer.contains(c.expected)) << answer.toStdString();
        EXPECT_EQ(stampedRows(), 0);
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Bitacora_Documento")), 0);
    }
}

TEST_P(SigningTest, PacRefusalIsReportedWithItsCodeAndNothingIsStored)
{
    auto pac = std::make_shared<RefusingPac>();
    const QString answer = DocumentSigner(pac).sign(request(QStringLiteral("FG-000004")));
    EXPECT_EQ(answer, QStringLiteral("El PAC rechazó el comprobante: CFDI40108 - El SubTotal no cuadra"));
    EXPECT_EQ(pac->calls, 1);
    EXPECT_EQ(stampedRows(), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Bitacora_Documento")), 0);
}

TEST_P(SigningTest, SigningJoinsTheCallersTransaction)
{
    db().beginTrans();
    EXPECT_EQ(sign(QStringLiteral("FG-000001")), QString());
    EXPECT_EQ(stampedRows(), 1);
    db().rollbackTrans();
    EXPECT_EQ(stampedRows(), 0);
    EXPECT_EQ(logRows(QStringLiteral("Timbrado")), 0);
}

TEST_P(SigningTest, TheHostObjectSignsThroughTheInstalledSigner)
{
    HostObject host(QStringLiteral("QX417"), QStringLiteral("VENTAS"));
    EXPECT_NE(host.FirmaDocumento(request(QStringLiteral("FG-000002"))), QString());
    installElectronicDocuments(host);
    EXPECT_EQ(host.FirmaDocumento(request(QStringLiteral("FG-000002"))), QString());
    EXPECT_EQ(uuidOf(QStringLiteral("FG-000002")).size(), 36);
}

TEST_P(SigningTest, CommandLineSignsPendingInvoicesAndPrintsTheXml)
{
    exec(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000004'"));
    ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    auto run = [this](const QStringList &arguments, int *exitCode) {
        QProcess process;
        process.setProgram(qEnvironmentVariable("ZENTARO_BIN"));
        process.setArguments(arguments);
        process.start();
        EXPECT_TRUE(process.waitForFinished(60000));
        *exitCode = process.exitCode();
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    const QString url = database->urlText();
    int code = -1;
    // The program's own clock is the computer's; the demo CSD is valid for a year around
    // the fixed day, which is enough as long as that day is close to today.
    const QString out = run({QStringLiteral("sign"), QStringLiteral("--db"), url, QStringLiteral("--pending")}, &code);
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << out.toStdString(); // FG-000001 signed already, FG-000004 cancelled
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("{\"folio\":\"FG-000002\",\"uuid\":\""))) << out.toStdString();
    EXPECT_TRUE(lines.at(2).startsWith(QStringLiteral("{\"folio\":\"FZ-000001\",\"uuid\":\""))) << out.toStdString();
    EXPECT_EQ(code, 0);

    const QString refused = run({QStringLiteral("sign"), QStringLiteral("--db"), url, QStringLiteral("FG-000004")}, &code);
    EXPECT_EQ(refused.trimmed(), QStringLiteral("{\"folio\":\"FG-000004\",\"error\":\"La factura FG-000004 está cancelada; no "
                                                "se puede firmar\"}"));
    EXPECT_EQ(code, 1);

    const QString xml = run({QStringLiteral("xml"), QStringLiteral("--db"), url, QStringLiteral("FG-000001")}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(xml.toUtf8().trimmed(), findDigitalDocument(db(), QStringLiteral("Factura"), QStringLiteral("FG-000001"))->xml.trimmed());
    run({QStringLiteral("xml"), QStringLiteral("--db"), url, QStringLiteral("FG-000004")}, &code);
    EXPECT_EQ(code, 1);
}

ZENTARO_ON_BOTH_ENGINES(SigningTest);

} // namespace zentaro::test
