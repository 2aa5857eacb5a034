#include "platform/components/stamping/PacSettings.h"

#include "platform/core/Error.h"
#include "platform/core/SecretMask.h"
#include "platform/core/StoredSecret.h"
#include "platform/services/Environment.h"

#include <QStandardPaths>
#include <QUrl>

namespace zentaro {

namespace {

int boundedNumber(const QString &name, const QString &text, int defaultValue, int low, int high)
{
    if (text.isEmpty())
        return defaultValue;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        throw Error(QStringLiteral("La variable %1 debe ser un número entero de %2 a %3; tiene \"%4\"")
                        .arg(name)
                        .arg(low)
                        .arg(high)
                        .arg(text));
    return value;
}

// The provider receives the CFDI and the account's password: never in clear.
QString httpsUrl(const QString &name, const QString &text)
{
    if (text.isEmpty())
        throw Error(
            QStringLiteral("No está configurada la dirección del proveedor de certificación (variable %1)").arg(name));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QLatin1String("https") || url.host().isEmpty())
        throw Error(QStringLiteral("La variable %1 debe tener una dirección https://servidor/ruta; tiene \"%2\"")
                        .arg(name, url.toDisplayString(QUrl::RemoveUserInfo)));
    QString clean = text;
    while (clean.endsWith(u'/'))
        clean.chop(1);
    return clean;
}

} // namespace

PacSettings PacSettings::fromConfiguration()
{
    const Environment environment;
    auto variable = [&environment](const char *name) {
        return environment.GetVariable(QString::fromLatin1(name), 0, QStringLiteral("T"), {}).trimmed();
    };
    PacSettings settings;
    const QString environmentName = variable("CFDI_PAC_AMBIENTE").toUpper();
    if (environmentName == QLatin1String("PRODUCCION") || environmentName == QStringLiteral("PRODUCCIÓN"))
        settings.production = true;
    else if (!environmentName.isEmpty() && environmentName != QLatin1String("PRUEBAS"))
        throw Error(QStringLiteral("La variable CFDI_PAC_AMBIENTE admite PRUEBAS o PRODUCCION; tiene \"%1\"")
                        .arg(environmentName));
    const char *urlVariable = settings.production ? "CFDI_PAC_URL_PRODUCCION" : "CFDI_PAC_URL_PRUEBAS";
    settings.baseUrl = httpsUrl(QString::fromLatin1(urlVariable), variable(urlVariable));
    settings.user = variable("CFDI_PAC_USUARIO");
    if (settings.user.isEmpty())
        throw Error(QStringLiteral("No está configurado el usuario del proveedor de certificación (variable "
                                   "CFDI_PAC_USUARIO)"));
    settings.password = openSecret(variable("CFDI_PAC_CLAVE"), QStringLiteral("CFDI_PAC_CLAVE"));
    if (settings.password.isEmpty())
        throw Error(QStringLiteral("No está configurada la contraseña del proveedor de certificación (variable "
                                   "CFDI_PAC_CLAVE, sellada con zentaro secret)"));
    settings.caFile = variable("CFDI_PAC_CA_CERTIFICADO");
    settings.timeout = boundedNumber(QStringLiteral("CFDI_PAC_ESPERA"), variable("CFDI_PAC_ESPERA"), 30, 5, 300);
    settings.attempts = boundedNumber(QStringLiteral("CFDI_PAC_INTENTOS"), variable("CFDI_PAC_INTENTOS"), 3, 1, 5);
    const QString api = variable("CFDI_PAC_URL_API");
    settings.apiUrl = api.isEmpty() ? settings.baseUrl : httpsUrl(QStringLiteral("CFDI_PAC_URL_API"), api);
    settings.certificateFolder = variable("CFDI_PAC_CERTIFICADOS");
    if (settings.certificateFolder.isEmpty())
        settings.certificateFolder = defaultCertificateFolder();
    if (const QString status = variable("CFDI_SAT_CONSULTA_URL"); !status.isEmpty())
        settings.satStatusUrl = httpsUrl(QStringLiteral("CFDI_SAT_CONSULTA_URL"), status);
    return settings;
}

QString PacSettings::defaultCertificateFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/certificados-pac");
}

QString PacSettings::masked(const QString &text) const
{
    rememberSecret(password);
    return maskSecrets(text);
}

} // namespace zentaro
