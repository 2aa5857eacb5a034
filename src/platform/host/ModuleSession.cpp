#include "platform/host/ModuleSession.h"

#include "platform/core/Error.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/services/Platform.h"

namespace zentaro {

ModuleSession::ModuleSession(const ModuleLoader &loader, const QString &code)
{
    ModuleInterface &module = loader.load(code);
    for (const ModuleInfo &info : loader.modules())
        if (info.code.compare(code, Qt::CaseInsensitive) == 0)
            m_info = info;
    m_entry.reset(module.createEntry());
    m_screen = m_entry->GetPantalla();
    if (!m_screen || !hostedScreen())
        throw Error(QStringLiteral("El módulo %1 no entregó su pantalla").arg(code));
    m_host = std::make_unique<HostObject>(m_info.code, m_info.family);
    installElectronicDocuments(*m_host);
    hostedScreen()->setPadre(m_host.get());
}

ModuleSession::~ModuleSession()
{
    if (m_screen)
        m_screen->hide();
}

QObject *ModuleSession::entryObject() const { return dynamic_cast<QObject *>(m_entry.get()); }

HostedScreen *ModuleSession::hostedScreen() const { return dynamic_cast<HostedScreen *>(m_screen.data()); }

void ModuleSession::show()
{
    m_screen->show();
    HostedScreen *screen = hostedScreen();
    dispatchEvent(m_screen->objectName() + QStringLiteral(".Form_Load"), [screen] { screen->activateScreen(); });
}

} // namespace zentaro
