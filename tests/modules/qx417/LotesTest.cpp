#include "ScreenFixture.h"

namespace qx417::test {
namespace {

class Lotes : public ScreenTest
{
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (HasFatalFailure())
            return;
        exec(QStringLiteral("INSERT INTO Producto (Pr_Cve_Producto, Pr_Equivalencia_Producto, Es_Cve_Estado) VALUES ('T-BASE', '', 'AC')"));
        exec(QStringLiteral("INSERT INTO Producto (Pr_Cve_Producto, Pr_Equivalencia_Producto, Es_Cve_Estado) VALUES ('T-EQ', 'T-BASE', 'AC')"));
        lot("LA", "T-BASE", "'2027-03-31'", "'2026-01-15'");
        lot("LB", "T-BASE", "NULL", "NULL");
        lot("LC", "T-EQ", "'2027-01-01'", "'2026-01-01'");   // under the product itself: not its lot
        use("D1", 1, "T-BASE", "LA", "5", "1.5");
        use("D2", 1, "T-BASE", "LA", "7", "NULL");
        use("D2", 2, "T-EQ", "LB", "2", "3");
        use("D3", 1, "T-EQ", "LC", "9", "9");
    }
    void lot(const char *key, const char *product, const char *expiry, const char *declared)
    {
        exec(QStringLiteral("INSERT INTO Lote (Lt_Cve_Lote, Pr_Cve_Producto, Lt_Fecha_Caducidad, Lt_Pedimento, "
                            "Lt_Fecha_Pedimento, Lt_Aduana) VALUES ('%1', '%2', %3, '26 47 3807 6000123', %4, 'Manzanillo')")
                 .arg(QLatin1String(key), QLatin1String(product), QLatin1String(expiry), QLatin1String(declared)));
    }
    void use(const char *document, int id, const char *product, const char *lot, const char *first, const char *second)
    {
        exec(QStringLiteral("INSERT INTO Lote_Documento VALUES ('Prueba', '%1', %2, '%3', '%4', %5, %6)")
                 .arg(QLatin1String(document)).arg(id)
                 .arg(QLatin1String(product), QLatin1String(lot), QLatin1String(first), QLatin1String(second)));
    }
};

TEST_P(Lotes, SumsEachLotOverTheDocumentsFollowingEquivalences)
{
    frmQX417 &form = open();
    const QString one = form.Traer_Lotes_Ventas(QStringLiteral("Prueba"), QStringLiteral("'D1', 'D2'"));
    QStringList entries = one.split(u'|');
    entries.sort();
    EXPECT_EQ(entries, (QStringList {QStringLiteral("LA@12@1.5@2027-03-31@26 47 3807 6000123@2026-01-15@Manzanillo"),
                                     QStringLiteral("LB@2@3@@26 47 3807 6000123@@Manzanillo")}));
    EXPECT_EQ(form.Traer_Lotes_Ventas(QStringLiteral("Prueba"), QStringLiteral("'D3'")), QString());
    EXPECT_EQ(form.Traer_Lotes_Ventas(QStringLiteral("Otra"), QStringLiteral("'D1'")), QString());
    EXPECT_TRUE(form.ErrorText.isEmpty());
}

TEST_P(Lotes, AnEmptyListIsAnInvalidStatementReportedInErrorText)
{
    frmQX417 &form = open();
    EXPECT_EQ(form.Traer_Lotes_Ventas(QStringLiteral("Prueba"), QString()), QString());
    EXPECT_FALSE(form.ErrorText.isEmpty());
    EXPECT_TRUE(presenter->messages.isEmpty());
}

ZENTARO_ON_BOTH_ENGINES(Lotes);

} // namespace
} // namespace qx417::test
