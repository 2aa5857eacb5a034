#include "CfdiFixtures.h"

#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/cfdi/SchemaValidator.h"

namespace zentaro::cfdi::test {
namespace {

class SandboxPacTest : public ::testing::Test
{
protected:
    QDateTime now = fixedNow();
    SandboxPac pac{[this] { return now; }};

    QByteArray sealed(const Comprobante &c) { return sealComprobante(c, ekuCsd(), fixedNow()).xml; }
};

TEST_F(SandboxPacTest, RefusesArithmeticAndGlobalFaultsWithTheirCodes)
{
    struct Case
    {
        const char *name;
        std::function<void(Comprobante &)> change;
        const char *code;
    };
    const std::vector<Case> cases = {
        {"Total one cent high", [](Comprobante &c) { c.total = QStringLiteral("870.50"); }, "CFDI40119"},
        {"SubTotal not the sum", [](Comprobante &c) { c.subTotal = QStringLiteral("801.54"); }, "CFDI40108"},
        {"Importe not Cantidad x ValorUnitario",
         [](Comprobante &c) {
             c.conceptos[0].importe = QStringLiteral("862.06");
             computeTotals(c);
         },
         "CFDI40167"},
        {"IVA beyond SAT's rounding limits",
         [](Comprobante &c) {
             c.conceptos[0].traslados[0].importe = QStringLiteral("68.98");
             computeTotals(c);
         },
         "SBX-TRASLADO"},
        {"document tax not the lines' sum",
         [](Comprobante &c) { c.impuestos->traslados[0].importe = QStringLiteral("68.95"); }, "SBX-IMPUESTOS"},
        {"more decimals than MXN allows", [](Comprobante &c) { c.total = QStringLiteral("870.490"); }, "SBX-DECIMALES"},
        {"USD without TipoCambio", [](Comprobante &c) { c.moneda = QStringLiteral("USD"); }, "SBX-TIPOCAMBIO"},
        {"public customer without InformacionGlobal", [](Comprobante &c) { c.informacionGlobal.reset(); },
         "SBX-GLOBAL"},
        {"bimester months with daily periodicity",
         [](Comprobante &c) { c.informacionGlobal->meses = QStringLiteral("13"); }, "SBX-GLOBAL"},
        {"bimestral outside regime 621",
         [](Comprobante &c) {
             c.informacionGlobal =
                 InformacionGlobal{QStringLiteral("05"), QStringLiteral("13"), QStringLiteral("2026")};
         },
         "SBX-GLOBAL"},
        {"Fecha older than 72 hours", [](Comprobante &c) { c.fecha = QStringLiteral("2026-12-02T10:00:00"); }, "401"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Comprobante c = globalInvoice();
        test.change(c);
        const StampResult result = pac.stamp(sealed(c));
        ASSERT_FALSE(result.stamped());
        EXPECT_EQ(result.refusal->code, QString::fromLatin1(test.code)) << result.refusal->message.toStdString();
        EXPECT_FALSE(result.refusal->message.isEmpty());
    }
}

TEST_F(SandboxPacTest, RefusesADocumentChangedAfterSealing)
{
    const QByteArray tampered = sealed(globalInvoice()).replace("Total=\"870.49\"", "Total=\"870.59\"");
    const StampResult result = pac.stamp(tampered);
    ASSERT_FALSE(result.stamped());
    EXPECT_EQ(result.refusal->code, QStringLiteral("CFDI40102"));
}

TEST_F(SandboxPacTest, StampsIdempotentlyWithAVerifiableTimbre)
{
    const QByteArray xml = sealed(globalInvoice());
    const StampResult first = pac.stamp(xml);
    ASSERT_TRUE(first.stamped()) << first.refusal->code.toStdString() << " " << first.refusal->message.toStdString();
    now = now.addSecs(90);
    const StampResult again = pac.stamp(xml);
    ASSERT_TRUE(again.stamped());
    EXPECT_EQ(again.stamp->timbre.uuid, first.stamp->timbre.uuid);
    EXPECT_EQ(again.stamp->timbre.fechaTimbrado, QStringLiteral("2026-12-06T12:00:00"));
    EXPECT_EQ(again.stamp->xml, first.stamp->xml);
    EXPECT_EQ(pac.stamp(again.stamp->xml).refusal->code, QStringLiteral("307"));

    const SchemaValidator schema(satPath(QStringLiteral("xsd/cfdv40_tfd11.xsd")));
    EXPECT_EQ(schema.errors(first.stamp->xml), QStringList());
    EXPECT_TRUE(verifyComprobanteSeal(first.stamp->xml));

    const TimbreFiscalDigital tfd = readTimbreFiscalDigital(first.stamp->xml);
    EXPECT_EQ(tfd.uuid, first.stamp->timbre.uuid);
    const CsdCertificate pacCertificate = CsdCertificate::fromDer(pac.certificateDer());
    EXPECT_EQ(tfd.noCertificadoSat, pacCertificate.number());
    EXPECT_TRUE(pacCertificate.verify(cadenaOriginalTfd(tfd).toUtf8(), tfd.selloSat));
}

} // namespace
} // namespace zentaro::cfdi::test
