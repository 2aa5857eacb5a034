#include "platform/components/mail/SmtpSettings.h"

#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"
#include "platform/services/Environment.h"

#include <QDir>
#include <QUrl>

namespace zentaro {

namespace {

// "file:/srv/correo", "file:///srv/correo" and "file:~/correo" all name a folder.
QString outboxFolderOf(const QString &url)
{
    QString path = url.startsWith(QLatin1String("file://")) ? QUrl(url).toLocalFile() : url.mid(5);
    if (path.startsWith(QLatin1String("~/")))
        path = QDir::home().filePath(path.mid(2));
    if (path.isEmpty() || QDir::isRelativePath(path))
        throw Error(QStringLiteral("La carpeta de correo saliente de MAIL_SMTP_URL debe ser una ruta completa "
                                   "(file:/ruta/de/la/carpeta): %1")
                        .arg(url));
    return QDir::cleanPath(path);
}

} // namespace

SmtpSettings SmtpSettings::fromConfiguration()
{
    const Environment environment;
    auto variable = [&environment](const char *name, const QString &defaultValue = {}) {
        return environment.GetVariable(QString::fromLatin1(name), 0, QStringLiteral("T"), defaultValue).trimmed();
    };
    SmtpSettings settings;
    settings.url = variable("MAIL_SMTP_URL");
    settings.sender = variable("MAIL_REMITENTE");
    if (settings.url.isEmpty())
        throw Error(QStringLiteral("No está configurado el servidor de correo (variable MAIL_SMTP_URL)"));
    if (settings.sender.isEmpty())
        throw Error(QStringLiteral("No está configurado el remitente de los correos (variable MAIL_REMITENTE)"));
    if (settings.url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        settings.outboxFolder = outboxFolderOf(settings.url);
        return settings;
    }
    // A bare "host:port" is what people type; curl would guess a protocol from it.
    if (!settings.url.contains(QLatin1String("://")))
        settings.url.prepend(QStringLiteral("smtp://"));
    const QString scheme = settings.url.section(QStringLiteral("://"), 0, 0).toLower();
    if (scheme != QLatin1String("smtp") && scheme != QLatin1String("smtps"))
        throw Error(QStringLiteral("MAIL_SMTP_URL admite smtps://servidor:puerto, smtp://servidor:puerto o "
                                   "file:/carpeta; no %1://")
                        .arg(scheme));
    settings.user = variable("MAIL_USUARIO");
    settings.password = openSecret(environment.GetVariable(QStringLiteral("MAIL_CLAVE"), 0, QStringLiteral("T"), {}),
                                   QStringLiteral("MAIL_CLAVE"));
    // Only a clear "no" turns encryption off; a typing mistake must not send in clear.
    static const QStringList no = {QStringLiteral("0"), QStringLiteral("NO"), QStringLiteral("N"),
                                   QStringLiteral("FALSE"), QStringLiteral("FALSO")};
    settings.requireTls = !no.contains(variable("MAIL_STARTTLS").toUpper());
    settings.caFile = variable("MAIL_CA_CERTIFICADO");
    return settings;
}

} // namespace zentaro
