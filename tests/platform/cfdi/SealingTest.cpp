#include "CfdiFixtures.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/cfdi/ComprobanteXmlWriter.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/CsdPrivateKey.h"
#include "platform/core/Error.h"

#include <functional>
#include <vector>

namespace zentaro::cfdi::test {
namespace {

TEST(Sealing, ReproducesTheGlobalSampleSelloAndRejectsAnyChangedByte)
{
    const QByteArray cadena = readSat(QStringLiteral("samples/cfdi40-global-eku.cadena.txt"));
    const QByteArray xml = readSat(QStringLiteral("samples/cfdi40-global-eku.xml"));
    const QString sello = QString::fromUtf8(xml).section(QStringLiteral("Sello=\""), 1).section(u'"', 0, 0);

    const Csd csd = ekuCsd();
    const CsdCertificate certificate = CsdCertificate::fromDer(csd.certificateDer);
    EXPECT_EQ(certificate.number(), QStringLiteral("30001000000500003416"));
    EXPECT_EQ(certificate.rfc(), QStringLiteral("EKU9003173C9"));
    EXPECT_EQ(CsdPrivateKey::load(csd.privateKeyDer, csd.password).signBase64(cadena), sello);

    EXPECT_TRUE(certificate.verify(cadena, sello));
    for (const qsizetype at : {qsizetype(2), cadena.size() / 2, cadena.size() - 3}) {
        QByteArray changed = cadena;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        EXPECT_FALSE(certificate.verify(changed, sello)) << "byte " << at;
    }
    EXPECT_TRUE(verifyComprobanteSeal(xml));
    EXPECT_FALSE(verifyComprobanteSeal(QByteArray(xml).replace("Total=\"870.49\"", "Total=\"870.50\"")));
}

TEST(Sealing, RefusesWithSentencesTheUserCanActOn)
{
    struct Case
    {
        const char *name;
        std::function<void(Csd &, QDateTime &, Comprobante &)> change;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"wrong password", [](Csd &csd, QDateTime &, Comprobante &) { csd.password = QStringLiteral("12345678b"); },
         "contraseña de la llave privada del CSD es incorrecta"},
        {"expired certificate",
         [](Csd &, QDateTime &now, Comprobante &) { now = QDateTime(QDate(2027, 5, 19), QTime(9, 0)); },
         "venció el 18/05/2027"},
        {"key of another CSD",
         [](Csd &csd, QDateTime &, Comprobante &) {
             csd.privateKeyDer = generateTestCsd(QStringLiteral("EKU9003173C9"), QStringLiteral("OTRA"), csd.password,
                                                 fixedNow().addYears(-1), fixedNow().addYears(1))
                                     .privateKeyDer;
         },
         "no corresponde al certificado"},
        {"issuer of another RFC",
         [](Csd &, QDateTime &, Comprobante &c) { c.emisor.rfc = QStringLiteral("AAA010101AAA"); },
         "no es el del certificado"},
        {"not a key file", [](Csd &csd, QDateTime &, Comprobante &) { csd.privateKeyDer = csd.certificateDer; },
         "no es una llave de CSD"},
        {"certificate not valid yet",
         [](Csd &, QDateTime &now, Comprobante &) { now = QDateTime(QDate(2023, 5, 1), QTime(9, 0)); },
         "es válido a partir del 18/05/2023"},
        {"unreadable certificate file",
         [](Csd &csd, QDateTime &, Comprobante &) { csd.certificateDer = QByteArrayLiteral("MIIF no es un .cer"); },
         "El archivo del certificado no se puede leer"},
        {"empty certificate file", [](Csd &csd, QDateTime &, Comprobante &) { csd.certificateDer.clear(); },
         "El archivo del certificado está vacío"},
        {"an e.firma instead of a CSD",
         [](Csd &csd, QDateTime &, Comprobante &) {
             csd = generateTestCsd(QStringLiteral("EKU9003173C9"), QStringLiteral("ESCUELA"), csd.password,
                                   fixedNow().addYears(-1), fixedNow().addYears(1),
                                   QStringLiteral("30001000000500000099"), TestCertificateKind::Fiel);
         },
         "es de una e.firma (FIEL)"},
        {"no password", [](Csd &csd, QDateTime &, Comprobante &) { csd.password.clear(); },
         "Falta la contraseña de la llave privada"},
        {"truncated key file", [](Csd &csd, QDateTime &, Comprobante &) { csd.privateKeyDer.chop(40); },
         "no es una llave de CSD"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Csd csd = ekuCsd();
        QDateTime now = fixedNow();
        Comprobante c = globalInvoice();
        test.change(csd, now, c);
        try {
            sealComprobante(c, csd, now);
            ADD_FAILURE() << "sealed anyway";
        } catch (const Error &e) {
            EXPECT_TRUE(e.description().contains(QString::fromUtf8(test.expected))) << e.what();
            // OpenSSL's own English reason never reaches the clerk.
            EXPECT_FALSE(e.description().contains(QStringLiteral("error:"))) << e.what();
        }
    }
}

TEST(Sealing, GeneratedTestCsdHasSatShapeAndSeals)
{
    const Csd csd =
        generateTestCsd(QStringLiteral("EKU9003173C9"), QStringLiteral("ESCUELA DE PRUEBA"), QStringLiteral("s3creta"),
                        fixedNow().addDays(-1), fixedNow().addDays(30), QStringLiteral("30001000000500000042"));
    const CsdCertificate certificate = CsdCertificate::fromDer(csd.certificateDer);
    EXPECT_EQ(certificate.number(), QStringLiteral("30001000000500000042"));
    EXPECT_EQ(certificate.rfc(), QStringLiteral("EKU9003173C9"));
    EXPECT_EQ(certificate.validTo().toSecsSinceEpoch(), fixedNow().addDays(30).toSecsSinceEpoch());
    EXPECT_THROW(CsdPrivateKey::load(csd.privateKeyDer, QStringLiteral("otra")), Error);

    const SealedComprobante sealed = sealComprobante(globalInvoice(), csd, fixedNow());
    EXPECT_EQ(sealed.noCertificado, certificate.number());
    EXPECT_TRUE(verifyComprobanteSeal(sealed.xml));
}

// The seal goes into the document written once without it: the bytes must be those the
// writer gives for the sealed comprobante, even when a value before it looks like the
// attribute.
TEST(Sealing, TheSealedDocumentIsTheWritersOwnWithTheSello)
{
    for (const char *folio : {"7", "1 Sello=\"\" 2"}) {
        SCOPED_TRACE(folio);
        Comprobante c = globalInvoice();
        c.folio = QString::fromLatin1(folio);
        const SealedComprobante sealed = sealComprobante(c, ekuCsd(), fixedNow());
        const Comprobante read = readComprobanteXml(sealed.xml);
        EXPECT_EQ(read.folio, c.folio);
        EXPECT_EQ(read.sello, sealed.sello);
        c.noCertificado = read.noCertificado;
        c.certificado = read.certificado;
        c.sello = sealed.sello;
        EXPECT_EQ(sealed.xml, writeComprobanteXml(c));
        EXPECT_TRUE(verifyComprobanteSeal(sealed.xml));
    }
}

// The sealer signs the cadena taken from the fields, never written and read back: it must be
// the cadena of the document written, whatever white space, marks or empty values it holds
// (the cadena of the written XML is the one compared with SAT's stylesheet).
TEST(Sealing, TheCadenaOfTheFieldsIsTheCadenaOfTheWrittenDocument)
{
    struct Variant
    {
        const char *name;
        std::function<void(Comprobante &)> change;
    };
    const std::vector<Variant> variants = {
        {"as sealed", [](Comprobante &) {}},
        {"tabs, line breaks and doubled spaces",
         [](Comprobante &c) {
             c.emisor.nombre = QStringLiteral("  ESCUELA\tKEMPER \n\n URGATE  ");
             c.conceptos[0].descripcion = QStringLiteral("Venta\r\nde  mostrador ");
         }},
        {"no-break space and marks",
         [](Comprobante &c) { c.receptor.nombre = QStringLiteral("PÚBLICO\u00A0EN \"GENERAL\" & <CÍA> 'S'"); }},
        {"empty optionals and an empty required",
         [](Comprobante &c) {
             c.serie.clear();
             c.folio.clear();
             c.formaPago.clear();
             c.receptor.usoCfdi.clear();
             c.conceptos[0].noIdentificacion.clear();
             c.conceptos[1].unidad = QStringLiteral("Pieza");
             c.conceptos[1].descuento = QStringLiteral("1.00");
         }},
        {"related documents in dollars",
         [](Comprobante &c) {
             c.moneda = QStringLiteral("USD");
             c.tipoCambio = QStringLiteral("17.8543");
             c.cfdiRelacionados = {{QStringLiteral("04"),
                                    {QStringLiteral("5FB2822E-396D-4725-8521-CDC4BDD20CCF"),
                                     QStringLiteral("6FB2822E-396D-4725-8521-CDC4BDD20CCF")}}};
         }},
        {"no taxes at all",
         [](Comprobante &c) {
             for (Concepto &k : c.conceptos) {
                 k.traslados.clear();
                 k.objetoImp = QStringLiteral("01");
             }
             c.impuestos.reset();
         }},
    };
    for (const Variant &variant : variants) {
        SCOPED_TRACE(variant.name);
        Comprobante c = globalInvoice();
        variant.change(c);
        const SealedComprobante sealed = sealComprobante(c, ekuCsd(), fixedNow());
        EXPECT_EQ(sealed.cadenaOriginal, cadenaOriginal(sealed.xml));
        EXPECT_TRUE(verifyComprobanteSeal(sealed.xml));
    }
}

} // namespace
} // namespace zentaro::cfdi::test
