// Accept: what it refuses before writing anything, the invoice it stores, and that any
// failure between the transaction's begin and its commit leaves every table as it was.

#include "ScreenFixture.h"
#include "support/ConnectionFaults.h"
#include "support/TableSnapshot.h"

#include "platform/components/printing/InvoicePdf.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "qx417/services/Components.h"

#include <QDir>
#include <QTemporaryDir>

using namespace zentaro;

namespace qx417::test {
namespace {

class Accept : public ScreenTest
{
protected:
    void TearDown() override
    {
        components() = Components::suite();
        ScreenTest::TearDown();
    }
    // New, the header's defaults, the notes of the day loaded and all of them marked.
    frmQX417 &prepared()
    {
        frmQX417 &form = screen ? *screen : open();
        form.Controles->press(Toolbar::New);
        for (auto [box, key] : {std::pair{form.txt_Mn_Cve_Moneda, "MXN"}, std::pair{form.txt_Cl_Cve_Cliente, "PUBLICO"}}) {
            box->scriptType(QLatin1String(key));
            box->scriptEnter();
        }
        form.Controles->press(Toolbar::Option1);
        form.chkMarcarN->scriptClick({});
        return form;
    }
    void accept() { screen->Controles->press(Toolbar::Accept); }
    QString one(const QString &sql) { return db().select(sql).textAt(0); }
    int invoices() { return one(QStringLiteral("SELECT count(*) FROM Factura")).toInt(); }
    QString lastId() const { return presenter->messages.isEmpty() ? QString() : presenter->messages.last().id; }
    void addNote(const QString &folio, const char *list, const char *discounted, const char *tax, const char *net)
    {
        exec(QStringLiteral("INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Fecha, Vn_Credito, Cl_Cve_Cliente, Vn_Cve_Vendedor, "
                            "Mn_Cve_Moneda, Sc_Cve_Sucursal, Vn_Precio_Lista_Importe, Vn_Descuento_Importe, "
                            "Vn_Descuento_Global_Importe, Vn_Precio_Descontado_Importe, Vn_Impuesto_Importe, "
                            "Vn_Precio_Neto_Importe, Es_Cve_Estado, Vn_Forma_Pago) VALUES ('%1', '2026-12-06', 'NO', 'PUBLICO', "
                            "'V01', 'MXN', 'S01', %2, 1, 2, %3, %4, %5, 'AC', '01')")
                 .arg(folio, QLatin1String(list), QLatin1String(discounted), QLatin1String(tax), QLatin1String(net)));
        exec(QStringLiteral("INSERT INTO Venta SELECT * FROM Venta_Encabezado WHERE Vn_Folio = '%1'").arg(folio));
    }
};

TEST_P(Accept, StoresTheInvoiceItsLinesTaxesAndNotesThenEmptiesTheScreen)
{
    addNote(QStringLiteral("T-CERO"), "0", "0", "0", "0");   // nothing to bill: marked, no line
    addNote(QStringLiteral("T-TRES"), "103", "102", "24", "124");
    const char *taxRows[][3] = {{"3", "IVA0", "0"}, {"1", "IVA16", "16"}, {"2", "IEPS8", "8"}};
    for (const auto &row : taxRows)
        exec(QStringLiteral("INSERT INTO Venta_Total_Impuesto (Vn_Folio, Vt_ID, Vt_Impuesto, Vt_SubTotal_Importe, "
                            "Vt_Impuesto_Importe) VALUES ('T-TRES', %1, '%2', 100, %3)")
                 .arg(QLatin1String(row[0]), QLatin1String(row[1]), QLatin1String(row[2])));
    // A credit-type condition still ends as an invoice not on credit.
    frmQX417 &form = prepared();
    const QString condition = form.txtCondicionVenta->text();
    exec(QStringLiteral("UPDATE Condicion_Venta SET Cv_Tipo_Condicion = '02' WHERE Cv_Cve_Condicion_Venta = '%1'").arg(condition));
    const int marked = form.Notas_Seleccionadas(QStringLiteral("VE")).count(u',') + 1;
    const double total = form.txtTotal->value().toDouble();
    ASSERT_EQ(form.txt_Fc_Factura->documentNumber(), QStringLiteral("FG-7"));   // the demo's next number
    accept();

    EXPECT_TRUE(presenter->messages.isEmpty()) << qPrintable(presenter->messages.value(0).text);
    EXPECT_TRUE(presenter->errors.isEmpty());
    EXPECT_FALSE(condition.isEmpty());
    const QString folio = QStringLiteral("FG-000007");
    Recordset invoice = db().select(QStringLiteral("SELECT Fc_Factura, Fc_Credito, Fc_Condicion_Venta, Fc_Condicion_Tipo_02, "
                                                   "Fc_Precio_Neto_Importe, Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"),
                                    {folio});
    ASSERT_FALSE(invoice.eof());
    EXPECT_EQ(invoice.text(QStringLiteral("Fc_Factura")), QStringLiteral("FG-7"));
    EXPECT_EQ(invoice.text(QStringLiteral("Fc_Credito")), QStringLiteral("NO"));
    EXPECT_EQ(invoice.text(QStringLiteral("Fc_Condicion_Venta")), condition);
    EXPECT_EQ(invoice.text(QStringLiteral("Fc_Condicion_Tipo_02")), QStringLiteral("1"));
    EXPECT_EQ(invoice.decimal(QStringLiteral("Fc_Precio_Neto_Importe")), Decimal::fromDouble(total));
    EXPECT_EQ(one(QStringLiteral("SELECT Fc_Credito FROM Factura_Encabezado WHERE Fc_Folio = 'FG-000007'")), QStringLiteral("NO"));
    // One line per note with an amount, the note's discount and global discount together.
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura_Linea WHERE Fc_Folio = 'FG-000007'")).toInt(), marked - 1);
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura_Linea WHERE Vn_Folio = 'T-CERO'")), QStringLiteral("0"));
    Recordset line = db().select(QStringLiteral("SELECT Fc_ID, Fl_Descuento_Importe, Fl_Precio_Descontado_Importe FROM "
                                                "Factura_Linea WHERE Vn_Folio = 'T-TRES'"));
    EXPECT_EQ(line.text(QStringLiteral("Fl_Descuento_Importe")), QStringLiteral("3"));
    EXPECT_EQ(line.text(QStringLiteral("Fl_Precio_Descontado_Importe")), QStringLiteral("100"));
    const QString lineId = line.text(QStringLiteral("Fc_ID"));
    line.close();
    QStringList taxes;
    for (Recordset rs = db().select(QStringLiteral("SELECT Fi_ID, Im_Cve_Impuesto, Fi_Base, Im_Importe FROM Factura_Impuesto "
                                                   "WHERE Fc_Folio = 'FG-000007' AND Fc_ID = ? ORDER BY Fi_ID"), {lineId});
         !rs.eof(); rs.moveNext())
        taxes << QStringLiteral("%1 %2 %3 %4").arg(rs.textAt(0), rs.textAt(1), rs.textAt(2), rs.textAt(3));
    EXPECT_EQ(taxes, (QStringList{QStringLiteral("0001 IVA16 100 16"), QStringLiteral("0002 IEPS8 100 8"),
                                  QStringLiteral("0003 IVA0 100 0")}));
    // Every marked note is invoiced, on both note tables.
    for (const char *table : {"Venta_Encabezado", "Venta"})
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM %1 WHERE Fc_Folio = 'FG-000007' AND Fc_Factura = 'FG-7' "
                                     "AND Es_Cve_Estado = 'FA' AND Oper_Ult_Modif = 'ADMIN'").arg(QLatin1String(table)))
                      .toInt(), marked);
    EXPECT_EQ(one(QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = 'FG'")), QStringLiteral("8"));
    // Signed, printed and archived by mail; the screen is ready for the next invoice.
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000007'")), QStringLiteral("1"));
    EXPECT_EQ(presenter->outputs.size(), 1);
    EXPECT_FALSE(form.Controles->isNew());
    EXPECT_EQ(form.lvNotas->count(), 0);
    EXPECT_EQ(form.ssTabVek->tab(), 0);
}

TEST_P(Accept, RefusesAnIncompleteHeaderOrSelectionBeforeWritingAnything)
{
    struct Case
    {
        const char *id;
        std::function<void(frmQX417 &)> spoil;
    };
    const std::vector<Case> cases = {
        {"ERR-ID:7500008", [](frmQX417 &f) { f.txt_Sc_Descripcion->setText({}); f.txt_Vn_Descripcion->setText({}); }},
        {"ERR-ID:7500009", [](frmQX417 &f) { f.txtAl_Descripcion->setText({}); }},
        {"ERR-ID:7500010", [](frmQX417 &f) { f.txt_Clt_Descripcion->setText({}); }},
        {"ERR-ID:7500011", [](frmQX417 &f) { f.txt_Vn_Descripcion->setText({}); }},
        {"ERR-ID:7500012", [](frmQX417 &f) { f.txt_Mn_Descripcion->setText({}); }},
        {"ERR-ID:7500013", [](frmQX417 &f) { f.txt_Fc_Tipo_Cambio->setValue(0.0); }},
        {"ERR-ID:7500014", [](frmQX417 &f) { f.txtNCondicionVenta->setText({}); }},
        {"ERR-ID:7500015", [](frmQX417 &f) { f.chkMarcarN->scriptClick({}); }},
    };
    const auto before = zentaro::test::snapshotTables(db());
    for (const Case &c : cases) {
        frmQX417 &form = prepared();
        form.ssTabVek->setTab(1);
        c.spoil(form);
        presenter->messages.clear();
        accept();
        ASSERT_EQ(presenter->messages.size(), 1) << c.id;
        EXPECT_EQ(presenter->messages[0].id, QLatin1String(c.id));
        EXPECT_EQ(presenter->messages[0].style, 48) << c.id;
        // Header refusals bring the header forward; an empty selection leaves the page alone.
        EXPECT_EQ(form.ssTabVek->tab(), QLatin1String(c.id) == QLatin1String("ERR-ID:7500015") ? 1 : 0) << c.id;
        EXPECT_TRUE(form.Controles->isNew()) << c.id;
        form.Controles->press(Toolbar::Cancel);
    }
    EXPECT_EQ(zentaro::test::snapshotTables(db()), before);

    // A closed period is checked first, and only when the setting asks for it.
    exec(QStringLiteral("UPDATE Periodo_Operativo SET Po_Abierto = 'NO'"));
    prepared();
    presenter->messages.clear();
    accept();
    ASSERT_EQ(lastId(), QStringLiteral("ERR-ID:7500007"));
    EXPECT_EQ(presenter->messages.last().text,
              QStringLiteral("El período operativo correspondiente a la fecha: 06-12-2026, está cerrado o no existe"));
    EXPECT_EQ(presenter->messages.last().title, QStringLiteral("Zentaro"));
    exec(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = '0' WHERE Vc_Nombre = 'GEN_VALIDAR_PERIODO_OPERATIVO'"));
    screen->chkMarcarN->scriptClick({});   // no notes now: the next check speaks
    accept();
    EXPECT_EQ(lastId(), QStringLiteral("ERR-ID:7500015"));
}

TEST_P(Accept, FailuresInsideTheTransactionRollEverythingBack)
{
    const auto before = zentaro::test::snapshotTables(db());
    const auto acceptFails = [&](const char *id) {
        presenter->messages.clear();
        accept();
        EXPECT_EQ(lastId(), QLatin1String(id));
        EXPECT_TRUE(screen->Controles->isNew());
        EXPECT_EQ(zentaro::test::snapshotTables(db()), before) << id;
    };
    // The number box refuses a number that another invoice holds, with its own reason.
    exec(QStringLiteral("UPDATE Serie SET Sr_Siguiente_Numero = 3 WHERE Sr_Cve_Serie = 'FG'"));
    const auto withThree = zentaro::test::snapshotTables(db());
    prepared();
    presenter->messages.clear();
    accept();
    EXPECT_EQ(lastId(), QStringLiteral("ERR-ID:7500016"));
    EXPECT_EQ(presenter->messages.last().style, 16);
    EXPECT_TRUE(presenter->messages.last().text.contains(QStringLiteral("FG-000003")));
    EXPECT_EQ(zentaro::test::snapshotTables(db()), withThree);
    exec(QStringLiteral("UPDATE Serie SET Sr_Siguiente_Numero = 7 WHERE Sr_Cve_Serie = 'FG'"));
    screen->Controles->press(Toolbar::Cancel);

    // A withdrawn concept product: the configuration message, exactly as it stands.
    exec(QStringLiteral("UPDATE Producto SET Es_Cve_Estado = 'BA' WHERE Pr_Cve_Producto = 'FACGLOBAL'"));
    const auto withdrawn = zentaro::test::snapshotTables(db());
    prepared();
    presenter->messages.clear();
    accept();
    EXPECT_EQ(lastId(), QStringLiteral("ERR-ID:7500017"));
    EXPECT_EQ(presenter->messages.last().text,
              QStringLiteral("Facturar_Venta() - La unidad de venta del producto caturado en la variable "
                             "FAC_FACTURA_GLOBAL_PRODUCTO, no existe o está de baja, verifique su configuración y vuelva a intentarlo"));
    EXPECT_EQ(zentaro::test::snapshotTables(db()), withdrawn);
    exec(QStringLiteral("UPDATE Producto SET Es_Cve_Estado = 'AC' WHERE Pr_Cve_Producto = 'FACGLOBAL'"));

    // A builder that refuses the third line: its reason under the procedure's name.
    struct RefusingBuilder : InvoiceBuilder
    {
        using InvoiceBuilder::InvoiceBuilder;
        bool SaveLine() override { return ++saved < 3 ? InvoiceBuilder::SaveLine() : (refused = true, false); }
        QString LastError() const override { return refused ? QStringLiteral("Línea rechazada") : InvoiceBuilder::LastError(); }
        int saved = 0;
        bool refused = false;
    };
    components().invoiceBuilder = [] { return std::make_unique<RefusingBuilder>(Platform::instance().connection()); };
    acceptFails("ERR-ID:7500017");
    EXPECT_EQ(presenter->messages.last().text, QStringLiteral("Facturar_Venta() - \r\nLínea rechazada"));
    components() = Components::suite();

    // Additional fields that cannot be stored.
    screen->Controles->press(Toolbar::Cancel);
    prepared();
    zentaro::test::ConnectionFaults::arm(db(), [](const QString &statement) {
        if (statement.startsWith(QLatin1String("DELETE FROM Campo_Extra_Valor")))
            throw Error(QStringLiteral("disco lleno"));
    });
    acceptFails("ERR-ID:7500018");
    zentaro::test::ConnectionFaults::disarm(db());
    EXPECT_EQ(presenter->messages.last().title, QStringLiteral("ERROR"));
}

TEST_P(Accept, AFailureAtAnyStatementLeavesEveryTableAsItWas)
{
    frmQX417 &form = prepared();
    // A small invoice: three notes, so that every kind of statement comes up.
    form.chkMarcarN->scriptClick({});
    for (int row = 0; row < 3; ++row)
        form.lvNotas->setChecked(row, true);
    const auto before = zentaro::test::snapshotTables(db());
    const int stored = invoices();
    int failAt = 0;
    for (;; ++failAt) {
        ASSERT_LT(failAt, 200) << "Accept never got through";
        presenter->messages.clear();
        presenter->errors.clear();
        {
            zentaro::test::StatementFault fault(db(), failAt);
            accept();
        }
        if (invoices() > stored)
            break;   // the fault fell after the commit: the invoice is stored
        const auto after = zentaro::test::snapshotTables(db());
        ASSERT_EQ(after, before) << "failure at statement " << failAt << ":\n"
                                 << qPrintable(zentaro::test::describeDifferences(before, after));
        ASSERT_FALSE(presenter->messages.isEmpty() && presenter->errors.isEmpty()) << "a failure went unreported";
        ASSERT_FALSE(db().inTransaction());
    }
    EXPECT_GT(failAt, 15);   // reservation, lines, taxes, notes, header: each one was failed once
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Venta WHERE Fc_Folio = 'FG-000007'")), QStringLiteral("3"));
}

// The server refuses a tax row in the middle of the notes, after statements of earlier notes
// and before those of later ones: on PostgreSQL they all travel without waiting for their
// answers. The clerk reads the refusal of that very INSERT, as it reads it when each
// statement waits for its answer, and nothing of the invoice survives.
TEST_P(Accept, AStatementTheServerRefusesMidwayIsReportedAsItselfAndRolledBack)
{
    // Bases above 900000 must be unique: the third of these notes repeats the first's.
    exec(QStringLiteral("CREATE UNIQUE INDEX UX_Prueba_Base ON Factura_Impuesto (Fi_Base) WHERE Fi_Base > 900000"));
    const std::pair<const char *, int> notes[] = {{"T-PA", 900001}, {"T-PB", 900002}, {"T-PC", 900001}, {"T-PD", 900004}};
    for (const auto &[folio, base] : notes) {
        // IVA 16 % of the base; list and discounted amounts carry the helper's discounts.
        const Decimal tax = Decimal::fromUnits(std::int64_t(base) * 16 * Decimal::kOne / 100);
        const Decimal net = Decimal::fromInt(base) + tax;
        addNote(QLatin1String(folio), QByteArray::number(base + 3).constData(), QByteArray::number(base + 2).constData(),
                tax.toString().toLatin1().constData(), net.toString().toLatin1().constData());
        exec(QStringLiteral("INSERT INTO Venta_Total_Impuesto (Vn_Folio, Vt_ID, Vt_Impuesto, Vt_SubTotal_Importe, "
                            "Vt_Impuesto_Importe) VALUES ('%1', 1, 'IVA16', %2, %3)")
                 .arg(QLatin1String(folio)).arg(base).arg(tax.toString()));
    }
    prepared();
    const auto before = zentaro::test::snapshotTables(db());
    const int stored = invoices();
    presenter->messages.clear();
    accept();

    ASSERT_EQ(lastId(), QStringLiteral("ERR-ID:7500017"));
    const QString refusal = GetParam() == Engine::Sqlite
        ? QStringLiteral("UNIQUE constraint failed: Factura_Impuesto.Fi_Base")
        : QStringLiteral("duplicate key value violates unique constraint \"ux_prueba_base\"");
    EXPECT_EQ(presenter->messages.last().text, QStringLiteral("Facturar_Venta() - \r\n") + refusal)
        << qPrintable(presenter->messages.last().text);
    EXPECT_EQ(presenter->messages.size(), 1);
    EXPECT_FALSE(db().inTransaction());
    EXPECT_TRUE(screen->Controles->isNew());
    EXPECT_EQ(invoices(), stored);
    const auto after = zentaro::test::snapshotTables(db());
    EXPECT_EQ(after, before) << qPrintable(zentaro::test::describeDifferences(before, after));

    // The connection is whole again: without the rule the same invoice is stored.
    exec(QStringLiteral("DROP INDEX UX_Prueba_Base"));
    presenter->messages.clear();
    accept();
    EXPECT_TRUE(presenter->messages.isEmpty()) << qPrintable(presenter->messages.value(0).text);
    EXPECT_EQ(invoices(), stored + 1);
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura_Impuesto WHERE Fi_Base > 900000")), QStringLiteral("4"));
}

TEST_P(Accept, SigningFailureLeavesTheInvoiceStoredUnsignedAndAPlainSeriesIsNotSigned)
{
    exec(QStringLiteral("UPDATE Emisor SET Em_Clave = 'no-es-la-clave'"));
    const int stored = invoices();
    frmQX417 &form = prepared();
    accept();
    ASSERT_EQ(lastId(), QStringLiteral("ERR-ID:7500019"));
    EXPECT_TRUE(presenter->messages.last().text.startsWith(QStringLiteral("Error al firmar el documento digital\r\n")));
    EXPECT_EQ(invoices(), stored + 1);
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000007'")), QStringLiteral("0"));
    EXPECT_TRUE(presenter->outputs.isEmpty());
    EXPECT_FALSE(form.Controles->isNew());
    EXPECT_EQ(form.lvNotas->count(), 0);

    // The non-electronic series: nothing to sign, the output all the same.
    addNote(QStringLiteral("T-FGN"), "13", "12", "1.6", "11.6");
    exec(QStringLiteral("INSERT INTO Venta_Total_Impuesto (Vn_Folio, Vt_ID, Vt_Impuesto, Vt_SubTotal_Importe, "
                        "Vt_Impuesto_Importe) VALUES ('T-FGN', 1, 'IVA16', 10, 1.6)"));
    prepared();
    form.txt_Fc_Factura->scriptType(QStringLiteral("FGN"));
    presenter->messages.clear();
    accept();
    EXPECT_TRUE(presenter->messages.isEmpty()) << qPrintable(presenter->messages.value(0).text);
    EXPECT_EQ(one(QStringLiteral("SELECT Fc_Folio FROM Venta WHERE Vn_Folio = 'T-FGN'")), QStringLiteral("FGN-000001"));
    EXPECT_EQ(presenter->outputs.size(), 1);
    EXPECT_TRUE(presenter->outputs.last().contains(QStringLiteral("FGN-000001")));
}

// Accept prints the invoice and mails it: the mail attaches the file that was written, not
// a second drawing of the invoice (which, besides the time, would be a different file).
TEST_P(Accept, TheMailAttachesThePdfFileThatWasWritten)
{
    QTemporaryDir outbox;
    QTemporaryDir documents;
    exec(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = 'file:%1' WHERE Vc_Nombre = 'MAIL_SMTP_URL'")
             .arg(outbox.path()));
    const QByteArray documentsBefore = qgetenv("ZENTARO_OUTPUT_DIR");
    qputenv("ZENTARO_OUTPUT_DIR", documents.path().toLocal8Bit());
    prepared();
    const int drawn = InvoicePdf::drawings();
    accept();
    EXPECT_EQ(InvoicePdf::drawings() - drawn, 1);
    qputenv("ZENTARO_OUTPUT_DIR", documentsBefore);
    ASSERT_TRUE(presenter->messages.isEmpty()) << qPrintable(presenter->messages.value(0).text);
    ASSERT_EQ(presenter->outputs.size(), 1);
    QFile written(presenter->outputs.last());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray pdf = written.readAll();
    const QStringList mails = QDir(outbox.path()).entryList({QStringLiteral("*.eml")});
    ASSERT_EQ(mails.size(), 1);
    QFile eml(QDir(outbox.path()).filePath(mails.first()));
    ASSERT_TRUE(eml.open(QIODevice::ReadOnly));
    const QByteArray message = eml.readAll();
    const qsizetype part = message.indexOf("Content-Type: application/pdf");
    ASSERT_GE(part, 0);
    const qsizetype start = message.indexOf("\r\n\r\n", part) + 4;
    const QByteArray attached = QByteArray::fromBase64(message.mid(start, message.indexOf("\r\n--", start) - start));
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(attached.size(), pdf.size());
    EXPECT_TRUE(attached == pdf);
}

ZENTARO_ON_BOTH_ENGINES(Accept);

} // namespace
} // namespace qx417::test
