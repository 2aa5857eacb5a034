#include "platform/db/SqliteDialect.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqlErrorText.h"
#include "platform/db/SqlText.h"
#include "platform/db/SqliteFunctions.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QtDebug>

#include <sqlite3.h>

#include <climits>

namespace zentaro {

namespace {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

int progress(void *context)
{
    return static_cast<const Connection *>(context)->overDeadline() ? 1 : 0;
}

// A message over OLD and NEW as SQLite concatenates it: 'La nota ' || OLD.Vn_Folio || '...'.
QString concatenated(const RowRule::Refusal &refusal)
{
    const QStringList pieces = refusal.message.split(u'%');
    QStringList parts;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (!pieces.at(i).isEmpty())
            parts << u'\'' + QString(pieces.at(i)).replace(u'\'', QLatin1String("''")) + u'\'';
        if (i < refusal.arguments.size() && i + 1 < pieces.size())
            parts << refusal.arguments.at(i);
    }
    return parts.join(QStringLiteral(" || "));
}

} // namespace

QString SqliteDialect::engineName() const { return QStringLiteral("SQLite"); }

QSqlDatabase SqliteDialect::addDatabase(const ConnectionUrl &url, const QString &name, bool create) const
{
    if (!create && !QFileInfo::exists(url.path))
        throw Error(QStringLiteral("No existe la base de datos %1. Créela con: zentaro init --db %1 --demo").arg(url.path));
    // A new database may be the first file of its folder (the demo's, on a new machine).
    if (create)
        QDir().mkpath(QFileInfo(url.path).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(url.path);
    return db;
}

void SqliteDialect::startSession(Connection &connection, const QSqlDatabase &db, bool) const
{
    sqlite3 *handle = sqliteHandle(db);
    if (!handle)
        throw Error(QStringLiteral("No se pudo obtener el acceso a SQLite"));
    sqlitefunctions::install(handle);
    sqlite3_progress_handler(handle, 20000, &progress, &connection);
    connection.run(QStringLiteral("PRAGMA foreign_keys = ON"));
    // A file that is not a database fails here, not later in the middle of a command.
    connection.select(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    // Readers never block the clerk who writes, and a writer never blocks readers.
    try {
        connection.select(QStringLiteral("PRAGMA journal_mode = WAL"));
    } catch (const Error &error) {
        // Another program holds the file in a transaction; the old journal still works.
        qWarning("SQLite sigue sin WAL: %s", error.what());
    }
}

QString SqliteDialect::openFailureReading(const ConnectionUrl &, const QString &) const { return {}; }

QStringList SqliteDialect::databaseFiles(const ConnectionUrl &url) const
{
    return {url.path, url.path + QStringLiteral("-wal"), url.path + QStringLiteral("-shm"),
            url.path + QStringLiteral("-journal")};
}

void SqliteDialect::check(const QString &statement) const
{
    if (sqltext::holdsEmptyInList(statement))
        throw Error(QStringLiteral("near \")\": syntax error: una lista IN no puede estar vacía"));
}

QString SqliteDialect::adapt(const QString &statement) const { return sqltext::adaptForSqlite(statement); }

// SQLite keeps several statements open at once; reading forward only costs nothing.
bool SqliteDialect::forwardOnly() const { return true; }

bool SqliteDialect::batchesAtOnce() const { return true; }

// Rows into a file cost no round trip: a batch of INSERTs is SQLite's bulk path.
bool SqliteDialect::streamsRows() const { return false; }

QSqlError SqliteDialect::streamRows(const QSqlDatabase &, const QString &, const QStringList &,
                                    const QList<QVariantList> &) const
{
    return QSqlError(QStringLiteral("SQLite"), QStringLiteral("SQLite no tiene un flujo de filas"),
                     QSqlError::StatementError);
}

QString SqliteDialect::streamStatement(const QString &, const QStringList &) const { return {}; }

QString SqliteDialect::localNowQuery() const { return QStringLiteral("SELECT datetime('now', 'localtime') AS ahora"); }

std::optional<SessionLock> SqliteDialect::sessionLock(int) const { return std::nullopt; }

// Takes the write turn now, waiting for it under the busy timeout, instead of failing with
// "database is locked" at the first write after a read.
QString SqliteDialect::beginWrite() const { return QStringLiteral("BEGIN IMMEDIATE"); }

bool SqliteDialect::transactionOpen(const QSqlDatabase &db) const
{
    // SQLite may have rolled back by itself already (a full disk, an I/O error).
    sqlite3 *handle = sqliteHandle(db);
    return !handle || !sqlite3_get_autocommit(handle);
}

QString SqliteDialect::applyTimeout(const QSqlDatabase &db, int seconds) const
{
    // Waiting for another clerk's write turn counts against the same limit.
    const qint64 ms = seconds == 0 ? INT_MAX : qint64(seconds) * 1000;
    sqlite3_busy_timeout(sqliteHandle(db), int(std::min<qint64>(ms, INT_MAX)));
    return {};
}

bool SqliteDialect::settingsRollBack() const { return false; }

bool SqliteDialect::connectionLost(const QSqlDatabase &) const { return false; }

// SQLite's primary result codes (extended codes carry them in their low byte).
FailureCondition SqliteDialect::condition(const EngineFailure &failure) const
{
    bool ok = false;
    const int primary = failure.code.toInt(&ok) & 0xff;
    if (!ok)
        return failure.text == QLatin1String("interrupted") ? FailureCondition::Timeout : FailureCondition::Other;
    switch (primary) {
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return FailureCondition::Permission;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return FailureCondition::Busy;
    case SQLITE_READONLY:
        return FailureCondition::ReadOnly;
    case SQLITE_INTERRUPT:   // the progress handler ended a command over its time
        return FailureCondition::Timeout;
    case SQLITE_IOERR:
        return FailureCondition::DiskError;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return FailureCondition::Damaged;
    case SQLITE_FULL:
        return FailureCondition::DiskFull;
    default:
        return FailureCondition::Other;
    }
}

QString SqliteDialect::engineWords(const QString &text) const { return text.trimmed(); }

QString SqliteDialect::permissionText() const
{
    return QStringLiteral("No hay permiso para usar el archivo de la base de datos. Pida al administrador "
                          "que le dé acceso al archivo y a su carpeta.");
}

QString SqliteDialect::readOnlyText() const
{
    return QStringLiteral("La base de datos solo se puede leer: no se guardó nada. Revise que el archivo "
                          "y su carpeta admitan escritura y vuelva a abrir Zentaro.");
}

QString SqliteDialect::columnType(schema::Type type, int) const
{
    using T = schema::Type;
    switch (type) {
    case T::Key:
    case T::Text:
    case T::LongText:
        return QStringLiteral("TEXT NOT NULL DEFAULT ''");
    case T::Money:
    case T::Number:
        return QStringLiteral("NUMERIC NOT NULL DEFAULT 0");
    case T::Quantity:
        return QStringLiteral("NUMERIC");
    case T::Integer:
        return QStringLiteral("INTEGER NOT NULL DEFAULT 0");
    case T::Date:
    case T::DateTime:
        return QStringLiteral("TEXT");
    }
    return {};
}

QStringList SqliteDialect::schemaPrelude() const { return {}; }

QString SqliteDialect::tableCountQuery(const QString &lowerName) const
{
    return QStringLiteral("SELECT count(*) AS n FROM sqlite_master WHERE type = 'table' AND lower(name) = '%1'")
        .arg(lowerName);
}

QStringList SqliteDialect::createRowRule(const RowRule &rule, bool) const
{
    // zentaro_raise is registered on every connection of the suite (SqliteFunctions).
    QStringList conditions;
    QString messages = QStringLiteral("CASE");
    for (const RowRule::Refusal &refusal : rule.refusals) {
        conditions << u'(' + refusal.condition + u')';
        messages += QStringLiteral(" WHEN %1 THEN %2").arg(refusal.condition, concatenated(refusal));
    }
    messages += QStringLiteral(" END");
    return {QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE OF %2 ON %3 FOR EACH ROW WHEN %4 "
                           "BEGIN SELECT zentaro_raise(%5); END")
                .arg(rule.trigger, rule.column, rule.table, conditions.join(QStringLiteral(" OR ")), messages)};
}

QStringList SqliteDialect::replaceRowRule(const RowRule &rule, bool withFunction) const
{
    return QStringList {QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(rule.trigger)} + createRowRule(rule, withFunction);
}

} // namespace zentaro
