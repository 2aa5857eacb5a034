// zentaro replace on a demo database of each engine: a stamped global replaced end to end,
// and the command killed while it waits on a row the test holds, then run again.

#include "support/CommandTest.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zentaro;
using zentaro::test::CommandRun;

namespace {

const QString kOld = QStringLiteral("FG-000001");

class ReplaceCommand : public test::CommandTest
{
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        const CommandRun signing = zentaro({QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(), kOld});
        ASSERT_EQ(signing.exitCode, 0) << signing.text();
        notes = column(QStringLiteral("SELECT Vn_Folio FROM Venta_Encabezado WHERE Fc_Folio = ? ORDER BY Vn_Folio"), {kOld});
        ASSERT_FALSE(notes.isEmpty());
        oldUuid = one(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kOld});
    }

    QStringList replaceArguments() const
    {
        return {QStringLiteral("replace"), kOld, QStringLiteral("--db"), database->urlText()};
    }
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
        // SQLite: the screen opened the invoice; from there the first write is the replacement's.
        CommandRun killed;
        ASSERT_NO_FATAL_FAILURE(test::killWhileHeld(*connection, *watcher, QLatin1String(point.lock), replaceArguments(), home.path(),
                                                    trace, "SELECT * FROM  Factura WHERE Fc_Folio = 'FG-000001'", killed));
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
