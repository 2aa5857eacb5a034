#pragma once

#include "platform/host/HostObject.h"
#include "platform/host/ModuleInterface.h"
#include "platform/host/ModuleLoader.h"

#include <QPointer>

#include <memory>

namespace zentaro {

// One module opened by the host, in the order the host contract asks: load the plugin,
// create the entry, read its screen, hand the screen its host object, show it.
class ModuleSession
{
public:
    // Throws zentaro::Error when the module cannot be loaded or gives no screen.
    ModuleSession(const ModuleLoader &loader, const QString &code);
    ~ModuleSession();

    ModuleEntry &entry() const { return *m_entry; }
    QObject *entryObject() const;
    QWidget *screen() const { return m_screen; }
    HostedScreen *hostedScreen() const;
    HostObject &host() const { return *m_host; }
    const ModuleInfo &info() const { return m_info; }

    // Shows the screen as a top-level window and runs its load and activate handlers.
    void show();

private:
    ModuleInfo m_info;
    std::unique_ptr<ModuleEntry> m_entry;
    QPointer<QWidget> m_screen;
    std::unique_ptr<HostObject> m_host;
};

} // namespace zentaro
