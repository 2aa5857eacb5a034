#include "support/TestDatabase.h"

#include "platform/core/Error.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>

using namespace zentaro;

namespace {

// Sets (or, with nullopt, removes) an environment variable until the end of the scope.
struct ScopedVariable
{
    ScopedVariable(const char *name, const std::optional<QString> &value)
        : name(name), old(qgetenv(name)), had(qEnvironmentVariableIsSet(name))
    {
        value ? qputenv(name, value->toLocal8Bit()) : qunsetenv(name);
    }
    ~ScopedVariable() { had ? qputenv(name, old) : qunsetenv(name); }
    const char *name;
    QByteArray old;
    bool had;
};

// The test server as ZENTARO_TEST_PG names it (reached over TCP with a password), and the
// folder of its local socket, where the system user logs in by peer authentication.
ConnectionUrl server()
{
    ConnectionUrl url = test::TestDatabase(Engine::Postgres).url();
    url.schema.clear();
    return url;
}

// ZENTARO_TEST_PG_SOCKET names the socket folder when the server keeps it elsewhere.
QString socketFolder()
{
    const QString folder = qEnvironmentVariable("ZENTARO_TEST_PG_SOCKET");
    return folder.isEmpty() ? QStringLiteral("/var/run/postgresql") : folder;
}

QString portSuffix(const ConnectionUrl &url)
{
    return url.port == -1 ? QString() : u':' + QString::number(url.port);
}

class ConnectionFormsTest : public ::testing::TestWithParam<Engine>
{};

TEST_P(ConnectionFormsTest, EveryWrittenFormReachesTheDatabase)
{
    QTemporaryDir dir;
    struct Form
    {
        QString text, query, expected;
    };
    QList<Form> forms;
    if (GetParam() == Engine::Sqlite) {
        // A file whose name holds "=" is still a file, not libpq's keyword/value form.
        const QString file = dir.filePath(QStringLiteral("formas=1.sqlite"));
        auto creator = Connection::open(ConnectionUrl::parse(file), Connection::OpenMode::Create);
        creator->run(QStringLiteral("CREATE TABLE marca (n INTEGER)"));
        creator->run(QStringLiteral("INSERT INTO marca VALUES (7)"));
        const QString query = QStringLiteral("SELECT n FROM marca");
        for (const QString &text : {file, QStringLiteral("sqlite:") + file, QStringLiteral("sqlite://") + file})
            forms.append({text, query, QStringLiteral("7")});
    } else {
        const ConnectionUrl tcp = server();
        const QString db = tcp.database, port = portSuffix(tcp);
        const QString login = QString::fromLatin1(QUrl::toPercentEncoding(tcp.user)) + u':' +
                              QString::fromLatin1(QUrl::toPercentEncoding(tcp.password)) + u'@' + tcp.host + port;
        const QString socket = QStringLiteral("SELECT CASE WHEN inet_server_addr() IS NULL THEN 'socket' ELSE 'tcp' END");
        const QString portParameter = tcp.port == -1 ? QString() : QStringLiteral("&port=%1").arg(tcp.port);
        forms = {
            {QStringLiteral("postgresql://%1/%2").arg(login, db), QStringLiteral("SELECT current_database()"), db},
            {QStringLiteral("postgres://%1/%2?sslmode=disable&connect_timeout=4&options=-c%20work_mem%3D5MB").arg(login, db),
             QStringLiteral("SELECT current_setting('work_mem')"), QStringLiteral("5MB")},
            {QStringLiteral("postgresql:///%1?host=%2%3").arg(db, socketFolder(), portParameter), socket,
             QStringLiteral("socket")},
            {QStringLiteral("postgresql://%1%2/%3").arg(QString::fromLatin1(QUrl::toPercentEncoding(socketFolder())), port, db),
             socket, QStringLiteral("socket")},
            {QStringLiteral("host=%1 dbname=%2 application_name='caja 3'%3")
                 .arg(socketFolder(), db, tcp.port == -1 ? QString() : QStringLiteral(" port=%1").arg(tcp.port)),
             QStringLiteral("SELECT current_setting('application_name')"), QStringLiteral("caja 3")},
        };
    }
    for (const Form &form : forms) {
        SCOPED_TRACE(form.text.toStdString());
        try {
            EXPECT_EQ(Connection::open(ConnectionUrl::parse(form.text))->select(form.query).textAt(0), form.expected);
        } catch (const Error &error) {
            ADD_FAILURE() << error.what();
        }
    }
}

ZENTARO_ON_BOTH_ENGINES(ConnectionFormsTest);

QStringList warnings;   // what the login printed through Qt's message handler

TEST(PostgresLogin, TakesThePasswordFromTheEnvironmentOrItsFileAndNeverShowsIt)
{
    const ConnectionUrl tcp = server();
    ASSERT_FALSE(tcp.password.isEmpty()) << "ZENTARO_TEST_PG must log in with a password over TCP";
    const QString wrong = QStringLiteral("Equivocada-1");
    const QString right = tcp.password;
    auto passLine = [&](const QString &password) {
        QString escaped = password;
        escaped.replace(u'\\', QLatin1String("\\\\")).replace(u':', QLatin1String("\\:"));
        return QStringLiteral("%1:%2:%3:%4:%5\n").arg(tcp.host, tcp.port == -1 ? QStringLiteral("*") : QString::number(tcp.port),
                                                     tcp.database, tcp.user, escaped);
    };
    const struct
    {
        const char *name;
        std::optional<QString> inUrl, pgpassword, passfile, homePgpass;
        const char *refusal;   // nullptr when the login succeeds
    } cases[] = {
        {"PGPASSWORD", {}, right, {}, {}, nullptr},
        {"wrong PGPASSWORD", {}, wrong, {}, {}, "tomada de PGPASSWORD"},
        {"PGPASSFILE", {}, {}, right, {}, nullptr},
        {"wrong PGPASSFILE", {}, {}, wrong, {}, "tomada del archivo de claves "},
        {"~/.pgpass", {}, {}, {}, right, nullptr},
        {"the URL's before PGPASSWORD", wrong, right, {}, {}, "tomada de la dirección"},
        {"none at all", {}, {}, {}, {}, "no se dio ninguna"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        auto writeFile = [](const QString &path, const QString &text) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text.toUtf8());
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);   // libpq ignores a readable one
        };
        const QString passfile = home.filePath(QStringLiteral("claves"));
        if (c.passfile)
            writeFile(passfile, passLine(*c.passfile));
        if (c.homePgpass)
            writeFile(home.filePath(QStringLiteral(".pgpass")), passLine(*c.homePgpass));
        ScopedVariable homeVariable("HOME", home.path());
        ScopedVariable passwordVariable("PGPASSWORD", c.pgpassword);
        ScopedVariable passfileVariable("PGPASSFILE", c.passfile ? std::optional(passfile) : std::nullopt);
        ConnectionUrl url = tcp;
        url.password = c.inUrl.value_or(QString());

        warnings.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) { warnings << message; });
        QString failure;
        try {
            Connection::open(url);
        } catch (const Error &error) {
            failure = error.description();
        }
        qInstallMessageHandler(previous);
        if (!c.refusal) {
            EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
            continue;
        }
        EXPECT_TRUE(failure.contains(QString::fromUtf8(c.refusal))) << failure.toStdString();
        EXPECT_TRUE(failure.startsWith(QStringLiteral("No se pudo abrir la base de datos ") + tcp.display()))
            << failure.toStdString();
        EXPECT_FALSE((failure + warnings.join(u'\n')).contains(wrong)) << failure.toStdString();
    }
}

TEST(PostgresLogin, ExplainsAPeerRefusalOnTheSocketWithoutThePassword)
{
    const QString text = QStringLiteral("postgresql://%4:Equivocada-1@%1%2/%3")
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(socketFolder())), portSuffix(server()),
                                  server().database, server().user);
    try {
        Connection::open(ConnectionUrl::parse(text));
        FAIL() << "a foreign user logged in over the socket";
    } catch (const Error &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("usuario del sistema del mismo nombre"))) << error.what();
        EXPECT_FALSE(error.description().contains(QStringLiteral("Equivocada-1"))) << error.what();
    }
}

} // namespace
