// The zentaro command: the suite's shell window, and the command-line work of support
// and night runs (creating a database, running scripts, signing invoices).

#include "CommandLine.h"
#include "GlobalInvoiceCommand.h"
#include "NamedInvoiceCommand.h"
#include "PendingCancellations.h"
#include "ReplaceCommand.h"

#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/Connection.h"
#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/dialogs/QueryFilterDialog.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/host/GuiPresenter.h"
#include "platform/host/HostObject.h"
#include "platform/host/JsonLines.h"
#include "platform/host/SafeApplication.h"
#include "platform/host/ScriptPresenter.h"
#include "platform/host/ScriptRunner.h"
#include "platform/host/ShellWindow.h"
#include "platform/services/Platform.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QMessageBox>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

using namespace zentaro;

namespace {

const char kUsage[] =
    "uso: zentaro [--db URL] [--user CLAVE] [--open MODULO|none]       la ventana de Zentaro\n"
    "     zentaro init --db URL [--demo] [--notes N] [--seed S]         crea la base de datos\n"
    "     zentaro script ARCHIVO [--db URL] [--user CLAVE]              ejecuta un guion sin ventana\n"
    "     zentaro sign [--db URL] FOLIO...|--pending                    timbra facturas\n"
    "     zentaro xml [--db URL] FOLIO                                  el XML timbrado de una factura\n"
    "     zentaro secret                                                sella una contraseña leída de la entrada\n"
    "     zentaro global-invoice --db URL [--date AAAA-MM-DD | --from AAAA-MM-DD --to AAAA-MM-DD]\n"
    "                            [--branch CLAVE]... [--currency CLAVE]... [--dry-run] [--user CLAVE] [--wait SEGUNDOS]\n"
    "                                                                   la factura global del periodo, por sucursal y moneda\n"
    "     zentaro cancellations [--db URL] [--user CLAVE]               termina las cancelaciones pendientes ante el SAT\n"
    "     zentaro replace FOLIO [--db URL] [--user CLAVE]               sustituye una factura global timbrada (motivo 01)\n"
    "     zentaro named-invoice --note FOLIO --customer CLAVE [--db URL] [--user CLAVE]\n"
    "                                                                   factura nominativa de una nota de una factura global\n";

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
    if (line.has(QStringLiteral("upgrade"))) {
        auto connection = Connection::open(url);
        const int from = schema::upgrade(*connection);
        std::printf("Base de datos %s: versión %d del esquema%s\n", url.display().toLocal8Bit().constData(),
                    schema::kVersion, from == schema::kVersion ? " (ya estaba al día)" : "");
        return 0;
    }
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

// Opens the database for a command-line job and installs the session on it. Messages and
// reports go to standard error as JSON lines, so standard output carries only the job's
// own answer.
void installCommandSession(const app::CommandLine &line)
{
    auto connection = Connection::open(databaseOf(line));
    schema::verify(*connection);
    Platform::install(std::make_unique<Platform>(std::move(connection), line.option(QStringLiteral("user"), QStringLiteral("ADMIN")),
                                                 std::make_shared<ScriptPresenter>(JsonLines(stderr))));
}

struct SessionScope
{
    ~SessionScope() { Platform::uninstall(); }
};

// Every stored invoice of an electronic series, not cancelled, that has no stamp yet.
QStringList pendingInvoices(Connection &connection)
{
    QStringList folios;
    Recordset rs = connection.select(QStringLiteral(
        "SELECT f.Fc_Folio FROM Factura f INNER JOIN Serie s ON s.Sr_Cve_Serie = f.Fc_Serie "
        "WHERE s.Sr_Electronica = 'SI' AND f.Es_Cve_Estado <> 'CA' AND NOT EXISTS (SELECT 1 FROM Comprobante_Digital d "
        "WHERE d.Cd_Tabla = 'Factura' AND d.Cd_Documento = f.Fc_Folio) ORDER BY f.Fc_Folio"));
    for (; !rs.eof(); rs.moveNext())
        folios << rs.text(QStringLiteral("Fc_Folio"));
    return folios;
}

// zentaro sign [--db URL] [FOLIO...|--pending]: signs through the same host object the
// screens use, one JSON line per invoice.
int signInvoices(const app::CommandLine &line)
{
    if (line.arguments.isEmpty() == !line.has(QStringLiteral("pending")))
        throw Error(QStringLiteral("uso: zentaro sign [--db URL] FOLIO... | zentaro sign [--db URL] --pending"));
    installCommandSession(line);
    SessionScope scope;
    Connection &connection = Platform::instance().connection();
    const QStringList folios = line.has(QStringLiteral("pending")) ? pendingInvoices(connection) : line.arguments;
    HostObject host(QStringLiteral("ZENTARO"), QStringLiteral("VENTAS"));
    installElectronicDocuments(host);
    const JsonLines out;
    bool allSigned = true;
    for (const QString &folio : folios) {
        const QString error = host.FirmaDocumento(connection.defaultDatabase() + QStringLiteral("|6|") + folio);
        const auto stamped = error.isEmpty() ? findDigitalDocument(connection, QStringLiteral("Factura"), folio)
                                             : std::nullopt;
        if (stamped) {
            out.write({{QStringLiteral("folio"), folio}, {QStringLiteral("uuid"), stamped->uuid}});
        } else {
            allSigned = false;
            out.write({{QStringLiteral("folio"), folio},
                       {QStringLiteral("error"), error.isEmpty() ? QStringLiteral("La factura no quedó timbrada") : error}});
        }
    }
    return allSigned ? 0 : 1;
}

// zentaro xml [--db URL] FOLIO: the stamped XML as stored.
int printXml(const app::CommandLine &line)
{
    if (line.arguments.size() != 1)
        throw Error(QStringLiteral("uso: zentaro xml [--db URL] FOLIO"));
    installCommandSession(line);
    SessionScope scope;
    const QString folio = line.arguments.first();
    const auto stamped = findDigitalDocument(Platform::instance().connection(), QStringLiteral("Factura"), folio);
    if (!stamped)
        throw Error(QStringLiteral("La factura %1 no está timbrada: no hay XML guardado").arg(folio));
    std::fwrite(stamped->xml.constData(), 1, size_t(stamped->xml.size()), stdout);
    if (!stamped->xml.endsWith('\n'))
        std::fputc('\n', stdout);
    return 0;
}

// zentaro secret: reads a password from standard input (without echo on a terminal) and
// prints the sealed text to store in Emisor.Em_Clave or MAIL_CLAVE.
int sealPassword()
{
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        std::fprintf(stderr, "Contraseña: ");
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fprintf(stderr, "\n");
    }
    if (password.empty())
        throw Error(QStringLiteral("uso: zentaro secret < archivo-con-la-contraseña (la contraseña no puede ser vacía)"));
    std::printf("%s\n", sealSecret(QString::fromStdString(password)).toLatin1().constData());
    return 0;
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
        platform->setFilterDialog(&QueryFilterDialog::ask);
        Platform::install(std::move(platform));
    } catch (const Error &error) {
        QMessageBox::critical(nullptr, QStringLiteral("Zentaro"), error.description());
        return 1;
    }
    ShellWindow shell{ModuleLoader()};
    // The whole screen, with or without a window manager to maximise it.
    shell.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    shell.showMaximized();
    if (line.option(QStringLiteral("open"), QStringLiteral("QX417")) != QLatin1String("none"))
        shell.openModule(line.option(QStringLiteral("open"), QStringLiteral("QX417")));
    const int code = QApplication::exec();
    Platform::uninstall();
    return code;
}

// Without a window, standard error carries one JSON object a line (what the screen said);
// the suite's log (an engine's own words behind the Spanish message a clerk reads, a missing
// translation) joins them as {"log": ...} lines instead of breaking that stream.
void logAsJsonLine(QtMsgType, const QMessageLogContext &, const QString &text)
{
    JsonLines(stderr).write({{QStringLiteral("log"), text}});
}

} // namespace

int main(int argc, char **argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine line = app::CommandLine::parse(
        words, {QStringLiteral("demo"), QStringLiteral("pending"), QStringLiteral("upgrade"), QStringLiteral("dry-run"),
                QStringLiteral("help")},
        {QStringLiteral("init"), QStringLiteral("script"), QStringLiteral("sign"), QStringLiteral("xml"),
         QStringLiteral("secret"), QStringLiteral("global-invoice"), QStringLiteral("cancellations"),
         QStringLiteral("replace"), QStringLiteral("named-invoice")});
    if (line.has(QStringLiteral("help"))) {
        std::printf("%s", kUsage);
        return 0;
    }
    const bool headless = !line.command.isEmpty() || !line.arguments.isEmpty();
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (headless)
        qInstallMessageHandler(logAsJsonLine);
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
        if (line.command == QLatin1String("sign"))
            return signInvoices(line);
        if (line.command == QLatin1String("xml"))
            return printXml(line);
        if (line.command == QLatin1String("secret"))
            return sealPassword();
        if (line.command == QLatin1String("global-invoice"))
            return app::runGlobalInvoice(line);
        if (line.command == QLatin1String("cancellations"))
            return app::runPendingCancellations(line);
        if (line.command == QLatin1String("replace"))
            return app::runReplace(line);
        if (line.command == QLatin1String("named-invoice"))
            return app::runNamedInvoice(line);
        throw Error(QStringLiteral("Orden desconocida: %1. Órdenes: init, script, sign, xml, secret, global-invoice, "
                                   "cancellations, replace, named-invoice (o ninguna para abrir Zentaro)")
                        .arg(line.command.isEmpty() ? line.arguments.first() : line.command));
    } catch (const Error &error) {
        printError(error.description());
        return 1;
    }
}
