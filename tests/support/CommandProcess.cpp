#include "support/CommandProcess.h"

#include "platform/db/Recordset.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <csignal>
#include <memory>

namespace zentaro::test {

QProcessEnvironment commandEnvironment(const QString &home, const QString &trace)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty())
        environment.insert(QStringLiteral("HOME"), home);
    if (!trace.isEmpty())
        environment.insert(QStringLiteral("ZENTARO_SQL_TRACE"), trace);
    return environment;
}

QProcess *startCommand(const QStringList &arguments, const QProcessEnvironment &environment)
{
    auto *process = new QProcess;
    process->setProcessEnvironment(environment);
    process->start(qEnvironmentVariable("ZENTARO_BIN"), arguments);
    return process;
}

CommandRun finishCommand(QProcess *process, int timeoutMs)
{
    std::unique_ptr<QProcess> owner(process);
    process->waitForFinished(timeoutMs);
    CommandRun run;
    run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    run.outLines = QString::fromUtf8(process->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : run.outLines)
        run.lines << QJsonDocument::fromJson(line.toUtf8()).object();
    run.errors = QString::fromUtf8(process->readAllStandardError());
    return run;
}

void ProcessKiller::killNow() const
{
    if (const qint64 pid = m_pid.load(); pid > 0)
        ::kill(pid_t(pid), SIGKILL);
}

QString firstValue(Connection &connection, const QString &sql, const QVariantList &values)
{
    Recordset rs = connection.select(sql, values);
    return rs.eof() ? QString() : rs.textAt(0);
}

QStringList firstColumn(Connection &connection, const QString &sql, const QVariantList &values)
{
    QStringList all;
    for (Recordset rs = connection.select(sql, values); !rs.eof(); rs.moveNext())
        all << rs.textAt(0);
    return all;
}

QString backendPid(Connection &connection)
{
    return firstValue(connection, QStringLiteral("SELECT pg_backend_pid()"));
}

bool someoneWaitsOn(Connection &watcher, const QString &holderPid)
{
    // The driver sends its statements as EXECUTE, so the waiter is found by who blocks it.
    return firstValue(watcher, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE %1 = ANY(pg_blocking_pids(pid))")
                                   .arg(holderPid.toInt()))
               .toInt() > 0;
}

bool killWhenBlocked(QProcess &process, Connection &watcher, const QString &holderPid, const QString &trace,
                     const QByteArray &statement)
{
    QElapsedTimer waited;
    waited.start();
    bool held = false;
    while (!held && waited.elapsed() < 60000 && process.state() == QProcess::Running) {
        QThread::msleep(50);
        if (!holderPid.isEmpty()) {
            held = someoneWaitsOn(watcher, holderPid);
        } else {
            QFile file(trace);
            held = file.open(QIODevice::ReadOnly) && file.readAll().contains(statement);
            if (held)
                QThread::msleep(1500);
        }
    }
    process.kill();
    return held;
}

void killWhileHeld(Connection &holder, Connection &watcher, const QString &lockSql, const QStringList &arguments,
                   const QString &home, const QString &trace, const QByteArray &statement, CommandRun &killed)
{
    holder.beginTrans();   // SQLite: the write turn, held until the run is killed
    QString holderPid;
    if (holder.engine() == Engine::Postgres) {
        holder.select(lockSql).close();
        holderPid = backendPid(holder);
    }
    QProcess *run = startCommand(arguments, commandEnvironment(home, trace));
    if (!run->waitForStarted()) {
        holder.rollbackTrans();
        delete run;
        FAIL() << "the program did not start";
    }
    const bool held = killWhenBlocked(*run, watcher, holderPid, trace, statement);
    killed = finishCommand(run);
    holder.rollbackTrans();
    ASSERT_TRUE(held) << "the run never reached the statement: " << killed.text();
    EXPECT_EQ(killed.exitCode, -1) << "the run ended before it was killed: " << killed.text();
}

} // namespace zentaro::test
