// The night run end to end: the real command on a demo database of each engine.

#include "BillingPeriod.h"
#include "SchedulerLock.h"

#include "platform/components/FakePac.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/Connection.h"
#include "support/CommandTest.h"
#include "support/TableSnapshot.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using namespace zentaro;
using zentaro::app::BillingPeriod;
using zentaro::test::CommandRun;

namespace {

class GlobalInvoiceCommand : public test::CommandTest
{
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        // Two notes in dollars today, so that the day has three groups.
        demo::addCandidateNotes(*connection, 2, 9, today, QStringLiteral("S01"), QStringLiteral("USD"));
        connection->run(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = ? WHERE Vc_Nombre = 'MAIL_SMTP_URL'"),
                        {QStringLiteral("file:") + home.filePath(QStringLiteral("outbox"))});
        // The runs that act as on a later day date their invoices in the next month too.
        const QDate next = QDate(today.year(), today.month(), 1).addMonths(1);
        connection->run(QStringLiteral("INSERT INTO Periodo_Operativo (Po_Modulo, Po_Fecha_Inicio, Po_Fecha_Final, Po_Abierto) "
                                       "VALUES ('VENTAS', ?, ?, 'SI')"),
                        {next.toString(Qt::ISODate), next.addMonths(1).addDays(-1).toString(Qt::ISODate)});
    }

    // printed invoices land in `home`
    QProcess *start(const QStringList &arguments, const QString &trace = {})
    {
        return test::startCommand(QStringList {QStringLiteral("global-invoice"), QStringLiteral("--db"), database->urlText()}
                                      + arguments,
                                  test::commandEnvironment(home.path(), trace));
    }
    static CommandRun finish(QProcess *process) { return test::finishCommand(process); }

    CommandRun run(const QStringList &arguments) { return finish(start(arguments)); }

    // A run of the day's notes, acting as on the next day: the day's period has closed.
    QStringList dayAfter(const QStringList &more = {}) const
    {
        return QStringList {QStringLiteral("--date"), todayText(), QStringLiteral("--today"), tomorrowText()} + more;
    }

    void setVariable(const QString &name, const QString &value)
    {
        connection->run(QStringLiteral("DELETE FROM Variable_Configuracion WHERE Vc_Nombre = ?"), {name});
        connection->run(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor) VALUES (?, ?)"), {name, value});
    }

    // The stamped XML of an invoice.
    QString stampedXml(const QString &folio)
    {
        Recordset rs = connection->select(
            QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Tabla = 'Factura' AND Cd_Documento = ?"), {folio});
        return rs.eof() ? QString() : rs.textAt(0);
    }

    // The notes a clerk could invoice today, by "branch/currency".
    QMap<QString, QStringList> candidatesOfToday()
    {
        QMap<QString, QStringList> notes;
        Recordset rs = connection->select(QStringLiteral(
            "SELECT Sc_Cve_Sucursal, Mn_Cve_Moneda, Vn_Folio FROM Venta_Encabezado WHERE Vn_Fecha = ? AND Fc_Folio = '' "
            "AND Es_Cve_Estado NOT IN ('CA', 'FA') ORDER BY Vn_Folio"), {todayText()});
        for (; !rs.eof(); rs.moveNext())
            notes[rs.textAt(0) + u'/' + rs.textAt(1)] << rs.textAt(2);
        return notes;
    }

    int invoiceCount()
    {
        return connection->select(QStringLiteral("SELECT COUNT(*) FROM Factura")).value(0).toInt();
    }

    QString todayText() const { return today.toString(Qt::ISODate); }
    QString tomorrowText() const { return today.addDays(1).toString(Qt::ISODate); }

    const QDate today = QDate::currentDate();
};

CommandRun withoutResumed(CommandRun run)
{
    for (int i = int(run.lines.size()) - 1; i >= 0; --i)
        if (run.lines[i].value(QStringLiteral("resumed")).toBool()) {
            EXPECT_FALSE(run.lines[i].value(QStringLiteral("uuid")).toString().isEmpty()) << run.outLines[i].toStdString();
            run.lines.removeAt(i);
            run.outLines.removeAt(i);
        }
    return run;
}

QString groupOf(const QJsonObject &line)
{
    return line.value(QStringLiteral("branch")).toString() + u'/' + line.value(QStringLiteral("currency")).toString();
}

TEST_P(GlobalInvoiceCommand, ADryRunListsTheGroupsThenEachCandidateIsBilledOnceUnderItsGroupsSignedInvoice)
{
    const auto candidates = candidatesOfToday();
    ASSERT_EQ(candidates.keys(), (QStringList {QStringLiteral("S01/MXN"), QStringLiteral("S01/USD"), QStringLiteral("S02/MXN")}));
    const int invoicesBefore = invoiceCount();

    auto before = test::snapshotTables(*connection);
    const CommandRun dry = run(dayAfter({QStringLiteral("--dry-run")}));
    EXPECT_EQ(dry.exitCode, 0) << dry.errors.toStdString();
    ASSERT_EQ(dry.lines.size(), 4) << dry.outLines.join(u'\n').toStdString();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(groupOf(dry.lines[i]), candidates.keys().at(i));
        EXPECT_EQ(dry.lines[i].value(QStringLiteral("notes")).toInt(), candidates.values().at(i).size());
        EXPECT_GT(dry.lines[i].value(QStringLiteral("total")).toDouble(), 0);
    }
    EXPECT_EQ(dry.outLines.last(), QStringLiteral(R"({"summary":true,"from":"%1","to":"%1","groups":3,"invoices":3,"failed":0,"notes":%2,"dry_run":true,"today":"%3","resumed":0})")
                                  .arg(todayText()).arg(dry.lines.last().value(QStringLiteral("notes")).toInt()).arg(tomorrowText()));
    auto after = test::snapshotTables(*connection);
    EXPECT_TRUE(before == after) << test::describeDifferences(before, after).toStdString();

    const CommandRun first = run(dayAfter());
    EXPECT_EQ(first.exitCode, 0) << first.errors.toStdString();
    ASSERT_EQ(first.lines.size(), 4) << first.outLines.join(u'\n').toStdString();
    EXPECT_TRUE(first.outLines[0].startsWith(QStringLiteral(R"({"branch":"S01","currency":"MXN","folio":"FG-)"))) << first.outLines[0].toStdString();
    for (int i = 0; i < 3; ++i) {
        const QJsonObject &line = first.lines[i];
        const QString folio = line.value(QStringLiteral("folio")).toString();
        EXPECT_EQ(line.value(QStringLiteral("notes")).toInt(), candidates.value(groupOf(line)).size());
        // The group's notes, and only they, now belong to its invoice.
        EXPECT_EQ(connection->select(QStringLiteral("SELECT COUNT(*) FROM Venta_Encabezado WHERE Fc_Folio = ? AND Es_Cve_Estado = 'FA' "
                                                    "AND Sc_Cve_Sucursal || '/' || Mn_Cve_Moneda = ?"), {folio, groupOf(line)})
                      .value(0).toInt(), candidates.value(groupOf(line)).size()) << folio.toStdString();
        // Every series of the demo is electronic: each invoice is stamped, with the UUID it printed.
        Recordset stamp = connection->select(
            QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Tabla = 'Factura' AND Cd_Documento = ?"), {folio});
        ASSERT_FALSE(stamp.eof()) << folio.toStdString();
        EXPECT_EQ(stamp.textAt(0), line.value(QStringLiteral("uuid")).toString());
        EXPECT_FALSE(line.contains(QStringLiteral("warning")));   // today's period is within its deadline
    }
    EXPECT_EQ(invoiceCount(), invoicesBefore + 3);
    EXPECT_TRUE(candidatesOfToday().isEmpty());

    before = test::snapshotTables(*connection);
    const CommandRun second = run(dayAfter());
    EXPECT_EQ(second.exitCode, 0);
    ASSERT_EQ(second.lines.size(), 1) << second.outLines.join(u'\n').toStdString();
    EXPECT_EQ(second.lines[0].value(QStringLiteral("groups")).toInt(), 0);
    after = test::snapshotTables(*connection);
    EXPECT_TRUE(before == after) << test::describeDifferences(before, after).toStdString();
}

TEST_P(GlobalInvoiceCommand, TwoRunsStartedTogetherMakeWhatOneRunMakes)
{
    const auto candidates = candidatesOfToday();
    const int invoicesBefore = invoiceCount();
    QProcess *a = start(dayAfter());
    QProcess *b = start(dayAfter());
    const CommandRun one = finish(a), other = finish(b);
    EXPECT_EQ(one.exitCode, 0) << one.errors.toStdString();
    EXPECT_EQ(other.exitCode, 0) << other.errors.toStdString();
    // One of them made the three invoices, the other found nothing left.
    QStringList groups;
    for (const CommandRun *r : {&one, &other})
        for (const QJsonObject &line : r->lines.mid(0, r->lines.size() - 1))
            groups << groupOf(line);
    groups.sort();
    EXPECT_EQ(groups, candidates.keys());
    EXPECT_EQ(invoiceCount(), invoicesBefore + 3);
    EXPECT_TRUE(candidatesOfToday().isEmpty());
}

TEST_P(GlobalInvoiceCommand, ALatePeriodIsStillInvoicedWithAWarningInItsLineAndLog)
{
    const QDate late = today.addDays(-3);
    demo::addCandidateNotes(*connection, 2, 5, late, QStringLiteral("S02"), QStringLiteral("MXN"));
    const CommandRun r = run({QStringLiteral("--from"), late.toString(Qt::ISODate), QStringLiteral("--to"),
                       late.toString(Qt::ISODate), QStringLiteral("--branch"), QStringLiteral("S02")});
    EXPECT_EQ(r.exitCode, 0) << r.errors.toStdString();
    ASSERT_EQ(r.lines.size(), 2) << r.outLines.join(u'\n').toStdString();
    const QString warning = r.lines[0].value(QStringLiteral("warning")).toString();
    EXPECT_TRUE(warning.startsWith(QStringLiteral("Factura global fuera de plazo"))) << r.outLines[0].toStdString();
    Recordset log = connection->select(QStringLiteral("SELECT Bd_Detalle FROM Bitacora_Documento WHERE Bd_Tabla = 'Factura' "
                                                      "AND Bd_Documento = ? AND Bd_Accion = 'Fuera de plazo'"),
                                       {r.lines[0].value(QStringLiteral("folio")).toString()});
    ASSERT_FALSE(log.eof());
    EXPECT_EQ(log.textAt(0), warning);
}

TEST_P(GlobalInvoiceCommand, AGroupTheScreenRefusesFailsTheRunButNotTheOthers)
{
    connection->run(QStringLiteral("DELETE FROM Tipo_Cambio WHERE Mn_Cve_Moneda = 'USD'"));
    const CommandRun r = run(dayAfter());
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.lines.size(), 4) << r.outLines.join(u'\n').toStdString();
    EXPECT_EQ(groupOf(r.lines[1]), QStringLiteral("S01/USD"));
    EXPECT_TRUE(r.lines[1].value(QStringLiteral("folio")).isNull());
    EXPECT_EQ(r.lines[1].value(QStringLiteral("error")).toString(), QStringLiteral("Tipo de cambio incorrecto"));
    EXPECT_FALSE(r.lines[0].value(QStringLiteral("uuid")).toString().isEmpty());
    EXPECT_FALSE(r.lines[2].value(QStringLiteral("uuid")).toString().isEmpty());
    EXPECT_EQ(r.lines[3].value(QStringLiteral("failed")).toInt(), 1);
    EXPECT_EQ(candidatesOfToday().keys(), QStringList {QStringLiteral("S01/USD")});
}

TEST_P(GlobalInvoiceCommand, RefusesBadInputOrAHeldDatabaseInSpanishAndWritesNothing)
{
    const auto refused = [&](const QStringList &arguments, const QString &message) {
        const CommandRun r = run(arguments);
        EXPECT_EQ(r.exitCode, 1) << message.toStdString();
        EXPECT_TRUE(r.lines.isEmpty()) << message.toStdString();
        EXPECT_TRUE(r.errors.contains(message)) << r.errors.toStdString();
    };
    const auto before = test::snapshotTables(*connection);
    refused({QStringLiteral("--date"), QStringLiteral("06/12/2026")}, QStringLiteral("--date espera una fecha AAAA-MM-DD"));
    refused({QStringLiteral("--date"), todayText(), QStringLiteral("--from"), todayText()},
            QStringLiteral("Use --date o bien --from y --to"));
    refused({QStringLiteral("--branch"), QStringLiteral("S77")}, QStringLiteral("La sucursal S77 no existe o está dada de baja"));
    refused({QStringLiteral("--currency"), QStringLiteral("EUR")}, QStringLiteral("La moneda EUR no existe o está dada de baja"));
    refused({QStringLiteral("--dryrun")}, QStringLiteral("Opción desconocida: --dryrun"));
    refused({QStringLiteral("--user"), QStringLiteral("NADIE")}, QStringLiteral("El usuario NADIE no existe o está dado de baja"));
    refused({QStringLiteral("--wait"), QStringLiteral("pronto")}, QStringLiteral("--wait espera un número de segundos"));
    refused({QStringLiteral("--today"), QStringLiteral("mañana")}, QStringLiteral("--today espera una fecha AAAA-MM-DD"));
    {
        // Another run holds the database: this one waits its second and gives up.
        const auto held = app::SchedulerLock::acquire(*connection, 0);
        refused(dayAfter({QStringLiteral("--wait"), QStringLiteral("1")}),
                QStringLiteral("Otra facturación global sigue en curso en esta base de datos"));
    }
    const auto after = test::snapshotTables(*connection);
    EXPECT_TRUE(before == after) << test::describeDifferences(before, after).toStdString();
}

// Without --today a day is still open while it lasts: today's notes wait, and the line says so.
TEST_P(GlobalInvoiceCommand, AnOpenPeriodMakesNothingAndSaysSo)
{
    const auto before = test::snapshotTables(*connection);
    const CommandRun r = run({QStringLiteral("--date"), todayText(), QStringLiteral("--branch"), QStringLiteral("S02")});
    EXPECT_EQ(r.exitCode, 0) << r.errors.toStdString();
    ASSERT_EQ(r.lines.size(), 2) << r.outLines.join(u'\n').toStdString();
    EXPECT_EQ(r.outLines[0], QStringLiteral(R"({"branch":"S02","open_period":"%1/%1"})").arg(todayText()));
    EXPECT_EQ(r.lines[1].value(QStringLiteral("groups")).toInt(), 0);
    const auto after = test::snapshotTables(*connection);
    EXPECT_TRUE(before == after) << test::describeDifferences(before, after).toStdString();
}

// Each branch's periodicity splits its notes; a period is invoiced whole once it closed, on
// the day the run acts as, with the Periodicidad, Meses and Año of its notes.
TEST_P(GlobalInvoiceCommand, EachBranchInvoicesThePeriodsOfItsPeriodicityOnceTheyClose)
{
    const QDate month(today.year(), today.month(), 1);
    const QDate last = month.addMonths(-1);   // the whole month before, long closed
    const struct
    {
        const char *periodicity;
        QDate first, second;              // notes in two periods of the branch
        QDate firstFrom, firstTo, secondFrom, secondTo;
    } cases[] = {
        // weekly, cut at the month's end; fortnightly; monthly
        {"02", last, last.addDays(14), last, last.addDays(7 - last.dayOfWeek()), {}, {}},
        {"03", last.addDays(2), last.addDays(20), last, last.addDays(14), last.addDays(15), month.addDays(-1)},
        {"04", last.addDays(3), month.addDays(4), last, month.addDays(-1), month, month.addMonths(1).addDays(-1)},
    };
    int seed = 40;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.periodicity);
        const QString periodicity = QLatin1String(c.periodicity);
        // A fresh pair of branches' notes for each periodicity: S02 only.
        connection->run(QStringLiteral("UPDATE Venta_Encabezado SET Es_Cve_Estado = 'CA' WHERE Sc_Cve_Sucursal = 'S02' "
                                       "AND Fc_Folio = ''"));
        setVariable(QStringLiteral("CFDI_PERIODICIDAD_S02"), periodicity);
        demo::addCandidateNotes(*connection, 2, ++seed, c.first, QStringLiteral("S02"));
        demo::addCandidateNotes(*connection, 3, ++seed, c.second, QStringLiteral("S02"));
        const BillingPeriod firstPeriod = BillingPeriod::holding(periodicity, c.first, QStringLiteral("601"));
        const BillingPeriod secondPeriod = BillingPeriod::holding(periodicity, c.second, QStringLiteral("601"));
        ASSERT_EQ(firstPeriod.from, c.firstFrom);
        ASSERT_EQ(firstPeriod.to, c.firstTo);
        ASSERT_LT(firstPeriod.to, secondPeriod.from);
        const QStringList range {QStringLiteral("--from"), c.first.toString(Qt::ISODate), QStringLiteral("--to"),
                                 c.second.toString(Qt::ISODate), QStringLiteral("--branch"), QStringLiteral("S02")};

        // Acting as on the second period's last day: the first is invoiced, the second waits.
        // The demo's own unstamped globals of those days are finished first; they are not this test's.
        const CommandRun early = withoutResumed(run(range + QStringList {QStringLiteral("--today"), secondPeriod.to.toString(Qt::ISODate)}));
        EXPECT_EQ(early.exitCode, 0) << early.outLines.join(u'\n').toStdString() << early.errors.toStdString();
        ASSERT_EQ(early.lines.size(), 3) << early.outLines.join(u'\n').toStdString();
        EXPECT_EQ(early.outLines[0], QStringLiteral(R"({"branch":"S02","open_period":"%1"})").arg(secondPeriod.text()));
        EXPECT_EQ(early.lines[1].value(QStringLiteral("notes")).toInt(), 2);
        EXPECT_EQ(early.lines[1].value(QStringLiteral("period")).toString(), firstPeriod.text());
        const QString xml = stampedXml(early.lines[1].value(QStringLiteral("folio")).toString());
        EXPECT_TRUE(xml.contains(QStringLiteral("Periodicidad=\"%1\"").arg(periodicity))) << xml.left(2000).toStdString();
        EXPECT_TRUE(xml.contains(QStringLiteral("Meses=\"%1\"").arg(c.first.month(), 2, 10, QLatin1Char('0'))));
        EXPECT_TRUE(xml.contains(QStringLiteral("Año=\"%1\"").arg(c.first.year())));

        // The day after it closes the second follows, within its deadline.
        const CommandRun closed = withoutResumed(run(range + QStringList {QStringLiteral("--today"), secondPeriod.to.addDays(1).toString(Qt::ISODate)}));
        EXPECT_EQ(closed.exitCode, 0) << closed.outLines.join(u'\n').toStdString() << closed.errors.toStdString();
        ASSERT_EQ(closed.lines.size(), 2) << closed.outLines.join(u'\n').toStdString();
        EXPECT_EQ(closed.lines[0].value(QStringLiteral("period")).toString(), secondPeriod.text());
        EXPECT_FALSE(closed.lines[0].contains(QStringLiteral("warning")));
        EXPECT_FALSE(closed.lines[0].value(QStringLiteral("uuid")).toString().isEmpty());
        EXPECT_GE(closed.lines[0].value(QStringLiteral("notes")).toInt(), 3);
    }
}

// The signer's rules run before the transaction: a group it would refuse stores nothing.
TEST_P(GlobalInvoiceCommand, AGroupTheSignerWouldRefuseIsReportedAndWritesNothing)
{
    connection->run(QStringLiteral("UPDATE Venta_Encabezado SET Vn_Forma_Pago = '99' WHERE Sc_Cve_Sucursal = 'S02' AND Fc_Folio = ''"));
    const auto before = test::snapshotTables(*connection);
    const CommandRun r = run(dayAfter({QStringLiteral("--branch"), QStringLiteral("S02")}));
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.lines.size(), 2) << r.outLines.join(u'\n').toStdString();
    EXPECT_TRUE(r.lines[0].value(QStringLiteral("folio")).isNull());
    EXPECT_TRUE(r.lines[0].value(QStringLiteral("error")).toString().contains(QStringLiteral("forma de pago 99")))
        << r.outLines[0].toStdString();
    const auto after = test::snapshotTables(*connection);
    EXPECT_TRUE(before == after) << test::describeDifferences(before, after).toStdString();
}

// An invoice stored but not stamped (the PAC was down, or the run died before it) is signed
// by the next run before anything else; until then no night ends well.
TEST_P(GlobalInvoiceCommand, TheNextRunStampsWhatAnEarlierRunStoredButDidNotStamp)
{
    setVariable(QStringLiteral("CFDI_PAC"), QStringLiteral("CAIDO"));
    const CommandRun down = run(dayAfter({QStringLiteral("--branch"), QStringLiteral("S02")}));
    EXPECT_EQ(down.exitCode, 1);
    ASSERT_EQ(down.lines.size(), 2) << down.outLines.join(u'\n').toStdString();
    const QString folio = down.lines[0].value(QStringLiteral("folio")).toString();
    ASSERT_FALSE(folio.isEmpty());
    EXPECT_TRUE(down.lines[0].contains(QStringLiteral("error")));
    EXPECT_TRUE(stampedXml(folio).isEmpty());

    // Still down: the run says so again and fails.
    const CommandRun again = run(dayAfter({QStringLiteral("--branch"), QStringLiteral("S02")}));
    EXPECT_EQ(again.exitCode, 1);
    ASSERT_EQ(again.lines.size(), 2) << again.outLines.join(u'\n').toStdString();
    EXPECT_EQ(again.lines[0].value(QStringLiteral("folio")).toString(), folio);
    EXPECT_TRUE(again.lines[0].value(QStringLiteral("resumed")).toBool());

    setVariable(QStringLiteral("CFDI_PAC"), QStringLiteral("SANDBOX"));
    const CommandRun up = run(dayAfter({QStringLiteral("--branch"), QStringLiteral("S02")}));
    EXPECT_EQ(up.exitCode, 0) << up.outLines.join(u'\n').toStdString() << up.errors.toStdString();
    ASSERT_EQ(up.lines.size(), 2) << up.outLines.join(u'\n').toStdString();
    EXPECT_EQ(up.lines[0].value(QStringLiteral("folio")).toString(), folio);
    EXPECT_TRUE(up.lines[0].value(QStringLiteral("resumed")).toBool());
    EXPECT_FALSE(up.lines[0].value(QStringLiteral("uuid")).toString().isEmpty());
    EXPECT_EQ(up.lines[1].value(QStringLiteral("resumed")).toInt(), 1);
    EXPECT_EQ(up.lines[1].value(QStringLiteral("groups")).toInt(), 0);
    EXPECT_FALSE(stampedXml(folio).isEmpty());
}

// A clerk at another machine bills some of the period's notes while the run makes its
// invoice: the database refuses the run's second billing, the run tells that refusal by its
// code, loads the period again and invoices what is left; nothing of the engine's raw report
// reaches the output.
TEST_P(GlobalInvoiceCommand, AClerkWhoBillsSomeNotesDuringTheRunKeepsThemAndTheRunInvoicesTheRest)
{
    const QStringList notes = candidatesOfToday().value(QStringLiteral("S02/MXN"));
    ASSERT_GE(notes.size(), 3);
    const QStringList taken = notes.mid(0, 2);
    // The clerk's Accept: the notes billed inside a transaction still open when the run starts.
    auto clerk = Connection::open(database->url());
    clerk->beginTrans();
    for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")})
        clerk->run(QStringLiteral("UPDATE %1 SET Fc_Folio = 'FG-999999', Es_Cve_Estado = 'FA' WHERE Vn_Folio IN (?, ?)").arg(table),
                   {taken[0], taken[1]});
    const QString trace = home.filePath(QStringLiteral("trace.sql"));
    QProcess *process = start(dayAfter({QStringLiteral("--branch"), QStringLiteral("S02")}), trace);
    ASSERT_TRUE(process->waitForStarted());
    // Once the run has loaded the period (the notes were still candidates), the clerk commits
    // while the run waits for his locks in its Accept.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000 && process->state() == QProcess::Running
           && !(QFileInfo(trace).exists() && QFileInfo(trace).size() > 0))
        QThread::msleep(20);
    QThread::msleep(2500);
    clerk->commitTrans();
    const CommandRun r = finish(process);

    EXPECT_EQ(r.exitCode, 0) << r.outLines.join(u'\n').toStdString() << r.errors.toStdString();
    ASSERT_EQ(r.lines.size(), 2) << r.outLines.join(u'\n').toStdString();
    EXPECT_EQ(r.lines[0].value(QStringLiteral("notes")).toInt(), notes.size() - 2);
    EXPECT_FALSE(r.lines[0].value(QStringLiteral("uuid")).toString().isEmpty());
    EXPECT_TRUE(r.errors.contains(QStringLiteral("ya está facturada en la factura FG-999999"))) << r.errors.toStdString();
    // The engine's own report stays in the log lines; what the run and the screen say is Spanish.
    QStringList said = r.outLines;
    for (const QString &line : r.errors.split(u'\n', Qt::SkipEmptyParts))
        if (!line.startsWith(QLatin1String("{\"log\":")))
            said << line;
    for (const QString &line : said) {
        EXPECT_FALSE(line.contains(QStringLiteral("CONTEXT"))) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("P0001"))) << line.toStdString();
    }
    EXPECT_EQ(connection->select(QStringLiteral("SELECT COUNT(*) FROM Venta_Encabezado WHERE Fc_Folio = 'FG-999999'")).value(0).toInt(), 2);
    EXPECT_FALSE(candidatesOfToday().contains(QStringLiteral("S02/MXN")));
}

ZENTARO_ON_BOTH_ENGINES(GlobalInvoiceCommand);

// The run killed (SIGKILL) at each change of state of its invoice's stamp, against a fake
// PAC over HTTPS that keeps its own record of what it stamped.
class GlobalInvoiceCommandKilled : public GlobalInvoiceCommand
{
protected:
    enum class Kill {
        None,
        Sealed,     // the invoice and its sealed XML committed, the run logging in at the PAC
        Sent,       // the PAC has the request and stamps it; no answer reaches the run
        Answered,   // the answer reached the run, which is storing it (held by a lock)
    };

    void TearDown() override
    {
        pac.reset();
        m_locker.reset();
        GlobalInvoiceCommand::TearDown();
    }

    // A PAC that never saw the invoice, the run configured for it, and the hooks that kill
    // the run where `m_kill` says.
    void startPac()
    {
        const QString password = QStringLiteral("Cl4ve-del-PAC");
        pac = std::make_unique<test::FakePac>(QStringLiteral("facturas"), password, [] { return QDateTime::currentDateTime(); });
        for (const auto &[name, value] : pac->programVariables(QStringLiteral("facturas"), sealSecret(password)))
            setVariable(name, value);
        pac->onLogin([this](const test::PacRequest &) {
            if (m_kill == Kill::Sealed)
                killNow();
        });
        pac->onStamp([this](const test::PacRequest &) {
            if (m_kill == Kill::Sent) {
                killNow();
            } else if (m_kill == Kill::Answered) {
                // Holds the write that stores the stamp until the run is killed.
                m_locker = database->open(false);
                m_locker->beginTrans();
                m_locker->run(QStringLiteral("UPDATE Comprobante_Sellado SET Cs_Intentos = Cs_Intentos"));
                if (m_locker->engine() == Engine::Postgres)
                    m_lockerPid = test::backendPid(*m_locker);
                m_locked = true;
            }
        });
    }

    void killNow() { m_killer.killNow(); }
    // PostgreSQL shows the run waiting for the hook's lock; SQLite's wait shows nowhere, and
    // a moment is enough for the answer to reach the store.
    bool runWaitsForTheLock(const QElapsedTimer &since)
    {
        if (m_lockerPid.isEmpty())
            return since.elapsed() > 1500;
        return test::someoneWaitsOn(*connection, m_lockerPid);
    }

    // A run killed where `kill` says.
    void runKilled(Kill kill, const QStringList &arguments)
    {
        m_kill = kill;
        m_locked = false;
        m_lockerPid.clear();
        QProcess *process = start(arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        m_killer.watch(*process);
        QElapsedTimer locked;
        for (int waited = 0; !process->waitForFinished(100) && waited < 120000; waited += 100) {
            if (m_locked && !locked.isValid())
                locked.start();
            if (m_locked && runWaitsForTheLock(locked))
                killNow();
        }
        m_killer.forget();
        m_kill = Kill::None;
        if (process->state() != QProcess::NotRunning) {
            ADD_FAILURE() << "the run did not end";
            process->kill();
            process->waitForFinished();
        }
        if (m_locker) {
            m_locker->rollbackTrans();
            m_locker.reset();
        }
        EXPECT_EQ(process->exitStatus(), QProcess::CrashExit)
            << "not killed: " << process->readAllStandardOutput().toStdString() << process->readAllStandardError().toStdString();
        delete process;
    }

    int count(const QString &sql, const QVariantList &values = {})
    {
        return connection->select(sql, values).value(0).toInt();
    }

    std::unique_ptr<test::FakePac> pac;
    std::atomic<Kill> m_kill = Kill::None;
    test::ProcessKiller m_killer;
    std::atomic<bool> m_locked = false;
    std::unique_ptr<Connection> m_locker;
    QString m_lockerPid;
};

// Killed after the commit, the invoice holds its notes unstamped; the next run stamps it with
// the same sealed bytes, and the PAC issued one UUID for it, the one stored.
TEST_P(GlobalInvoiceCommandKilled, KilledAtEveryChangeOfStateOfTheStampTheNextRunFinishesTheInvoice)
{
    const struct
    {
        const char *name;
        Kill kill;
        const char *branch, *currency;   // each case invoices a group of its own
    } cases[] = {
        {"killed once sealed", Kill::Sealed, "S01", "MXN"},
        {"killed with the request at the PAC", Kill::Sent, "S01", "USD"},
        {"killed while storing the answer", Kill::Answered, "S02", "MXN"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        startPac();
        const QString branch = QLatin1String(c.branch), currency = QLatin1String(c.currency);
        const QStringList notes = candidatesOfToday().value(branch + u'/' + currency);
        ASSERT_FALSE(notes.isEmpty());
        const int invoicesBefore = invoiceCount();
        const QStringList arguments = dayAfter({QStringLiteral("--branch"), branch, QStringLiteral("--currency"), currency});

        runKilled(c.kill, arguments);
        // The commit came before the kill: the notes are the invoice's, sealed and not stamped.
        const QString folio = connection->select(QStringLiteral("SELECT MIN(Fc_Folio) FROM Venta_Encabezado WHERE Vn_Folio = ?"),
                                                 {notes.first()}).value(0).toString();
        ASSERT_FALSE(folio.isEmpty());
        EXPECT_TRUE(stampedXml(folio).isEmpty());
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM Comprobante_Sellado WHERE Cs_Documento = ?"), {folio}), 1);
        EXPECT_EQ(pac->uuids().size(), c.kill == Kill::Sealed ? 0 : 1) << "stamped at the PAC before the kill";

        // A seal made in a later second has other bytes: the next run must send the kept ones.
        QThread::msleep(1100);
        const CommandRun next = run(arguments);
        EXPECT_EQ(next.exitCode, 0) << next.outLines.join(u'\n').toStdString() << next.errors.toStdString();
        ASSERT_EQ(next.lines.size(), 2) << next.outLines.join(u'\n').toStdString();
        EXPECT_EQ(next.lines[0].value(QStringLiteral("folio")).toString(), folio);
        EXPECT_TRUE(next.lines[0].value(QStringLiteral("resumed")).toBool());
        EXPECT_EQ(next.lines[1].value(QStringLiteral("resumed")).toInt(), 1);
        EXPECT_EQ(next.lines[1].value(QStringLiteral("groups")).toInt(), 0);

        const QSet<QString> issued = pac->uuids();
        ASSERT_EQ(issued.size(), 1) << "one UUID at the PAC";
        EXPECT_EQ(pac->documentsSent().size(), 1) << "the same sealed bytes every time";
        const QString stored = connection->select(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Tabla = 'Factura' "
                                                                 "AND Cd_Documento = ?"), {folio}).value(0).toString();
        EXPECT_EQ(stored, *issued.begin());
        EXPECT_EQ(next.lines[0].value(QStringLiteral("uuid")).toString(), stored);
        // Billed once: every note of the group in that invoice, and no other invoice made.
        EXPECT_EQ(invoiceCount(), invoicesBefore + 1);
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM Venta_Encabezado WHERE Fc_Folio = ? AND Es_Cve_Estado = 'FA'"), {folio}),
                  notes.size());
        EXPECT_FALSE(candidatesOfToday().contains(branch + u'/' + currency));
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM Comprobante_Sellado")), 0);
        EXPECT_EQ(pac->violations(), QStringList()) << "requests the provider does not document";
    }
}

ZENTARO_ON_BOTH_ENGINES(GlobalInvoiceCommandKilled);

} // namespace
