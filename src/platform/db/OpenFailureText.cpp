#include "platform/db/OpenFailureText.h"

#include "platform/db/SqlDialect.h"

#include <QDir>
#include <QRegularExpression>

namespace zentaro {

namespace {

// The name between double quotes after `word` in a libpq or server message.
QString quotedAfter(const QString &text, const QString &word)
{
    const QRegularExpression pattern(word + QStringLiteral(" \"([^\"]*)\""));
    return pattern.match(text).captured(1);
}

// libpq looks for a missing password in PGPASSWORD, then in the password file.
QString passwordSource(const ConnectionUrl &url)
{
    if (!url.password.isEmpty())
        return QStringLiteral("tomada de la dirección");
    if (!qEnvironmentVariableIsEmpty("PGPASSWORD"))
        return QStringLiteral("tomada de PGPASSWORD");
    QString file = url.parameter(QStringLiteral("passfile"));
    if (file.isEmpty())
        file = qEnvironmentVariable("PGPASSFILE");
    if (file.isEmpty())
        file = QDir::home().filePath(QStringLiteral(".pgpass"));
    return QStringLiteral("tomada del archivo de claves %1").arg(file);
}

QString serverOf(const ConnectionUrl &url)
{
    const QString port = url.port == -1 ? QString() : u':' + QString::number(url.port);
    if (url.host.isEmpty() || url.host.startsWith(u'/') || url.host.startsWith(u'@'))
        return QStringLiteral("el socket local%1%2").arg(url.host.isEmpty() ? QString() : u' ' + url.host, port);
    return url.host + port;
}

} // namespace

QString postgresOpenReading(const ConnectionUrl &url, const QString &text)
{
    const QString user = quotedAfter(text, QStringLiteral("for user"));
    if (text.contains(QLatin1String("password authentication failed")))
        return QStringLiteral("PostgreSQL no aceptó la clave del usuario %1, %2").arg(user, passwordSource(url));
    if (text.contains(QLatin1String("no password supplied")))
        return QStringLiteral("PostgreSQL pide una clave y no se dio ninguna: póngala en PGPASSWORD, en el archivo "
                              "de claves ~/.pgpass o en la dirección");
    if (text.contains(QLatin1String("Peer authentication failed")))
        return QStringLiteral("por el socket local PostgreSQL solo deja entrar al usuario del sistema del mismo "
                              "nombre, y el usuario %1 no lo es").arg(user);
    const QString database = quotedAfter(text, QStringLiteral("database"));
    if (!database.isEmpty() && text.contains(QLatin1String("does not exist")))
        return QStringLiteral("no existe la base de datos %1 en el servidor").arg(database);
    const QString role = quotedAfter(text, QStringLiteral("role"));
    if (!role.isEmpty() && text.contains(QLatin1String("does not exist")))
        return QStringLiteral("no existe el usuario %1 en el servidor").arg(role);
    if (text.contains(QLatin1String("Connection refused")) || text.contains(QLatin1String("No such file or directory")))
        return QStringLiteral("no hay un servidor PostgreSQL que atienda en %1").arg(serverOf(url));
    if (text.contains(QLatin1String("timeout expired")))
        return QStringLiteral("el servidor %1 no respondió a tiempo").arg(serverOf(url));
    return {};
}

QString openFailureText(const ConnectionUrl &url, const QString &engineText)
{
    // libpq's messages name the server, user and database but never the password.
    const QString text = engineText.simplified();
    const QString reading = SqlDialect::of(url.engine).openFailureReading(url, text);
    if (reading.isEmpty())
        return QStringLiteral("No se pudo abrir la base de datos %1: %2").arg(url.display(), text);
    return QStringLiteral("No se pudo abrir la base de datos %1: %2. (%3)").arg(url.display(), reading, text);
}

} // namespace zentaro
