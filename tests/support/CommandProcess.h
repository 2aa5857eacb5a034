#pragma once

// The real program (ZENTARO_BIN) run as a child process, the way an operator or cron runs it:
// its answer read back as JSON lines, and the pieces that kill it at a chosen moment.

#include "platform/db/Connection.h"

#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <atomic>
#include <string>

namespace zentaro::test {

struct CommandRun
{
    int exitCode = -1;          // -1: killed or crashed
    QStringList outLines;       // standard output, one line each
    QList<QJsonObject> lines;   // those lines as JSON objects
    QString errors;             // standard error

    // Everything the program wrote, for a failure's message.
    std::string text() const { return (outLines.join(u'\n') + u'\n' + errors).toStdString(); }
};

// The program's environment: HOME (printed files land there) and, when given, the file its
// SQL trace is written to.
QProcessEnvironment commandEnvironment(const QString &home = {}, const QString &trace = {});

// Starts the program; the caller owns the process and ends it with finishCommand.
QProcess *startCommand(const QStringList &arguments, const QProcessEnvironment &environment = commandEnvironment());
// Waits for the process and takes it over (deletes it).
CommandRun finishCommand(QProcess *process, int timeoutMs = 120000);
inline CommandRun runCommand(const QStringList &arguments, const QProcessEnvironment &environment = commandEnvironment(),
                             int timeoutMs = 120000)
{
    return finishCommand(startCommand(arguments, environment), timeoutMs);
}

// A process that may be killed from another thread (a fake server's hook): SIGKILL, as a
// power cut, of whichever process is watched at that moment.
class ProcessKiller
{
public:
    void watch(const QProcess &process) { m_pid = process.processId(); }
    void forget() { m_pid = 0; }
    void killNow() const;

private:
    std::atomic<qint64> m_pid = 0;
};

// The first value of the first row, empty when there is none.
QString firstValue(Connection &connection, const QString &sql, const QVariantList &values = {});
// The first value of every row.
QStringList firstColumn(Connection &connection, const QString &sql, const QVariantList &values = {});

// PostgreSQL: the backend pid of `connection`, and whether any session waits on a lock it holds.
QString backendPid(Connection &connection);
bool someoneWaitsOn(Connection &watcher, const QString &holderPid);

// Kills `process` once it waits on what the test holds: on PostgreSQL (holderPid given) once
// a session waits on a lock of that backend; on SQLite, whose wait shows nowhere, once the SQL
// trace shows `statement`, after a pause for the process to reach its next write. Answers
// whether that moment came before the process ended or a minute passed; kills it either way.
bool killWhenBlocked(QProcess &process, Connection &watcher, const QString &holderPid, const QString &trace,
                     const QByteArray &statement);

// The program killed while it waits on what `holder` holds, then let go: SQLite, the write
// turn (a transaction kept open); PostgreSQL, also the row `lockSql` selects FOR UPDATE.
// `statement` is what the SQL trace (in `trace`) shows once the run reaches its first write.
// Asserts that the run reached that moment and was killed there; `killed` is its output.
void killWhileHeld(Connection &holder, Connection &watcher, const QString &lockSql, const QStringList &arguments,
                   const QString &home, const QString &trace, const QByteArray &statement, CommandRun &killed);

} // namespace zentaro::test
