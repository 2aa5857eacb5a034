#include "platform/db/SqlErrorText.h"

#include <QRegularExpression>

namespace zentaro {

namespace {

enum class Condition { Other, Busy, Timeout, Lost, Permission, DiskFull, ReadOnly, DiskError, Damaged, Raised };

// SQLite's primary result codes (extended codes carry them in their low byte).
Condition sqliteCondition(const QString &code, const QString &text)
{
    bool ok = false;
    const int primary = code.toInt(&ok) & 0xff;
    if (!ok)
        return text == QLatin1String("interrupted") ? Condition::Timeout : Condition::Other;
    switch (primary) {
    case 3:  // SQLITE_PERM
    case 23: // SQLITE_AUTH
        return Condition::Permission;
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return Condition::Busy;
    case 8:  // SQLITE_READONLY
        return Condition::ReadOnly;
    case 9:  // SQLITE_INTERRUPT: the progress handler ended a command over its time
        return Condition::Timeout;
    case 10: // SQLITE_IOERR
        return Condition::DiskError;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Condition::Damaged;
    case 13: // SQLITE_FULL
        return Condition::DiskFull;
    default:
        return Condition::Other;
    }
}

Condition postgresCondition(const EngineFailure &failure)
{
    const QString &code = failure.code;
    if (code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") || code == QLatin1String("57P02")
        || code == QLatin1String("57P03"))
        return Condition::Lost;
    if (code == QLatin1String("42501"))
        return Condition::Permission;
    if (code == QLatin1String("53100"))
        return Condition::DiskFull;
    if (code == QLatin1String("55P03") || code == QLatin1String("40P01") || code == QLatin1String("40001"))
        return Condition::Busy;
    if (code == QLatin1String("57014"))
        return Condition::Timeout;
    if (code == QLatin1String("25006"))
        return Condition::ReadOnly;
    if (code == QLatin1String("XX001") || code == QLatin1String("XX002"))
        return Condition::Damaged;
    if (code == QLatin1String("P0001"))
        return Condition::Raised;
    // libpq reports a dead connection without any SQLSTATE.
    if (failure.connectionLost)
        return Condition::Lost;
    return Condition::Other;
}

// PostgreSQL's message without "ERROR:  ", its DETAIL, HINT and CONTEXT lines and the
// "(SQLSTATE)" Qt's driver appends.
QString firstLine(const QString &text)
{
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC):\\s*"));
    static const QRegularExpression code(QStringLiteral("\\s*\\([0-9A-Z]{5}\\)$"));
    QString line = text.trimmed().section(u'\n', 0, 0).trimmed();
    line.remove(severity);
    line.remove(code);
    return line.trimmed();
}

} // namespace

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
    const bool sqlite = failure.engine == Engine::Sqlite;
    const Condition condition = sqlite ? sqliteCondition(failure.code, failure.text) : postgresCondition(failure);
    switch (condition) {
    case Condition::Busy:
        return QStringLiteral("La base de datos está ocupada: otro usuario o proceso la tiene tomada. Espere unos "
                              "segundos y vuelva a intentarlo.");
    case Condition::Timeout:
        return QStringLiteral("Se agotó el tiempo de espera de %1 s: la base de datos está ocupada o la operación es "
                              "muy grande. Vuelva a intentarlo en un momento; si se repite, avise al administrador.")
            .arg(failure.timeoutSeconds);
    case Condition::Lost:
        return QStringLiteral("Se perdió la conexión con el servidor de la base de datos y lo que no se había "
                              "confirmado no se guardó. Revise la red, cierre Zentaro y vuelva a abrirlo.");
    case Condition::Permission:
        return sqlite ? QStringLiteral("No hay permiso para usar el archivo de la base de datos. Pida al administrador "
                                       "que le dé acceso al archivo y a su carpeta.")
                      : QStringLiteral("El usuario de la base de datos no tiene permiso para esta operación. Pida al "
                                       "administrador de la base de datos que le dé acceso.");
    case Condition::DiskFull:
        return QStringLiteral("El disco de la base de datos está lleno y la operación no se guardó. Libere espacio "
                              "(o avise al administrador) y vuelva a intentarlo.");
    case Condition::ReadOnly:
        return sqlite ? QStringLiteral("La base de datos solo se puede leer: no se guardó nada. Revise que el archivo "
                                       "y su carpeta admitan escritura y vuelva a abrir Zentaro.")
                      : QStringLiteral("El servidor de la base de datos solo admite lecturas: no se guardó nada. Avise "
                                       "al administrador de la base de datos.");
    case Condition::DiskError:
        return QStringLiteral("No se pudo leer o escribir el archivo de la base de datos (falla del disco). Revise el "
                              "disco y vuelva a intentarlo; si se repite, avise al administrador.");
    case Condition::Damaged:
        return QStringLiteral("La base de datos está dañada. Deje de usarla y avise al administrador para que la "
                              "recupere de su respaldo.");
    case Condition::Raised:
    case Condition::Other:
        break;
    }
    return sqlite ? failure.text.trimmed() : firstLine(failure.text);
}

} // namespace zentaro
