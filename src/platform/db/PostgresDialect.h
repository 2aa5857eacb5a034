#pragma once

#include "platform/db/SqlDialect.h"

namespace zentaro {

// PostgreSQL through Qt's driver and, beneath it, libpq: the suite's SQL runs as written (the
// schema defines the functions it calls), rows in bulk travel by COPY, the command timeout
// is the server's statement_timeout and the scheduler's lock an advisory lock.
class PostgresDialect final : public SqlDialect
{
public:
    QString engineName() const override;

    QSqlDatabase addDatabase(const ConnectionUrl &url, const QString &name, bool create) const override;
    void startSession(Connection &connection, const QSqlDatabase &db, bool create) const override;
    QString openFailureReading(const ConnectionUrl &url, const QString &engineText) const override;
    QStringList databaseFiles(const ConnectionUrl &url) const override;

    void check(const QString &statement) const override;
    QString adapt(const QString &statement) const override;
    bool forwardOnly() const override;
    bool batchesAtOnce() const override;
    bool streamsRows() const override;
    bool pipelines() const override { return true; }
    QSqlError streamRows(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                         const QList<QVariantList> &values) const override;
    QString streamStatement(const QString &table, const QStringList &columns) const override;
    QString localNowQuery() const override;
    std::optional<SessionLock> sessionLock(int key) const override;

    QString beginWrite() const override;
    bool transactionOpen(const QSqlDatabase &db) const override;
    QString applyTimeout(const QSqlDatabase &db, int seconds) const override;
    bool settingsRollBack() const override;

    bool connectionLost(const QSqlDatabase &db) const override;
    FailureCondition condition(const EngineFailure &failure) const override;
    QString engineWords(const QString &text) const override;
    QString permissionText() const override;
    QString readOnlyText() const override;

    QString columnType(schema::Type type, int size) const override;
    QStringList schemaPrelude() const override;
    QString tableCountQuery(const QString &lowerName) const override;
    QStringList createRowRule(const RowRule &rule, bool withFunction) const override;
    QStringList replaceRowRule(const RowRule &rule, bool withFunction) const override;
};

} // namespace zentaro
