#pragma once

// What every benchmark needs around the work it times: a database of its own, messages on
// standard error, and the process's memory as the kernel counts it.

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace zentaro::bench {

class StderrPresenter : public MessagePresenter
{
public:
    int present(const Message &message, QWidget *) override
    {
        std::fprintf(stderr, "mensaje: %s\n", qPrintable(message.text));
        return 1;
    }
    void reportError(const QString &text, const QString &where) override
    {
        std::fprintf(stderr, "error en %s: %s\n", qPrintable(where), qPrintable(text));
    }
};

// Kilobytes of a field of /proc/self/status ("VmRSS" now, "VmHWM" at the peak).
inline long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    return -1;
}

// Starts the peak ("VmHWM") over from the resident memory of now, so that a figure measures
// one step rather than the filling of the database before it.
inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// "sqlite" is a file in `dir`; a PostgreSQL URL gets a schema of this process's own, which
// ScratchSchema drops at the end.
inline ConnectionUrl benchDatabase(const QString &target, const QTemporaryDir &dir)
{
    ConnectionUrl url;
    if (target == QLatin1String("sqlite")) {
        url.path = dir.filePath(QStringLiteral("bench.sqlite"));
        return url;
    }
    url = ConnectionUrl::parse(target);
    url.schema = QStringLiteral("bench_%1").arg(QCoreApplication::applicationPid());
    return url;
}

struct ScratchSchema
{
    ConnectionUrl url;
    ~ScratchSchema()
    {
        if (url.schema.isEmpty())
            return;
        try {
            ConnectionUrl admin = url;
            admin.schema.clear();
            const auto connection = Connection::open(admin);
            // The cascade's notice lists every table; the figures are what the bench prints.
            connection->run(QStringLiteral("SET client_min_messages = warning"));
            connection->run(QStringLiteral("DROP SCHEMA \"%1\" CASCADE").arg(url.schema));
        } catch (const Error &error) {
            std::fprintf(stderr, "no se borró el esquema %s: %s\n", qPrintable(url.schema), error.what());
        }
    }
};

} // namespace zentaro::bench
