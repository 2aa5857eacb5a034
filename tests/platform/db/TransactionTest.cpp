// How the connection behaves under money work: errors are never lost, a transaction that
// met an error can only be rolled back, nested scopes are savepoints, the timeout survives
// a rollback, and clerks in other processes wait their turn or take other numbers.

#include "support/TestDatabase.h"

#include "platform/core/Error.h"
#include "platform/db/FailureCode.h"
#include "platform/db/Schema.h"

#include <QProcess>
#include <QSet>

using namespace zentaro;
using zentaro::test::DatabaseTest;

namespace {

class TransactionTest : public DatabaseTest
{
protected:
    QString errorOf(const std::function<void()> &work)
    {
        try {
            work();
        } catch (const Error &error) {
            return error.description();
        }
        return {};
    }
    void addBranch(const QString &key)
    {
        connection->run(QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES (?)"), {key});
    }
    QStringList branches()
    {
        QStringList keys;
        for (Recordset rs = connection->select(QStringLiteral("SELECT Sc_Cve_Sucursal FROM Sucursal ORDER BY 1"));
             !rs.eof(); rs.moveNext())
            keys << rs.textAt(0);
        return keys;
    }
    // Runs a second clerk (tests/tools/clerk.cpp) and hands back what it printed.
    QProcess *clerk(const QStringList &arguments)
    {
        auto *process = new QProcess;
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start(qEnvironmentVariable("ZENTARO_TEST_CLERK"), arguments);
        return process;
    }
    QStringList finished(QProcess *process)
    {
        std::unique_ptr<QProcess> owner(process);
        EXPECT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
        return QString::fromUtf8(process->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
};

TEST_P(TransactionTest, AReadThatFailsPartWayRaisesTheEnginesError)
{
    const QString overflow = QStringLiteral(
        "SELECT CAST(v AS Decimal(18,2)) AS d FROM (SELECT 1 AS v UNION ALL SELECT 2 UNION ALL SELECT 1e300 "
        "UNION ALL SELECT 4) AS t");
    QStringList read;
    const QString error = errorOf([&] {
        for (Recordset rs = connection->execute(overflow); !rs.eof(); rs.moveNext())
            read << rs.textAt(0);
    });
    EXPECT_FALSE(error.isEmpty()) << "rows read without an error: " << read.join(u',').toStdString();
    EXPECT_LT(read.size(), 4);
    // Inside a transaction the failure leaves it dead on both engines.
    connection->beginTrans();
    EXPECT_FALSE(errorOf([&] { for (Recordset rs = connection->execute(overflow); !rs.eof(); rs.moveNext()) {} }).isEmpty());
    EXPECT_TRUE(connection->transactionFailed());
    connection->rollbackTrans();
}

TEST_P(TransactionTest, AFailedStatementLeavesTheTransactionDeadUntilRolledBack)
{
    connection->rollbackTrans();   // nothing open: harmless, as every error trap needs
    connection->beginTrans();
    addBranch(QStringLiteral("S1"));
    EXPECT_FALSE(errorOf([&] { addBranch(QStringLiteral("S1")); }).isEmpty());   // duplicate key
    EXPECT_TRUE(connection->transactionFailed());
    const QString refused = errorOf([&] { addBranch(QStringLiteral("S2")); });
    EXPECT_TRUE(refused.contains(QStringLiteral("anulada"))) << refused.toStdString();
    EXPECT_FALSE(errorOf([&] { connection->commitTrans(); }).isEmpty());   // never a silent rollback
    EXPECT_FALSE(connection->inTransaction());
    EXPECT_TRUE(branches().isEmpty());
    addBranch(QStringLiteral("S3"));   // the connection goes on
    EXPECT_EQ(branches(), QStringList{QStringLiteral("S3")});
}

TEST_P(TransactionTest, NestedScopesAreSavepoints)
{
    {
        TransactionGuard outer(*connection);
        addBranch(QStringLiteral("S1"));
        {
            TransactionGuard inner(*connection);
            addBranch(QStringLiteral("S2"));
            EXPECT_FALSE(errorOf([&] { addBranch(QStringLiteral("S1")); }).isEmpty());
        }   // the savepoint goes back, the outer transaction lives on
        EXPECT_FALSE(connection->transactionFailed());
        {
            TransactionGuard inner(*connection);
            addBranch(QStringLiteral("S4"));
            inner.commit();
        }
        outer.commit();
    }
    EXPECT_EQ(branches(), (QStringList{QStringLiteral("S1"), QStringLiteral("S4")}));
}

TEST_P(TransactionTest, TheCommandTimeoutSurvivesARollback)
{
    const QString current = GetParam() == Engine::Postgres ? QStringLiteral("SHOW statement_timeout")
                                                           : QStringLiteral("PRAGMA busy_timeout");
    const auto engineTimeout = [&] { return connection->select(current).textAt(0); };
    connection->setCommandTimeout(30);
    const QString thirty = engineTimeout();
    connection->beginTrans();
    connection->setCommandTimeout(1200);
    EXPECT_FALSE(errorOf([&] { addBranch(QStringLiteral("O'Brien")); }).isEmpty());
    connection->rollbackTrans();
    EXPECT_EQ(connection->commandTimeout(), 1200);
    EXPECT_NE(engineTimeout(), thirty);
    EXPECT_EQ(engineTimeout(), GetParam() == Engine::Postgres ? QStringLiteral("20min") : QStringLiteral("1200000"));
}

TEST_P(TransactionTest, ANoteBelongsToOneInvoiceAtATime)
{
    connection->run(QStringLiteral("INSERT INTO Venta (Vn_Folio, Es_Cve_Estado) VALUES ('N1', 'AC'), ('N2', 'CA')"));
    // The refusal as a clerk reads it (the engine's primary message alone) and whether its
    // code says a rule of the schema refused.
    struct Refusal
    {
        QString text;
        bool byRule = false;
    };
    const auto refusalOf = [&](const std::function<void()> &work) {
        try {
            work();
        } catch (const Error &error) {
            return Refusal {error.description(), isRuleRefusal(lastFailureCode(*connection))};
        }
        return Refusal {};
    };
    const auto bill = [&](const QString &folio, const QString &note) {
        return refusalOf([&] {
            connection->execute(QStringLiteral("UPDATE Venta SET Fc_Folio = '%1', Es_Cve_Estado = 'FA' WHERE Vn_Folio IN('%2')")
                                    .arg(folio, note));
        });
    };
    EXPECT_EQ(bill(QStringLiteral("FG-000001"), QStringLiteral("N1")).text, QString());
    EXPECT_EQ(bill(QStringLiteral("FG-000001"), QStringLiteral("N1")).text, QString());   // the same invoice again
    const Refusal second = bill(QStringLiteral("FG-000002"), QStringLiteral("N1"));
    EXPECT_EQ(second.text, QStringLiteral("La nota N1 ya está facturada en la factura FG-000001"));
    EXPECT_TRUE(second.byRule);
    const Refusal cancelled = bill(QStringLiteral("FG-000002"), QStringLiteral("N2"));
    EXPECT_EQ(cancelled.text, QStringLiteral("La nota N2 está cancelada y no puede facturarse"));
    EXPECT_TRUE(cancelled.byRule);
    // Cancelling the invoice frees the note; then another invoice may take it.
    connection->execute(QStringLiteral("UPDATE Venta SET Fc_Folio = '', Es_Cve_Estado = 'AC' WHERE Vn_Folio IN('N1')"));
    EXPECT_EQ(bill(QStringLiteral("FG-000002"), QStringLiteral("N1")).text, QString());
    // Two invoices never share a number of their series; a duplicate key is no rule's refusal.
    connection->run(QStringLiteral("INSERT INTO Factura (Fc_Folio, Fc_Serie, Fc_Numero) VALUES ('FG-000001', 'FG', 1)"));
    const Refusal duplicate = refusalOf([&] {
        connection->run(QStringLiteral("INSERT INTO Factura (Fc_Folio, Fc_Serie, Fc_Numero) VALUES ('X-1', 'FG', 1)"));
    });
    EXPECT_FALSE(duplicate.text.isEmpty());
    EXPECT_FALSE(duplicate.byRule);
    EXPECT_FALSE(duplicate.text.contains(u'\n')) << duplicate.text.toStdString();
}

// The one move the rule admits between two live invoices is a replacement's: to the invoice
// made to replace the note's invoice, and back once that replacement is cancelled. Each row
// sets the invoices as it says and tries to move note N1 from one to the other.
TEST_P(TransactionTest, OnlyAReplacementsMoveIsAdmitted)
{
    struct Case
    {
        const char *name;
        const char *from;
        const char *to;
        const char *setup;   // run before the move
        bool admitted;
    };
    const QList<Case> cases = {
        {"to the replacement of its invoice", "O", "R", "", true},
        {"to an invoice that replaces another", "O", "X", "", false},
        {"to a replacement already cancelled", "O", "R", "UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'R'", false},
        {"from an invoice cancelled to its replacement", "O", "R", "UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'O'",
         false},
        {"back from a live replacement", "R", "O", "", false},
        {"back from a cancelled replacement", "R", "O", "UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'R'", true},
        {"back to an invoice cancelled", "R", "O", "UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio IN ('R', 'O')", false},
        {"from a cancelled replacement to another invoice", "R", "X",
         "UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'R'", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        connection->run(QStringLiteral("DELETE FROM Factura"));
        connection->run(QStringLiteral("DELETE FROM Venta"));
        connection->run(QStringLiteral("INSERT INTO Factura (Fc_Folio, Fc_Serie, Fc_Numero, Fc_Sustituye, Es_Cve_Estado) VALUES "
                                       "('O', 'A', 1, '', 'AC'), ('R', 'A', 2, 'O', 'AC'), ('X', 'A', 3, 'Y', 'AC'), "
                                       "('Y', 'A', 4, '', 'AC')"));
        connection->run(QStringLiteral("INSERT INTO Venta (Vn_Folio, Fc_Folio, Es_Cve_Estado) VALUES ('N1', ?, 'FA')"),
                        {QLatin1String(c.from)});
        if (*c.setup)
            connection->run(QLatin1String(c.setup));
        QString refusal;
        bool byRule = false;
        try {
            connection->run(QStringLiteral("UPDATE Venta SET Fc_Folio = ? WHERE Vn_Folio = 'N1'"), {QLatin1String(c.to)});
        } catch (const Error &error) {
            refusal = error.description();
            byRule = isRuleRefusal(lastFailureCode(*connection));
        }
        EXPECT_EQ(refusal.isEmpty(), c.admitted) << refusal.toStdString();
        if (!c.admitted) {
            EXPECT_TRUE(byRule);
            EXPECT_EQ(refusal, QStringLiteral("La nota N1 ya está facturada en la factura %1").arg(QLatin1String(c.from)));
        }
    }
}

TEST_P(TransactionTest, BatchesOfManyRowsArriveWhole)
{
    QVariantList folios, amounts;
    for (int i = 0; i < 2345; ++i) {
        folios << QStringLiteral("B%1").arg(i, 5, 10, QLatin1Char('0'));
        amounts << (i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("%1.01").arg(i)));
    }
    connection->runBatch(QStringLiteral("INSERT INTO Lote_Documento (Ld_Tabla, Ld_Documento, Ld_ID, Lt_Cantidad_Control_1) "
                                        "VALUES ('T', ?, 1, ?)"), {folios, amounts});
    Recordset rs = connection->select(QStringLiteral("SELECT count(*) AS n, count(Lt_Cantidad_Control_1) AS c, "
                                                     "max(Ld_Documento) AS m FROM Lote_Documento"));
    EXPECT_EQ(rs.text(QStringLiteral("n")), QStringLiteral("2345"));
    EXPECT_EQ(rs.text(QStringLiteral("c")), QString::number(2345 - 335));
    EXPECT_EQ(rs.text(QStringLiteral("m")), QStringLiteral("B02344"));
}

TEST_P(TransactionTest, UpgradesADatabaseOfTheFirstVersion)
{
    auto fresh = std::make_unique<test::TestDatabase>(GetParam());
    auto old = fresh->open(false);
    schema::create(*old, 1);
    old->run(QStringLiteral("INSERT INTO Venta (Vn_Folio, Fc_Folio, Es_Cve_Estado) VALUES ('N1', 'FG-000001', 'FA')"));
    try {
        schema::verify(*old);
        ADD_FAILURE() << "an old schema was accepted";
    } catch (const Error &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("--upgrade"))) << error.what();
    }
    EXPECT_EQ(schema::upgrade(*old), 1);
    EXPECT_NO_THROW(schema::verify(*old));
    EXPECT_EQ(schema::upgrade(*old), schema::kVersion);   // a second run has nothing to do
    // Every table of the upgraded database has the columns of a new one.
    for (const schema::Table &table : schema::tables()) {
        const QString sql = QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(QLatin1String(table.name));
        Recordset upgraded = old->select(sql), created = connection->select(sql);
        ASSERT_EQ(upgraded.fieldCount(), created.fieldCount()) << table.name;
        for (int i = 0; i < created.fieldCount(); ++i)
            EXPECT_EQ(upgraded.fieldName(i).toLower(), created.fieldName(i).toLower()) << table.name;
    }
    // The rules of the new version hold for the rows that were there.
    EXPECT_THROW(old->execute(QStringLiteral("UPDATE Venta SET Fc_Folio = 'FG-000002' WHERE Vn_Folio IN('N1')")), Error);
}

TEST_P(TransactionTest, ClerksInOtherProcessesNeverShareANumber)
{
    const QString url = database->urlText();
    QProcess *first = clerk({QStringLiteral("counter"), url, QStringLiteral("40")});
    QProcess *second = clerk({QStringLiteral("counter"), url, QStringLiteral("40")});
    QStringList numbers = finished(first) + finished(second);
    EXPECT_EQ(numbers.size(), 80);
    EXPECT_EQ(QSet<QString>(numbers.cbegin(), numbers.cend()).size(), 80);
    EXPECT_EQ(connection->select(QStringLiteral("SELECT count(DISTINCT Bd_ID) FROM Bitacora_Documento")).textAt(0),
              QStringLiteral("80"));

    connection->run(QStringLiteral("INSERT INTO Serie (Sr_Cve_Serie, Sr_Tabla, Sr_Siguiente_Numero, Es_Cve_Estado) "
                                   "VALUES ('FG', 'Factura', 1, 'AC')"));
    first = clerk({QStringLiteral("folio"), url, QStringLiteral("FG"), QStringLiteral("15")});
    second = clerk({QStringLiteral("folio"), url, QStringLiteral("FG"), QStringLiteral("15")});
    QStringList folios = finished(first) + finished(second);
    folios.sort();
    QStringList expected;
    for (int n = 1; n <= 30; ++n)
        expected << QStringLiteral("FG-%1").arg(n, 6, 10, QLatin1Char('0'));
    EXPECT_EQ(folios, expected);
}

ZENTARO_ON_BOTH_ENGINES(TransactionTest);

// SQLite: two clerks who each read, then write, in one transaction, one after the other
// instead of one of them failing with "database is locked".
class SqliteWriters : public DatabaseTest
{
};

TEST_P(SqliteWriters, WaitTheirTurn)
{
    connection->run(QStringLiteral("INSERT INTO Contador (Ct_Nombre, Ct_Valor) VALUES ('serie', 0)"));
    const QString url = database->urlText();
    const auto start = [&] {
        auto *process = new QProcess;
        process->start(qEnvironmentVariable("ZENTARO_TEST_CLERK"), {QStringLiteral("increment"), url, QStringLiteral("300")});
        return process;
    };
    std::unique_ptr<QProcess> first(start()), second(start());
    for (QProcess *process : {first.get(), second.get()}) {
        ASSERT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    }
    EXPECT_EQ(connection->select(QStringLiteral("SELECT Ct_Valor FROM Contador")).textAt(0), QStringLiteral("2"));
}

INSTANTIATE_TEST_SUITE_P(Engines, SqliteWriters, ::testing::Values(Engine::Sqlite), ::zentaro::test::engineName);

} // namespace
