#include "CfdiFixtures.h"

#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/SandboxPac.h"

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
    auto named = [](Comprobante &c) {
        c.informacionGlobal.reset();
        c.receptor = Receptor{QStringLiteral("APR980312K41"), QStringLiteral("ABARROTES EL PROGRESO"),
                              QStringLiteral("44100"), QStringLiteral("601"), QStringLiteral("G01")};
    };
    const std::vector<Case> cases = {
        {"Total one cent high", [](Comprobante &c) { c.total = QStringLiteral("870.50"); }, "CFDI40119"},
        {"SubTotal not the sum", [](Comprobante &c) { c.subTotal = QStringLiteral("801.54"); }, "CFDI40108"},
        {"Importe not Cantidad x ValorUnitario",
         [](Comprobante &c) { c.conceptos[0].importe = QStringLiteral("862.06"); computeTotals(c); },
         "CFDI40167"},
        {"IVA beyond SAT's rounding limits",
         [](Comprobante &c) { c.conceptos[0].traslados[0].importe = QStringLiteral("68.98"); computeTotals(c); },
         "CFDI40180"},
        {"a rate SAT does not list",
         [](Comprobante &c) {
             c.conceptos[0].traslados[0].tasaOCuota = QStringLiteral("0.150000");
             c.conceptos[0].traslados[0].importe = QStringLiteral("64.65");
             computeTotals(c);
         },
         "CFDI40179"},
        {"a tax base of zero",
         [](Comprobante &c) { c.conceptos[1].traslados[0].base = QStringLiteral("0.00"); computeTotals(c); },
         "CFDI40174"},
        {"document tax not the lines' sum",
         [](Comprobante &c) { c.impuestos->traslados[0].importe = QStringLiteral("68.95"); }, "CFDI40221"},
        {"more decimals than MXN allows", [](Comprobante &c) { c.subTotal = QStringLiteral("801.530"); }, "CFDI40107"},
        {"USD without TipoCambio", [](Comprobante &c) { c.moneda = QStringLiteral("USD"); }, "CFDI40115"},
        {"MXN with a TipoCambio other than 1", [](Comprobante &c) { c.tipoCambio = QStringLiteral("17.5"); },
         "CFDI40114"},
        {"public customer without InformacionGlobal", [](Comprobante &c) { c.informacionGlobal.reset(); },
         "SBX-GLOBAL"},
        {"bimester months with daily periodicity",
         [](Comprobante &c) { c.informacionGlobal->meses = QStringLiteral("13"); }, "CFDI40134"},
        {"bimestral outside regime 621",
         [](Comprobante &c) {
             c.informacionGlobal =
                 InformacionGlobal{QStringLiteral("05"), QStringLiteral("13"), QStringLiteral("2026")};
         },
         "CFDI40132"},
        {"a year before the previous one",
         [](Comprobante &c) { c.informacionGlobal->anio = QStringLiteral("2024"); }, "CFDI40136"},
        {"a global paid \"to be defined\"", [](Comprobante &c) { c.formaPago = QStringLiteral("99"); }, "SBX-GLOBAL"},
        {"a global concepto with a product key",
         [](Comprobante &c) { c.conceptos[2].claveProdServ = QStringLiteral("50202306"); }, "CFDI40162"},
        {"a global concepto with a unit other than ACT",
         [](Comprobante &c) { c.conceptos[2].claveUnidad = QStringLiteral("H87"); }, "CFDI40165"},
        {"a global concepto described otherwise",
         [](Comprobante &c) { c.conceptos[2].descripcion = QStringLiteral("Ticket"); }, "SBX-GLOBAL"},
        {"InformacionGlobal for a named customer",
         [named](Comprobante &c) {
             const InformacionGlobal kept = *c.informacionGlobal;
             named(c);
             c.informacionGlobal = kept;
         },
         "CFDI40146"},
        {"the public under another name",
         [](Comprobante &c) { c.receptor.nombre = QStringLiteral("VENTAS DE MOSTRADOR"); }, "CFDI40130"},
        {"a credit sale whose payment form is known",
         [named](Comprobante &c) {
             named(c);
             c.metodoPago = QStringLiteral("PPD");
         },
         "CFDI40105"},
        {"a foreign buyer with an address of his own",
         [](Comprobante &c) {
             c.informacionGlobal.reset();
             c.receptor = Receptor{QStringLiteral("XEXX010101000"), QStringLiteral("ACME INC"), QStringLiteral("44100"),
                                   QStringLiteral("616"), QStringLiteral("S01")};
         },
         "CFDI40149"},
        {"the public with a regime", [](Comprobante &c) { c.receptor.regimenFiscalReceptor = QStringLiteral("601"); },
         "CFDI40158"},
        {"Fecha older than 72 hours", [](Comprobante &c) { c.fecha = QStringLiteral("2026-12-02T10:00:00"); }, "401"},
        {"Fecha ahead of the place of issue's clock",
         [](Comprobante &c) { c.fecha = QStringLiteral("2026-12-06T12:30:00"); }, "401"},
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

TEST_F(SandboxPacTest, StampsIdempotently)
{
    const QByteArray xml = sealed(globalInvoice());
    const StampResult first = pac.stamp(xml);
    ASSERT_TRUE(first.stamped()) << first.refusal->code.toStdString() << " " << first.refusal->message.toStdString();
    now = now.addSecs(90);
    const StampResult again = pac.stamp(xml);
    ASSERT_TRUE(again.stamped());
    EXPECT_FALSE(first.alreadyStamped);
    EXPECT_TRUE(again.alreadyStamped);
    EXPECT_EQ(again.stamp->timbre.uuid, first.stamp->timbre.uuid);
    EXPECT_EQ(again.stamp->timbre.fechaTimbrado, QStringLiteral("2026-12-06T12:00:00"));
    EXPECT_EQ(again.stamp->xml, first.stamp->xml);
    EXPECT_EQ(pac.stamp(again.stamp->xml).refusal->code, QStringLiteral("307"));
    // The timbre's schema and both seals are verified on every demo invoice (SigningTest).
}

} // namespace
} // namespace zentaro::cfdi::test
