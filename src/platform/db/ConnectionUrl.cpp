#include "platform/db/ConnectionUrl.h"

#include "platform/core/Error.h"
#include "platform/db/PostgresConnectionText.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace zentaro {

namespace {

// libpq takes a host that starts with "/" (or "@", Linux's abstract namespace) as the folder
// of a local socket.
bool isSocketFolder(const QString &host)
{
    return host.startsWith(u'/') || host.startsWith(u'@');
}

QString encoded(const QString &text, const char *keep = "")
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArray(keep)));
}

} // namespace

ConnectionUrl ConnectionUrl::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        throw Error(QStringLiteral("No se indicó la base de datos"));
    ConnectionUrl url;
    const bool uri = pgconnection::isUri(trimmed);
    if (uri || pgconnection::isKeywordValues(trimmed)) {
        if (uri)
            pgconnection::readUri(trimmed, url);
        else
            pgconnection::readKeywordValues(trimmed, url);
        if (url.database.isEmpty())
            throw Error(QStringLiteral("La dirección de base de datos no es válida: falta el nombre de la base "
                                       "(postgresql://[usuario@][servidor][:puerto]/base o host=... dbname=base)"));
        return url;
    }
    QString path = trimmed;
    if (path.startsWith(QLatin1String("sqlite:")))
        path = path.mid(7);
    if (path.startsWith(QLatin1String("//")))
        path = path.mid(2);
    if (path.contains(QLatin1String("://")) || path.isEmpty())
        throw Error(QStringLiteral("La dirección de base de datos no es válida: use una ruta de archivo, "
                                   "sqlite:RUTA, postgresql://... o host=... dbname=..."));
    url.engine = Engine::Sqlite;
    url.path = QFileInfo(path).absoluteFilePath();
    return url;
}

ConnectionUrl ConnectionUrl::defaultDemo()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    ConnectionUrl url;
    url.path = QDir(folder).filePath(QStringLiteral("zentaro-demo.sqlite"));
    return url;
}

QString ConnectionUrl::display() const
{
    if (engine == Engine::Sqlite)
        return QStringLiteral("sqlite:") + path;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += encoded(user) + u'@';
    QStringList query;
    if (isSocketFolder(host))
        query << QStringLiteral("host=") + encoded(host, "/");
    else if (host.contains(u':'))
        text += u'[' + encoded(host, ":") + u']';
    else
        text += encoded(host);
    if (port != -1)
        text += u':' + QString::number(port);
    text += u'/' + encoded(database);
    if (!schema.isEmpty())
        query << QStringLiteral("schema=") + encoded(schema);
    for (const auto &[name, value] : parameters) {
        if (!pgconnection::isSecret(name))
            query << name + u'=' + encoded(value, "/:,");
    }
    if (!query.isEmpty())
        text += u'?' + query.join(u'&');
    return text;
}

QString ConnectionUrl::databaseName() const
{
    if (engine == Engine::Sqlite)
        return QFileInfo(path).completeBaseName();
    return schema.isEmpty() ? database : database + u'.' + schema;
}

QString ConnectionUrl::parameter(const QString &name) const
{
    for (const auto &[key, value] : parameters) {
        if (key == name)
            return value;
    }
    return {};
}

QString ConnectionUrl::connectOptions() const
{
    QStringList options;
    for (const auto &[name, value] : parameters)
        options << name + u'=' + pgconnection::quoted(value);
    // libpq waits for an unanswering server without end; a clerk should hear of it soon.
    const bool timeoutGiven = std::any_of(parameters.begin(), parameters.end(), [](const auto &parameter) {
        return parameter.first == QLatin1String("connect_timeout");
    });
    if (!timeoutGiven && qEnvironmentVariableIsEmpty("PGCONNECT_TIMEOUT"))
        options << QStringLiteral("connect_timeout=5");
    return options.join(u' ');
}

} // namespace zentaro
