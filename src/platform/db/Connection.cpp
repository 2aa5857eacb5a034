#include "platform/db/Connection.h"

#include "platform/core/Error.h"
#include "platform/db/OpenFailureText.h"
#include "platform/db/SqlText.h"
#include "platform/db/SqliteFunctions.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

namespace zentaro {

namespace {

// Qt binds a null QString as SQL NULL; the suite's text columns hold "" instead.
QVariant bindable(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QStringLiteral("");
    return value;
}

QString engineText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

void trace(const QString &statement)
{
    const QString file = qEnvironmentVariable("ZENTARO_SQL_TRACE");
    if (file.isEmpty())
        return;
    QFile out(file);
    if (!out.open(QIODevice::Append | QIODevice::WriteOnly))
        return;   // tracing is a help for support, never a reason for the statement to fail
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

} // namespace

Connection::Connection(ConnectionUrl url) : m_url(std::move(url))
{
    static QAtomicInt counter;
    m_name = QStringLiteral("zentaro-%1").arg(counter.fetchAndAddRelaxed(1));
}

Connection::~Connection()
{
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
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(m_url.path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
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
        throw Error(openFailureText(m_url, engineText(m_db.lastError())));
    m_db.setNumericalPrecisionPolicy(QSql::HighPrecision);

    if (m_url.engine == Engine::Sqlite) {
        installSqliteDialect();
        run(QStringLiteral("PRAGMA foreign_keys = ON"));
        // A file that is not a database fails here, not later in the middle of a command.
        select(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } else if (!m_url.schema.isEmpty()) {
        if (mode == OpenMode::Create)
            run(QStringLiteral("CREATE SCHEMA IF NOT EXISTS \"%1\"").arg(m_url.schema));
        run(QStringLiteral("SET search_path TO \"%1\"").arg(m_url.schema));
    }
    setCommandTimeout(m_commandTimeout);
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
    if (m_url.engine == Engine::Postgres)
        run(QStringLiteral("SET statement_timeout = %1").arg(qint64(m_commandTimeout) * 1000));
}

std::unique_ptr<QSqlQuery> Connection::prepare(const QString &statement, const QVariantList &values)
{
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(QStringLiteral("La instrucción contiene más de un comando; se ejecuta uno a la vez"));
    auto query = std::make_unique<QSqlQuery>(m_db);
    // Forward-only makes Qt's PostgreSQL driver stream rows in single-row mode, where the
    // next statement on the connection silently drops the rest of an open record set.
    // Screens read record sets while they run other statements, so PostgreSQL results
    // are fetched whole; SQLite keeps several statements open without that problem.
    query->setForwardOnly(m_url.engine == Engine::Sqlite);
    if (m_url.engine == Engine::Sqlite && sqltext::holdsEmptyInList(statement))
        throw Error(QStringLiteral("near \")\": syntax error: una lista IN no puede estar vacía"));
    const QString text = m_url.engine == Engine::Sqlite ? sqltext::adaptForSqlite(statement) : statement;
    // PostgreSQL prepares only queries and data changes, so a statement without values runs
    // as it is; the check above keeps it to one command.
    if (values.isEmpty()) {
        armDeadline();
        const bool ok = query->exec(text);
        m_deadlineArmed = false;
        if (!ok)
            throw Error(failureText(*query));
        return query;
    }
    if (!query->prepare(text))
        throw Error(engineText(query->lastError()));
    for (const QVariant &v : values)
        query->addBindValue(bindable(v));
    armDeadline();
    const bool ok = query->exec();
    m_deadlineArmed = false;
    if (!ok)
        throw Error(failureText(*query));
    return query;
}

void Connection::armDeadline()
{
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_commandTimeout);
    m_deadlineArmed = m_commandTimeout > 0;
}

QString Connection::failureText(const QSqlQuery &query) const
{
    QString text = engineText(query.lastError());
    if (m_url.engine == Engine::Sqlite && text == QLatin1String("interrupted"))
        text = QStringLiteral("interrupted: se agotó el tiempo de espera de %1 s").arg(m_commandTimeout);
    return text;
}

Recordset Connection::execute(const QString &statement)
{
    trace(statement);
    return Recordset(prepare(statement, {}));
}

Recordset Connection::select(const QString &statement, const QVariantList &values)
{
    return Recordset(prepare(statement, values));
}

int Connection::run(const QString &statement, const QVariantList &values)
{
    return prepare(statement, values)->numRowsAffected();
}

void Connection::runBatch(const QString &statement, const QList<QVariantList> &columns)
{
    if (columns.isEmpty() || columns.first().isEmpty())
        return;
    if (sqltext::holdsSeveralStatements(statement))
        throw Error(QStringLiteral("La instrucción contiene más de un comando; se ejecuta uno a la vez"));
    auto query = std::make_unique<QSqlQuery>(m_db);
    const QString text = m_url.engine == Engine::Sqlite ? sqltext::adaptForSqlite(statement) : statement;
    if (!query->prepare(text))
        throw Error(engineText(query->lastError()));
    for (const QVariantList &column : columns) {
        QVariantList bound;
        bound.reserve(column.size());
        for (const QVariant &v : column)
            bound << bindable(v);
        query->addBindValue(bound);
    }
    armDeadline();
    const bool ok = query->execBatch();
    m_deadlineArmed = false;
    if (!ok)
        throw Error(failureText(*query));
}

void Connection::beginTrans()
{
    if (m_inTransaction)
        throw Error(QStringLiteral("Ya hay una transacción abierta en la conexión"));
    if (!m_db.transaction())
        throw Error(engineText(m_db.lastError()));
    m_inTransaction = true;
}

void Connection::commitTrans()
{
    if (!m_inTransaction)
        throw Error(QStringLiteral("No hay una transacción abierta que confirmar"));
    m_inTransaction = false;
    if (!m_db.commit()) {
        // A commit that fails leaves nothing half-written: what it could not keep is undone.
        const QString text = engineText(m_db.lastError());
        m_db.rollback();
        throw Error(text);
    }
}

void Connection::rollbackTrans()
{
    if (!m_inTransaction)
        throw Error(QStringLiteral("No hay una transacción abierta que deshacer"));
    m_inTransaction = false;
    if (!m_db.rollback())
        throw Error(engineText(m_db.lastError()));
}

TransactionGuard::TransactionGuard(Connection &connection) : m_connection(connection)
{
    if (!m_connection.inTransaction()) {
        m_connection.beginTrans();
        m_owner = true;
    }
}

TransactionGuard::~TransactionGuard()
{
    if (m_owner && !m_done && m_connection.inTransaction()) {
        try {
            m_connection.rollbackTrans();
        } catch (const Error &) {
            // The rollback of a broken connection fails too; the engine drops the work.
        }
    }
}

void TransactionGuard::commit()
{
    m_done = true;
    if (m_owner)
        m_connection.commitTrans();
}

} // namespace zentaro
