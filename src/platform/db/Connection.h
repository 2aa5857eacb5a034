#pragma once

#include "platform/db/ConnectionUrl.h"
#include "platform/db/Recordset.h"
#include "platform/db/SqlDialect.h"
#include "platform/db/StatementObserver.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace zentaro {

class PostgresPipeline;

// The suite's database connection on Qt SQL. Every statement is one execute of one
// statement text; a text holding two statements is refused on every engine. Failures
// throw zentaro::Error with what the clerk can do about them (clerkErrorText); the
// engine's own text goes to the log.
//
// Transactions behave alike on both engines:
// - a write transaction takes the database's write turn when it begins (SQLite: BEGIN
//   IMMEDIATE, waiting up to the command timeout for another writer; PostgreSQL takes
//   row locks as it goes), so two clerks serialise instead of failing half-way;
// - a statement that fails inside a transaction leaves it dead, as PostgreSQL does: every
//   later statement is refused until it is rolled back (or, inside a nested scope, until
//   that scope's savepoint is rolled back);
// - rolling back with nothing open does nothing, so every error trap may call it;
// - the command timeout is what commandTimeout() says, also after a rollback.
class Connection
{
public:
    enum class OpenMode { MustExist, Create };

    static std::unique_ptr<Connection> open(const ConnectionUrl &url, OpenMode mode = OpenMode::MustExist);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Runs a statement composed as text by a screen, exactly as composed (SQLite receives
    // it through the dialect adapter).
    Recordset execute(const QString &statement);
    // The same for a large result read through once while no other statement runs on the
    // connection: PostgreSQL hands the rows over one at a time instead of holding them all
    // in memory beside what the reader builds of them. Another statement before the end
    // would cut such a record set short on PostgreSQL.
    Recordset executeStreamed(const QString &statement);
    // The suite's own statements, with bound values.
    Recordset select(const QString &statement, const QVariantList &values = {});
    int run(const QString &statement, const QVariantList &values = {});
    // Many executions of one statement; `columns` holds one list per placeholder. SQLite
    // runs them as one batch; PostgreSQL one execution a row of a statement prepared once.
    void runBatch(const QString &statement, const QList<QVariantList> &columns);
    // Announces a read that a PipelineScope (PostgresPipeline.h) will serve later; does
    // nothing outside one, or on SQLite.
    void prefetch(const QString &statement, const QVariantList &values = {});
    // Rows into `table`, one list of values per column of `columns`. PostgreSQL gets them
    // through COPY, since one bound INSERT a row costs a round trip each; SQLite as a batch
    // of INSERTs.
    void insertRows(const QString &table, const QStringList &columns, const QList<QVariantList> &values);

    // A definition of the suite's schema, run as written on every engine. Unlike the
    // statements above it may hold a trigger body with semicolons of its own; it never
    // carries text a screen composed.
    void define(const QString &statement);

    void beginTrans();
    void commitTrans();
    // Harmless when no transaction is open.
    void rollbackTrans();
    bool inTransaction() const { return m_inTransaction; }
    // True once a statement failed inside the open transaction: it can only be rolled back.
    bool transactionFailed() const { return m_inTransaction && m_failedDepth >= 0; }

    // Nested scopes inside an open transaction, as savepoints.
    void beginNested();
    void commitNested();
    void rollbackNested();
    int nestingDepth() const { return m_savepoints; }

    QString defaultDatabase() const { return m_url.databaseName(); }
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds);

    Engine engine() const { return m_url.engine; }
    // What differs between the engines, for the suite's code that composes SQL of its own.
    const SqlDialect &dialect() const { return *m_dialect; }
    const ConnectionUrl &url() const { return m_url; }

    // Called by the SQLite progress handler: true once the running statement is over time.
    bool overDeadline() const;

    // Observers see every statement the connection runs, in the order they were added (see
    // StatementObserver). Every connection carries the trace: while ZENTARO_SQL_TRACE names
    // a file, each statement is appended to it, one a line, with its values or rows.
    void addObserver(std::shared_ptr<StatementObserver> observer);
    void removeObserver(const StatementObserver *observer);

private:
    friend class PostgresPipeline;
    friend class PipelineScope;

    explicit Connection(ConnectionUrl url);
    void connect(OpenMode mode);
    void applyTimeout();
    // Checks, adapts and runs one statement; throws with the engine's text.
    std::unique_ptr<QSqlQuery> prepare(const QString &statement, const QVariantList &values, Statement::Kind kind,
                                       bool streamed = false);
    // Runs a statement of the connection's own (transaction control, settings).
    void control(const QString &statement, Statement::Kind kind = Statement::Kind::Control);
    // Refuses a statement of a failed transaction and shows it to the observers.
    void beforeStatement(const Statement &statement);
    void markFailed();
    [[noreturn]] void fail(const QString &text);
    void endTransaction();
    // For an engine that runs batches a row at a time: once a row, prepared once.
    void runBatchByRows(const QString &statement, const QList<QVariantList> &columns);
    QSqlQuery &cachedQuery(const QString &text);
    // Binds and runs a statement of the cache (stored under `key`); throws on failure.
    void execPrepared(QSqlQuery &query, const QString &key, const QVariantList &values);
    void armDeadline();
    // What the clerk reads for a failure of the engine; the engine's own text goes to the log.
    QString failureText(const QSqlError &error) const;

    ConnectionUrl m_url;
    std::unique_ptr<SqlDialect> m_dialect;
    QString m_name;
    QSqlDatabase m_db;
    bool m_inTransaction = false;
    int m_savepoints = 0;
    int m_failedDepth = -1;                  // savepoint depth of the first failure, -1 none
    bool m_timeoutChangedInTransaction = false;
    int m_commandTimeout = 30;
    std::chrono::steady_clock::time_point m_deadline {};
    bool m_deadlineArmed = false;
    // Prepared statements of the suite's own bound statements, reused by text: on
    // PostgreSQL each fresh one costs a PREPARE and a DEALLOCATE round trip.
    QHash<QString, std::shared_ptr<QSqlQuery>> m_prepared;
    std::vector<std::shared_ptr<StatementObserver>> m_observers;
    // Open while a PipelineScope is (PostgreSQL only).
    std::unique_ptr<PostgresPipeline> m_pipeline;
};

// Owns one transaction for a scope of the suite's own code: rolls back on every exit that
// did not commit. Inside a transaction somebody else opened it works in a savepoint, so a
// failure it rolls back leaves the outer transaction usable; the outer owner commits.
class TransactionGuard
{
public:
    explicit TransactionGuard(Connection &connection);
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard &) = delete;
    TransactionGuard &operator=(const TransactionGuard &) = delete;
    void commit();

private:
    Connection &m_connection;
    bool m_nested = false;
    bool m_done = false;
};

} // namespace zentaro
