#include "CfdiFixtures.h"

#include "platform/cfdi/AmountText.h"
#include "platform/cfdi/PlaceOfIssue.h"
#include "platform/cfdi/VerificationQr.h"
#include "platform/core/Error.h"

#include <QTimeZone>

namespace zentaro::cfdi::test {
namespace {

TEST(GlobalInvoice, ThePeriodicityAndTheInvoiceDateFixThePeriod)
{
    struct Case
    {
        const char *periodicidad;
        QDate invoiceDate;
        const char *regimen;
        QDate first;
        QDate last;
        const char *meses;
    };
    const std::vector<Case> cases = {
        {"01", QDate(2026, 3, 9), "601", QDate(2026, 3, 9), QDate(2026, 3, 9), "03"},
        // Monday to Sunday, cut at the month's end so Meses names the notes' month.
        {"02", QDate(2026, 3, 11), "601", QDate(2026, 3, 9), QDate(2026, 3, 15), "03"},
        {"02", QDate(2026, 4, 1), "601", QDate(2026, 4, 1), QDate(2026, 4, 5), "04"},
        {"02", QDate(2026, 3, 31), "601", QDate(2026, 3, 30), QDate(2026, 3, 31), "03"},
        {"03", QDate(2026, 3, 15), "601", QDate(2026, 3, 1), QDate(2026, 3, 15), "03"},
        {"03", QDate(2026, 2, 16), "601", QDate(2026, 2, 16), QDate(2026, 2, 28), "02"},
        {"04", QDate(2026, 12, 31), "601", QDate(2026, 12, 1), QDate(2026, 12, 31), "12"},
        {"05", QDate(2026, 11, 3), "621", QDate(2026, 11, 1), QDate(2026, 12, 31), "18"},
        {"05", QDate(2028, 2, 29), "621", QDate(2028, 1, 1), QDate(2028, 2, 29), "13"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(std::string(test.periodicidad) + " " + test.invoiceDate.toString(Qt::ISODate).toStdString());
        const GlobalPeriod period = globalPeriod(QString::fromLatin1(test.periodicidad), test.invoiceDate,
                                                 QString::fromLatin1(test.regimen));
        EXPECT_EQ(period.first, test.first);
        EXPECT_EQ(period.last, test.last);
        EXPECT_EQ(period.informacion.meses, QString::fromLatin1(test.meses));
        EXPECT_EQ(period.informacion.anio, QString::number(test.invoiceDate.year()));
    }
}

TEST(GlobalInvoice, NotesOutsideThePeriodAndChoicesSatRefusesAreExplained)
{
    const QDate day(2026, 11, 14);
    const QList<DatedNote> sixToFourteen = {{QStringLiteral("NV-1"), QDate(2026, 11, 6)},
                                            {QStringLiteral("NV-2"), day}};
    // The notes of 6-14 November are a fortnight or a month, never a day or a week.
    EXPECT_EQ(informacionGlobalFor(sixToFourteen, QStringLiteral("03"), day, QStringLiteral("601")).meses,
              QStringLiteral("11"));
    EXPECT_EQ(informacionGlobalFor(sixToFourteen, QStringLiteral("04"), day, QStringLiteral("601")).periodicidad,
              QStringLiteral("04"));
    // A global made late covers its notes' own period, dated the day it is made.
    EXPECT_EQ(informacionGlobalFor({{QStringLiteral("NV-3"), QDate(2026, 11, 30)}}, QStringLiteral("01"),
                                   QDate(2026, 12, 6), QStringLiteral("601")).meses,
              QStringLiteral("11"));
    EXPECT_THROW(informacionGlobalFor(sixToFourteen, QStringLiteral("04"), QDate(2026, 11, 1), QStringLiteral("601")),
                 Error);   // dated before its notes
    struct Refused
    {
        const char *periodicidad;
        const char *regimen;
        QList<DatedNote> notes;
        const char *message;
    };
    const std::vector<Refused> refused = {
        {"01", "601", sixToFourteen, "La nota NV-2 del 14/11/2026 está fuera del periodo diaria"},
        {"02", "601", sixToFourteen, "del 02/11/2026 al 08/11/2026"},
        {"05", "601", sixToFourteen, "solo aplica al régimen 621"},
        {"06", "601", sixToFourteen, "no es válida"},
        {"04", "601", {}, "no tiene notas"},
    };
    for (const Refused &r : refused) {
        SCOPED_TRACE(r.message);
        try {
            informacionGlobalFor(r.notes, QString::fromLatin1(r.periodicidad), day, QString::fromLatin1(r.regimen));
            ADD_FAILURE() << "accepted";
        } catch (const Error &e) {
            EXPECT_TRUE(e.description().contains(QString::fromUtf8(r.message))) << e.description().toStdString();
        }
    }
    // SAT takes a global of the year of its Fecha or of the year before.
    const InformacionGlobal december = globalPeriod(QStringLiteral("04"), QDate(2026, 12, 31), QStringLiteral("601")).informacion;
    EXPECT_NO_THROW(checkGlobalYear(december, QDate(2026, 12, 31)));
    EXPECT_NO_THROW(checkGlobalYear(december, QDate(2027, 1, 1)));
    EXPECT_THROW(checkGlobalYear(december, QDate(2028, 1, 1)), Error);
    EXPECT_THROW(checkGlobalYear(december, QDate(2025, 12, 31)), Error);
}

TEST(PlaceOfIssue, FechaIsTheLocalTimeOfThePostalCode)
{
    // 18:00 UTC on a winter day, and on a summer day when the border follows US time.
    const QDateTime winter(QDate(2026, 12, 6), QTime(18, 0), QTimeZone::utc());
    const QDateTime summer(QDate(2026, 7, 6), QTime(18, 0), QTimeZone::utc());
    struct Case
    {
        const char *postalCode;
        const char *winter;
        const char *summer;
    };
    const std::vector<Case> cases = {
        {"44100", "12:00", "12:00"}, // Guadalajara, central time without summer time
        {"06600", "12:00", "12:00"}, // Mexico City
        {"77500", "13:00", "13:00"}, // Cancún
        {"83000", "11:00", "11:00"}, // Hermosillo
        {"22000", "10:00", "11:00"}, // Tijuana
        {"82000", "11:00", "11:00"}, // Mazatlán
        {"32000", "11:00", "12:00"}, // Ciudad Juárez
        {"31000", "12:00", "12:00"}, // Chihuahua
        {"88500", "12:00", "13:00"}, // Reynosa
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.postalCode);
        const QString cp = QString::fromLatin1(c.postalCode);
        EXPECT_EQ(fechaAtPlaceOfIssue(winter, cp).mid(11, 5), QString::fromLatin1(c.winter));
        EXPECT_EQ(fechaAtPlaceOfIssue(summer, cp).mid(11, 5), QString::fromLatin1(c.summer));
        EXPECT_EQ(momentOfFecha(fechaAtPlaceOfIssue(winter, cp), cp), winter);
    }
    EXPECT_FALSE(momentOfFecha(QStringLiteral("2026-12-06 10:00"), QStringLiteral("44100")).isValid());
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
