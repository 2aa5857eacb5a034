#include "ComparableOutput.h"
#include "support/TestDatabase.h"

#include <QTemporaryDir>

#include "platform/db/DemoData.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace zentaro;

namespace {

struct ScriptRun
{
    int exitCode = -1;
    QStringList lines;
};

ScriptRun runScript(const QString &script, const QString &database)
{
    QProcess process;
    process.setProgram(qEnvironmentVariable("ZENTARO_BIN"));
    process.setArguments({QStringLiteral("script"), script, QStringLiteral("--db"), database});
    process.start();
    process.waitForFinished(60000);
    ScriptRun run;
    run.exitCode = process.exitCode();
    // Documents land in the folder the tests name; the kept outputs name it by its variable.
    const QString output = QString::fromUtf8(process.readAllStandardOutput())
                               .replace(qEnvironmentVariable("ZENTARO_OUTPUT_DIR"), QStringLiteral("$ZENTARO_OUTPUT_DIR"));
    run.lines = output.split(u'\n', Qt::SkipEmptyParts);
    return run;
}

QString scriptPath(const char *name) { return QStringLiteral(ZENTARO_SCRIPTS_DIR "/") + QLatin1String(name); }

TEST(ScriptRunner, GivesTheSameOutputOnBothEngines)
{
    test::TestDatabase sqlite(Engine::Sqlite), postgres(Engine::Postgres);
    demo::fill(*sqlite.open(), {417, QDate(2026, 12, 6), 0});
    demo::fill(*postgres.open(), {417, QDate(2026, 12, 6), 0});
    const ScriptRun onSqlite = runScript(scriptPath("host-and-dialect.zs"), sqlite.urlText());
    const ScriptRun onPostgres = runScript(scriptPath("host-and-dialect.zs"), postgres.urlText());
    EXPECT_EQ(onSqlite.exitCode, 0);
    EXPECT_EQ(onSqlite.lines, onPostgres.lines);
    const QStringList expected {
        QStringLiteral(R"({"call":"Pantalla.Modulo","result":"VENTAS"})"),
        QStringLiteral(R"({"call":"frmQX417.Transaccion","result":"ZENTARO.QX417"})"),
        QStringLiteral(R"({"call":"Padre.Modulo","result":"VENTAS"})"),
    };
    ASSERT_EQ(onSqlite.lines.size(), 8) << onSqlite.lines.join(u'\n').toStdString();
    EXPECT_EQ(onSqlite.lines.mid(0, 3), expected);
    EXPECT_TRUE(onSqlite.lines[5].endsWith(QStringLiteral(
        R"("rows":[{"vn_folio":"A1","clave":"A1","importe":1.01,"tipo":"Crédito"},{"vn_folio":"A2","clave":"A2","importe":2.68,"tipo":"Contado"}]})")))
        << onSqlite.lines[5].toStdString();
    EXPECT_TRUE(onSqlite.lines[6].endsWith(QStringLiteral(R"("rows":[{"total":3.69,"impuesto":0}]})")))
        << onSqlite.lines[6].toStdString();
    EXPECT_TRUE(onSqlite.lines[7].contains(QStringLiteral("\"error\":\"La instrucción contiene más de un comando")));
}

// The clerk's scenarios: each script's whole output is kept beside it (NAME.expected) and
// must come out the same on both engines, whatever fonts the machine has. ZENTARO_UPDATE_EXPECTED=1 rewrites the files
// after a deliberate change; read their diff before committing it.
class Scenario : public ::testing::TestWithParam<const char *>
{
};

TEST_P(Scenario, GivesTheKeptOutputOnBothEngines)
{
    const QString script = scriptPath(GetParam());
    const QString expectedPath = QString(script).replace(QStringLiteral(".zs"), QStringLiteral(".expected"));
    for (Engine engine : {Engine::Sqlite, Engine::Postgres}) {
        test::TestDatabase database(engine);
        demo::fill(*database.open(), {417, QDate(2026, 12, 6), 0});
        const ScriptRun run = runScript(script, database.urlText());
        EXPECT_EQ(run.exitCode, 0);
        const QString output = run.lines.join(u'\n') + u'\n';
        QFile expected(expectedPath);
        if (engine == Engine::Sqlite && qEnvironmentVariableIsSet("ZENTARO_UPDATE_EXPECTED")) {
            ASSERT_TRUE(expected.open(QIODevice::WriteOnly | QIODevice::Truncate));
            expected.write(output.toUtf8());
            expected.close();
        }
        ASSERT_TRUE(expected.open(QIODevice::ReadOnly)) << expectedPath.toStdString();
        const QStringList want = QString::fromUtf8(expected.readAll()).split(u'\n', Qt::SkipEmptyParts);
        const char *engineText = engine == Engine::Sqlite ? "SQLite" : "PostgreSQL";
        ASSERT_EQ(run.lines.size(), want.size()) << engineText;
        for (int i = 0; i < want.size(); ++i) {
            EXPECT_EQ(test::comparableLine(run.lines[i]).toStdString(), test::comparableLine(want[i]).toStdString())
                << engineText << ", line " << i + 1;
            EXPECT_FALSE(test::isUnorderedSqlResult(run.lines[i]))
                << "line " << i + 1 << " of the output: a statement with several rows needs ORDER BY";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, Scenario, ::testing::Values("screen-header.zs", "selection.zs", "accept.zs", "stored-invoices.zs",
                                                           "stored-invoices-branch.zs", "first-hour.zs"),
                         [](const auto &info) {
                             return QString::fromLatin1(info.param).section(u'.', 0, 0).remove(u'-').toStdString();
                         });

TEST(ScriptRunner, StopsAtABadLineWithItsNumber)
{
    test::TestDatabase sqlite(Engine::Sqlite);
    sqlite.open();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("malo.zs"));
    QFile script(file);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("# primero\nopen QX417\nclick NoExiste\ncall Pantalla.Modulo\n");
    script.close();
    const ScriptRun run = runScript(file, sqlite.urlText());
    EXPECT_EQ(run.exitCode, 2);
    ASSERT_FALSE(run.lines.isEmpty());
    EXPECT_EQ(run.lines.last(), QStringLiteral(R"({"script_error":"no existe el control NoExiste","line":3})"));
    EXPECT_FALSE(run.lines.join(u'\n').contains(QStringLiteral("Pantalla.Modulo")));   // nothing runs after it

    // A clock the script cannot have meant stops it with the reason, not at midnight.
    QFile clock(dir.filePath(QStringLiteral("reloj.zs")));
    ASSERT_TRUE(clock.open(QIODevice::WriteOnly));
    clock.write("clock 2026-12-06T25:61\nopen QX417\n");
    clock.close();
    const ScriptRun badClock = runScript(clock.fileName(), sqlite.urlText());
    EXPECT_EQ(badClock.exitCode, 2);
    ASSERT_EQ(badClock.lines.size(), 1);
    EXPECT_EQ(badClock.lines[0], QStringLiteral(R"({"script_error":"«2026-12-06T25:61» no es una hora válida: las horas )"
                                                R"(van de 00 a 23 y los minutos y segundos de 00 a 59","line":1})"));

    const ScriptRun noDatabase = runScript(file, dir.filePath(QStringLiteral("no-existe.sqlite")));
    EXPECT_EQ(noDatabase.exitCode, 1);
    ASSERT_EQ(noDatabase.lines.size(), 1);
    EXPECT_TRUE(noDatabase.lines[0].startsWith(QStringLiteral(R"({"error":"No existe la base de datos)")));
}

} // namespace
