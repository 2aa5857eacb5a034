#include "CfdiFixtures.h"

#include "platform/cfdi/AmountText.h"
#include "platform/cfdi/VerificationQr.h"
#include "platform/core/Error.h"

namespace zentaro::cfdi::test {
namespace {

TEST(GlobalInvoice, PeriodIsTheShortestThatHoldsEveryNote)
{
    struct Case
    {
        QDate first;
        QDate last;
        const char *regimen;
        const char *periodicidad;
        const char *meses;
    };
    const std::vector<Case> cases = {
        {QDate(2026, 3, 9), QDate(2026, 3, 9), "601", "01", "03"},
        {QDate(2026, 3, 9), QDate(2026, 3, 15), "601", "02", "03"},
        {QDate(2026, 3, 1), QDate(2026, 3, 15), "601", "03", "03"},
        {QDate(2026, 2, 16), QDate(2026, 2, 28), "601", "03", "02"},
        {QDate(2026, 3, 10), QDate(2026, 3, 20), "601", "04", "03"},
        {QDate(2026, 12, 1), QDate(2026, 12, 31), "601", "04", "12"},
        {QDate(2026, 11, 3), QDate(2026, 12, 2), "621", "05", "18"},
        {QDate(2026, 1, 31), QDate(2026, 2, 1), "621", "05", "13"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.first.toString(Qt::ISODate).toStdString() + " " +
                     test.last.toString(Qt::ISODate).toStdString());
        const InformacionGlobal info = informacionGlobalFor({test.last, test.first}, QString::fromLatin1(test.regimen));
        EXPECT_EQ(info.periodicidad, QString::fromLatin1(test.periodicidad));
        EXPECT_EQ(info.meses, QString::fromLatin1(test.meses));
        EXPECT_EQ(info.anio, QStringLiteral("2026"));
    }
    // Two months outside regime 621, a bimester SAT does not define, and nothing at all.
    EXPECT_THROW(informacionGlobalFor({QDate(2026, 1, 31), QDate(2026, 2, 1)}, QStringLiteral("601")), Error);
    EXPECT_THROW(informacionGlobalFor({QDate(2026, 2, 28), QDate(2026, 3, 1)}, QStringLiteral("621")), Error);
    EXPECT_THROW(informacionGlobalFor({}, QStringLiteral("601")), Error);
}

TEST(GlobalInvoice, TotalsRoundOnlyTheSums)
{
    Comprobante c = globalInvoice();
    // Three lines of 0.333333 IVA each: rounding every line would give 0.99, the sum 1.00.
    c.conceptos = {};
    for (const char *folio : {"A", "B", "C"}) {
        Concepto t = ticket(QString::fromLatin1(folio), QStringLiteral("2.083331"), {});
        t.traslados = {Traslado{t.importe, QStringLiteral("002"), QStringLiteral("Tasa"), QStringLiteral("0.160000"),
                                QStringLiteral("0.333333")}};
        c.conceptos.append(t);
    }
    computeTotals(c);
    EXPECT_EQ(c.subTotal, QStringLiteral("6.25"));
    EXPECT_EQ(c.impuestos->totalImpuestosTrasladados, QStringLiteral("1.00"));
    EXPECT_EQ(c.total, QStringLiteral("7.25"));
    EXPECT_EQ(formatAmount(u"2.005", 2), QStringLiteral("2.01"));
    EXPECT_EQ(formatAmount(u"-0.5", 0), QStringLiteral("-1"));
    EXPECT_EQ(currencyDecimals(u"JPY"), 0);
}

TEST(VerificationQr, AddressCarriesSatParametersAndEncodes)
{
    const QString sello = QStringLiteral("AAAA...PnjdOowilA==");
    const QString url =
        verificationUrl(QStringLiteral("6F35D3B5-3651-5370-BC2C-14CDBE384CD7"), QStringLiteral("EKU9003173C9"),
                        QStringLiteral("XAXX010101000"), QStringLiteral("1000.00"), sello);
    EXPECT_EQ(url,
              QStringLiteral(
                  "https://verificacfdi.facturaelectronica.sat.gob.mx/default.aspx?"
                  "id=6F35D3B5-3651-5370-BC2C-14CDBE384CD7&re=EKU9003173C9&rr=XAXX010101000&tt=1000.0&fe=OowilA=="));
    const QrMatrix qr = encodeQr(url);
    ASSERT_GE(qr.width, 21);
    EXPECT_EQ(qr.modules.size(), static_cast<size_t>(qr.width * qr.width));
    // Finder pattern corners: dark outer ring, light ring inside it.
    EXPECT_TRUE(qr.dark(0, 0));
    EXPECT_TRUE(qr.dark(qr.width - 1, 0));
    EXPECT_FALSE(qr.dark(1, 1));
}

} // namespace
} // namespace zentaro::cfdi::test
