#pragma once

#include "platform/db/ConnectionUrl.h"
#include "platform/host/JsonLines.h"
#include "platform/host/ModuleLoader.h"

#include <QStringList>

#include <memory>

namespace zentaro {

class ModuleSession;

// Drives a module without a window, one command a line, writing what happens as JSON
// lines. A bad line stops the run with exit code 2; a script that runs to its end gives 0.
class ScriptRunner
{
public:
    ScriptRunner(ConnectionUrl database, QString user, ModuleLoader loader, JsonLines out = JsonLines());
    ~ScriptRunner();

    int run(const QStringList &lines);

private:
    struct BadLine
    {
        QString text;
    };

    void execute(const QStringList &words);
    void startSession();
    QWidget &control(const QString &name) const;
    QObject &callTarget(const QString &name) const;
    void commandType(const QStringList &words);
    void commandEnter(const QStringList &words);
    void commandClick(const QStringList &words);
    void commandSet(const QStringList &words);
    void commandCheck(const QStringList &words);
    void commandSelect(const QStringList &words);
    void commandKey(const QStringList &words);
    void commandTab(const QStringList &words);
    void commandCall(const QStringList &words);
    void commandShow(const QStringList &words);
    void commandSql(const QStringList &words);
    void commandGrab(const QStringList &words);
    void settle() const;

    ConnectionUrl m_database;
    QString m_user;
    ModuleLoader m_loader;
    JsonLines m_out;
    std::unique_ptr<ModuleSession> m_session;
    bool m_platformReady = false;
};

} // namespace zentaro
