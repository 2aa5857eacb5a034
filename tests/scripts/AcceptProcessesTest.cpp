// Accept as clerks at separate machines meet it: two at once over the same notes, and a
// program killed half-way through a large invoice.

#include "support/TestDatabase.h"

#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace zentaro;

namespace {

class AcceptProcesses : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        database = std::make_unique<test::TestDatabase>(GetParam());
        connection = database->open();
    }
    // A clerk's script: the header of the day for the public, every candidate note, Accept.
    QString script(const QString &name, const QString &series)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QString text = QStringLiteral("clock 2026-12-06T10:30:00\nopen QX417\nclick Controles Nuevo\n"
                                      "type txt_Mn_Cve_Moneda MXN\nenter txt_Mn_Cve_Moneda\n"
                                      "type txt_Cl_Cve_Cliente PUBLICO\nenter txt_Cl_Cve_Cliente\n"
                                      "click Controles Opcion1\nclick chkMarcarN\n");
        if (!series.isEmpty())
            text += QStringLiteral("type txt_Fc_Factura %1\n").arg(series);
        text += QStringLiteral("click Controles Aceptar\n");
        file.write(text.toUtf8());
        return path;
    }
    QProcess *start(const QString &scriptPath, const QString &trace = {})
    {
        auto *process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!trace.isEmpty())
            environment.insert(QStringLiteral("ZENTARO_SQL_TRACE"), trace);
        process->setProcessEnvironment(environment);
        process->start(qEnvironmentVariable("ZENTARO_BIN"),
                       {QStringLiteral("script"), scriptPath, QStringLiteral("--db"), database->urlText()});
        return process;
    }
    QString output(QProcess *process)
    {
        std::unique_ptr<QProcess> owner(process);
        EXPECT_TRUE(process->waitForFinished(120000));
        return QString::fromUtf8(process->readAllStandardOutput());
    }
    QString one(const QString &sql) { return connection->select(sql).textAt(0); }

    QTemporaryDir dir;
    std::unique_ptr<test::TestDatabase> database;
    std::unique_ptr<Connection> connection;
};

TEST_P(AcceptProcesses, TwoClerksOverTheSameNotesMakeOneInvoice)
{
    demo::fill(*connection, {417, QDate(2026, 12, 6), 1500});
    const int candidates = one(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Vn_Fecha = '2026-12-06' AND "
                                              "Sc_Cve_Sucursal = 'S01' AND Mn_Cve_Moneda = 'MXN' AND Fc_Folio = '' AND "
                                              "Es_Cve_Estado NOT IN ('CA', 'FA')")).toInt();
    // Another series for the second clerk, so that the notes, not the number, decide.
    QProcess *fg = start(script(QStringLiteral("fg.zs"), {}));
    QProcess *fgn = start(script(QStringLiteral("fgn.zs"), QStringLiteral("FGN")));
    const QString outputs = output(fg) + output(fgn);

    // Exactly one invoice took every note; the other clerk was refused and left nothing.
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura WHERE Fc_Folio IN ('FG-000007', 'FGN-000001')")),
              QStringLiteral("1")) << outputs.toStdString();
    const QString winner = one(QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Fc_Folio IN ('FG-000007', 'FGN-000001')"));
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Fc_Folio = '%1'").arg(winner)).toInt(), candidates);
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Venta WHERE Fc_Folio = '%1'").arg(winner)).toInt(), candidates);
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura_Linea WHERE Fc_Folio NOT IN "
                                 "(SELECT Fc_Folio FROM Factura)")), QStringLiteral("0"));
    EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura_Impuesto WHERE Fc_Folio NOT IN "
                                 "(SELECT Fc_Folio FROM Factura)")), QStringLiteral("0"));
    const bool refusedByTheNoteRule = outputs.contains(QStringLiteral("ya está facturada en la factura"))
        && outputs.contains(QStringLiteral("ERR-ID:7500017"));
    const bool foundNothingLeft = outputs.contains(QStringLiteral("ERR-ID:7500015"));
    EXPECT_TRUE(refusedByTheNoteRule || foundNothingLeft) << outputs.toStdString();
}

TEST_P(AcceptProcesses, AProgramKilledHalfWayLeavesNothingBehind)
{
    demo::fill(*connection, {417, QDate(2026, 12, 6), 20000});
    connection->run(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = '0' WHERE Vc_Nombre = 'FAC_ENVIAR_DOCUMENTO_EMAIL'"));
    const QString invoiced = one(QStringLiteral("SELECT count(*) FROM Venta WHERE Es_Cve_Estado = 'FA'"));
    const QString trace = dir.filePath(QStringLiteral("trace.sql"));
    QProcess *clerk = start(script(QStringLiteral("grande.zs"), {}), trace);
    ASSERT_TRUE(clerk->waitForStarted());
    QElapsedTimer waited;
    waited.start();
    int taxRows = 0;
    while (taxRows < 3000 && waited.elapsed() < 60000 && clerk->state() == QProcess::Running) {
        QThread::msleep(50);
        QFile file(trace);
        if (file.open(QIODevice::ReadOnly))
            taxRows = int(file.readAll().count("INSERT INTO Factura_Impuesto"));
    }
    ASSERT_GE(taxRows, 3000) << "the clerk finished or stalled before it was killed";
    clerk->kill();
    output(clerk);

    auto reopened = Connection::open(database->url());
    schema::verify(*reopened);
    if (GetParam() == Engine::Sqlite) {
        EXPECT_EQ(reopened->select(QStringLiteral("PRAGMA integrity_check")).textAt(0), QStringLiteral("ok"));
    }
    const auto count = [&](const QString &sql) { return reopened->select(sql).textAt(0); };
    // The backend of a killed client rolls its transaction back; wait until it is gone.
    for (int i = 0; i < 100 && count(QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = 'FG'")) != QLatin1String("7"); ++i)
        QThread::msleep(100);
    EXPECT_EQ(count(QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = 'FG'")), QStringLiteral("7"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Factura WHERE Fc_Folio = 'FG-000007'")), QStringLiteral("0"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Factura_Impuesto WHERE Fc_Folio = 'FG-000007'")), QStringLiteral("0"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Factura_Linea WHERE Fc_Folio = 'FG-000007'")), QStringLiteral("0"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Venta WHERE Es_Cve_Estado = 'FA'")), invoiced);
}

INSTANTIATE_TEST_SUITE_P(Engines, AcceptProcesses, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         test::engineName);

} // namespace
