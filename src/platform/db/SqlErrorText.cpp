#include "platform/db/SqlErrorText.h"

#include "platform/db/SqlDialect.h"

namespace zentaro {


QString engineErrorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

QString engineErrorCode(const QSqlError &error) { return error.nativeErrorCode().trimmed(); }

QString clerkErrorText(const EngineFailure &failure)
{
    const SqlDialect &dialect = SqlDialect::of(failure.engine);
    switch (dialect.condition(failure)) {
    case FailureCondition::Busy:
        return QStringLiteral("La base de datos está ocupada: otro usuario o proceso la tiene tomada. Espere unos "
                              "segundos y vuelva a intentarlo.");
    case FailureCondition::Timeout:
        return QStringLiteral("Se agotó el tiempo de espera de %1 s: la base de datos está ocupada o la operación es "
                              "muy grande. Vuelva a intentarlo en un momento; si se repite, avise al administrador.")
            .arg(failure.timeoutSeconds);
    case FailureCondition::Lost:
        return QStringLiteral("Se perdió la conexión con el servidor de la base de datos y lo que no se había "
                              "confirmado no se guardó. Revise la red, cierre Zentaro y vuelva a abrirlo.");
    case FailureCondition::Permission:
        return dialect.permissionText();
    case FailureCondition::DiskFull:
        return QStringLiteral("El disco de la base de datos está lleno y la operación no se guardó. Libere espacio "
                              "(o avise al administrador) y vuelva a intentarlo.");
    case FailureCondition::ReadOnly:
        return dialect.readOnlyText();
    case FailureCondition::DiskError:
        return QStringLiteral("No se pudo leer o escribir el archivo de la base de datos (falla del disco). Revise el "
                              "disco y vuelva a intentarlo; si se repite, avise al administrador.");
    case FailureCondition::Damaged:
        return QStringLiteral("La base de datos está dañada. Deje de usarla y avise al administrador para que la "
                              "recupere de su respaldo.");
    case FailureCondition::Raised:
    case FailureCondition::Other:
        break;
    }
    return dialect.engineWords(failure.text);
}

} // namespace zentaro
