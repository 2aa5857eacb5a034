#include "ElectronicDocumentFixture.h"
#include "platform/cfdi/CfdiFixtures.h"

#include "platform/cfdi/Anexo20Rules.h"
#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/Pac.h"
#include "platform/cfdi/TestCertificate.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/host/HostObject.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTimeZone>

#include <optional>

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

TEST_P(SigningTest, EveryDemoInvoiceBecomesAValidSealedAndStampedCfdi)
{
    struct Expected
    {
        const char *folio;
        const char *rfc;
        const char *periodicidad; // "<ausente>": not a global invoice
        const char *meses;
        const char *moneda;
        const char *lugar;
    };
    const Expected cases[] = {
        {"FG-000001", "XAXX010101000", "01", "11", "MXN", "44100"},
        {"FZ-000002", "XAXX010101000", "02", "11", "MXN", "45010"},
        {"FG-000002", "XAXX010101000", "03", "11", "MXN", "44100"},
        {"FZ-000001", "XAXX010101000", "04", "11", "MXN", "45010"},
        {"FG-000003", "APR980312K41", "<ausente>", "<ausente>", "MXN", "44100"},
        {"FG-000004", "CBA120305TZ2", "<ausente>", "<ausente>", "USD", "44100"},
        {"FG-000006", "XAXX010101000", "01", "12", "MXN", "44100"},
    };
    const QString replaced = field(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000005'"));
    ASSERT_EQ(replaced.size(), 36);
    for (const Expected &e : cases) {
        const QString folio = QString::fromLatin1(e.folio);
        SCOPED_TRACE(e.folio);
        ASSERT_EQ(sign(folio), QString());
        const auto stamped = findDigitalDocument(db(), QStringLiteral("Factura"), folio);
        ASSERT_TRUE(stamped);
        EXPECT_EQ(stampedSchema().errors(stamped->xml), QStringList());
        // The cadena the seal covers is SAT's, byte for byte.
        EXPECT_EQ(cfdi::cadenaOriginal(stamped->xml),
                  cfdi::test::xsltCadena(QStringLiteral("xslt/cadenaoriginal_4_0.xslt"), stamped->xml));
        EXPECT_TRUE(cfdi::verifyComprobanteSeal(stamped->xml));
        // The SAT seal of the timbre verifies with the PAC's certificate kept beside it.
        const cfdi::TimbreFiscalDigital tfd = cfdi::readTimbreFiscalDigital(stamped->xml);
        ASSERT_FALSE(stamped->satCertificateDer.isEmpty());
        const cfdi::CsdCertificate pac = cfdi::CsdCertificate::fromDer(stamped->satCertificateDer);
        EXPECT_EQ(pac.number(), tfd.noCertificadoSat);
        EXPECT_TRUE(pac.verify(cfdi::cadenaOriginalTfd(tfd).toUtf8(), tfd.selloSat));
        EXPECT_EQ(tfd.uuid, stamped->uuid);
        EXPECT_EQ(tfd.fechaTimbrado, QStringLiteral("2026-12-06T10:00:00"));
        const std::pair<const char *, QString> attributes[] = {
            {"Comprobante Fecha", QStringLiteral("2026-12-06T10:00:00")},
            {"Receptor Rfc", QString::fromLatin1(e.rfc)},
            {"InformacionGlobal Periodicidad", QString::fromLatin1(e.periodicidad)},
            {"InformacionGlobal Meses", QString::fromLatin1(e.meses)},
            {"Comprobante Moneda", QString::fromLatin1(e.moneda)},
            {"Comprobante LugarExpedicion", QString::fromLatin1(e.lugar)},
            // Only the re-issued global relates the one it replaces.
            {"CfdiRelacionados TipoRelacion", folio == u"FG-000006" ? QStringLiteral("04") : QStringLiteral("<ausente>")},
            {"CfdiRelacionado UUID", folio == u"FG-000006" ? replaced : QStringLiteral("<ausente>")},
            // The CFDI total is the stored invoice's.
            {"Comprobante Total", InvoiceDocument::load(db(), folio).storedNet.toFixed(2)},
        };
        for (const auto &[where, value] : attributes) {
            const QStringList parts = QString::fromLatin1(where).split(u' ');
            EXPECT_EQ(attributeOf(stamped->xml, parts.at(0), parts.at(1)), value) << where;
        }
        // Pesos carry no TipoCambio; dollars carry the invoice's rate.
        EXPECT_EQ(attributeOf(stamped->xml, QStringLiteral("Comprobante"), QStringLiteral("TipoCambio")) == u"<ausente>",
                  QByteArray(e.moneda) == "MXN");
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Bitacora_Documento WHERE Bd_Documento = ? AND Bd_Accion = 'Timbrado'"),
                        {folio}), 1);
    }
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Comprobante_Sellado")), 0);
}

TEST_P(SigningTest, TheIssuersChoicesShapeTheComprobante)
{
    struct Case
    {
        const char *name;
        QString folio;
        QString arrange;
        std::function<void(const cfdi::Comprobante &)> check;
    };
    const QList<Case> cases = {
        {"a named customer's credit sale is paid later", QStringLiteral("FG-000003"),
         QStringLiteral("UPDATE Factura SET Fc_Credito = 'SI' WHERE Fc_Folio = 'FG-000003'"),
         [](const cfdi::Comprobante &c) {
             EXPECT_EQ(c.metodoPago, QStringLiteral("PPD"));
             EXPECT_EQ(c.formaPago, QStringLiteral("99"));
         }},
        {"a cash sale is paid once", QStringLiteral("FG-000003"), QString(),
         [](const cfdi::Comprobante &c) {
             EXPECT_EQ(c.metodoPago, QStringLiteral("PUE"));
             EXPECT_NE(c.formaPago, QStringLiteral("99"));
         }},
        {"a foreign buyer without RFC is generic", QStringLiteral("FG-000004"),
         QStringLiteral("UPDATE Cliente SET Cl_R_F_C = 'XEXX010101000' WHERE Cl_Cve_Cliente = 'C-0004'"),
         [](const cfdi::Comprobante &c) {
             EXPECT_EQ(c.receptor.rfc, QStringLiteral("XEXX010101000"));
             EXPECT_EQ(c.receptor.domicilioFiscalReceptor, c.lugarExpedicion);
             EXPECT_EQ(c.receptor.regimenFiscalReceptor, QStringLiteral("616"));
             EXPECT_EQ(c.receptor.usoCfdi, QStringLiteral("S01"));
             EXPECT_FALSE(c.informacionGlobal);
         }},
        {"the branch's periodicity when the invoice has none", QStringLiteral("FG-000002"),
         QStringLiteral("UPDATE Factura SET Fc_Periodicidad = '' WHERE Fc_Folio = 'FG-000002'|"
                        "INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor, Vc_Tipo, Vc_Descripcion) "
                        "VALUES ('CFDI_PERIODICIDAD_S01', '04', 'C', '')"),
         [](const cfdi::Comprobante &c) { EXPECT_EQ(c.informacionGlobal->periodicidad, QStringLiteral("04")); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TransactionGuard scratch(db());
        for (const QString &statement : c.arrange.split(u'|', Qt::SkipEmptyParts))
            db().run(statement);
        const cfdi::Comprobante comprobante = InvoiceDocument::load(db(), c.folio).toComprobante(now());
        c.check(comprobante);
        // What the suite builds, the PAC takes.
        const auto sealed = cfdi::sealComprobante(comprobante, cfdi::test::ekuCsd(), now());
        EXPECT_EQ(cfdi::findAnexo20Fault(sealed.xml).value_or(cfdi::PacRefusal{}).message, QString());
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
        QString arrange; // statements separated by '|'
        QString folio;
        QString request; // "" : the ordinary request for the folio
        QString expected;
        std::shared_ptr<cfdi::Pac> pac = {};
    };
    const cfdi::Csd expired = cfdi::generateTestCsd(
        QStringLiteral("EKU9003173C9"), QStringLiteral("ESCUELA KEMPER URGATE"), QStringLiteral("12345678a"),
        QDateTime(QDate(2024, 1, 1), QTime(0, 0), QTimeZone::utc()), QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()));
    const QString fg3 = QStringLiteral("FG-000003"), fg2 = QStringLiteral("FG-000002"), fg1 = QStringLiteral("FG-000001");
    const auto refusing = std::make_shared<RefusingPac>();
    const QList<Case> cases = {
        {"wrong key password", QStringLiteral("UPDATE Emisor SET Em_Clave = 'otra'"), fg3, {},
         QStringLiteral("contraseña de la llave privada del CSD es incorrecta")},
        {"expired certificate",
         QStringLiteral("UPDATE Emisor SET Em_Certificado = '%1', Em_Llave = '%2'")
             .arg(QString::fromLatin1(expired.certificateDer.toBase64()), QString::fromLatin1(expired.privateKeyDer.toBase64())),
         fg3, {}, QStringLiteral("venció")},
        {"cancelled invoice", QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000003'"), fg3, {},
         QStringLiteral("está cancelada")},
        {"series not electronic", QStringLiteral("UPDATE Factura SET Fc_Serie = 'FGN' WHERE Fc_Folio = 'FG-000003'"), fg3, {},
         QStringLiteral("no es de facturas electrónicas")},
        {"unknown folio", {}, QStringLiteral("FG-999999"), {}, QStringLiteral("no existe")},
        {"stored total differs from the lines",
         QStringLiteral("UPDATE Factura SET Fc_Precio_Neto_Importe = Fc_Precio_Neto_Importe + 1 WHERE Fc_Folio = 'FG-000003'"),
         fg3, {}, QStringLiteral("registra un total de")},
        {"a note outside the global's period",
         QStringLiteral("UPDATE Venta_Encabezado SET Vn_Fecha = '2026-10-30' WHERE Vn_Folio = "
                        "(SELECT min(Vn_Folio) FROM Factura_Linea WHERE Fc_Folio = 'FG-000002')"),
         fg2, {}, QStringLiteral("está fuera del periodo quincenal")},
        {"a bimester outside regime 621", QStringLiteral("UPDATE Factura SET Fc_Periodicidad = '05' WHERE Fc_Folio = 'FG-000002'"),
         fg2, {}, QStringLiteral("solo aplica al régimen 621")},
        {"a global paid \"to be defined\"", QStringLiteral("UPDATE Venta_Encabezado SET Vn_Forma_Pago = '99'"), fg1, {},
         QStringLiteral("forma de pago 99")},
        {"a global of a year SAT no longer takes",
         QStringLiteral("UPDATE Factura SET Fc_Fecha = '2024-11-15' WHERE Fc_Folio = 'FG-000001'|"
                        "UPDATE Venta_Encabezado SET Vn_Fecha = '2024-11-15' WHERE Vn_Folio IN "
                        "(SELECT Vn_Folio FROM Factura_Linea WHERE Fc_Folio = 'FG-000001')"),
         fg1, {}, QStringLiteral("debe ser el de su fecha de emisión (2026) o el anterior")},
        {"not an invoice", {}, fg3, QStringLiteral("%1|7|FG-000003"), QStringLiteral("solo facturas")},
        {"another database", {}, fg3, QStringLiteral("otra|6|FG-000003"), QStringLiteral("es para la base de datos otra")},
        {"malformed request", {}, fg3, QStringLiteral("FG-000003"), QStringLiteral("no válida")},
        {"no PAC configured", QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = 'OTRO' WHERE Vc_Nombre = 'CFDI_PAC'"),
         fg3, {}, QStringLiteral("CFDI_PAC no está disponible")},
        {"the PAC's refusal, with its code", {}, QStringLiteral("FG-000004"), {},
         QStringLiteral("El PAC rechazó el comprobante: CFDI40108 - El SubTotal no cuadra"), refusing},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<TransactionGuard> scratch; // every case starts from the untouched demo
        if (!c.arrange.isEmpty())
            scratch.emplace(db());
        for (const QString &statement : c.arrange.split(u'|', Qt::SkipEmptyParts))
            db().run(statement);
        const QString request = c.request.isEmpty() ? this->request(c.folio) : c.request.arg(db().defaultDatabase());
        const QString answer = DocumentSigner(c.pac).sign(request);
        EXPECT_TRUE(answer.contains(c.expected)) << answer.toStdString();
        EXPECT_EQ(stampedRows(), 0);
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Bitacora_Documento")), 0);
    }
    EXPECT_EQ(refusing->calls, 1) << "a refusal is final: not sent again";
}

TEST_P(SigningTest, NeverSignsInsideSomebodyElsesTransaction)
{
    // The sealed XML must be committed before the PAC sees it, which an open transaction
    // would not allow.
    db().beginTrans();
    EXPECT_TRUE(sign(QStringLiteral("FG-000001")).contains(QStringLiteral("dentro de una transacción abierta")));
    EXPECT_EQ(stampedRows(), 0);
    db().rollbackTrans();
    EXPECT_EQ(sign(QStringLiteral("FG-000001")), QString());
}

TEST_P(SigningTest, CommandLineSignsPendingInvoicesAndPrintsTheXml)
{
    exec(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000004'"));
    ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    auto run = [](const QStringList &arguments, int *exitCode) {
        QProcess process;
        process.start(qEnvironmentVariable("ZENTARO_BIN"), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        *exitCode = process.exitCode();
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    // The command signs through the host object with the installed signer.
    const QString url = database->urlText();
    int code = -1;
    // The program's own clock is the computer's; the demo CSD is valid for a year around
    // the fixed day, which is enough as long as that day is close to today.
    const QString out = run({QStringLiteral("sign"), QStringLiteral("--db"), url, QStringLiteral("--pending")}, &code);
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    // FG-000001 signed already, FG-000004 and FG-000005 cancelled.
    ASSERT_EQ(lines.size(), 5) << out.toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("{\"folio\":\"FG-000002\",\"uuid\":\""))) << out.toStdString();
    EXPECT_TRUE(lines.at(4).startsWith(QStringLiteral("{\"folio\":\"FZ-000002\",\"uuid\":\""))) << out.toStdString();
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
