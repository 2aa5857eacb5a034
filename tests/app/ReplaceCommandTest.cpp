// zentaro replace on a demo database of each engine: a stamped global replaced end to end,
// and the command killed while it waits on a row the test holds, then run again.

#include "platform/db/DemoData.h"
#include "support/CommandProcess.h"
#include "support/TestDatabase.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zentaro;
using zentaro::test::CommandRun;

namespace {

const QString kOld = QStringLiteral("FG-000001");

class ReplaceCommand : public test::DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        demo::fill(*connection, {417, QDate::currentDate(), 0});
        const CommandRun signing = zentaro({QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(), kOld});
        ASSERT_EQ(signing.exitCode, 0) << signing.text();
        notes = column(QStringLiteral("SELECT Vn_Folio FROM Venta_Encabezado WHERE Fc_Folio = ? ORDER BY Vn_Folio"), {kOld});
        ASSERT_FALSE(notes.isEmpty());
        oldUuid = one(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kOld});
    }

    CommandRun zentaro(const QStringList &arguments) { return test::runCommand(arguments, test::commandEnvironment(home.path())); }
    QStringList replaceArguments() const
    {
        return {QStringLiteral("replace"), kOld, QStringLiteral("--db"), database->urlText()};
    }
    QString one(const QString &sql, const QVariantList &values = {}) { return test::firstValue(*connection, sql, values); }
    QStringList column(const QString &sql, const QVariantList &values = {}) { return test::firstColumn(*connection, sql, values); }
    // Whatever happened, each note is billed by one live invoice, header and detail alike.
    void expectOneLiveInvoicePerNote()
    {
        for (const char *table : {"Venta", "Venta_Encabezado"}) {
            const QStringList live = column(QStringLiteral("SELECT v.Vn_Folio FROM %1 v JOIN Factura f ON f.Fc_Folio = v.Fc_Folio "
                                                           "WHERE f.Es_Cve_Estado <> 'CA' AND f.Fc_Folio IN (?, ?) ORDER BY v.Vn_Folio")
                                                .arg(QLatin1String(table)),
                                            {kOld, replacement()});
            EXPECT_EQ(live, notes) << table;
        }
    }
    QString replacement()
    {
        return one(QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Fc_Sustituye = ? AND Es_Cve_Estado <> 'CA'"), {kOld});
    }
    void expectReplaced(const CommandRun &run)
    {
        EXPECT_EQ(run.exitCode, 0) << run.text();
        ASSERT_FALSE(run.lines.isEmpty());
        EXPECT_TRUE(run.lines.last().value(QStringLiteral("replaced")).toBool()) << run.text();
        const QString made = replacement();
        ASSERT_FALSE(made.isEmpty());
        EXPECT_EQ(run.lines.last().value(QStringLiteral("replacement")).toString(), made);
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {kOld}), QStringLiteral("CA"));
        EXPECT_EQ(column(QStringLiteral("SELECT Vn_Folio FROM Venta_Encabezado WHERE Fc_Folio = ? ORDER BY Vn_Folio"), {made}), notes);
        const QString xml = one(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = ?"), {made});
        EXPECT_TRUE(xml.contains(QStringLiteral("TipoRelacion=\"04\""))) << xml.left(600).toStdString();
        EXPECT_TRUE(xml.contains(oldUuid, Qt::CaseInsensitive));
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura WHERE Fc_Sustituye = ?"), {kOld}), QStringLiteral("1"));
        expectOneLiveInvoicePerNote();
    }

    QTemporaryDir home;
    QStringList notes;
    QString oldUuid;
};

TEST_P(ReplaceCommand, ReplacesAStampedGlobalStepByStep)
{
    const CommandRun run = zentaro(replaceArguments());
    expectReplaced(run);
    QStringList steps;
    for (const QJsonObject &line : run.lines)
        if (line.contains(QStringLiteral("step")))
            steps << line.value(QStringLiteral("step")).toString();
    EXPECT_EQ(steps.first(), QStringLiteral("Creada"));
    EXPECT_TRUE(steps.contains(QStringLiteral("Timbrado")) && steps.contains(QStringLiteral("Cancelación solicitada")))
        << run.text();
    EXPECT_EQ(steps.last(), QStringLiteral("Cancelada"));
    // Run again, it says so and does nothing.
    expectReplaced(zentaro(replaceArguments()));

    // What cannot be replaced is said and leaves nothing.
    for (const char *folio : {"FG-000003", "FG-000002", "FG-999999"}) {
        const CommandRun refused = zentaro({QStringLiteral("replace"), QLatin1String(folio), QStringLiteral("--db"),
                                            database->urlText()});
        EXPECT_EQ(refused.exitCode, 1) << folio;
        EXPECT_FALSE(refused.lines.last().value(QStringLiteral("error")).toString().isEmpty()) << refused.text();
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Factura WHERE Fc_Sustituye = ?"), {QLatin1String(folio)}),
                  QStringLiteral("0"));
    }
}

// Killed before the replacement's transaction commits (the series row held), and on
// PostgreSQL also once the replacement is stamped, before the old one's request is kept
// (its record held): the next run finishes it, with one replacement.
TEST_P(ReplaceCommand, AKilledRunIsFinishedByTheNext)
{
    const bool postgres = GetParam() == Engine::Postgres;
    struct Point
    {
        const char *name;
        const char *lock;
        bool replacementStamped;   // after the kill
    };
    QList<Point> points = {{"before the replacement commits", "SELECT * FROM Serie WHERE Sr_Cve_Serie = 'FG' FOR UPDATE", false}};
    if (postgres)
        points.append({"the replacement stamped, the request not kept",
                       "SELECT * FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001' FOR UPDATE", true});
    auto watcher = database->open(false);
    QTemporaryDir dir;
    int round = 0;
    for (const Point &point : points) {
        SCOPED_TRACE(point.name);
        const QString trace = dir.filePath(QStringLiteral("trace-%1.sql").arg(++round));
        connection->beginTrans();   // SQLite: the write turn, held until the run is killed
        QString holder;
        if (postgres) {
            connection->select(QLatin1String(point.lock)).close();
            holder = test::backendPid(*connection);
        }
        QProcess *run = test::startCommand(replaceArguments(), test::commandEnvironment(home.path(), trace));
        ASSERT_TRUE(run->waitForStarted());
        // SQLite: the screen opened the invoice; from there the first write is the replacement's.
        const bool held = test::killWhenBlocked(*run, *watcher, holder, trace,
                                                "SELECT * FROM  Factura WHERE Fc_Folio = 'FG-000001'");
        const CommandRun killed = test::finishCommand(run);
        connection->rollbackTrans();
        ASSERT_TRUE(held) << "the run never reached the statement: " << killed.text();
        EXPECT_EQ(killed.exitCode, -1) << "the run ended before it was killed: " << killed.text();
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {kOld}), QStringLiteral("AC"));
        EXPECT_EQ(one(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kOld}), QStringLiteral("VI"));
        const QString made = replacement();
        EXPECT_EQ(!made.isEmpty(), point.replacementStamped);
        if (!made.isEmpty()) {
            EXPECT_FALSE(one(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Documento = ?"), {made}).isEmpty());
        }
        expectOneLiveInvoicePerNote();

        expectReplaced(zentaro(replaceArguments()));
        if (!made.isEmpty()) {
            EXPECT_EQ(replacement(), made);
        }
        // Back to the old invoice billing its notes, for the next point.
        const QString done = replacement();
        connection->run(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA', Fc_Sustituye = '' WHERE Fc_Folio = ?"), {done});
        for (const char *table : {"Factura", "Factura_Encabezado"})
            connection->run(QStringLiteral("UPDATE %1 SET Es_Cve_Estado = 'AC' WHERE Fc_Folio = ?").arg(QLatin1String(table)), {kOld});
        connection->run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = 'VI' WHERE Cd_Documento = ?"), {kOld});
        for (const char *table : {"Venta", "Venta_Encabezado"}) {
            connection->run(QStringLiteral("UPDATE %1 SET Fc_Folio = '' WHERE Fc_Folio = ?").arg(QLatin1String(table)), {done});
            connection->run(QStringLiteral("UPDATE %1 SET Fc_Folio = ?, Es_Cve_Estado = 'FA' WHERE Vn_Folio IN (SELECT Vn_Folio "
                                           "FROM Factura_Linea WHERE Fc_Folio = ?)")
                                .arg(QLatin1String(table)),
                            {kOld, kOld});
        }
    }
}

} // namespace

ZENTARO_ON_BOTH_ENGINES(ReplaceCommand);
