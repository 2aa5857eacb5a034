#include "platform/components/SmtpSettings.h"

#include "platform/core/Error.h"
#include "platform/services/Environment.h"

namespace zentaro {

SmtpSettings SmtpSettings::fromConfiguration()
{
    const Environment environment;
    auto variable = [&environment](const char *name) {
        return environment.GetVariable(QString::fromLatin1(name), 0, QStringLiteral("T"), {}).trimmed();
    };
    SmtpSettings settings;
    settings.url = variable("MAIL_SMTP_URL");
    settings.sender = variable("MAIL_REMITENTE");
    settings.user = variable("MAIL_USUARIO");
    settings.password = environment.GetVariable(QStringLiteral("MAIL_CLAVE"), 0, QStringLiteral("T"), {});
    if (settings.url.isEmpty())
        throw Error(QStringLiteral("No está configurado el servidor de correo (variable MAIL_SMTP_URL)"));
    // A bare "host:port" is what people type; curl would guess a protocol from it.
    if (!settings.url.contains(QStringLiteral("://")))
        settings.url.prepend(QStringLiteral("smtp://"));
    if (settings.sender.isEmpty())
        throw Error(QStringLiteral("No está configurado el remitente de los correos (variable MAIL_REMITENTE)"));
    return settings;
}

} // namespace zentaro
