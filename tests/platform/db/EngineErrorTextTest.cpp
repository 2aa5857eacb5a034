// What a clerk reads when the engine fails: the conditions somebody can act on in Spanish,
// saying what to do; the engine's own words only in the log; the suite's own trigger
// messages as they were raised.

#include "support/TestDatabase.h"

#include "platform/core/Error.h"
#include "platform/db/SqlErrorText.h"

#include <QStringList>

#include <functional>

using namespace zentaro;
using zentaro::test::DatabaseTest;

namespace {

// Collects what the suite writes to the log while it lives.
class LogCapture
{
public:
    LogCapture() { s_lines.clear(); m_previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    QString text() const { return s_lines.join(u'\n'); }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message) { s_lines << message; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

class EngineErrorTextTest : public DatabaseTest
{
protected:
    bool sqlite() const { return GetParam() == Engine::Sqlite; }
    static QString errorOf(const std::function<void()> &work)
    {
        try {
            work();
        } catch (const Error &error) {
            return error.description();
        }
        return {};
    }
};

TEST_P(EngineErrorTextTest, ConditionsAClerkCanActOnAreToldInSpanish)
{
    struct Case
    {
        const char *name;
        bool onSqlite;
        bool onPostgres;
        std::function<QString()> provoke;   // the clerk's text of the failure it provokes
        QString says;                       // what that text says (on this engine)
        const char *engineWords;            // what only the log says
    };
    std::unique_ptr<Connection> other = database->open();
    const QString noteInsert = QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES (?)");
    const Case cases[] = {
        {"another connection holds the write turn", true, false,
         [&] {
             other->beginTrans();
             connection->setCommandTimeout(1);
             const QString text = errorOf([&] { connection->beginTrans(); });
             other->rollbackTrans();
             return text;
         },
         QStringLiteral("La base de datos está ocupada: otro usuario o proceso la tiene tomada. Espere unos segundos y "
                        "vuelva a intentarlo."),
         "database is locked"},
        {"another connection holds the table", false, true,
         [&] {
             other->beginTrans();
             other->run(QStringLiteral("LOCK TABLE Sucursal IN ACCESS EXCLUSIVE MODE"));
             connection->setCommandTimeout(1);
             const QString text = errorOf([&] { connection->select(QStringLiteral("SELECT count(*) FROM Sucursal")); });
             other->rollbackTrans();
             return text;
         },
         QStringLiteral("Se agotó el tiempo de espera de 1 s: la base de datos está ocupada o la operación es muy "
                        "grande. Vuelva a intentarlo en un momento; si se repite, avise al administrador."),
         "statement timeout"},
        {"a command over its time", true, true,
         [&] {
             connection->setCommandTimeout(1);
             return errorOf([&] {
                 connection->select(sqlite() ? QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                                              "FROM n) SELECT count(*) FROM n")
                                             : QStringLiteral("SELECT pg_sleep(5)"));
             });
         },
         QStringLiteral("Se agotó el tiempo de espera de 1 s: la base de datos está ocupada o la operación es muy "
                        "grande. Vuelva a intentarlo en un momento; si se repite, avise al administrador."),
         sqlite() ? "interrupted" : "statement timeout"},
        {"a read-only database", true, true,
         [&] {
             connection->run(sqlite() ? QStringLiteral("PRAGMA query_only = ON")
                                      : QStringLiteral("SET default_transaction_read_only = on"));
             const QString text = errorOf([&] { connection->run(noteInsert, {QStringLiteral("S9")}); });
             connection->run(sqlite() ? QStringLiteral("PRAGMA query_only = OFF")
                                      : QStringLiteral("SET default_transaction_read_only = off"));
             return text;
         },
         sqlite() ? QStringLiteral("La base de datos solo se puede leer: no se guardó nada. Revise que el archivo y su "
                                   "carpeta admitan escritura y vuelva a abrir Zentaro.")
                  : QStringLiteral("El servidor de la base de datos solo admite lecturas: no se guardó nada. Avise al "
                                   "administrador de la base de datos."),
         sqlite() ? "readonly" : "read-only transaction"},
        {"a full disk", true, false,
         [&] {
             // The file may not grow past the pages it has: to SQLite, a full disk.
             const QString pages = connection->select(QStringLiteral("PRAGMA page_count")).textAt(0);
             connection->select(QStringLiteral("PRAGMA max_page_count = %1").arg(pages));
             return errorOf([&] {
                 TransactionGuard guard(*connection);
                 for (int i = 0; i < 5000; ++i)
                     connection->run(noteInsert, {QStringLiteral("S%1-%2").arg(i).arg(QString(200, u'x'))});
                 guard.commit();
             });
         },
         QStringLiteral("El disco de la base de datos está lleno y la operación no se guardó. Libere espacio (o avise "
                        "al administrador) y vuelva a intentarlo."),
         "full"},
        {"a role without rights", false, true,
         [&] {
             other->define(QStringLiteral("DO $$ BEGIN CREATE ROLE zentaro_sin_permisos NOLOGIN; EXCEPTION WHEN "
                                          "duplicate_object OR unique_violation THEN NULL; END $$"));
             connection->run(QStringLiteral("SET ROLE zentaro_sin_permisos"));
             // Named with its schema: a search path skips a schema the role may not use.
             const QString text = errorOf([&] {
                 connection->select(QStringLiteral("SELECT count(*) FROM \"%1\".Sucursal").arg(database->url().schema));
             });
             connection->run(QStringLiteral("RESET ROLE"));
             return text;
         },
         QStringLiteral("El usuario de la base de datos no tiene permiso para esta operación. Pida al administrador de "
                        "la base de datos que le dé acceso."),
         "permission denied"},
        // Last: the connection is gone afterwards.
        {"the server ends the connection", false, true,
         [&] {
             const QString pid = connection->select(QStringLiteral("SELECT pg_backend_pid()")).textAt(0);
             other->select(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
             return errorOf([&] { connection->select(QStringLiteral("SELECT count(*) FROM Sucursal")); });
         },
         QStringLiteral("Se perdió la conexión con el servidor de la base de datos y lo que no se había confirmado no "
                        "se guardó. Revise la red, cierre Zentaro y vuelva a abrirlo."),
         "terminat"},
    };
    for (const Case &c : cases) {
        if (!(sqlite() ? c.onSqlite : c.onPostgres))
            continue;
        SCOPED_TRACE(c.name);
        connection->setCommandTimeout(30);
        LogCapture log;
        const QString text = c.provoke();
        EXPECT_EQ(text.toStdString(), c.says.toStdString());
        EXPECT_TRUE(log.text().contains(QLatin1String(c.engineWords), Qt::CaseInsensitive)) << log.text().toStdString();
    }
}

TEST_P(EngineErrorTextTest, TheSuitesOwnMessagesReachTheClerkAsRaised)
{
    connection->run(QStringLiteral("INSERT INTO Venta (Vn_Folio, Es_Cve_Estado) VALUES ('N1', 'AC')"));
    const auto bill = [&](const QString &folio) {
        return errorOf([&] {
            connection->execute(QStringLiteral("UPDATE Venta SET Fc_Folio = '%1', Es_Cve_Estado = 'FA' WHERE Vn_Folio IN('N1')")
                                    .arg(folio));
        });
    };
    ASSERT_EQ(bill(QStringLiteral("FG-000001")), QString());
    LogCapture log;
    EXPECT_EQ(bill(QStringLiteral("FG-000002")), QStringLiteral("La nota N1 ya está facturada en la factura FG-000001"));
    if (!sqlite()) {   // where it came from stays for support
        EXPECT_TRUE(log.text().contains(QLatin1String("PL/pgSQL"))) << log.text().toStdString();
    }
    // A fault of the program keeps the engine's first line, without PostgreSQL's detail lines.
    connection->run(QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES ('S1')"));
    const QString duplicate =
        errorOf([&] { connection->run(QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES ('S1')")); });
    EXPECT_FALSE(duplicate.isEmpty());
    EXPECT_FALSE(duplicate.contains(u'\n')) << duplicate.toStdString();
    EXPECT_FALSE(duplicate.startsWith(QLatin1String("ERROR"))) << duplicate.toStdString();
}

ZENTARO_ON_BOTH_ENGINES(EngineErrorTextTest);

// Conditions no test here can bring about (a full disk on the server, a damaged file, a
// broken network), read from the codes the engines give them.
TEST(EngineErrorText, ReadsEveryConditionFromTheEnginesCode)
{
    struct Case
    {
        Engine engine;
        const char *code;
        bool lost;
        const char *opening;   // how the clerk's text opens
    };
    const Case cases[] = {
        {Engine::Postgres, "53100", false, "El disco de la base de datos está lleno"},
        {Engine::Postgres, "08006", false, "Se perdió la conexión"},
        {Engine::Postgres, "57P01", false, "Se perdió la conexión"},
        {Engine::Postgres, "", true, "Se perdió la conexión"},
        {Engine::Postgres, "40P01", false, "La base de datos está ocupada"},
        {Engine::Postgres, "55P03", false, "La base de datos está ocupada"},
        {Engine::Postgres, "XX001", false, "La base de datos está dañada"},
        {Engine::Sqlite, "6", false, "La base de datos está ocupada"},
        {Engine::Sqlite, "517", false, "La base de datos está ocupada"},   // SQLITE_BUSY_SNAPSHOT
        {Engine::Sqlite, "10", false, "No se pudo leer o escribir el archivo"},
        {Engine::Sqlite, "3850", false, "No se pudo leer o escribir el archivo"},   // SQLITE_IOERR_LOCK
        {Engine::Sqlite, "11", false, "La base de datos está dañada"},
        {Engine::Sqlite, "26", false, "La base de datos está dañada"},
        {Engine::Sqlite, "23", false, "No hay permiso para usar el archivo"},
        {Engine::Sqlite, "19", false, "engine words"},   // a constraint: the engine's (or a trigger's) own words
        {Engine::Postgres, "23505", false, "engine words"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        EngineFailure failure;
        failure.engine = c.engine;
        failure.code = QString::fromLatin1(c.code);
        failure.text = QStringLiteral("ERROR:  engine words\nDETAIL:  more words\n(%1)").arg(failure.code);
        if (c.engine == Engine::Sqlite)
            failure.text = QStringLiteral("engine words");
        failure.connectionLost = c.lost;
        const QString text = clerkErrorText(failure);
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.opening))) << text.toStdString();
    }
}

} // namespace
