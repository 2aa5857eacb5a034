#include "CfdiFixtures.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/SchemaValidator.h"

namespace zentaro::cfdi::test {
namespace {

TEST(CadenaOriginal, SamplesMatchSatStylesheetOutput)
{
    // The global sample covers InformacionGlobal, 16 %, 0 % and exempt; the other one
    // Descuento, Unidad, a stamped Complemento and non-ASCII text.
    for (const char *sample : {"cfdi40-global-eku", "cfdi40-valid"}) {
        SCOPED_TRACE(sample);
        const QString name = QString::fromLatin1(sample);
        const QByteArray expected = readSat(QStringLiteral("samples/%1.cadena.txt").arg(name));
        EXPECT_EQ(cadenaOriginal(readSat(QStringLiteral("samples/%1.xml").arg(name))).toUtf8(), expected);
    }
    const TimbreFiscalDigital tfd = readTimbreFiscalDigital(readSat(QStringLiteral("samples/cfdi40-valid.xml")));
    EXPECT_EQ(cadenaOriginalTfd(tfd).toUtf8(), readSat(QStringLiteral("samples/cfdi40-valid.tfd-cadena.txt")));
}

TEST(CadenaOriginal, WhitespaceAndOptionalAttributesFollowTheStylesheet)
{
    // Hand-made edge cases the writer never produces but a received XML can hold: runs of
    // spaces, tabs and line breaks, a no-break space, and an empty optional attribute.
    QByteArray xml = readSat(QStringLiteral("samples/cfdi40-global-eku.xml"));
    xml.replace("Nombre=\"ESCUELA KEMPER URGATE\"", "Nombre=\"  ESCUELA&#9;KEMPER&#10;&#10; URGATE\xC2\xA0 \"");
    xml.replace("Serie=\"FG\"", "Serie=\"\"");
    xml.replace("Descripcion=\"Venta\"", "Descripcion=\" Venta   de  café \"");
    EXPECT_EQ(cadenaOriginal(xml), xsltCadena(QStringLiteral("xslt/cadenaoriginal_4_0.xslt"), xml));
}

struct Variant
{
    const char *name;
    std::function<void(Comprobante &)> change;
};

TEST(CadenaOriginal, GeneratedInvoicesAreSchemaValidAndMatchSatStylesheet)
{
    const SchemaValidator schema(satPath(QStringLiteral("xsd/cfdv40.xsd")));
    const std::vector<Variant> variants = {
        {"one day, IVA 16/0/exempt", [](Comprobante &) {}},
        {"month span with discount",
         [](Comprobante &c) {
             c.informacionGlobal = informacionGlobalFor({{QStringLiteral("T-1"), QDate(2026, 11, 1)},
                                                         {QStringLiteral("T-2"), QDate(2026, 11, 30)}},
                                                        QStringLiteral("04"), QDate(2026, 11, 30),
                                                        c.emisor.regimenFiscal);
             c.conceptos[0].descuento = QStringLiteral("31.03");
             c.conceptos[0].traslados = {traslado(QStringLiteral("400.00"), QStringLiteral("002"),
                                                  QStringLiteral("Tasa"), QStringLiteral("0.160000"))};
         }},
        {"IEPS and IVA on one ticket, odd description",
         [](Comprobante &c) {
             c.conceptos[1].descripcion = QStringLiteral("Venta  de\tcafé & té <ñ>");
             c.conceptos[1].traslados = {traslado(QStringLiteral("250.00"), QStringLiteral("003"),
                                                  QStringLiteral("Tasa"), QStringLiteral("0.080000")),
                                         traslado(QStringLiteral("270.00"), QStringLiteral("002"),
                                                  QStringLiteral("Tasa"), QStringLiteral("0.160000"))};
         }},
        {"USD with TipoCambio",
         [](Comprobante &c) {
             c.moneda = QStringLiteral("USD");
             c.tipoCambio = QStringLiteral("17.8543");
             c.serie.clear();
         }},
    };
    for (const Variant &variant : variants) {
        SCOPED_TRACE(variant.name);
        Comprobante c = globalInvoice();
        variant.change(c);
        computeTotals(c);
        const SealedComprobante sealed = sealComprobante(c, ekuCsd(), fixedNow());
        EXPECT_EQ(schema.errors(sealed.xml), QStringList());
        EXPECT_EQ(sealed.cadenaOriginal, xsltCadena(QStringLiteral("xslt/cadenaoriginal_4_0.xslt"), sealed.xml));
        EXPECT_TRUE(verifyComprobanteSeal(sealed.xml));
    }
}

TEST(CadenaOriginal, SchemaRejectsWhatTheWriterMustNeverEmit)
{
    const SchemaValidator schema(satPath(QStringLiteral("xsd/cfdv40.xsd")));
    const std::vector<Variant> faults = {
        {"Meses 19", [](Comprobante &c) { c.informacionGlobal->meses = QStringLiteral("19"); }},
        {"missing Nombre del receptor", [](Comprobante &c) { c.receptor.nombre.clear(); }},
        {"exempt spelled lower case",
         [](Comprobante &c) { c.conceptos[2].traslados[0].tipoFactor = QStringLiteral("exento"); }},
    };
    for (const Variant &fault : faults) {
        SCOPED_TRACE(fault.name);
        Comprobante c = globalInvoice();
        fault.change(c);
        EXPECT_FALSE(schema.errors(sealComprobante(c, ekuCsd(), fixedNow()).xml).isEmpty());
    }
}

} // namespace
} // namespace zentaro::cfdi::test
