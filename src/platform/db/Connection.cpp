#include "platform/db/Connection.h"

#include "platform/core/Error.h"
#include "platform/db/FailureCode.h"
#include "platform/db/OpenFailureText.h"
#include "platform/db/PostgresPipeline.h"
#include "platform/db/SqlErrorText.h"
#include "platform/db/SqlText.h"

#include <QAtomicInt>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QtDebug>

#include <sqlite3.h>

#include <algorithm>


namespace zentaro {

namespace {

// Qt binds a null QString as SQL NULL; the suite's text columns hold "" instead.
QVariant bindable(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QStringLiteral("");
    return value;
}

void trace(const Statement &statement)
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
    QString line = statement.text;
    if (!statement.values.isEmpty()) {
        QStringList values;
        for (const QVariant &value : statement.values)
            values << (value.isNull() && value.typeId() != QMetaType::QString ? QStringLiteral("NULL") : value.toString());
        line += QStringLiteral("\t-- valores: ") + values.join(QStringLiteral(" | "));
    }
    else if (statement.kind == Statement::Kind::Bound)
        line += QStringLiteral("\t-- sin valores");
    if (statement.kind == Statement::Kind::Batch)
        line += QStringLiteral("\t-- filas: %1").arg(statement.rows);
    if (statement.kind == Statement::Kind::Definition)
        line += QStringLiteral("\t-- definición");
    line.replace(u'\\', QLatin1String("\\\\")).replace(u'\n', QLatin1String("\\n")).replace(u'\r', QLatin1String("\\r"));
    out.write(line.toUtf8() + '\n');
}

// Every connection carries it: it writes while ZENTARO_SQL_TRACE names a file, which support
// may set and clear while the program runs.
class TraceObserver final : public StatementObserver
{
public:
    void aboutToRun(const Statement &statement) override { trace(statement); }
};

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
    connection->addObserver(std::make_shared<TraceObserver>());
    connection->connect(mode);
    return connection;
}

void Connection::connect(OpenMode mode)
{
    m_dialect = SqlDialect::create(m_url.engine);
    const bool create = mode == OpenMode::Create;
    m_db = m_dialect->addDatabase(m_url, m_name, create);
    if (!m_db.isValid())
        throw Error(QStringLiteral("Falta el controlador de base de datos de Qt para %1").arg(m_dialect->engineName()));
    if (!m_db.open())
        throw Error(openFailureText(m_url, engineErrorText(m_db.lastError())));
    m_db.setNumericalPrecisionPolicy(QSql::HighPrecision);
    m_dialect->startSession(*this, m_db, create);
    applyTimeout();
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
    const QString statement = m_dialect->applyTimeout(m_db, m_commandTimeout);
    if (!statement.isEmpty())
        control(statement);
}

void Connection::addObserver(std::shared_ptr<StatementObserver> observer) { m_observers.push_back(std::move(observer)); }

void Connection::removeObserver(const StatementObserver *observer)
{
    m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                                     [observer](const auto &held) { return held.get() == observer; }),
                      m_observers.end());
}

void Connection::beforeStatement(const Statement &statement)
{
    if (m_pipeline)
        m_pipeline->beforeDirectStatement();
    if (m_inTransaction && m_failedDepth >= 0)
        throw Error(QStringLiteral("La transacción quedó anulada por un error anterior y debe deshacerse"));
    // A copy: an observer may add or remove observers while it looks.
    const auto observers = m_observers;
    for (const auto &observer : observers) {
        try {
            observer->aboutToRun(statement);
        } catch (const Error &error) {
            // Refused as the engine would refuse it: the statement never runs.
            recordFailureCode(this, {});
            fail(error.description());
        }
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

void Connection::control(const QString &statement, Statement::Kind kind)
{
    beforeStatement({kind, statement, {}, 0});
    QSqlQuery query(m_db);
    if (!query.exec(statement))
        fail(failureText(query.lastError()));
}

std::unique_ptr<QSqlQuery> Connection::prepare(const QString &statement, const QVariantList &values, Statement::Kind kind,
                                               bool streamed)
{
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    m_dialect->check(statement);
    beforeStatement({kind, statement, values, 0});
    auto query = std::make_unique<QSqlQuery>(m_db);
    // A streamed record set is read through once with no other statement in between (see
    // executeStreamed); otherwise the dialect says whether record sets may be forward only.
    query->setForwardOnly(streamed || m_dialect->forwardOnly());
    const QString text = m_dialect->adapt(statement);
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

void Connection::define(const QString &statement) { control(statement, Statement::Kind::Definition); }

void Connection::prefetch(const QString &statement, const QVariantList &values)
{
    if (m_pipeline)
        m_pipeline->prefetch(statement, values);
}

QString Connection::failureText(const QSqlError &error) const
{
    recordFailureCode(this, engineErrorCode(error));
    EngineFailure failure;
    failure.engine = m_url.engine;
    failure.code = error.nativeErrorCode();
    failure.text = engineErrorText(error);
    failure.connectionLost = m_dialect->connectionLost(m_db);
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
    if (m_pipeline)
        if (std::optional<Recordset> pipelined = m_pipeline->take(statement, {}, true))
            return std::move(*pipelined);
    return Recordset(prepare(statement, {}, Statement::Kind::ScreenText), [this](const QString &) { markFailed(); });
}

Recordset Connection::executeStreamed(const QString &statement)
{
    return Recordset(prepare(statement, {}, Statement::Kind::ScreenText, true), [this](const QString &) { markFailed(); });
}

Recordset Connection::select(const QString &statement, const QVariantList &values)
{
    if (m_pipeline)
        if (std::optional<Recordset> pipelined = m_pipeline->take(statement, values, false))
            return std::move(*pipelined);
    const auto failed = [this](const QString &) { markFailed(); };
    if (values.isEmpty())
        return Recordset(prepare(statement, values, Statement::Kind::Bound), failed);
    // The suite's lookups run the same text again and again: the prepared statement is
    // reused while no record set of it is still being read.
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    const QString text = m_dialect->adapt(statement);
    std::shared_ptr<QSqlQuery> cached = m_prepared.value(text);
    if (cached && cached.use_count() > 2)   // the cache and `cached` itself
        return Recordset(prepare(statement, values, Statement::Kind::Bound), failed);
    beforeStatement({Statement::Kind::Bound, statement, values, 0});
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
    query->setForwardOnly(m_dialect->forwardOnly());
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
        return prepare(statement, values, Statement::Kind::Bound)->numRowsAffected();
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(kSeveralStatements);
    beforeStatement({Statement::Kind::Bound, statement, values, 0});
    const QString text = m_dialect->adapt(statement);
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
    if (!m_dialect->batchesAtOnce())
        return runBatchByRows(statement, columns);
    beforeStatement({Statement::Kind::Batch, statement, {}, columns.first().size()});
    QSqlQuery query(m_db);
    if (!query.prepare(m_dialect->adapt(statement)))
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

namespace {

const QString kUnevenColumns = QStringLiteral("Las columnas de un bloque de filas deben tener el mismo número de valores");

bool even(const QList<QVariantList> &columns)
{
    return std::all_of(columns.begin(), columns.end(),
                       [&columns](const QVariantList &column) { return column.size() == columns.first().size(); });
}

} // namespace

void Connection::runBatchByRows(const QString &statement, const QList<QVariantList> &columns)
{
    if (!even(columns))
        throw Error(kUnevenColumns);
    const qsizetype rows = columns.first().size();
    beforeStatement({Statement::Kind::Batch, statement, {}, rows});
    QSqlQuery &query = cachedQuery(statement);
    for (qsizetype r = 0; r < rows; ++r) {
        QVariantList row;
        for (const QVariantList &column : columns)
            row << column.at(r);
        execPrepared(query, statement, row);
        query.finish();
    }
}

void Connection::insertRows(const QString &table, const QStringList &columns, const QList<QVariantList> &values)
{
    if (values.isEmpty() || values.first().isEmpty())
        return;
    if (values.size() != columns.size() || !even(values))
        throw Error(kUnevenColumns);
    if (!m_dialect->streamsRows()) {
        const QStringList marks(columns.size(), QStringLiteral("?"));
        return runBatch(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                        values);
    }
    // One stream for every row, within the open transaction.
    beforeStatement({Statement::Kind::Batch, m_dialect->streamStatement(table, columns), {}, values.first().size()});
    armDeadline();
    const QSqlError failure = m_dialect->streamRows(m_db, table, columns, values);
    m_deadlineArmed = false;
    if (failure.isValid())
        fail(failureText(failure));
}

void Connection::beginTrans()
{
    if (m_inTransaction)
        throw Error(QStringLiteral("Ya hay una transacción abierta en la conexión"));
    control(m_dialect->beginWrite());
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
    if (m_pipeline)
        m_pipeline->abandon();
    if (!m_inTransaction)
        return;
    const bool restoreTimeout = m_timeoutChangedInTransaction;
    endTransaction();
    if (m_dialect->transactionOpen(m_db)) {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("ROLLBACK"))) {
            // The connection is gone; the engine discards the transaction with it.
            qWarning("ROLLBACK falló: %s", qUtf8Printable(engineErrorText(query.lastError())));
            return;
        }
    }
    // A SET done inside the transaction went with it.
    if (restoreTimeout && m_dialect->settingsRollBack()) {
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
    if (m_timeoutChangedInTransaction && m_dialect->settingsRollBack())
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
