#pragma once

#include "platform/services/Platform.h"

#include <QObject>
#include <QString>

namespace zentaro {

using DatabaseConnection = Connection;

// The session as a screen sees it: database, user, configuration, permissions, messages.
class Environment
{
public:
    DatabaseConnection &Connection() const;
    QString UserCode() const;
    // The branch or warehouse the user is bound to; "" when the user may work in any.
    QString UserBranch() const;
    QString UserWarehouse() const;
    // A configuration variable. `type` "N" answers a number (the default when the stored
    // text is not one), "B" answers "1" or "0", "T" and "" the text as stored. A variable
    // that is not defined answers `defaultValue`.
    QString GetVariable(const QString &name, int flag, const QString &type, const QString &defaultValue) const;
    // Whether the user holds the permission `key` of `module`. A "*" row grants every
    // module or key.
    bool HasPermission(const QString &module, const QString &key, const QString &deniedText) const;
    int ShowMessage(const QString &message, int style, const QString &title, QWidget *owner,
                    const QString &module, const QString &errorId) const;

private:
    QString userColumn(const char *column) const;
};

} // namespace zentaro
