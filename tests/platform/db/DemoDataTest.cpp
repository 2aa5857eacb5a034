#include "support/TableSnapshot.h"
#include "support/TestDatabase.h"

#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"

#include <QHash>

namespace zentaro::test {
namespace {

const QDate kToday(2025, 3, 14);

demo::Options demoOptions(quint32 seed = 417, int extraNotes = 0) { return {seed, kToday, extraNotes}; }

QString day(const QDate &date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

// The number a query gives in its column "n".
qint64 number(Connection &c, const QString &sql, const QVariantList &values = {})
{
    return c.select(sql, values).decimal(QStringLiteral("n")).units() / Decimal::kOne;
}

// How many rows "FROM <fromWhere>" selects.
qint64 rows(Connection &c, const QString &fromWhere, const QVariantList &values = {})
{
    return number(c, QStringLiteral("SELECT count(*) AS n FROM ") + fromWhere, values);
}

// Whether two tables of the same columns hold the same rows.
bool sameRows(Connection &c, const QString &one, const QString &other)
{
    const QMap<QString, QStringList> all = snapshotTables(c);
    return !all.value(one).isEmpty() && all.value(one) == all.value(other);
}

// What is wrong with the amounts of the notes: list, discounts, tax rows and net must
// agree to the cent, and every tax row must be its base at the tax's rate.
QStringList noteProblems(Connection &c)
{
    QHash<QString, Decimal> rates;
    for (Recordset rs = c.select(QStringLiteral("SELECT Im_Cve_Impuesto, Im_Tasa FROM Impuesto")); !rs.eof(); rs.moveNext())
        rates.insert(rs.textAt(0), rs.decimal(QStringLiteral("Im_Tasa")));
    struct Taxes { Decimal total; int rows = 0; bool idsInOrder = true; };
    QHash<QString, Taxes> taxes;
    QStringList problems;
    for (Recordset rs = c.select(QStringLiteral("SELECT Vn_Folio, Vt_Impuesto, Vt_ID, Vt_SubTotal_Importe AS b, "
                                                "Vt_Impuesto_Importe AS t FROM Venta_Total_Impuesto ORDER BY Vn_Folio, Vt_ID"));
         !rs.eof(); rs.moveNext()) {
        const QString key = rs.textAt(1);
        const Decimal amount = rs.decimal(QStringLiteral("t"));
        if (!rates.contains(key) || (rs.decimal(QStringLiteral("b")) * rates.value(key)).rounded(2) != amount)
            problems << rs.textAt(0) + QStringLiteral(": ") + key + QStringLiteral(" no es su base a la tasa");
        Taxes &t = taxes[rs.textAt(0)];
        t.total += amount;
        t.idsInOrder = t.idsInOrder && rs.decimal(QStringLiteral("Vt_ID")).units() / Decimal::kOne == ++t.rows;
    }
    for (Recordset rs = c.select(QStringLiteral("SELECT * FROM Venta_Encabezado")); !rs.eof(); rs.moveNext()) {
        const auto amount = [&](const char *name) { return rs.decimal(QStringLiteral("Vn_%1_Importe").arg(QLatin1String(name))); };
        const Decimal list = amount("Precio_Lista"), discounted = amount("Precio_Descontado"), tax = amount("Impuesto"),
                      net = amount("Precio_Neto");
        const Taxes t = taxes.value(rs.text(QStringLiteral("Vn_Folio")));
        if (t.rows == 0 || !t.idsInOrder || t.total != tax || list - amount("Descuento") != discounted ||
            discounted - amount("Descuento_Global") + tax != net || list.rounded(2) != list || net.rounded(2) != net ||
            !(net > Decimal()))
            problems << rs.text(QStringLiteral("Vn_Folio")) + QStringLiteral(": L - D, S - G + T o las filas de impuesto no cuadran");
    }
    return problems;
}

class DemoDataTest : public DatabaseTest
{
protected:
    void fill(const demo::Options &options = demoOptions()) { demo::fill(*connection, options); }
};

TEST_P(DemoDataTest, FillIsDeterministicAndAtomic)
{
    // Every row repeats but the issuer's, whose password is sealed afresh each time.
    const auto rowsOf = [](Connection &c) {
        auto rows = snapshotTables(c);
        rows.remove(QStringLiteral("Emisor"));
        return rows;
    };
    fill();
    const auto first = rowsOf(*connection);
    TestDatabase same(GetParam()), other(GetParam());
    auto again = same.open(), reseeded = other.open();
    demo::fill(*again, demoOptions());
    const auto second = rowsOf(*again);
    EXPECT_TRUE(second == first) << describeDifferences(first, second).toStdString();
    demo::fill(*reseeded, demoOptions(418));
    EXPECT_NE(snapshotTables(*reseeded).value(QStringLiteral("Venta_Encabezado")), first.value(QStringLiteral("Venta_Encabezado")));

    // A second fill collides with the first on its keys and takes nothing back with it.
    const auto before = snapshotTables(*connection);
    EXPECT_THROW(fill(), Error);
    EXPECT_FALSE(connection->inTransaction());
    const auto after = snapshotTables(*connection);
    EXPECT_TRUE(after == before) << describeDifferences(before, after).toStdString();
}

TEST_P(DemoDataTest, NoteAmountsAgreeToTheCent)
{
    fill(demoOptions(417, 40));
    EXPECT_EQ(noteProblems(*connection).join(u'\n').toStdString(), "");

    // Venta holds the same rows as Venta_Encabezado.
    EXPECT_TRUE(sameRows(*connection, QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")));
    EXPECT_GE(rows(*connection, QStringLiteral("Venta")), 100);

    // Every tax mix appears, including IEPS with IVA on top of it.
    for (const char *key : {"IVA16", "IVA0", "IVAEX", "IEPS8"})
        EXPECT_GT(rows(*connection, QStringLiteral("Venta_Total_Impuesto WHERE Vt_Impuesto = ?"), {QString::fromLatin1(key)}), 0)
            << key;
    Recordset ieps = connection->select(QStringLiteral(
        "SELECT a.Vt_SubTotal_Importe AS b1, a.Vt_Impuesto_Importe AS i1, b.Vt_SubTotal_Importe AS b2 "
        "FROM Venta_Total_Impuesto a JOIN Venta_Total_Impuesto b ON b.Vn_Folio = a.Vn_Folio AND b.Vt_ID = 2 "
        "WHERE a.Vt_ID = 1 AND a.Vt_Impuesto = 'IEPS8'"));
    ASSERT_FALSE(ieps.eof());
    for (; !ieps.eof(); ieps.moveNext())
        EXPECT_EQ(ieps.decimal(QStringLiteral("b1")) + ieps.decimal(QStringLiteral("i1")), ieps.decimal(QStringLiteral("b2")));
}

TEST_P(DemoDataTest, StoredInvoicesAreTheSumsOfTheirNotes)
{
    fill();
    Connection &c = *connection;
    // The folios first: on PostgreSQL a record set still being read is dropped by the next statement.
    QStringList folios;
    // FG-000005 is cancelled: its notes were given back and billed again by FG-000006.
    for (Recordset rs = c.select(QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Es_Cve_Estado <> 'CA' ORDER BY Fc_Folio"));
         !rs.eof(); rs.moveNext())
        folios << rs.text(QStringLiteral("Fc_Folio"));
    EXPECT_EQ(folios.join(u' ').toStdString(), "FG-000001 FG-000002 FG-000003 FG-000004 FG-000006 FZ-000001 FZ-000002");
    for (const QString &folio : folios) {
        SCOPED_TRACE(folio.toStdString());
        Recordset rs = c.select(QStringLiteral("SELECT * FROM Factura WHERE Fc_Folio = ?"), {folio});
        EXPECT_EQ(rs.text(QStringLiteral("Fc_Factura")),
                  rs.text(QStringLiteral("Fc_Serie")) + u'-' + rs.text(QStringLiteral("Fc_Numero")));
        EXPECT_EQ(rs.text(QStringLiteral("Es_Cve_Estado")), QStringLiteral("AC"));
        EXPECT_EQ(rs.text(QStringLiteral("Fc_Credito")), QStringLiteral("NO"));
        for (const char *amount : {"Precio_Lista", "Descuento", "Descuento_Global", "Precio_Descontado", "Impuesto", "Precio_Neto"}) {
            const QString column = QString::fromLatin1(amount) + QStringLiteral("_Importe");
            EXPECT_EQ(c.select(QStringLiteral("SELECT sum(Vn_%1) AS t FROM Venta_Encabezado WHERE Fc_Folio = ?").arg(column), {folio})
                          .decimal(QStringLiteral("t")),
                      rs.decimal(QStringLiteral("Fc_") + column)) << amount;
        }
        // Its notes are of its customer and currency, invoiced by it; one line each, the tax rows add up.
        const qint64 notes = rows(c, QStringLiteral("Venta_Encabezado WHERE Fc_Folio = ?"), {folio});
        EXPECT_GT(notes, 0);
        EXPECT_EQ(rows(c, QStringLiteral("Venta_Encabezado WHERE Fc_Folio = ? AND (Cl_Cve_Cliente <> ? OR Mn_Cve_Moneda <> ? "
                                         "OR Es_Cve_Estado <> 'FA' OR Fc_Factura <> ?)"),
                       {folio, rs.text(QStringLiteral("Cl_Cve_Cliente")), rs.text(QStringLiteral("Mn_Cve_Moneda")),
                        rs.text(QStringLiteral("Fc_Factura"))}), 0);
        EXPECT_EQ(rows(c, QStringLiteral("Factura_Linea WHERE Fc_Folio = ?"), {folio}), notes);
        EXPECT_EQ(c.select(QStringLiteral("SELECT sum(Im_Importe) AS t FROM Factura_Impuesto WHERE Fc_Folio = ?"), {folio})
                      .decimal(QStringLiteral("t")),
                  rs.decimal(QStringLiteral("Fc_Impuesto_Importe")));
    }
    EXPECT_EQ(rows(c, QStringLiteral("Venta_Encabezado WHERE Fc_Folio = 'FG-000006' AND Vn_Factura_Cancelada = 'FG-000005'")),
              rows(c, QStringLiteral("Factura_Linea WHERE Fc_Folio = 'FG-000005'")));
    EXPECT_TRUE(sameRows(c, QStringLiteral("Factura"), QStringLiteral("Factura_Encabezado")));

    // The daily invoice carries IVA 16 %, 0 %, exempt and IEPS; the dollar one its day's rate.
    EXPECT_EQ(number(c, QStringLiteral("SELECT count(DISTINCT Im_Cve_Impuesto) AS n FROM Factura_Impuesto "
                                       "WHERE Fc_Folio = 'FG-000001'")), 4);
    Recordset usd = c.select(QStringLiteral(
        "SELECT f.Fc_Tipo_Cambio AS f, t.Tc_Tipo_Cambio AS t FROM Factura f JOIN Tipo_Cambio t "
        "ON t.Mn_Cve_Moneda = f.Mn_Cve_Moneda AND t.Tc_Fecha = f.Fc_Fecha WHERE f.Mn_Cve_Moneda = 'USD'"));
    ASSERT_FALSE(usd.eof());
    EXPECT_EQ(usd.decimal(QStringLiteral("f")), usd.decimal(QStringLiteral("t")));
}

// Today's uninvoiced notes of S01 in pesos, in the table named by %1.
const QString kCandidates = QStringLiteral("%1 WHERE Vn_Fecha = ? AND Sc_Cve_Sucursal = 'S01' AND Mn_Cve_Moneda = 'MXN' "
                                           "AND Es_Cve_Estado = 'AC' AND Fc_Folio = ''");

TEST_P(DemoDataTest, DemoHoldsWhatTheClerkAndTheTesterNeed)
{
    fill();
    Connection &c = *connection;
    // Candidates at once.
    EXPECT_GE(rows(c, kCandidates.arg(QLatin1String("Venta_Encabezado")), {day(kToday)}), 3);
    // At least one row of each kind the screens and the tests look for.
    for (const char *fromWhere :
         {"Venta_Encabezado WHERE Es_Cve_Estado = 'AC'", "Venta_Encabezado WHERE Es_Cve_Estado = 'CA'",
          "Venta_Encabezado WHERE Es_Cve_Estado = 'FA'", "Venta_Encabezado WHERE Mn_Cve_Moneda = 'USD'",
          "Venta_Encabezado WHERE Sc_Cve_Sucursal = 'S02'", "Venta_Encabezado WHERE Vn_Credito = 'SI'",
          "Venta_Encabezado WHERE Vn_Condicion_Venta = 'C15'", "Venta_Encabezado WHERE Vn_Forma_Pago = '04'",
          "Venta_Encabezado WHERE Vn_Tabla = 'Remision'", "Venta_Encabezado WHERE Vn_Descuento_Global_Importe > 0",
          "Venta_Encabezado WHERE Vn_Descuento_Importe > 0", "Lote_Documento WHERE Lt_Cantidad_Control_1 IS NULL"})
        EXPECT_GT(rows(c, QString::fromLatin1(fromWhere)), 0) << fromWhere;

    const struct
    {
        const char *fromWhere;
        qint64 expected;
    } counts[] = {
        {"Venta_Encabezado WHERE Vn_Fecha > '2025-03-14' OR Vn_Fecha < '2025-02-12'", 0},   // the last 30 days only
        {"Cliente WHERE Cl_Cve_Cliente = 'PUBLICO' AND Cl_R_F_C = 'XAXX010101000' AND Cl_Regimen_Fiscal = '616' "
         "AND Cl_Uso_CFDI = 'S01'", 1},
        {"Cliente WHERE length(Cl_R_F_C) NOT IN (12, 13)", 0},
        // Every credit customer has an open balance and still has credit available.
        {"Cliente k WHERE Cl_Limite_Credito > 0 AND Es_Cve_Estado = 'AC' AND NOT COALESCE((SELECT sum(Cc_Saldo) "
         "FROM Cuenta_Por_Cobrar r WHERE r.Cl_Cve_Cliente = k.Cl_Cve_Cliente), 0) BETWEEN 0.01 AND k.Cl_Limite_Credito", 0},
        {"Tipo_Cambio WHERE Mn_Cve_Moneda = 'USD' AND Tc_Fecha BETWEEN '2025-01-14' AND '2025-03-14' "
         "AND Tc_Tipo_Cambio BETWEEN 17 AND 21", 60},
        // Permissions: ADMIN everything, CAJERO1 only F2 of the invoicing screen.
        {"Usuario_Permiso WHERE Us_Cve_Usuario = 'ADMIN' AND Pe_Modulo = '*' AND Pe_Clave = '*'", 1},
        {"Usuario_Permiso WHERE Us_Cve_Usuario = 'CAJERO1'", 1},
        // Periods: this month and the previous one open, the older ones closed.
        {"Periodo_Operativo WHERE Po_Modulo = 'VENTAS' AND Po_Abierto = 'SI' AND Po_Fecha_Inicio IN ('2025-03-01', '2025-02-01')", 2},
        {"Periodo_Operativo WHERE Po_Abierto = 'SI'", 2},
        {"Periodo_Operativo WHERE Po_Fecha_Inicio = '2025-02-01' AND Po_Fecha_Final = '2025-02-28'", 1},
        // A lot of P-EQUIV's sale lives under its base product; every lot row belongs to a note.
        {"Lote_Documento d WHERE d.Pr_Cve_Producto = 'P-EQUIV' AND NOT EXISTS (SELECT 1 FROM Producto p JOIN Lote l "
         "ON l.Pr_Cve_Producto = p.Pr_Equivalencia_Producto WHERE p.Pr_Cve_Producto = d.Pr_Cve_Producto "
         "AND l.Lt_Cve_Lote = d.Lt_Cve_Lote)", 0},
        {"Lote_Documento d WHERE NOT EXISTS (SELECT 1 FROM Venta v WHERE v.Vn_Folio = d.Ld_Documento)", 0},
        {"Serie WHERE Sr_Electronica = 'SI' AND Sr_Default = 'SI' AND Sr_Tabla = 'Factura'", 2},
        {"Emisor WHERE Em_R_F_C = 'EKU9003173C9'", 1},
        // Notes point at stored invoices only when invoiced.
        {"Venta_Encabezado v WHERE Es_Cve_Estado = 'FA' AND NOT EXISTS (SELECT 1 FROM Factura f WHERE f.Fc_Folio = v.Fc_Folio)", 0},
        {"Venta_Encabezado WHERE Es_Cve_Estado <> 'FA' AND (Fc_Folio <> '' OR Fc_Factura <> '')", 0},
        // Series continue after the stored invoices.
        {"Serie s WHERE Sr_Siguiente_Numero <= (SELECT max(Fc_Numero) FROM Factura f WHERE f.Fc_Serie = s.Sr_Cve_Serie)", 0},
        {"Serie WHERE Sr_Cve_Serie = 'FG' AND Sr_Siguiente_Numero = 7", 1},
        // Returns belong to stored invoices, one of them cancelled.
        {"Devolucion_Cliente d JOIN Factura f ON f.Fc_Folio = d.Fc_Folio AND f.Cl_Cve_Cliente = d.Cl_Cve_Cliente", 3},
        {"Devolucion_Cliente WHERE Es_Cve_Estado = 'CA'", 1},
    };
    for (const auto &expected : counts)
        EXPECT_EQ(rows(c, QString::fromLatin1(expected.fromWhere)), expected.expected) << expected.fromWhere;
    // The issuer's test CSD is stored as base64 text of the DER bytes, its password sealed.
    Recordset issuer = c.select(QStringLiteral("SELECT * FROM Emisor"));
    ASSERT_FALSE(issuer.eof());
    EXPECT_TRUE(isSealedSecret(issuer.text(QStringLiteral("Em_Clave"))));
    EXPECT_EQ(openSecret(issuer.text(QStringLiteral("Em_Clave")), {}), QStringLiteral("12345678a"));
    const QByteArray der = QByteArray::fromBase64(issuer.text(QStringLiteral("Em_Certificado")).toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_GT(der.size(), 500);
    EXPECT_EQ(der.left(1), QByteArray("\x30", 1));   // a DER SEQUENCE
    EXPECT_GT(QByteArray::fromBase64(issuer.text(QStringLiteral("Em_Llave")).toLatin1()).size(), 500);
}

TEST_P(DemoDataTest, CandidateNotesAddExactlyTheCount)
{
    fill();
    Connection &c = *connection;
    const QDate date = kToday.addDays(-1);
    const QString headers = QStringLiteral("Venta_Encabezado"), taxes = QStringLiteral("Venta_Total_Impuesto");
    const qint64 notesBefore = rows(c, headers), taxesBefore = rows(c, taxes);
    const qint64 before = rows(c, kCandidates.arg(headers), {day(date)});

    demo::addCandidateNotes(c, 1000, 7, date);
    EXPECT_FALSE(c.inTransaction());
    EXPECT_EQ(rows(c, headers), notesBefore + 1000);
    EXPECT_EQ(rows(c, taxes), taxesBefore + 1000);
    EXPECT_EQ(rows(c, kCandidates.arg(headers), {day(date)}), before + 1000);

    // Folios continue instead of colliding; another branch and currency are honoured.
    demo::addCandidateNotes(c, 3, 7, kToday, QStringLiteral("S02"), QStringLiteral("USD"));
    EXPECT_EQ(rows(c, QStringLiteral("Venta WHERE Vn_Folio = 'NB-001003' AND Sc_Cve_Sucursal = 'S02' AND Al_Cve_Almacen = 'A03' "
                                     "AND Mn_Cve_Moneda = 'USD'")), 1);
    EXPECT_EQ(rows(c, QStringLiteral("Venta_Total_Impuesto WHERE Vn_Folio LIKE 'NB-%' AND (Vt_ID <> 1 OR Vt_Impuesto <> 'IVA16')")), 0);
    EXPECT_EQ(noteProblems(c).join(u'\n').toStdString(), "");
    // Venta got the same rows as Venta_Encabezado.
    EXPECT_TRUE(sameRows(c, QStringLiteral("Venta"), headers));

    demo::addCandidateNotes(c, 0, 7, kToday);
    EXPECT_EQ(rows(c, headers), notesBefore + 1003);
}

} // namespace

ZENTARO_ON_BOTH_ENGINES(DemoDataTest);

} // namespace zentaro::test
