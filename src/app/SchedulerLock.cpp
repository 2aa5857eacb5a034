#include "SchedulerLock.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqlDialect.h"

#include <QDeadlineTimer>
#include <QLockFile>
#include <QThread>

namespace zentaro::app {

namespace {

// The key of the scheduler's lock among the session locks of the suite.
constexpr int kLockKey = 417;

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
    const std::optional<SessionLock> sessionLock = connection.dialect().sessionLock(kLockKey);
    if (!sessionLock) {
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
        Recordset rs = connection.select(sessionLock->tryTake);
        if (rs.value(0).toBool())
            break;
        if (deadline.hasExpired())
            throw stillRunning(waitSeconds);
        if (!announced && onWait)
            onWait();
        announced = true;
        QThread::msleep(500);
    }
    lock->m_release = sessionLock->release;
    return lock;
}

SchedulerLock::~SchedulerLock()
{
    if (!m_release.isEmpty()) {
        try {
            m_connection.select(m_release);
        } catch (const Error &) {
            // The lock belongs to the session: closing the connection releases it anyway.
        }
    }
}

} // namespace zentaro::app
