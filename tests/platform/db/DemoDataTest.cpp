#include "support/TestDatabase.h"

#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>

namespace zentaro::test {
namespace {

const QDate kToday(2025, 3, 14);

demo::Options demoOptions(quint32 seed = 417)
{
    demo::Options options;
    options.seed = seed;
    options.today = kToday;
    return options;
}

QString day(const QDate &date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

qint64 count(Connection &c, const QString &sql, const QVariantList &values = {})
{
    Recordset rs = c.select(sql, values);
    return rs.decimal(QStringLiteral("n")).units() / Decimal::kOne;
}

// Every row of the tables, read in key order through the suite's own text form.
QByteArray digest(Connection &c, const QStringList &tables, const QString &as = {})
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &name : tables) {
        const schema::Table *table = schema::findTable(name);
        if (!table)
            return "unknown table " + name.toUtf8();
        QStringList columns, keys;
        for (const schema::Column &column : table->columns)
            columns << QString::fromLatin1(column.name);
        for (const char *key : table->primaryKey)
            keys << QString::fromLatin1(key);
        Recordset rs = c.select(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                    .arg(columns.join(u','), as.isEmpty() ? name : as, keys.join(u',')));
        for (; !rs.eof(); rs.moveNext()) {
            for (int i = 0; i < rs.fieldCount(); ++i)
                hash.addData(rs.textAt(i).toUtf8().append('\x1f'));
            hash.addData(QByteArrayView("\n"));
        }
    }
    return hash.result().toHex();
}

// What is wrong with the amounts of the notes: list, discounts, tax rows and net must
// agree to the cent, and every tax row must be its base at the tax's rate.
QStringList noteProblems(Connection &c)
{
    QHash<QString, Decimal> rates;
    for (Recordset rs = c.select(QStringLiteral("SELECT Im_Cve_Impuesto, Im_Tasa FROM Impuesto")); !rs.eof(); rs.moveNext())
        rates.insert(rs.text(QStringLiteral("Im_Cve_Impuesto")), rs.decimal(QStringLiteral("Im_Tasa")));

    struct Taxes { Decimal total; int rows = 0; int lastId = 0; bool idsInOrder = true; };
    QHash<QString, Taxes> taxes;
    QStringList problems;
    for (Recordset rs = c.select(QStringLiteral("SELECT Vn_Folio, Vt_ID, Vt_Impuesto, Vt_SubTotal_Importe, Vt_Impuesto_Importe "
                                                "FROM Venta_Total_Impuesto ORDER BY Vn_Folio, Vt_ID"));
         !rs.eof(); rs.moveNext()) {
        const QString folio = rs.text(QStringLiteral("Vn_Folio"));
        const QString key = rs.text(QStringLiteral("Vt_Impuesto"));
        const Decimal base = rs.decimal(QStringLiteral("Vt_SubTotal_Importe"));
        const Decimal amount = rs.decimal(QStringLiteral("Vt_Impuesto_Importe"));
        if (!rates.contains(key))
            problems << folio + QStringLiteral(": impuesto desconocido ") + key;
        if ((base * rates.value(key)).rounded(2) != amount)
            problems << folio + QStringLiteral(": ") + key + QStringLiteral(" de ") + base.toString() + QStringLiteral(" no es ") + amount.toString();
        Taxes &t = taxes[folio];
        t.total += amount;
        ++t.rows;
        const int id = int(rs.decimal(QStringLiteral("Vt_ID")).units() / Decimal::kOne);
        t.idsInOrder = t.idsInOrder && id == t.lastId + 1;
        t.lastId = id;
    }
    for (Recordset rs = c.select(QStringLiteral("SELECT * FROM Venta_Encabezado")); !rs.eof(); rs.moveNext()) {
        const QString folio = rs.text(QStringLiteral("Vn_Folio"));
        const Decimal list = rs.decimal(QStringLiteral("Vn_Precio_Lista_Importe"));
        const Decimal discount = rs.decimal(QStringLiteral("Vn_Descuento_Importe"));
        const Decimal global = rs.decimal(QStringLiteral("Vn_Descuento_Global_Importe"));
        const Decimal discounted = rs.decimal(QStringLiteral("Vn_Precio_Descontado_Importe"));
        const Decimal tax = rs.decimal(QStringLiteral("Vn_Impuesto_Importe"));
        const Decimal net = rs.decimal(QStringLiteral("Vn_Precio_Neto_Importe"));
        const Taxes t = taxes.value(folio);
        if (t.rows == 0 || !t.idsInOrder)
            problems << folio + QStringLiteral(": filas de impuesto ausentes o fuera de orden");
        if (t.total != tax)
            problems << folio + QStringLiteral(": impuestos suman ") + t.total.toString() + QStringLiteral(", la nota dice ") + tax.toString();
        if (list - discount != discounted)
            problems << folio + QStringLiteral(": L - D no es S");
        if (discounted - global + tax != net)
            problems << folio + QStringLiteral(": S - G + T no es N");
        if (list.rounded(2) != list || net.rounded(2) != net || !(net > Decimal()))
            problems << folio + QStringLiteral(": importe no es de centavos o no es positivo");
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
    const QStringList tables = {QStringLiteral("Cliente"), QStringLiteral("Tipo_Cambio"), QStringLiteral("Venta_Encabezado"),
                                QStringLiteral("Venta_Total_Impuesto"), QStringLiteral("Factura"),
                                QStringLiteral("Factura_Linea"), QStringLiteral("Factura_Impuesto"),
                                QStringLiteral("Cuenta_Por_Cobrar"), QStringLiteral("Lote_Documento"),
                                QStringLiteral("Devolucion_Cliente"), QStringLiteral("Serie")};
    fill();
    const QByteArray first = digest(*connection, tables);

    TestDatabase same(GetParam());
    auto again = same.open();
    demo::fill(*again, demoOptions());
    EXPECT_EQ(digest(*again, tables), first);

    TestDatabase other(GetParam());
    auto reseeded = other.open();
    demo::fill(*reseeded, demoOptions(418));
    EXPECT_NE(digest(*reseeded, {QStringLiteral("Venta_Encabezado")}), digest(*connection, {QStringLiteral("Venta_Encabezado")}));

    // A second fill collides with the first on its keys and takes nothing back with it.
    const qint64 notes = count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta"));
    EXPECT_THROW(fill(), Error);
    EXPECT_FALSE(connection->inTransaction());
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta")), notes);
    EXPECT_EQ(digest(*connection, tables), first);
}

TEST_P(DemoDataTest, NoteAmountsAgreeToTheCent)
{
    demo::Options options = demoOptions();
    options.extraNotes = 40;
    fill(options);
    EXPECT_EQ(noteProblems(*connection).join(u'\n').toStdString(), "");

    // Venta holds the same rows as Venta_Encabezado.
    const QStringList headers = {QStringLiteral("Venta_Encabezado")};
    EXPECT_EQ(digest(*connection, headers, QStringLiteral("Venta")), digest(*connection, headers));
    EXPECT_GE(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta")), 100);

    // Every tax mix appears, including IEPS with IVA on top of it.
    for (const char *key : {"IVA16", "IVA0", "IVAEX", "IEPS8"})
        EXPECT_GT(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta_Total_Impuesto WHERE Vt_Impuesto = ?"),
                        {QString::fromLatin1(key)}), 0) << key;
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
    // The folios first: on PostgreSQL a record set still being read is dropped by the next statement.
    QStringList folios;
    // FG-000005 is cancelled: its notes were given back and billed again by FG-000006.
    for (Recordset rs = connection->select(QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Es_Cve_Estado <> 'CA' "
                                                          "ORDER BY Fc_Folio"));
         !rs.eof(); rs.moveNext())
        folios << rs.text(QStringLiteral("Fc_Folio"));
    for (const QString &folio : folios) {
        Recordset rs = connection->select(QStringLiteral("SELECT * FROM Factura WHERE Fc_Folio = ?"), {folio});
        EXPECT_EQ(rs.text(QStringLiteral("Fc_Factura")),
                  rs.text(QStringLiteral("Fc_Serie")) + u'-' + rs.text(QStringLiteral("Fc_Numero")));
        EXPECT_EQ(rs.text(QStringLiteral("Es_Cve_Estado")), QStringLiteral("AC"));
        EXPECT_EQ(rs.text(QStringLiteral("Fc_Credito")), QStringLiteral("NO"));
        Recordset sums = connection->select(
            QStringLiteral("SELECT count(*) AS n, sum(Vn_Precio_Lista_Importe) AS l, sum(Vn_Descuento_Importe) AS d, "
                           "sum(Vn_Descuento_Global_Importe) AS g, sum(Vn_Precio_Descontado_Importe) AS s, "
                           "sum(Vn_Impuesto_Importe) AS t, sum(Vn_Precio_Neto_Importe) AS net, "
                           "min(Cl_Cve_Cliente) AS c1, max(Cl_Cve_Cliente) AS c2, max(Mn_Cve_Moneda) AS m, "
                           "min(Es_Cve_Estado) AS e1, max(Es_Cve_Estado) AS e2, max(Fc_Factura) AS f "
                           "FROM Venta_Encabezado WHERE Fc_Folio = ?"), {folio});
        EXPECT_GT(sums.decimal(QStringLiteral("n")), Decimal()) << folio.toStdString();
        EXPECT_EQ(sums.decimal(QStringLiteral("l")), rs.decimal(QStringLiteral("Fc_Precio_Lista_Importe")));
        EXPECT_EQ(sums.decimal(QStringLiteral("d")), rs.decimal(QStringLiteral("Fc_Descuento_Importe")));
        EXPECT_EQ(sums.decimal(QStringLiteral("g")), rs.decimal(QStringLiteral("Fc_Descuento_Global_Importe")));
        EXPECT_EQ(sums.decimal(QStringLiteral("s")), rs.decimal(QStringLiteral("Fc_Precio_Descontado_Importe")));
        EXPECT_EQ(sums.decimal(QStringLiteral("t")), rs.decimal(QStringLiteral("Fc_Impuesto_Importe")));
        EXPECT_EQ(sums.decimal(QStringLiteral("net")), rs.decimal(QStringLiteral("Fc_Precio_Neto_Importe")));
        EXPECT_EQ(sums.text(QStringLiteral("c1")), rs.text(QStringLiteral("Cl_Cve_Cliente")));
        EXPECT_EQ(sums.text(QStringLiteral("c2")), rs.text(QStringLiteral("Cl_Cve_Cliente")));
        EXPECT_EQ(sums.text(QStringLiteral("m")), rs.text(QStringLiteral("Mn_Cve_Moneda")));
        EXPECT_EQ(sums.text(QStringLiteral("e1")), QStringLiteral("FA"));
        EXPECT_EQ(sums.text(QStringLiteral("e2")), QStringLiteral("FA"));
        EXPECT_EQ(sums.text(QStringLiteral("f")), rs.text(QStringLiteral("Fc_Factura")));
        // One line per note; the tax rows add up to the header.
        EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Factura_Linea WHERE Fc_Folio = ?"), {folio}),
                  sums.decimal(QStringLiteral("n")).units() / Decimal::kOne);
        Recordset tax = connection->select(QStringLiteral("SELECT sum(Im_Importe) AS t FROM Factura_Impuesto WHERE Fc_Folio = ?"),
                                           {folio});
        EXPECT_EQ(tax.decimal(QStringLiteral("t")), rs.decimal(QStringLiteral("Fc_Impuesto_Importe")));
    }
    EXPECT_EQ(folios.join(u' ').toStdString(),
              "FG-000001 FG-000002 FG-000003 FG-000004 FG-000006 FZ-000001 FZ-000002");
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta_Encabezado WHERE Fc_Folio = 'FG-000006' "
                                                "AND Vn_Factura_Cancelada = 'FG-000005'")),
              count(*connection, QStringLiteral("SELECT count(*) AS n FROM Factura_Linea WHERE Fc_Folio = 'FG-000005'")));
    EXPECT_EQ(digest(*connection, {QStringLiteral("Factura_Encabezado")}, QStringLiteral("Factura")),
              digest(*connection, {QStringLiteral("Factura_Encabezado")}));

    // Notes point at stored invoices only when invoiced.
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta_Encabezado v WHERE Es_Cve_Estado = 'FA' "
                                                "AND NOT EXISTS (SELECT 1 FROM Factura f WHERE f.Fc_Folio = v.Fc_Folio)")), 0);
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Venta_Encabezado "
                                                "WHERE Es_Cve_Estado <> 'FA' AND (Fc_Folio <> '' OR Fc_Factura <> '')")), 0);
    // The daily invoice carries IVA 16 %, 0 %, exempt and IEPS; the dollar one its day's rate.
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(DISTINCT Im_Cve_Impuesto) AS n FROM Factura_Impuesto "
                                                "WHERE Fc_Folio = 'FG-000001'")), 4);
    Recordset usd = connection->select(QStringLiteral(
        "SELECT f.Fc_Tipo_Cambio AS f, t.Tc_Tipo_Cambio AS t FROM Factura f JOIN Tipo_Cambio t "
        "ON t.Mn_Cve_Moneda = f.Mn_Cve_Moneda AND t.Tc_Fecha = f.Fc_Fecha WHERE f.Mn_Cve_Moneda = 'USD'"));
    ASSERT_FALSE(usd.eof());
    EXPECT_EQ(usd.decimal(QStringLiteral("f")), usd.decimal(QStringLiteral("t")));
    // Series continue after the stored invoices.
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Serie s WHERE Sr_Siguiente_Numero <= "
                                                "(SELECT max(Fc_Numero) FROM Factura f WHERE f.Fc_Serie = s.Sr_Cve_Serie)")), 0);
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT Sr_Siguiente_Numero AS n FROM Serie WHERE Sr_Cve_Serie = 'FG'")), 7);
    // Returns belong to stored invoices, one of them cancelled.
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Devolucion_Cliente d "
                                                "JOIN Factura f ON f.Fc_Folio = d.Fc_Folio AND f.Cl_Cve_Cliente = d.Cl_Cve_Cliente")), 3);
    EXPECT_EQ(count(*connection, QStringLiteral("SELECT count(*) AS n FROM Devolucion_Cliente WHERE Es_Cve_Estado = 'CA'")), 1);
}

TEST_P(DemoDataTest, DemoHoldsWhatTheClerkAndTheTesterNeed)
{
    fill();
    Connection &c = *connection;
    // Candidates at once: today's uninvoiced notes of S01 in pesos.
    EXPECT_GE(count(c, QStringLiteral("SELECT count(*) AS n FROM Venta_Encabezado WHERE Vn_Fecha = ? AND Sc_Cve_Sucursal = 'S01' "
                                      "AND Mn_Cve_Moneda = 'MXN' AND Es_Cve_Estado = 'AC' AND Fc_Folio = ''"), {day(kToday)}), 3);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Venta_Encabezado WHERE Vn_Fecha > ? OR Vn_Fecha < ?"),
                    {day(kToday), day(kToday.addDays(-30))}), 0);
    for (const char *condition : {"Es_Cve_Estado = 'AC'", "Es_Cve_Estado = 'CA'", "Es_Cve_Estado = 'FA'",
                                  "Mn_Cve_Moneda = 'USD'", "Sc_Cve_Sucursal = 'S02'", "Vn_Credito = 'SI'",
                                  "Vn_Condicion_Venta = 'C15'", "Vn_Forma_Pago = '04'", "Vn_Tabla = 'Remision'",
                                  "Vn_Descuento_Global_Importe > 0", "Vn_Descuento_Importe > 0"})
        EXPECT_GT(count(c, QStringLiteral("SELECT count(*) AS n FROM Venta_Encabezado WHERE %1").arg(QLatin1String(condition))), 0)
            << condition;

    Recordset pub = c.select(QStringLiteral("SELECT * FROM Cliente WHERE Cl_Cve_Cliente = 'PUBLICO'"));
    ASSERT_FALSE(pub.eof());
    EXPECT_EQ(pub.text(QStringLiteral("Cl_R_F_C")), QStringLiteral("XAXX010101000"));
    EXPECT_EQ(pub.text(QStringLiteral("Cl_Regimen_Fiscal")), QStringLiteral("616"));
    EXPECT_EQ(pub.text(QStringLiteral("Cl_Uso_CFDI")), QStringLiteral("S01"));
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Cliente WHERE length(Cl_R_F_C) NOT IN (12, 13)")), 0);
    // Every credit customer has an open balance and still has credit available.
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Cliente k WHERE Cl_Limite_Credito > 0 AND Es_Cve_Estado = 'AC' "
                                      "AND NOT COALESCE((SELECT sum(Cc_Saldo) FROM Cuenta_Por_Cobrar r WHERE r.Cl_Cve_Cliente = k.Cl_Cve_Cliente), 0) "
                                      "BETWEEN 0.01 AND k.Cl_Limite_Credito")), 0);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Tipo_Cambio WHERE Mn_Cve_Moneda = 'USD' AND Tc_Fecha BETWEEN ? AND ? "
                                      "AND Tc_Tipo_Cambio BETWEEN 17 AND 21"), {day(kToday.addDays(-59)), day(kToday)}), 60);
    // Permissions: ADMIN everything, CAJERO1 only F2 of the invoicing screen.
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Usuario_Permiso WHERE Us_Cve_Usuario = 'ADMIN' "
                                      "AND Pe_Modulo = '*' AND Pe_Clave = '*'")), 1);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Usuario_Permiso WHERE Us_Cve_Usuario = 'CAJERO1'")), 1);
    // Periods: this month and the previous one open, the older ones closed.
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Periodo_Operativo WHERE Po_Modulo = 'VENTAS' AND Po_Abierto = 'SI' "
                                      "AND Po_Fecha_Inicio IN (?, ?)"), {day(QDate(2025, 3, 1)), day(QDate(2025, 2, 1))}), 2);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Periodo_Operativo WHERE Po_Abierto = 'SI'")), 2);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Periodo_Operativo WHERE Po_Fecha_Inicio = ? AND Po_Fecha_Final = ?"),
                    {day(QDate(2025, 2, 1)), day(QDate(2025, 2, 28))}), 1);
    // A lot of P-EQUIV's sale lives under its base product.
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Lote_Documento d JOIN Producto p ON p.Pr_Cve_Producto = d.Pr_Cve_Producto "
                                      "JOIN Lote l ON l.Pr_Cve_Producto = p.Pr_Equivalencia_Producto AND l.Lt_Cve_Lote = d.Lt_Cve_Lote "
                                      "WHERE d.Pr_Cve_Producto = 'P-EQUIV'")), count(c, QStringLiteral(
                  "SELECT count(*) AS n FROM Lote_Documento WHERE Pr_Cve_Producto = 'P-EQUIV'")));
    EXPECT_GT(count(c, QStringLiteral("SELECT count(*) AS n FROM Lote_Documento WHERE Lt_Cantidad_Control_1 IS NULL")), 0);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Lote_Documento d WHERE NOT EXISTS "
                                      "(SELECT 1 FROM Venta v WHERE v.Vn_Folio = d.Ld_Documento)")), 0);
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Serie WHERE Sr_Electronica = 'SI' AND Sr_Default = 'SI' "
                                      "AND Sr_Tabla = 'Factura'")), 2);
    // The issuer's test CSD is stored as base64 text of the DER bytes.
    Recordset issuer = c.select(QStringLiteral("SELECT * FROM Emisor"));
    ASSERT_FALSE(issuer.eof());
    EXPECT_EQ(issuer.text(QStringLiteral("Em_R_F_C")), QStringLiteral("EKU9003173C9"));
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
    const QString total = QStringLiteral("SELECT count(*) AS n FROM %1");
    const qint64 headers = count(c, total.arg(QLatin1String("Venta_Encabezado")));
    const qint64 notes = count(c, total.arg(QLatin1String("Venta")));
    const qint64 taxes = count(c, total.arg(QLatin1String("Venta_Total_Impuesto")));
    const QString candidates = QStringLiteral("SELECT count(*) AS n FROM %1 WHERE Vn_Fecha = ? AND Sc_Cve_Sucursal = 'S01' "
                                              "AND Mn_Cve_Moneda = 'MXN' AND Es_Cve_Estado = 'AC' AND Fc_Folio = ''");
    const qint64 before = count(c, candidates.arg(QLatin1String("Venta_Encabezado")), {day(date)});

    demo::addCandidateNotes(c, 1000, 7, date);
    EXPECT_FALSE(c.inTransaction());
    EXPECT_EQ(count(c, total.arg(QLatin1String("Venta_Encabezado"))), headers + 1000);
    EXPECT_EQ(count(c, total.arg(QLatin1String("Venta"))), notes + 1000);
    EXPECT_EQ(count(c, total.arg(QLatin1String("Venta_Total_Impuesto"))), taxes + 1000);
    EXPECT_EQ(count(c, candidates.arg(QLatin1String("Venta_Encabezado")), {day(date)}), before + 1000);
    EXPECT_EQ(count(c, candidates.arg(QLatin1String("Venta")), {day(date)}), before + 1000);

    // Folios continue instead of colliding; another branch and currency are honoured.
    demo::addCandidateNotes(c, 3, 7, kToday, QStringLiteral("S02"), QStringLiteral("USD"));
    Recordset last = c.select(QStringLiteral("SELECT * FROM Venta WHERE Vn_Folio = 'NB-001003'"));
    ASSERT_FALSE(last.eof());
    EXPECT_EQ(last.text(QStringLiteral("Sc_Cve_Sucursal")), QStringLiteral("S02"));
    EXPECT_EQ(last.text(QStringLiteral("Al_Cve_Almacen")), QStringLiteral("A03"));
    EXPECT_EQ(last.text(QStringLiteral("Mn_Cve_Moneda")), QStringLiteral("USD"));
    EXPECT_EQ(count(c, QStringLiteral("SELECT count(*) AS n FROM Venta_Total_Impuesto WHERE Vn_Folio LIKE 'NB-%' "
                                      "AND (Vt_ID <> 1 OR Vt_Impuesto <> 'IVA16')")), 0);
    EXPECT_EQ(noteProblems(c).join(u'\n').toStdString(), "");
    const QStringList tables = {QStringLiteral("Venta_Encabezado")};
    EXPECT_EQ(digest(c, tables, QStringLiteral("Venta")), digest(c, tables));

    demo::addCandidateNotes(c, 0, 7, kToday);
    EXPECT_EQ(count(c, total.arg(QLatin1String("Venta"))), notes + 1003);
}

// Run by hand with --gtest_also_run_disabled_tests to time a large batch.
} // namespace

ZENTARO_ON_BOTH_ENGINES(DemoDataTest);

} // namespace zentaro::test
