#include "platform/db/Connection.h"

#include "platform/core/Error.h"
#include "platform/db/FailureCode.h"
#include "platform/db/OpenFailureText.h"
#include "platform/db/PostgresCopy.h"
#include "platform/db/SqlErrorText.h"
#include "platform/db/SqlText.h"
#include "platform/db/SqliteFunctions.h"

#include <QAtomicInt>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QtDebug>

#include <sqlite3.h>

#include <climits>

namespace zentaro {

namespace {

// Qt binds a null QString as SQL NULL; the suite's text columns hold "" instead.
QVariant bindable(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QStringLiteral("");
    return value;
}

void trace(const QString &statement)
{
    // The file stays open while the variable names it: tracing a large Accept must not
    // open and close a file for each of its tens of thousands of statements.
    static QString path;
    static QFile out;
    const QString file = qEnvironmentVariable("ZENTARO_SQL_TRACE");
    if (file != path) {
        out.close();
        path = file;
        if (!path.isEmpty()) {
            out.setFileName(path);
            if (!out.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Unbuffered))
                path.clear();   // tracing is a help for support, never a reason for the statement to fail
        }
    }
    if (path.isEmpty())
        return;
    QString line = statement;
    line.replace(u'\\', QLatin1String("\\\\")).replace(u'\n', QLatin1String("\\n")).replace(u'\r', QLatin1String("\\r"));
    out.write(line.toUtf8() + '\n');
}

int sqliteProgress(void *context)
{
    return static_cast<const Connection *>(context)->overDeadline() ? 1 : 0;
}

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

const QString kSeveralStatements = QStringLiteral("La instrucción contiene más de un comando; se ejecuta uno a la vez");

constexpr int kPreparedCacheSize = 64;

QString savepointName(int depth) { return QStringLiteral("zentaro_sp_%1").arg(depth); }

} // namespace

namespace {

// Kept beside the connections rather than in them, so that the code of a failure reaches a
// caller without a change to what every screen includes.
QMutex failureCodesMutex;
QHash<const Connection *, QString> failureCodes;

void recordFailureCode(const Connection *connection, const QString &code)
{
    QMutexLocker lock(&failureCodesMutex);
    if (code.isEmpty())
        failureCodes.remove(connection);
    else
        failureCodes.insert(connection, code);
}


} // namespace

Connection::Connection(ConnectionUrl url) : m_url(std::move(url))
{
    static QAtomicInt counter;
    m_name = QStringLiteral("zentaro-%1").arg(counter.fetchAndAddRelaxed(1));
}

Connection::~Connection()
{
    recordFailureCode(this, {});
    m_prepared.clear();
    if (m_db.isOpen()) {
        if (m_inTransaction)
            m_db.rollback();
        m_db.close();
    }
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

std::unique_ptr<Connection> Connection::open(const ConnectionUrl &url, OpenMode mode)
{
    std::unique_ptr<Connection> connection(new Connection(url));
    connection->connect(mode);
    return connection;
}

void Connection::connect(OpenMode mode)
{
    if (m_url.engine == Engine::Sqlite) {
        if (mode == OpenMode::MustExist && !QFileInfo::exists(m_url.path))
            throw Error(QStringLiteral("No existe la base de datos %1. Créela con: zentaro init --db %1 --demo")
                            .arg(m_url.path));
        // A new database may be the first file of its folder (the demo's, on a new machine).
        if (mode == OpenMode::Create)
            QDir().mkpath(QFileInfo(m_url.path).absolutePath());
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(m_url.path);
    } else {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        m_db.setHostName(m_url.host);
        m_db.setPort(m_url.port);
        m_db.setDatabaseName(m_url.database);
        m_db.setUserName(m_url.user);
        m_db.setPassword(m_url.password);
        m_db.setConnectOptions(m_url.connectOptions());
    }
    if (!m_db.isValid())
        throw Error(QStringLiteral("Falta el controlador de base de datos de Qt para %1")
                        .arg(m_url.engine == Engine::Sqlite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL")));
    if (!m_db.open())
        throw Error(openFailureText(m_url, engineErrorText(m_db.lastError())));
    m_db.setNumericalPrecisionPolicy(QSql::HighPrecision);

    if (m_url.engine == Engine::Sqlite) {
        installSqliteDialect();
        run(QStringLiteral("PRAGMA foreign_keys = ON"));
        // A file that is not a database fails here, not later in the middle of a command.
        select(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        // Readers never block the clerk who writes, and a writer never blocks readers.
        try {
            select(QStringLiteral("PRAGMA journal_mode = WAL"));
        } catch (const Error &error) {
            // Another program holds the file in a transaction; the old journal still works.
            qWarning("SQLite sigue sin WAL: %s", error.what());
        }
    } else {
        // Text literals (sql::quoted) double their quotes and nothing else: a backslash in
        // them must stay a character, whatever the server or the role was configured with.
        control(QStringLiteral("SET standard_conforming_strings = on"));
        if (!m_url.schema.isEmpty()) {
            if (mode == OpenMode::Create)
                run(QStringLiteral("CREATE SCHEMA IF NOT EXISTS \"%1\"").arg(m_url.schema));
            run(QStringLiteral("SET search_path TO \"%1\"").arg(m_url.schema));
        }
    }
    applyTimeout();
}

void Connection::installSqliteDialect()
{
    sqlite3 *handle = sqliteHandle(m_db);
    if (!handle)
        throw Error(QStringLiteral("No se pudo obtener el acceso a SQLite"));
    sqlitefunctions::install(handle);
    sqlite3_progress_handler(handle, 20000, &sqliteProgress, this);
}

bool Connection::overDeadline() const
{
    return m_deadlineArmed && std::chrono::steady_clock::now() > m_deadline;
}

void Connection::setCommandTimeout(int seconds)
{
    m_commandTimeout = seconds < 0 ? 0 : seconds;
    applyTimeout();
    if (m_inTransaction)
        m_timeoutChangedInTransaction = true;
}

void Connection::applyTimeout()
{
    if (m_url.engine == Engine::Sqlite) {
        // Waiting for another clerk's write turn counts against the same limit.
        const qint64 ms = m_commandTimeout == 0 ? INT_MAX : qint64(m_commandTimeout) * 1000;
        sqlite3_busy_timeout(sqliteHandle(m_db), int(std::min<qint64>(ms, INT_MAX)));
    } else {
        control(QStringLiteral("SET statement_timeout = %1").arg(qint64(m_commandTimeout) * 1000));
    }
}

void Connection::beforeStatement(const QString &statement)
{
    if (m_inTransaction && m_failedDepth >= 0)
        throw Error(QStringLiteral("La transacción quedó anulada por un error anterior y debe deshacerse"));
    if (!m_faultHook)
        return;
    try {
        m_faultHook(statement);
    } catch (const Error &error) {
        recordFailureCode(this, {});
        fail(error.description());
    }
}

void Connection::markFailed()
{
    if (m_inTransaction && m_failedDepth < 0)
        m_failedDepth = m_savepoints;
}

QString lastFailureCode(const Connection &connection)
{
    QMutexLocker lock(&failureCodesMutex);
    return failureCodes.value(&connection);
}

void forgetLastFailure(const Connection &connection) { recordFailureCode(&connection, {}); }

bool isRuleRefusal(const QString &engineCode)
{
    return engineCode == QLatin1String("P0001") || engineCode == QString::number(SQLITE_CONSTRAINT_TRIGGER);
}

void Connection::fail(const QString &text)
{
    markFailed();
    throw Error(text);
}

void Connection::control(const QString &statement)
{
    beforeStatement(statement);
    QSqlQuery query(m_db);
    if (!query.exec(statement))
        fail(failureText(query.lastError()));
}

std::unique_ptr<QSqlQuery> Connection::prepare(const QString &statement, const QVariantList &values, bool streamed)
{
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    if (m_url.engine == Engine::Sqlite && sqltext::holdsEmptyInList(statement))
        throw Error(QStringLiteral("near \")\": syntax error: una lista IN no puede estar vacía"));
    beforeStatement(statement);
    auto query = std::make_unique<QSqlQuery>(m_db);
    // Forward-only makes Qt's PostgreSQL driver stream rows in single-row mode, where the
    // next statement on the connection silently drops the rest of an open record set.
    // Screens read record sets while they run other statements, so PostgreSQL results
    // are fetched whole; SQLite keeps several statements open without that problem.
    query->setForwardOnly(streamed || m_url.engine == Engine::Sqlite);
    const QString text = m_url.engine == Engine::Sqlite ? sqltext::adaptForSqlite(statement) : statement;
    // PostgreSQL prepares only queries and data changes, so a statement without values runs
    // as it is; the check above keeps it to one command.
    bool ok = false;
    armDeadline();
    if (values.isEmpty()) {
        ok = query->exec(text);
    } else {
        if (!query->prepare(text)) {
            m_deadlineArmed = false;
            fail(failureText(query->lastError()));
        }
        for (const QVariant &v : values)
            query->addBindValue(bindable(v));
        ok = query->exec();
    }
    m_deadlineArmed = false;
    if (!ok)
        fail(failureText(query->lastError()));
    return query;
}

void Connection::armDeadline()
{
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_commandTimeout);
    m_deadlineArmed = m_commandTimeout > 0;
}

void Connection::define(const QString &statement) { control(statement); }

QString Connection::failureText(const QSqlError &error) const
{
    recordFailureCode(this, engineErrorCode(error));
    EngineFailure failure;
    failure.engine = m_url.engine;
    failure.code = error.nativeErrorCode();
    failure.text = engineErrorText(error);
    failure.connectionLost = m_url.engine == Engine::Postgres && postgrescopy::isBroken(m_db);
    failure.timeoutSeconds = m_commandTimeout;
    const QString text = clerkErrorText(failure);
    // The engine's own words are for support: they stay in the log.
    if (text != failure.text)
        qWarning("%s [%s]: %s", qUtf8Printable(m_url.display()), qUtf8Printable(failure.code),
                 qUtf8Printable(failure.text));
    return text;
}

Recordset Connection::execute(const QString &statement)
{
    trace(statement);
    return Recordset(prepare(statement, {}), [this](const QString &) { markFailed(); });
}

Recordset Connection::executeStreamed(const QString &statement)
{
    trace(statement);
    return Recordset(prepare(statement, {}, true), [this](const QString &) { markFailed(); });
}

Recordset Connection::select(const QString &statement, const QVariantList &values)
{
    const auto failed = [this](const QString &) { markFailed(); };
    if (values.isEmpty())
        return Recordset(prepare(statement, values), failed);
    // The suite's lookups run the same text again and again: the prepared statement is
    // reused while no record set of it is still being read.
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    const QString text = m_url.engine == Engine::Sqlite ? sqltext::adaptForSqlite(statement) : statement;
    std::shared_ptr<QSqlQuery> cached = m_prepared.value(text);
    if (cached && cached.use_count() > 2)   // the cache and `cached` itself
        return Recordset(prepare(statement, values), failed);
    beforeStatement(statement);
    if (!cached) {
        cachedQuery(text);
        cached = m_prepared.value(text);
    }
    execPrepared(*cached, text, values);
    // The record set holds the statement through an alias that finishes it when the last
    // copy is gone, so that SQLite releases its read at once.
    QSqlQuery *query = cached.get();
    return Recordset(std::shared_ptr<QSqlQuery>(query, [keep = std::move(cached)](QSqlQuery *q) { q->finish(); }), failed);
}

QSqlQuery &Connection::cachedQuery(const QString &text)
{
    auto it = m_prepared.find(text);
    if (it != m_prepared.end())
        return **it;
    if (m_prepared.size() >= kPreparedCacheSize)
        m_prepared.clear();
    auto query = std::make_shared<QSqlQuery>(m_db);
    // As in prepare(): PostgreSQL results are fetched whole.
    query->setForwardOnly(m_url.engine == Engine::Sqlite);
    if (!query->prepare(text))
        fail(failureText(query->lastError()));
    m_prepared.insert(text, query);
    return *query;
}

void Connection::execPrepared(QSqlQuery &query, const QString &key, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, bindable(values.at(i)));
    armDeadline();
    const bool ok = query.exec();
    m_deadlineArmed = false;
    if (ok)
        return;
    const QString failure = failureText(query.lastError());
    // A statement that failed is prepared again next time: on PostgreSQL a failure can come
    // from a dropped connection or an aborted transaction that took it along.
    m_prepared.remove(key);
    fail(failure);
}

int Connection::run(const QString &statement, const QVariantList &values)
{
    if (values.isEmpty())
        return prepare(statement, values)->numRowsAffected();
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    beforeStatement(statement);
    const QString text = m_url.engine == Engine::Sqlite ? sqltext::adaptForSqlite(statement) : statement;
    QSqlQuery &query = cachedQuery(text);
    execPrepared(query, text, values);
    const int rows = query.numRowsAffected();
    query.finish();
    return rows;
}

void Connection::runBatch(const QString &statement, const QList<QVariantList> &columns)
{
    if (columns.isEmpty() || columns.first().isEmpty())
        return;
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    if (m_url.engine == Engine::Postgres)
        return runBatchOnPostgres(statement, columns);
    beforeStatement(statement);
    QSqlQuery query(m_db);
    if (!query.prepare(sqltext::adaptForSqlite(statement)))
        fail(failureText(query.lastError()));
    for (const QVariantList &column : columns) {
        QVariantList bound;
        bound.reserve(column.size());
        for (const QVariant &v : column)
            bound << bindable(v);
        query.addBindValue(bound);
    }
    armDeadline();
    const bool ok = query.execBatch();
    m_deadlineArmed = false;
    if (!ok)
        fail(failureText(query.lastError()));
}

void Connection::runBatchOnPostgres(const QString &statement, const QList<QVariantList> &columns)
{
    static const QRegularExpression insert(
        QStringLiteral("^\\s*INSERT\\s+INTO\\s+(\\w+)\\s*\\(([\\w\\s,]+)\\)\\s*VALUES\\s*\\(([\\s?,]*)\\)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const qsizetype rows = columns.first().size();
    for (const QVariantList &column : columns)
        if (column.size() != rows)
            throw Error(QStringLiteral("Las columnas de un bloque de filas deben tener el mismo número de valores"));
    const QRegularExpressionMatch match = insert.match(statement);
    QStringList names;
    if (match.hasMatch()) {
        for (const QString &name : match.captured(2).split(u','))
            names << name.trimmed();
    }
    if (names.size() == columns.size() && match.captured(3).count(u'?') == columns.size()) {
        // One stream for every row: COPY, within the open transaction.
        const QString copy = postgrescopy::copyStatement(match.captured(1), names);
        beforeStatement(copy);
        armDeadline();
        const QSqlError failure = postgrescopy::copyRows(m_db, match.captured(1), names, columns);
        m_deadlineArmed = false;
        if (failure.isValid())
            fail(failureText(failure));
        return;
    }
    // Any other statement (one that already lists several rows) runs once a row, prepared once.
    beforeStatement(statement);
    QSqlQuery &query = cachedQuery(statement);
    for (qsizetype r = 0; r < rows; ++r) {
        QVariantList row;
        for (const QVariantList &column : columns)
            row << column.at(r);
        execPrepared(query, statement, row);
        query.finish();
    }
}

void Connection::beginTrans()
{
    if (m_inTransaction)
        throw Error(QStringLiteral("Ya hay una transacción abierta en la conexión"));
    // SQLite: take the write turn now, waiting for it under the busy timeout, instead of
    // failing with "database is locked" at the first write after a read.
    control(m_url.engine == Engine::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    m_inTransaction = true;
    m_savepoints = 0;
    m_failedDepth = -1;
    m_timeoutChangedInTransaction = false;
}

void Connection::commitTrans()
{
    if (!m_inTransaction)
        throw Error(QStringLiteral("No hay una transacción abierta que confirmar"));
    if (m_failedDepth >= 0) {
        // PostgreSQL would answer COMMIT with a silent ROLLBACK; say so instead.
        rollbackTrans();
        throw Error(QStringLiteral("La transacción quedó anulada por un error anterior y se deshizo"));
    }
    try {
        control(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        // A commit that fails leaves nothing half-written: what it could not keep is undone.
        rollbackTrans();
        throw;
    }
    endTransaction();
}

void Connection::rollbackTrans()
{
    if (!m_inTransaction)
        return;
    const bool restoreTimeout = m_timeoutChangedInTransaction;
    endTransaction();
    sqlite3 *handle = m_url.engine == Engine::Sqlite ? sqliteHandle(m_db) : nullptr;
    // SQLite may have rolled back by itself already (a full disk, an I/O error).
    if (!handle || !sqlite3_get_autocommit(handle)) {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("ROLLBACK"))) {
            // The connection is gone; the engine discards the transaction with it.
            qWarning("ROLLBACK falló: %s", qUtf8Printable(engineErrorText(query.lastError())));
            return;
        }
    }
    // A SET done inside the transaction went with it.
    if (restoreTimeout && m_url.engine == Engine::Postgres) {
        try {
            applyTimeout();
        } catch (const Error &error) {
            qWarning("No se restableció el tiempo de espera: %s", error.what());
        }
    }
}

void Connection::endTransaction()
{
    m_inTransaction = false;
    m_savepoints = 0;
    m_failedDepth = -1;
    m_timeoutChangedInTransaction = false;
}

void Connection::beginNested()
{
    if (!m_inTransaction)
        throw Error(QStringLiteral("No hay una transacción abierta en la que anidar"));
    control(QStringLiteral("SAVEPOINT ") + savepointName(m_savepoints + 1));
    ++m_savepoints;
}

void Connection::commitNested()
{
    if (m_savepoints == 0)
        throw Error(QStringLiteral("No hay un ámbito anidado que confirmar"));
    control(QStringLiteral("RELEASE SAVEPOINT ") + savepointName(m_savepoints));
    --m_savepoints;
}

void Connection::rollbackNested()
{
    if (m_savepoints == 0 || !m_inTransaction)
        return;
    const QString name = savepointName(m_savepoints);
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + name)
        || !query.exec(QStringLiteral("RELEASE SAVEPOINT ") + name)) {
        // The whole transaction is in doubt: only its owner's rollback can end it.
        m_failedDepth = 0;
        --m_savepoints;
        return;
    }
    if (m_failedDepth >= m_savepoints)
        m_failedDepth = -1;
    --m_savepoints;
    if (m_timeoutChangedInTransaction && m_url.engine == Engine::Postgres)
        applyTimeout();
}

TransactionGuard::TransactionGuard(Connection &connection) : m_connection(connection)
{
    if (m_connection.inTransaction()) {
        m_connection.beginNested();
        m_nested = true;
    } else {
        m_connection.beginTrans();
    }
}

TransactionGuard::~TransactionGuard()
{
    if (m_done)
        return;
    if (m_nested)
        m_connection.rollbackNested();
    else
        m_connection.rollbackTrans();
}

void TransactionGuard::commit()
{
    if (m_nested)
        m_connection.commitNested();
    else
        m_connection.commitTrans();
    m_done = true;
}

} // namespace zentaro
