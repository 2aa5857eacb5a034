#include "support/SessionFixture.h"

#include "platform/controls/SeriesNumberBox.h"

using namespace zentaro;

namespace {

class SeriesNumberBoxTest : public test::SessionTest
{
protected:
    void seed() override
    {
        const QString insert = QStringLiteral(
            "INSERT INTO Serie (Sr_Cve_Serie, Sc_Cve_Sucursal, Sr_Tabla, Sr_Electronica, Sr_Default, Sr_Siguiente_Numero, "
            "Es_Cve_Estado) VALUES (?, ?, ?, ?, ?, ?, ?)");
        const QString factura = QStringLiteral("Factura");
        db().run(insert, {QStringLiteral("FGN"), QStringLiteral("S01"), factura, QStringLiteral("NO"), QStringLiteral("NO"), 5, QStringLiteral("AC")});
        db().run(insert, {QStringLiteral("FG"), QStringLiteral("S01"), factura, QStringLiteral("SI"), QStringLiteral("SI"), 12, QStringLiteral("AC")});
        db().run(insert, {QStringLiteral("NC"), QStringLiteral("S01"), QStringLiteral("Nota_Credito"), QStringLiteral("SI"), QStringLiteral("SI"), 3, QStringLiteral("AC")});
        db().run(insert, {QStringLiteral("FX"), QStringLiteral("S09"), factura, QStringLiteral("SI"), QStringLiteral("SI"), 7, QStringLiteral("BA")});
        // Number 13 was taken by hand, out of the series' order.
        exec(QStringLiteral("INSERT INTO Factura (Fc_Folio, Fc_Serie, Fc_Numero, Es_Cve_Estado) VALUES ('F-000077', 'FG', 13, 'AC')"));
    }

    int nextNumber()
    {
        return db().select(QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = 'FG'")).field(QStringLiteral("Sr_Siguiente_Numero")).toInt();
    }

    SeriesNumberBox box;
};

TEST_P(SeriesNumberBoxTest, ShowsTheDefaultInvoiceSeriesOfTheBranch)
{
    box.setBranch(QStringLiteral("S01"));
    EXPECT_EQ(box.series(), QStringLiteral("FG"));
    EXPECT_EQ(box.number(), 12);
    EXPECT_EQ(box.documentNumber(), QStringLiteral("FG-12"));
    EXPECT_EQ(box.property("Text").toString(), QStringLiteral("FG-12"));
    EXPECT_EQ(box.message(), QString());

    box.setBranch(QStringLiteral("S09"));   // its only series is withdrawn
    EXPECT_EQ(box.documentNumber(), QString());
    EXPECT_EQ(box.message(), QStringLiteral("La sucursal S09 no tiene una serie de facturas"));
    EXPECT_FALSE(box.ReserveNumber());
}

TEST_P(SeriesNumberBoxTest, ReservesInsideTheCallersTransactionAndRefusesAUsedNumber)
{
    box.setBranch(QStringLiteral("S01"));
    EXPECT_FALSE(box.ReserveNumber());   // no transaction open
    EXPECT_FALSE(box.message().isEmpty());
    EXPECT_EQ(nextNumber(), 12);

    db().beginTrans();
    box.setNumber(99);   // not the series' next number: refused, and the box moves on to it
    EXPECT_FALSE(box.ReserveNumber());
    EXPECT_TRUE(box.message().contains(QStringLiteral("FG-99")) && box.message().contains(QStringLiteral("FG-12")))
        << qPrintable(box.message());
    EXPECT_EQ(box.documentNumber(), QStringLiteral("FG-12"));
    EXPECT_EQ(nextNumber(), 12);
    ASSERT_TRUE(box.ReserveNumber()) << qPrintable(box.message());
    EXPECT_EQ(box.message(), QString());
    EXPECT_EQ(nextNumber(), 13);
    EXPECT_TRUE(db().inTransaction());   // the caller commits

    EXPECT_FALSE(box.ReserveNumber());   // 12 is taken now; the box offers 13
    EXPECT_EQ(box.documentNumber(), QStringLiteral("FG-13"));
    EXPECT_FALSE(box.ReserveNumber());   // 13 was used by hand
    EXPECT_TRUE(box.message().contains(QStringLiteral("FG-13"))) << qPrintable(box.message());
    EXPECT_TRUE(box.message().contains(QStringLiteral("F-000077"))) << qPrintable(box.message());
    db().rollbackTrans();
    EXPECT_EQ(nextNumber(), 12);
}

ZENTARO_ON_BOTH_ENGINES(SeriesNumberBoxTest);

} // namespace
