#pragma once

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>



namespace zentaro {
class Connection;
}

namespace zentaro::app {

// Keeps a second scheduled run off a database while one runs: a session advisory lock on
// PostgreSQL (per schema, held by the run's own connection, so it goes away with the
// process whatever happens), a lock file beside an SQLite database (a dead holder's file is
// taken over). Clerks are not held back by it; the database rules guard their notes.
class SchedulerLock
{
public:
    // Waits up to `waitSeconds` for the lock; throws zentaro::Error in Spanish when another
    // run still holds it then. `onWait` is called once, when the lock is found taken.
    static std::unique_ptr<SchedulerLock> acquire(Connection &connection, int waitSeconds,
                                                  const std::function<void()> &onWait = {});
    ~SchedulerLock();

    SchedulerLock(const SchedulerLock &) = delete;
    SchedulerLock &operator=(const SchedulerLock &) = delete;

    // The lock file of an SQLite database.
    static QString lockFilePath(const QString &databaseFile);

private:
    explicit SchedulerLock(Connection &connection) : m_connection(connection) {}

    Connection &m_connection;
    std::unique_ptr<QLockFile> m_file;
    QString m_release;   // the statement that releases the session lock taken, "" for none
};

} // namespace zentaro::app
