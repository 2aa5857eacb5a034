#pragma once

#include "platform/db/ConnectionUrl.h"

#include <QSqlError>
#include <QString>

namespace zentaro {

// The engine's own words for a failure, falling back to the driver's and Qt's.
QString engineErrorText(const QSqlError &error);

// A failure of the engine, as the connection knows it.
struct EngineFailure
{
    Engine engine = Engine::Sqlite;
    QString code;                 // SQLite's result code, PostgreSQL's SQLSTATE ("" when none came)
    QString text;                 // the engine's own words
    bool connectionLost = false;  // the client library says the connection is gone
    int timeoutSeconds = 0;       // the command timeout in force
};

// What the clerk reads. The conditions a clerk or an administrator can act on (a busy or
// locked database, a command over its time, a lost connection, no permission, a full disk,
// a read-only database, a damaged file) get a Spanish sentence that says what to do. A
// message raised by the suite's own triggers reaches the clerk as it was raised, without
// PostgreSQL's severity, context lines and code. Any other failure (a key already taken,
// a broken statement) keeps the engine's first line: it is for whoever fixes the program.
QString clerkErrorText(const EngineFailure &failure);

// The engine's code of a failure: PostgreSQL's SQLSTATE, SQLite's result code as a number
// (extended, since the suite's connections ask SQLite for extended codes).
QString engineErrorCode(const QSqlError &error);

} // namespace zentaro
