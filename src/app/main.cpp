// The zentaro command: the suite's shell window, and the command-line work of support
// and night runs (creating a database, running scripts, signing invoices).

#include "CommandLine.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"
#include "platform/host/GuiPresenter.h"
#include "platform/host/SafeApplication.h"
#include "platform/host/ScriptRunner.h"
#include "platform/host/ShellWindow.h"
#include "platform/services/Platform.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTextStream>

#include <cstdio>

using namespace zentaro;

namespace {

void printError(const QString &text)
{
    std::fprintf(stderr, "zentaro: %s\n", text.toLocal8Bit().constData());
}

ConnectionUrl databaseOf(const app::CommandLine &line)
{
    return line.has(QStringLiteral("db")) ? ConnectionUrl::parse(line.option(QStringLiteral("db")))
                                          : ConnectionUrl::defaultDemo();
}

int initDatabase(const app::CommandLine &line)
{
    const ConnectionUrl url = databaseOf(line);
    QElapsedTimer timer;
    timer.start();
    auto connection = Connection::open(url, Connection::OpenMode::Create);
    schema::create(*connection);
    bool ok = true;
    const int notes = line.option(QStringLiteral("notes"), QStringLiteral("0")).toInt(&ok);
    if (!ok || notes < 0)
        throw Error(QStringLiteral("--notes espera un número de notas"));
    const quint32 seed = line.option(QStringLiteral("seed"), QStringLiteral("417")).toUInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("--seed espera un número"));
    if (line.has(QStringLiteral("demo")) || notes > 0) {
        demo::Options options;
        options.seed = seed;
        options.today = QDate::currentDate();
        options.extraNotes = notes;
        demo::fill(*connection, options);
    }
    std::printf("Base de datos creada: %s (%.1f s)\n", url.display().toLocal8Bit().constData(), timer.elapsed() / 1000.0);
    return 0;
}

int runScript(const app::CommandLine &line)
{
    if (line.arguments.isEmpty())
        throw Error(QStringLiteral("uso: zentaro script ARCHIVO [--db URL] [--user CLAVE]"));
    QFile file(line.arguments.first());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Error(QStringLiteral("No se pudo leer el guion %1").arg(file.fileName()));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    ScriptRunner runner(databaseOf(line), line.option(QStringLiteral("user"), QStringLiteral("ADMIN")), ModuleLoader());
    return runner.run(lines);
}

int runShell(const app::CommandLine &line)
{
    const ConnectionUrl url = databaseOf(line);
    const QString user = line.option(QStringLiteral("user"), QStringLiteral("ADMIN"));
    try {
        auto connection = Connection::open(url);
        schema::verify(*connection);
        Recordset known = connection->select(
            QStringLiteral("SELECT Us_Cve_Usuario FROM Usuario WHERE Us_Cve_Usuario = ? AND Es_Cve_Estado <> 'BA'"), {user});
        if (known.eof())
            throw Error(QStringLiteral("El usuario %1 no existe o está dado de baja").arg(user));
        known.close();
        auto platform = std::make_unique<Platform>(std::move(connection), user, std::make_shared<GuiPresenter>());
        platform->setInteractive(true);
        Platform::install(std::move(platform));
    } catch (const Error &error) {
        QMessageBox::critical(nullptr, QStringLiteral("Zentaro"), error.description());
        return 1;
    }
    ShellWindow shell{ModuleLoader()};
    shell.resize(1280, 800);
    shell.show();
    if (line.option(QStringLiteral("open"), QStringLiteral("QX417")) != QLatin1String("none"))
        shell.openModule(line.option(QStringLiteral("open"), QStringLiteral("QX417")));
    const int code = QApplication::exec();
    Platform::uninstall();
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine line = app::CommandLine::parse(
        words, {QStringLiteral("demo"), QStringLiteral("pending")},
        {QStringLiteral("init"), QStringLiteral("script"), QStringLiteral("sign"), QStringLiteral("xml")});
    const bool headless = !line.command.isEmpty() || !line.arguments.isEmpty();
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    SafeApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zentaro"));
    QApplication::setApplicationName(QStringLiteral("zentaro"));
    try {
        if (line.command.isEmpty() && line.arguments.isEmpty())
            return runShell(line);
        if (line.command == QLatin1String("init"))
            return initDatabase(line);
        if (line.command == QLatin1String("script"))
            return runScript(line);
        throw Error(QStringLiteral("Orden desconocida: %1. Órdenes: init, script (o ninguna para abrir Zentaro)")
                        .arg(line.command.isEmpty() ? line.arguments.first() : line.command));
    } catch (const Error &error) {
        printError(error.description());
        return 1;
    }
}
