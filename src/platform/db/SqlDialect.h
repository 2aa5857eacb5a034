#pragma once

#include "platform/db/ConnectionUrl.h"
#include "platform/db/Schema.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>

namespace zentaro {

class Connection;
struct EngineFailure;

// What a clerk can do about a failure of the engine, as the engines' codes say it.
enum class FailureCondition { Other, Busy, Timeout, Lost, Permission, DiskFull, ReadOnly, DiskError, Damaged, Raised };

// A rule of the schema that refuses an update of a row, with a message per refusal. The
// engines write it in different ways (a trigger with its condition and SQLite's
// zentaro_raise; a trigger calling a PL/pgSQL function), from this one description.
struct RowRule
{
    struct Refusal
    {
        QString condition;      // over OLD and NEW
        QString message;        // "%" stands for each of `arguments`, in order
        QStringList arguments;  // expressions over OLD and NEW
    };
    QString trigger;            // the trigger's name
    QString table;
    QString column;             // an update of it fires the rule
    QString function;           // where the engine needs one: its name, shared by the tables of the rule
    QList<Refusal> refusals;    // the first that holds refuses
};

// A lock held by one session for as long as it wants, released with the session.
struct SessionLock
{
    QString tryTake;   // answers one boolean column: true when taken
    QString release;
};

// Everything that differs between the engines, one object per engine; the Connection owns
// the one of its engine, chosen when it opens. Outside the dialects and the choice of one,
// no code of the suite asks which engine it runs on.
class SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    // The dialect of an engine, for work without a connection (the schema's statements, a
    // failure's text). The one place, with ConnectionUrl's parsing, that tells engines apart.
    static const SqlDialect &of(Engine engine);
    // A dialect of the connection's own: it may keep state of the session.
    static std::unique_ptr<SqlDialect> create(Engine engine);

    virtual QString engineName() const = 0;

    // --- Opening
    // A database of Qt's driver for `url`, named `name`, configured and not yet open. Throws
    // zentaro::Error in Spanish when the database cannot be there (an SQLite file that does
    // not exist and is not to be created).
    virtual QSqlDatabase addDatabase(const ConnectionUrl &url, const QString &name, bool create) const = 0;
    // What every session needs once open (functions, settings, the schema); runs its
    // statements through `connection`.
    virtual void startSession(Connection &connection, const QSqlDatabase &db, bool create) const = 0;
    // A Spanish reading of the client library's failure to open, "" when there is none.
    virtual QString openFailureReading(const ConnectionUrl &url, const QString &engineText) const = 0;
    // The files that make up the database, which nothing else may write over.
    virtual QStringList databaseFiles(const ConnectionUrl &url) const = 0;

    // --- Statements
    // Refuses, before it runs, a statement the engine would misread; throws zentaro::Error.
    virtual void check(const QString &statement) const = 0;
    // The text the engine runs for a statement written in the suite's SQL.
    virtual QString adapt(const QString &statement) const = 0;
    // Whether record sets are read forward only.
    virtual bool forwardOnly() const = 0;
    // How many rows a batch statement sends at once: true for one execution of all rows,
    // false for one execution a row of a statement prepared once.
    virtual bool batchesAtOnce() const = 0;
    // True when rows into a table travel through a bulk stream of the engine (streamRows)
    // rather than as a batch of INSERTs.
    virtual bool streamsRows() const = 0;
    // Rows into a table through the engine's bulk stream, within the open transaction, from
    // their values as bound (one list per column). Answers the engine's failure, an invalid
    // one when every row was written.
    virtual QSqlError streamRows(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                                 const QList<QVariantList> &values) const = 0;
    // True when writes may be sent without waiting for their answers and reads announced
    // ahead, in one pipeline of the client library (PipelineScope).
    virtual bool pipelines() const = 0;
    // The statement that opens the stream, as the observers see it.
    virtual QString streamStatement(const QString &table, const QStringList &columns) const = 0;
    // The server's local time as text yyyy-MM-dd HH:mm:ss, in one column `ahora`.
    virtual QString localNowQuery() const = 0;
    // A lock held by the session, keyed by `key` and the current schema; nullopt where the
    // engine has none (a lock file serves instead).
    virtual std::optional<SessionLock> sessionLock(int key) const = 0;

    // --- Transactions and time limits
    // Begins a transaction that takes the database's write turn.
    virtual QString beginWrite() const = 0;
    // False when the engine has already ended the transaction by itself.
    virtual bool transactionOpen(const QSqlDatabase &db) const = 0;
    // Applies a command timeout (0: none). Answers a statement the connection must run for
    // it, "" when none.
    virtual QString applyTimeout(const QSqlDatabase &db, int seconds) const = 0;
    // True when a setting changed inside a transaction goes away with its rollback.
    virtual bool settingsRollBack() const = 0;

    // --- Failures
    virtual bool connectionLost(const QSqlDatabase &db) const = 0;
    virtual FailureCondition condition(const EngineFailure &failure) const = 0;
    // The engine's own words a clerk may read (a trigger's message, a constraint's).
    virtual QString engineWords(const QString &text) const = 0;
    virtual QString permissionText() const = 0;
    virtual QString readOnlyText() const = 0;

    // --- Types and definitions
    virtual QString columnType(schema::Type type, int size) const = 0;
    // What the schema needs before its tables (functions the screens' SQL calls).
    virtual QStringList schemaPrelude() const = 0;
    // A count, in column `n`, of the tables of the current schema named `lowerName`.
    virtual QString tableCountQuery(const QString &lowerName) const = 0;
    // The statements that create a rule; `withFunction` for the first table of a rule.
    virtual QStringList createRowRule(const RowRule &rule, bool withFunction) const = 0;
    // The statements that replace a rule created before with new refusals.
    virtual QStringList replaceRowRule(const RowRule &rule, bool withFunction) const = 0;
};

} // namespace zentaro
