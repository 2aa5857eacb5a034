#include "platform/db/PostgresDialect.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/OpenFailureText.h"
#include "platform/db/PostgresCopy.h"
#include "platform/db/SqlErrorText.h"

#include <QRegularExpression>

namespace zentaro {

namespace {

// A refusal as PL/pgSQL raises it: RAISE EXCEPTION 'La nota % ...', OLD.Vn_Folio.
QString raised(const RowRule::Refusal &refusal)
{
    QString text = QStringLiteral("RAISE EXCEPTION '%1'").arg(QString(refusal.message).replace(u'\'', QLatin1String("''")));
    for (const QString &argument : refusal.arguments)
        text += QStringLiteral(", ") + argument;
    return text + u';';
}

QString ruleFunction(const RowRule &rule)
{
    QString body = QStringLiteral("BEGIN ");
    for (const RowRule::Refusal &refusal : rule.refusals)
        body += QStringLiteral("IF %1 THEN %2 END IF; ").arg(refusal.condition, raised(refusal));
    body += QStringLiteral("RETURN NEW; END");
    body.replace(u'\'', QLatin1String("''"));
    return QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger AS '%2' LANGUAGE plpgsql").arg(rule.function, body);
}

} // namespace

QString PostgresDialect::engineName() const { return QStringLiteral("PostgreSQL"); }

QSqlDatabase PostgresDialect::addDatabase(const ConnectionUrl &url, const QString &name, bool) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(url.host);
    db.setPort(url.port);
    db.setDatabaseName(url.database);
    db.setUserName(url.user);
    db.setPassword(url.password);
    db.setConnectOptions(url.connectOptions());
    return db;
}

void PostgresDialect::startSession(Connection &connection, const QSqlDatabase &, bool create) const
{
    // Text literals (sql::quoted) double their quotes and nothing else: a backslash in
    // them must stay a character, whatever the server or the role was configured with.
    connection.define(QStringLiteral("SET standard_conforming_strings = on"));
    const QString schema = connection.url().schema;
    if (!schema.isEmpty()) {
        if (create)
            connection.run(QStringLiteral("CREATE SCHEMA IF NOT EXISTS \"%1\"").arg(schema));
        connection.run(QStringLiteral("SET search_path TO \"%1\"").arg(schema));
    }
}

QString PostgresDialect::openFailureReading(const ConnectionUrl &url, const QString &engineText) const
{
    return postgresOpenReading(url, engineText);
}

QStringList PostgresDialect::databaseFiles(const ConnectionUrl &) const { return {}; }

void PostgresDialect::check(const QString &) const {}

QString PostgresDialect::adapt(const QString &statement) const { return statement; }

// Forward-only makes Qt's PostgreSQL driver stream rows in single-row mode, where the next
// statement on the connection silently drops the rest of an open record set. Screens read
// record sets while they run other statements, so PostgreSQL results are fetched whole.
bool PostgresDialect::forwardOnly() const { return false; }

// Qt's driver sends a batch as one statement a row anyway.
bool PostgresDialect::batchesAtOnce() const { return false; }

bool PostgresDialect::streamsRows() const { return true; }

QSqlError PostgresDialect::streamRows(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                                      const QList<QVariantList> &values) const
{
    // One statement and one stream for every row, where a bound INSERT costs a round trip each.
    return postgrescopy::copyRows(db, table, columns, values);
}

QString PostgresDialect::streamStatement(const QString &table, const QStringList &columns) const
{
    return postgrescopy::copyStatement(table, columns);
}

QString PostgresDialect::localNowQuery() const
{
    return QStringLiteral("SELECT to_char(LOCALTIMESTAMP, 'YYYY-MM-DD HH24:MI:SS') AS ahora");
}

std::optional<SessionLock> PostgresDialect::sessionLock(int key) const
{
    // Keyed by the schema too: two companies kept in two schemas of one database are apart.
    return SessionLock {QStringLiteral("SELECT pg_try_advisory_lock(%1, hashtext(current_schema())) AS taken").arg(key),
                        QStringLiteral("SELECT pg_advisory_unlock(%1, hashtext(current_schema())) AS released").arg(key)};
}

// PostgreSQL takes row locks as the transaction goes.
QString PostgresDialect::beginWrite() const { return QStringLiteral("BEGIN"); }

bool PostgresDialect::transactionOpen(const QSqlDatabase &) const { return true; }

QString PostgresDialect::applyTimeout(const QSqlDatabase &, int seconds) const
{
    return QStringLiteral("SET statement_timeout = %1").arg(qint64(seconds) * 1000);
}

bool PostgresDialect::settingsRollBack() const { return true; }

bool PostgresDialect::connectionLost(const QSqlDatabase &db) const { return postgrescopy::isBroken(db); }

FailureCondition PostgresDialect::condition(const EngineFailure &failure) const
{
    const QString &code = failure.code;
    if (code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") || code == QLatin1String("57P02")
        || code == QLatin1String("57P03"))
        return FailureCondition::Lost;
    if (code == QLatin1String("42501"))
        return FailureCondition::Permission;
    if (code == QLatin1String("53100"))
        return FailureCondition::DiskFull;
    if (code == QLatin1String("55P03") || code == QLatin1String("40P01") || code == QLatin1String("40001"))
        return FailureCondition::Busy;
    if (code == QLatin1String("57014"))
        return FailureCondition::Timeout;
    if (code == QLatin1String("25006"))
        return FailureCondition::ReadOnly;
    if (code == QLatin1String("XX001") || code == QLatin1String("XX002"))
        return FailureCondition::Damaged;
    if (code == QLatin1String("P0001"))
        return FailureCondition::Raised;
    // libpq reports a dead connection without any SQLSTATE.
    if (failure.connectionLost)
        return FailureCondition::Lost;
    return FailureCondition::Other;
}

// PostgreSQL's message without "ERROR:  ", its DETAIL, HINT and CONTEXT lines and the
// "(SQLSTATE)" Qt's driver appends.
QString PostgresDialect::engineWords(const QString &text) const
{
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC):\\s*"));
    static const QRegularExpression code(QStringLiteral("\\s*\\([0-9A-Z]{5}\\)$"));
    QString line = text.trimmed().section(u'\n', 0, 0).trimmed();
    line.remove(severity);
    line.remove(code);
    return line.trimmed();
}

QString PostgresDialect::permissionText() const
{
    return QStringLiteral("El usuario de la base de datos no tiene permiso para esta operación. Pida al "
                          "administrador de la base de datos que le dé acceso.");
}

QString PostgresDialect::readOnlyText() const
{
    return QStringLiteral("El servidor de la base de datos solo admite lecturas: no se guardó nada. Avise "
                          "al administrador de la base de datos.");
}

QString PostgresDialect::columnType(schema::Type type, int size) const
{
    using T = schema::Type;
    switch (type) {
    case T::Key:
    case T::Text:
        return QStringLiteral("VARCHAR(%1) NOT NULL DEFAULT ''").arg(size);
    case T::LongText:
        return QStringLiteral("TEXT NOT NULL DEFAULT ''");
    case T::Money:
    case T::Number:
        return QStringLiteral("NUMERIC(18,6) NOT NULL DEFAULT 0");
    case T::Quantity:
        return QStringLiteral("NUMERIC(18,6)");
    case T::Integer:
        return QStringLiteral("INTEGER NOT NULL DEFAULT 0");
    case T::Date:
        return QStringLiteral("DATE");
    case T::DateTime:
        return QStringLiteral("TIMESTAMP");
    }
    return {};
}

QStringList PostgresDialect::schemaPrelude() const
{
    // The screens write ISNULL(a, b) as SQL Server does; PostgreSQL gets it as a function.
    return {QStringLiteral("CREATE OR REPLACE FUNCTION isnull(anycompatible, anycompatible) "
                           "RETURNS anycompatible AS 'SELECT COALESCE($1, $2)' LANGUAGE sql IMMUTABLE")};
}

QString PostgresDialect::tableCountQuery(const QString &lowerName) const
{
    return QStringLiteral("SELECT count(*) AS n FROM information_schema.tables "
                          "WHERE table_schema = current_schema() AND table_name = '%1'")
        .arg(lowerName);
}

QStringList PostgresDialect::createRowRule(const RowRule &rule, bool withFunction) const
{
    QStringList statements;
    if (withFunction)
        statements << ruleFunction(rule);
    statements << QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE OF %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %4()")
                      .arg(rule.trigger.toLower(), rule.column, rule.table, rule.function);
    return statements;
}

QStringList PostgresDialect::replaceRowRule(const RowRule &rule, bool withFunction) const
{
    // The triggers stay; the function they call is replaced once for every table.
    return withFunction ? QStringList {ruleFunction(rule)} : QStringList {};
}

} // namespace zentaro
