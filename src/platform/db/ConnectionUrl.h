#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace zentaro {

enum class Engine { Sqlite, Postgres };

// Where a database lives. Written as a file path or `sqlite:PATH` for SQLite. PostgreSQL
// takes the two forms libpq documents:
//   postgresql://[user[:password]@][host][:port]/database[?name=value&...]   (or postgres://)
//   host=... port=... user=... dbname=... name=value ...
// A host that starts with "/" is the folder of the server's local socket; it may come
// percent-encoded in the authority or as `?host=`. Every libpq parameter is accepted
// (sslmode, connect_timeout, application_name, options, passfile, ...), plus the suite's own
// `schema=NAME`, which keeps several databases of the suite apart in one PostgreSQL database.
// What the text leaves out (host, port, user, password) libpq takes from its defaults and
// environment, so a password may come from PGPASSWORD or the password file instead of the
// command line, where any user of the machine could read it.
struct ConnectionUrl
{
    Engine engine = Engine::Sqlite;
    QString path;         // SQLite file
    QString host;         // server name, address or socket folder; "" for libpq's default
    int port = -1;        // -1 for libpq's default (PGPORT, else 5432)
    QString user;         // "" for libpq's default (PGUSER, else the system user)
    QString password;     // "" lets libpq look in PGPASSWORD and the password file
    QString database;
    QString schema;       // PostgreSQL schema, "" for the default search path
    // The other libpq parameters, in the order written, each name once.
    QList<std::pair<QString, QString>> parameters;

    // Throws zentaro::Error with a Spanish explanation when the text is not a database URL.
    // The explanation never repeats the text, which may hold a password.
    static ConnectionUrl parse(const QString &text);
    // The demo database in the user's data folder.
    static ConnectionUrl defaultDemo();
    // The URL without its password (nor any other secret), for messages; parse() reads it back.
    QString display() const;
    // The name the connection gives as its database: the file's base name or the
    // PostgreSQL database (with its schema when one is set).
    QString databaseName() const;
    // The libpq parameters beyond host, port, user, password and database, as the text
    // Qt's PostgreSQL driver appends to its connection string.
    QString connectOptions() const;
    QString parameter(const QString &name) const;
};

} // namespace zentaro
