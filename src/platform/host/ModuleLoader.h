#pragma once

#include "platform/host/ModuleInterface.h"

#include <QList>
#include <QString>

namespace zentaro {

struct ModuleInfo
{
    QString code;
    QString family;
    QString title;
    QString version;
    QString file;
};

// Finds modules in the plugin folder by the metadata compiled into them, without loading
// them, and loads one by its code.
class ModuleLoader
{
public:
    // The folder named by ZENTARO_PLUGIN_PATH, else "plugins" beside or above the program.
    static QString defaultFolder();

    explicit ModuleLoader(QString folder = defaultFolder());

    QList<ModuleInfo> modules() const;
    // Loads the module of that code; throws zentaro::Error with the loader's text when it
    // is missing, of another interface version or cannot be loaded.
    ModuleInterface &load(const QString &code) const;

private:
    QString m_folder;
};

} // namespace zentaro
