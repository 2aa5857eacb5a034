// A customer's named invoice of a ticket billed in a stamped global: the real command on a
// demo database of each engine, with the sandbox PAC, in one go and stopped at each step.

#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/cfdi/SchemaValidator.h"
#include "platform/core/Decimal.h"
#include "platform/core/StoredSecret.h"
#include "support/CommandTest.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace zentaro;
using zentaro::test::CommandRun;

namespace {

const QString kGlobal = QStringLiteral("FG-000001");
const QString kCustomer = QStringLiteral("C-0001");

// Cents of a decimal amount.
qint64 cents(const Decimal &amount) { return amount.rounded(2).units() / 10'000; }
Decimal fromCents(qint64 value) { return Decimal::fromUnits(value * 10'000); }
qint64 tax16(qint64 base) { return (base * 16 + 50) / 100; }

class NamedInvoiceCommand : public test::CommandTest
{
protected:
    void SetUp() override
    {
        commandTimeoutMs = 180000;
        CommandTest::SetUp();
        const CommandRun signing = zentaro({QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(), kGlobal});
        ASSERT_EQ(signing.exitCode, 0) << signing.text();
        globalUuid = one(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kGlobal});
        globalXml = one(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kGlobal}).toUtf8();
        // A ticket of the global taxed with IVA 16 % alone, and what its point of sale recorded:
        // two kilos of rice and some bags of chips, the note's amounts split between them.
        note = one(QStringLiteral("SELECT v.Vn_Folio FROM Venta_Encabezado v JOIN Venta_Total_Impuesto t ON t.Vn_Folio = v.Vn_Folio "
                                  "WHERE v.Fc_Folio = ? GROUP BY v.Vn_Folio HAVING count(*) = 1 AND max(t.Vt_Impuesto) = 'IVA16' "
                                  "ORDER BY v.Vn_Folio"),
                   {kGlobal});
        ASSERT_FALSE(note.isEmpty());
        otherNotes = one(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Fc_Folio = ?"), {kGlobal}).toInt() - 1;
        ASSERT_GT(otherNotes, 0);
        writeNoteLines();
    }

    void writeNoteLines()
    {
        Recordset rs = connection->select(
            QStringLiteral("SELECT Vn_Precio_Lista_Importe, Vn_Descuento_Importe, Vn_Descuento_Global_Importe, "
                           "Vn_Impuesto_Importe, Vn_Precio_Neto_Importe FROM Venta_Encabezado WHERE Vn_Folio = ?"),
            {note});
        const qint64 list = cents(rs.decimal(QStringLiteral("Vn_Precio_Lista_Importe")));
        const qint64 discount = cents(rs.decimal(QStringLiteral("Vn_Descuento_Importe")))
                                + cents(rs.decimal(QStringLiteral("Vn_Descuento_Global_Importe")));
        const qint64 tax = cents(rs.decimal(QStringLiteral("Vn_Impuesto_Importe")));
        const qint64 net = cents(rs.decimal(QStringLiteral("Vn_Precio_Neto_Importe")));
        rs.close();
        const qint64 base = net - tax;
        // A split whose two taxes, each computed on its own base, add up to the note's.
        qint64 first = base * 2 / 5;
        while (first < base && tax16(first) + tax16(base - first) != tax)
            ++first;
        ASSERT_LT(first, base) << "no split of " << base << " gives the tax " << tax;
        const qint64 firstDiscount = discount / 2;
        struct Line
        {
            int id;
            const char *product, *unit, *quantity;
            qint64 base, discount;
        };
        const Line lines[] = {{1, "P-0001", "KG", "2", first, firstDiscount},
                              {2, "P-0003", "PZA", "3", base - first, discount - firstDiscount}};
        ASSERT_EQ(base + discount, list);
        for (const Line &line : lines) {
            const qint64 lineTax = tax16(line.base);
            connection->run(QStringLiteral("INSERT INTO Venta_Linea (Vn_Folio, Vl_ID, Pr_Cve_Producto, Vl_Cantidad, Un_Cve_Unidad, "
                                           "Vl_Precio_Lista_Importe, Vl_Descuento_Importe, Vl_Precio_Descontado_Importe, "
                                           "Vl_Impuesto_Importe, Vl_Precio_Neto_Importe) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                            {note, line.id, QLatin1String(line.product), QLatin1String(line.quantity), QLatin1String(line.unit),
                             fromCents(line.base + line.discount).toString(), fromCents(line.discount).toString(),
                             fromCents(line.base).toString(), fromCents(lineTax).toString(),
                             fromCents(line.base + lineTax).toString()});
            connection->run(QStringLiteral("INSERT INTO Venta_Linea_Impuesto (Vn_Folio, Vl_ID, Vi_ID, Im_Cve_Impuesto, Vi_Base, "
                                           "Vi_Importe) VALUES (?, ?, 1, 'IVA16', ?, ?)"),
                            {note, line.id, fromCents(line.base).toString(), fromCents(lineTax).toString()});
        }
    }

    CommandRun namedInvoice()
    {
        return zentaro({QStringLiteral("named-invoice"), QStringLiteral("--db"), database->urlText(), QStringLiteral("--note"),
                        note, QStringLiteral("--customer"), kCustomer});
    }

    void setVariable(const QString &name, const QString &value)
    {
        connection->run(QStringLiteral("DELETE FROM Variable_Configuracion WHERE Vc_Nombre = ?"), {name});
        connection->run(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor, Vc_Tipo) VALUES (?, ?, 'C')"),
                        {name, value});
    }
    // A PAC nobody answers: a port of this machine where nothing listens.
    void pacDown(bool down)
    {
        setVariable(QStringLiteral("CFDI_PAC"), down ? QStringLiteral("REST") : QStringLiteral("SANDBOX"));
        setVariable(QStringLiteral("CFDI_PAC_URL_PRUEBAS"), QStringLiteral("https://127.0.0.1:9/"));
        setVariable(QStringLiteral("CFDI_SAT_CONSULTA_URL"), QStringLiteral("https://127.0.0.1:9/consulta"));
        setVariable(QStringLiteral("CFDI_PAC_USUARIO"), QStringLiteral("pruebas"));
        setVariable(QStringLiteral("CFDI_PAC_CLAVE"), sealSecret(QStringLiteral("clave-de-pruebas")));
        setVariable(QStringLiteral("CFDI_PAC_INTENTOS"), QStringLiteral("1"));
        setVariable(QStringLiteral("CFDI_PAC_ESPERA"), QStringLiteral("5"));
    }
    QStringList logOf(const QString &folio)
    {
        QStringList actions;
        for (Recordset rs = connection->select(QStringLiteral("SELECT Bd_Accion FROM Bitacora_Documento WHERE Bd_Tabla = 'Factura' "
                                                              "AND Bd_Documento = ? ORDER BY Bd_ID"),
                                               {folio});
             !rs.eof(); rs.moveNext())
            actions << rs.textAt(0);
        return actions;
    }

    // Where every path must end: the global cancelled at the SAT with motive 04, one new
    // global of its other notes relating it, the ticket in a named invoice of its products,
    // each CFDI valid and stamped once.
    void expectFinished()
    {
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {kGlobal}), QStringLiteral("CA"));
        EXPECT_EQ(one(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kGlobal}), QStringLiteral("CA"));
        EXPECT_EQ(one(QStringLiteral("SELECT Cd_Motivo_Cancelacion FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kGlobal}),
                  QStringLiteral("04"));
        const QString replacement = one(QStringLiteral("SELECT DISTINCT Fc_Folio FROM Venta_Encabezado WHERE Vn_Factura_Cancelada = ?"),
                                        {kGlobal});
        EXPECT_EQ(one(QStringLiteral("SELECT count(DISTINCT Fc_Folio) FROM Venta_Encabezado WHERE Vn_Factura_Cancelada = ?"),
                      {kGlobal}).toInt(), 1);
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Fc_Folio = ? AND Vn_Factura_Cancelada = ?"),
                      {replacement, kGlobal}).toInt(),
                  otherNotes);
        const QString invoice = one(QStringLiteral("SELECT Fc_Folio FROM Venta_Encabezado WHERE Vn_Folio = ?"), {note});
        EXPECT_EQ(one(QStringLiteral("SELECT Fn_Factura FROM Factura_Nominativa WHERE Vn_Folio = ?"), {note}), invoice);
        EXPECT_EQ(one(QStringLiteral("SELECT Cl_Cve_Cliente FROM Factura WHERE Fc_Folio = ?"), {invoice}), kCustomer);
        // One live CFDI per document: nothing stamped twice, nothing left sealed.
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Comprobante_Digital WHERE Cd_Documento IN (?, ?)"), {replacement, invoice})
                      .toInt(), 2);
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Comprobante_Sellado")).toInt(), 0);

        static const cfdi::SchemaValidator schema(
            QDir(qEnvironmentVariable("ZENTARO_SAT_DIR")).filePath(QStringLiteral("xsd/cfdv40_tfd11.xsd")));
        const cfdi::Comprobante old = cfdi::readComprobanteXml(globalXml);
        const QByteArray globalXml2 =
            one(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = ?"), {replacement}).toUtf8();
        EXPECT_EQ(schema.errors(globalXml2), QStringList());
        const cfdi::Comprobante global = cfdi::readComprobanteXml(globalXml2);
        ASSERT_EQ(global.cfdiRelacionados.size(), 1);
        EXPECT_EQ(global.cfdiRelacionados.first().tipoRelacion, QStringLiteral("04"));
        EXPECT_EQ(global.cfdiRelacionados.first().uuids, QStringList {globalUuid.toUpper()});
        ASSERT_TRUE(global.informacionGlobal && old.informacionGlobal);
        EXPECT_EQ(global.informacionGlobal->periodicidad, old.informacionGlobal->periodicidad);
        EXPECT_EQ(global.informacionGlobal->meses, old.informacionGlobal->meses);
        EXPECT_EQ(global.informacionGlobal->anio, old.informacionGlobal->anio);
        for (const cfdi::Concepto &concepto : global.conceptos)
            EXPECT_NE(concepto.noIdentificacion, note);

        const QByteArray namedXml = one(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = ?"), {invoice}).toUtf8();
        EXPECT_EQ(schema.errors(namedXml), QStringList());
        const cfdi::Comprobante named = cfdi::readComprobanteXml(namedXml);
        EXPECT_FALSE(named.informacionGlobal.has_value());
        EXPECT_TRUE(named.cfdiRelacionados.isEmpty());
        EXPECT_EQ(named.receptor.rfc, QStringLiteral("APR980312K41"));
        EXPECT_EQ(named.receptor.regimenFiscalReceptor, QStringLiteral("601"));
        EXPECT_EQ(named.receptor.domicilioFiscalReceptor, QStringLiteral("44270"));
        EXPECT_EQ(named.receptor.usoCfdi, QStringLiteral("G03"));
        EXPECT_EQ(named.metodoPago, QStringLiteral("PUE"));
        ASSERT_EQ(named.conceptos.size(), 2);
        const QStringList expected[] = {{QStringLiteral("50221200"), QStringLiteral("KGM"), QStringLiteral("2")},
                                        {QStringLiteral("50192100"), QStringLiteral("H87"), QStringLiteral("3")}};
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            const cfdi::Concepto &concepto = named.conceptos.at(i);
            EXPECT_EQ(concepto.claveProdServ, expected[i][0]);
            EXPECT_EQ(concepto.claveUnidad, expected[i][1]);
            EXPECT_EQ(concepto.cantidad, expected[i][2]);
            EXPECT_EQ(concepto.noIdentificacion, note);
            ASSERT_EQ(concepto.traslados.size(), 1);
            EXPECT_EQ(concepto.traslados.first().tasaOCuota, QStringLiteral("0.160000"));
        }
        EXPECT_EQ(named.total, Decimal::fromVariant(one(QStringLiteral("SELECT Vn_Precio_Neto_Importe FROM Venta_Encabezado "
                                                                      "WHERE Vn_Folio = ?"), {note})).toFixed(2));

        // Each step in the document log, on the global and on the named invoice.
        const QStringList globalLog = logOf(kGlobal);
        for (const char *action : {"Nominativa solicitada", "Cancelación solicitada", "Cancelada", "Nominativa emitida"})
            EXPECT_TRUE(globalLog.contains(QString::fromUtf8(action))) << action << ": " << globalLog.join(u',').toStdString();
        const QStringList invoiceLog = logOf(invoice);
        for (const char *action : {"Creada", "Nominativa", "Timbrado", "Salida"})
            EXPECT_EQ(invoiceLog.count(QString::fromUtf8(action)), 1) << action << ": " << invoiceLog.join(u',').toStdString();
        EXPECT_TRUE(invoiceLog.contains(QStringLiteral("Correo"))) << invoiceLog.join(u',').toStdString();
    }

    QString note;
    int otherNotes = 0;
    QString globalUuid;
    QByteArray globalXml;
};

QStringList stepsOf(const CommandRun &run)
{
    QStringList steps;
    for (const QJsonObject &line : run.lines)
        if (line.contains(QStringLiteral("step")))
            steps << line.value(QStringLiteral("step")).toString();
    return steps;
}

TEST_P(NamedInvoiceCommand, CancelsTheGlobalIssuesItAgainAndInvoicesTheTicketByName)
{
    const CommandRun run = namedInvoice();
    ASSERT_EQ(run.exitCode, 0) << run.text();
    EXPECT_EQ(stepsOf(run), (QStringList {QStringLiteral("requested"), QStringLiteral("global_cancelled"),
                                          QStringLiteral("global"), QStringLiteral("invoice")}))
        << run.text();
    EXPECT_FALSE(run.lines.last().value(QStringLiteral("uuid")).toString().isEmpty()) << run.text();
    expectFinished();

    // Asked again, it only reports the invoice it made.
    const QString stamps = one(QStringLiteral("SELECT count(*) FROM Comprobante_Digital"));
    const CommandRun again = namedInvoice();
    EXPECT_EQ(again.exitCode, 0) << again.text();
    EXPECT_EQ(stepsOf(again), QStringList()) << again.text();
    EXPECT_EQ(again.lines.last().value(QStringLiteral("invoice")), run.lines.last().value(QStringLiteral("invoice")));
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Comprobante_Digital")), stamps);
    expectFinished();
}

// Stopped at each step and run again: the SAT unreachable when the cancellation is asked
// for, the catalogue missing a product's SAT key after the global was issued again, the PAC
// down while the named invoice is stamped. Each run goes on from where the last stopped.
TEST_P(NamedInvoiceCommand, EachInterruptedStepIsFinishedByTheNextRun)
{
    struct Stop
    {
        const char *name;
        std::function<void()> before;
        int exitCode;
        QStringList steps;
        std::function<void()> check;
    };
    const QString product = QStringLiteral("P-0003");
    const QList<Stop> stops = {
        {"the SAT does not answer the cancellation", [&] { pacDown(true); }, 0, {QStringLiteral("requested")},
         [&] {
             EXPECT_EQ(one(QStringLiteral("SELECT Fc_Folio FROM Venta_Encabezado WHERE Vn_Folio = ?"), {note}), kGlobal);
             EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {kGlobal}), QStringLiteral("AC"));
             EXPECT_EQ(one(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kGlobal}),
                       QStringLiteral("SO"));
         }},
        {"a product lost its SAT key",
         [&] {
             pacDown(false);
             connection->run(QStringLiteral("UPDATE Producto SET Pr_Clave_Prod_Serv = '' WHERE Pr_Cve_Producto = ?"), {product});
         },
         1, {QStringLiteral("global_cancelled"), QStringLiteral("global")},
         [&] {
             // The ticket is kept out of every global while it waits for its named invoice.
             EXPECT_EQ(one(QStringLiteral("SELECT Fc_Folio FROM Venta_Encabezado WHERE Vn_Folio = ?"), {note}), QString());
             EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Venta_Encabezado WHERE Vn_Folio = ?"), {note}),
                       QStringLiteral("FA"));
             EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Venta WHERE Vn_Folio = ?"), {note}), QStringLiteral("FA"));
             EXPECT_EQ(one(QStringLiteral("SELECT Fn_Factura FROM Factura_Nominativa WHERE Vn_Folio = ?"), {note}), QString());
         }},
        {"the PAC is down when the named invoice is stamped",
         [&] {
             pacDown(true);
             connection->run(QStringLiteral("UPDATE Producto SET Pr_Clave_Prod_Serv = '50192100' WHERE Pr_Cve_Producto = ?"),
                             {product});
         },
         1, {QStringLiteral("invoice")},
         [&] {
             const QString invoice = one(QStringLiteral("SELECT Fn_Factura FROM Factura_Nominativa WHERE Vn_Folio = ?"), {note});
             EXPECT_FALSE(invoice.isEmpty());
             EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Comprobante_Digital WHERE Cd_Documento = ?"), {invoice}), QStringLiteral("0"));
         }},
        {"all is well again", [&] { pacDown(false); }, 0, {}, [&] { expectFinished(); }},
    };
    for (const Stop &stop : stops) {
        SCOPED_TRACE(stop.name);
        stop.before();
        const CommandRun run = namedInvoice();
        EXPECT_EQ(run.exitCode, stop.exitCode) << run.text();
        EXPECT_EQ(stepsOf(run), stop.steps) << run.text();
        stop.check();
        const bool waits = stop.exitCode == 0 && stop.steps == QStringList {QStringLiteral("requested")};
        EXPECT_EQ(run.lines.last().value(QStringLiteral("waiting")).toBool(), waits) << run.text();
    }
}

// What a named invoice cannot be made for is refused before anything is asked of the SAT.
TEST_P(NamedInvoiceCommand, RefusesWhatCannotBeInvoicedByName)
{
    struct Case
    {
        const char *customer;
        const char *sql;   // run before the command
        const char *says;
    };
    const Case cases[] = {
        {"PUBLICO", "", "no tiene el RFC de un contribuyente"},
        {"C-0009", "", "está dado de baja"},
        {"C-0404", "", "no existe"},
        {"C-0001", "UPDATE Cliente SET Cl_Uso_CFDI = '' WHERE Cl_Cve_Cliente = 'C-0001'", "uso del CFDI"},
        {"C-0002", "DELETE FROM Venta_Linea WHERE Vl_ID = 2", "suman"},
        {"C-0002", "DELETE FROM Venta_Linea", "no tiene registrados sus productos"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.customer);
        if (*c.sql)
            connection->run(QLatin1String(c.sql));
        const CommandRun run = zentaro({QStringLiteral("named-invoice"), QStringLiteral("--db"), database->urlText(),
                                        QStringLiteral("--note"), note, QStringLiteral("--customer"), QLatin1String(c.customer)});
        EXPECT_EQ(run.exitCode, 1) << run.text();
        EXPECT_TRUE(run.lines.last().value(QStringLiteral("error")).toString().contains(QString::fromUtf8(c.says)))
            << run.text();
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura_Nominativa")), QStringLiteral("0"));
        EXPECT_EQ(one(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kGlobal}),
                  QStringLiteral("VI"));
    }
}

ZENTARO_ON_BOTH_ENGINES(NamedInvoiceCommand);

} // namespace
