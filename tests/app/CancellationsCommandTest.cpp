// Pending cancellations finished without a clerk: the real command on a demo database of each
// engine, and the same command killed at each change of state and run again.

#include "support/CommandTest.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zentaro;
using zentaro::test::CommandRun;

namespace {

class CancellationsCommand : public test::CommandTest
{
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        const CommandRun signing = zentaro({QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(),
                                            QStringLiteral("FG-000001"), QStringLiteral("FG-000002"), QStringLiteral("FG-000003")});
        ASSERT_EQ(signing.exitCode, 0) << signing.text();
    }

    QStringList cancellationsArguments() const
    {
        return {QStringLiteral("cancellations"), QStringLiteral("--db"), database->urlText()};
    }
    CommandRun cancellations() { return zentaro(cancellationsArguments()); }
    // A request as the screen records it: its motive, when it was made, where it stands.
    void requested(const QString &folio, const QString &state, const QString &motive, const QDateTime &when)
    {
        connection->run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = ?, Cd_Motivo_Cancelacion = ?, "
                                       "Cd_Fecha_Solicitud = ? WHERE Cd_Documento = ?"),
                        {state, motive, when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), folio});
    }
    int billedNotes(const QString &folio)
    {
        return one(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Fc_Folio = ?"), {folio}).toInt();
    }
    // Notes are given back only by an invoice cancelled in the books after the SAT's
    // "Cancelado"; an invoice whose CFDI is alive keeps every one of its notes.
    void expectOneLiveCfdiPerNote(const QString &folio, int notes)
    {
        const bool cancelled = one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {folio}) == QLatin1String("CA");
        EXPECT_EQ(billedNotes(folio), cancelled ? 0 : notes);
        if (cancelled) {
            EXPECT_EQ(one(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {folio}),
                      QStringLiteral("CA"));
        }
    }
};

QJsonObject lineOf(const CommandRun &run, const QString &folio)
{
    for (const QJsonObject &line : run.lines)
        if (line.value(QStringLiteral("folio")).toString() == folio)
            return line;
    return {};
}

TEST_P(CancellationsCommand, FinishesWhatTheSatDecidedAndLeavesWhatItHasNot)
{
    const QDateTime now = QDateTime::currentDateTime();
    const int notes1 = billedNotes(QStringLiteral("FG-000001"));
    const int notes3 = billedNotes(QStringLiteral("FG-000003"));
    // The answer to FG-000001's request was lost; FG-000002's request was received; FG-000003
    // is named, stamped days ago, so its receiver must accept and has not yet.
    requested(QStringLiteral("FG-000001"), QStringLiteral("SO"), QStringLiteral("02"), now);
    requested(QStringLiteral("FG-000002"), QStringLiteral("EP"), QStringLiteral("02"), now);
    requested(QStringLiteral("FG-000003"), QStringLiteral("EP"), QStringLiteral("02"), now.addSecs(-3600));
    connection->run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Fecha_Timbrado = ? WHERE Cd_Documento = 'FG-000003'"),
                    {now.addDays(-5).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});

    const CommandRun run = cancellations();
    EXPECT_EQ(run.exitCode, 0) << run.text();
    ASSERT_EQ(run.lines.size(), 4) << run.text();
    for (const char *folio : {"FG-000001", "FG-000002"}) {
        SCOPED_TRACE(folio);
        EXPECT_TRUE(lineOf(run, QLatin1String(folio)).value(QStringLiteral("cancelled")).toBool()) << run.text();
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {QLatin1String(folio)}),
                  QStringLiteral("CA"));
    }
    const QJsonObject waiting = lineOf(run, QStringLiteral("FG-000003"));
    EXPECT_FALSE(waiting.value(QStringLiteral("cancelled")).toBool());
    EXPECT_TRUE(waiting.value(QStringLiteral("message")).toString().contains(QStringLiteral("aún no la resuelve")))
        << run.text();
    EXPECT_EQ(run.lines.last().value(QStringLiteral("cancelled")).toInt(), 2);
    EXPECT_EQ(run.lines.last().value(QStringLiteral("in_process")).toInt(), 1);
    expectOneLiveCfdiPerNote(QStringLiteral("FG-000001"), notes1);
    expectOneLiveCfdiPerNote(QStringLiteral("FG-000003"), notes3);
    EXPECT_EQ(billedNotes(QStringLiteral("FG-000003")), notes3);

    // Once the receiver's 72 hours are over the SAT cancels it; a request it refuses fails the run.
    requested(QStringLiteral("FG-000003"), QStringLiteral("EP"), QStringLiteral("02"), now.addDays(-4));
    const CommandRun later = cancellations();
    EXPECT_EQ(later.exitCode, 0) << later.text();
    EXPECT_TRUE(lineOf(later, QStringLiteral("FG-000003")).value(QStringLiteral("cancelled")).toBool()) << later.text();
    expectOneLiveCfdiPerNote(QStringLiteral("FG-000003"), notes3);

    ASSERT_EQ(zentaro({QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(), QStringLiteral("FG-000004")}).exitCode, 0);
    requested(QStringLiteral("FG-000004"), QStringLiteral("SO"), QStringLiteral("09"), now);
    const CommandRun refused = cancellations();
    EXPECT_EQ(refused.exitCode, 1) << refused.text();
    EXPECT_FALSE(lineOf(refused, QStringLiteral("FG-000004")).value(QStringLiteral("error")).toString().isEmpty())
        << refused.text();
    EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000004'")), QStringLiteral("AC"));
}

// The command is killed while it waits on a statement the test holds back: before the SAT's
// answer is kept (SQLite: the whole database is held, so the run waits at its first write,
// which is that one), and on PostgreSQL, where one row can be held, also inside the books'
// transaction after the SAT's "Cancelado" was kept. The next run finishes it.
TEST_P(CancellationsCommand, AKilledRunIsFinishedByTheNext)
{
    const bool postgres = GetParam() == Engine::Postgres;
    struct Point
    {
        const char *name;
        const char *lock;       // PostgreSQL: the row the test holds, so the run waits on it
        const char *satState;   // Cd_Estado after the kill
    };
    QList<Point> points = {
        {"before the SAT's answer is kept",
         "SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001' FOR UPDATE", "EP"},
    };
    if (postgres)
        points.append({"inside the transaction, the SAT's answer kept",
                       "SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000001' FOR UPDATE", "CA"});
    const int notes = billedNotes(QStringLiteral("FG-000001"));
    auto watcher = database->open(false);
    QTemporaryDir dir;
    int round = 0;
    for (const Point &point : points) {
        SCOPED_TRACE(point.name);
        requested(QStringLiteral("FG-000001"), QStringLiteral("EP"), QStringLiteral("02"), QDateTime::currentDateTime());
        const QString trace = dir.filePath(QStringLiteral("trace-%1.sql").arg(++round));
        // SQLite: the screen opened the invoice; from there the first write is the answer's.
        CommandRun killed;
        ASSERT_NO_FATAL_FAILURE(test::killWhileHeld(*connection, *watcher, QLatin1String(point.lock), cancellationsArguments(), home.path(),
                                                    trace, "SELECT * FROM  Factura WHERE Fc_Folio = 'FG-000001'", killed));
        EXPECT_EQ(one(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'")),
                  QLatin1String(point.satState));
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000001'")), QStringLiteral("AC"));
        expectOneLiveCfdiPerNote(QStringLiteral("FG-000001"), notes);

        const CommandRun next = cancellations();
        EXPECT_EQ(next.exitCode, 0) << next.text();
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000001'")), QStringLiteral("CA"));
        expectOneLiveCfdiPerNote(QStringLiteral("FG-000001"), notes);
        EXPECT_EQ(one(QStringLiteral("SELECT count(*) FROM Bitacora_Documento WHERE Bd_Documento = 'FG-000001' AND "
                                     "Bd_Accion = 'Cancelada'")),
                  QStringLiteral("1"));
        // Back to a billed invoice for the next point.
        connection->run(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'AC' WHERE Fc_Folio = 'FG-000001'"));
        connection->run(QStringLiteral("UPDATE Factura_Encabezado SET Es_Cve_Estado = 'AC' WHERE Fc_Folio = 'FG-000001'"));
        for (const char *table : {"Venta", "Venta_Encabezado"})
            connection->run(QStringLiteral("UPDATE %1 SET Fc_Folio = 'FG-000001', Es_Cve_Estado = 'FA' WHERE Vn_Folio IN "
                                           "(SELECT Vn_Folio FROM Factura_Linea WHERE Fc_Folio = 'FG-000001')")
                                .arg(QLatin1String(table)));
        connection->run(QStringLiteral("DELETE FROM Bitacora_Documento WHERE Bd_Documento = 'FG-000001' AND Bd_Accion = 'Cancelada'"));
    }
}

} // namespace

ZENTARO_ON_BOTH_ENGINES(CancellationsCommand);
