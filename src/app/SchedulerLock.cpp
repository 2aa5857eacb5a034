#include "SchedulerLock.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"

#include <QDeadlineTimer>
#include <QLockFile>
#include <QThread>

namespace zentaro::app {

namespace {

// One advisory lock key per schema of the suite: two companies kept in two schemas of one
// PostgreSQL database are invoiced independently.
const QString kTryAdvisory = QStringLiteral("SELECT pg_try_advisory_lock(417, hashtext(current_schema())) AS taken");
const QString kReleaseAdvisory = QStringLiteral("SELECT pg_advisory_unlock(417, hashtext(current_schema())) AS released");

Error stillRunning(int waitSeconds)
{
    return Error(QStringLiteral("Otra facturación global sigue en curso en esta base de datos; se dejó de esperar tras %1 s")
                     .arg(waitSeconds));
}

} // namespace

QString SchedulerLock::lockFilePath(const QString &databaseFile)
{
    return databaseFile + QStringLiteral(".factura-global.lock");
}

std::unique_ptr<SchedulerLock> SchedulerLock::acquire(Connection &connection, int waitSeconds,
                                                      const std::function<void()> &onWait)
{
    std::unique_ptr<SchedulerLock> lock(new SchedulerLock(connection));
    if (connection.engine() == Engine::Sqlite) {
        lock->m_file = std::make_unique<QLockFile>(lockFilePath(connection.url().path));
        // A run may take longer than any age we could pick; a holder that died is still
        // recognised by its process id.
        lock->m_file->setStaleLockTime(0);
        if (!lock->m_file->tryLock(0)) {
            if (lock->m_file->error() == QLockFile::PermissionError)
                throw Error(QStringLiteral("No se puede crear el archivo de bloqueo %1").arg(lockFilePath(connection.url().path)));
            if (onWait)
                onWait();
            if (!lock->m_file->tryLock(waitSeconds * 1000))
                throw stillRunning(waitSeconds);
        }
        return lock;
    }
    const QDeadlineTimer deadline(qint64(waitSeconds) * 1000);
    bool announced = false;
    for (;;) {
        Recordset rs = connection.select(kTryAdvisory);
        if (rs.value(0).toBool())
            break;
        if (deadline.hasExpired())
            throw stillRunning(waitSeconds);
        if (!announced && onWait)
            onWait();
        announced = true;
        QThread::msleep(500);
    }
    lock->m_advisory = true;
    return lock;
}

SchedulerLock::~SchedulerLock()
{
    if (m_advisory) {
        try {
            m_connection.select(kReleaseAdvisory);
        } catch (const Error &) {
            // The lock belongs to the session: closing the connection releases it anyway.
        }
    }
}

} // namespace zentaro::app
