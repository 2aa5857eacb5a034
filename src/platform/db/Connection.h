#pragma once

#include "platform/db/ConnectionUrl.h"
#include "platform/db/Recordset.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <chrono>
#include <memory>

namespace zentaro {

// The suite's database connection on Qt SQL. Every statement is one execute of one
// statement text; a text holding two statements is refused on every engine. Failures
// throw zentaro::Error carrying the engine's own text.
class Connection
{
public:
    enum class OpenMode { MustExist, Create };

    static std::unique_ptr<Connection> open(const ConnectionUrl &url, OpenMode mode = OpenMode::MustExist);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Runs a statement composed as text by a screen, exactly as composed (SQLite receives
    // it through the dialect adapter). The text is traced when ZENTARO_SQL_TRACE names a file.
    Recordset execute(const QString &statement);
    // The suite's own statements, with bound values.
    Recordset select(const QString &statement, const QVariantList &values = {});
    int run(const QString &statement, const QVariantList &values = {});
    // Many rows through one prepared statement; `columns` holds one list per placeholder.
    void runBatch(const QString &statement, const QList<QVariantList> &columns);

    void beginTrans();
    void commitTrans();
    void rollbackTrans();
    bool inTransaction() const { return m_inTransaction; }

    QString defaultDatabase() const { return m_url.databaseName(); }
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds);

    Engine engine() const { return m_url.engine; }
    const ConnectionUrl &url() const { return m_url; }

    // Called by the SQLite progress handler: true once the running statement is over time.
    bool overDeadline() const;

private:
    explicit Connection(ConnectionUrl url);
    void connect(OpenMode mode);
    void installSqliteDialect();
    // Checks, adapts and runs one statement; throws with the engine's text.
    std::unique_ptr<QSqlQuery> prepare(const QString &statement, const QVariantList &values);
    void armDeadline();
    QString failureText(const QSqlQuery &query) const;

    ConnectionUrl m_url;
    QString m_name;
    QSqlDatabase m_db;
    bool m_inTransaction = false;
    int m_commandTimeout = 30;
    std::chrono::steady_clock::time_point m_deadline {};
    bool m_deadlineArmed = false;
};

// Owns one transaction for a scope of the suite's own code: rolls back on every exit that
// did not commit. Inside a transaction somebody else opened it takes part without
// committing, so the outer owner decides.
class TransactionGuard
{
public:
    explicit TransactionGuard(Connection &connection);
    ~TransactionGuard();
    void commit();

private:
    Connection &m_connection;
    bool m_owner = false;
    bool m_done = false;
};

} // namespace zentaro
