#include "platform/host/ShellWindow.h"

#include "platform/core/Error.h"
#include "platform/host/ModuleSession.h"
#include "platform/services/Platform.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTreeWidget>

namespace zentaro {

ShellWindow::ShellWindow(ModuleLoader loader, QWidget *parent)
    : QMainWindow(parent), m_loader(std::move(loader)), m_modules(new QTreeWidget), m_area(new QMdiArea)
{
    setObjectName(QStringLiteral("ZentaroShell"));
    setWindowTitle(QStringLiteral("Zentaro"));
    m_area->setViewMode(QMdiArea::TabbedView);
    m_area->setTabsClosable(true);
    setCentralWidget(m_area);

    m_modules->setHeaderHidden(true);   // the dock's title names the list
    auto *dock = new QDockWidget(QStringLiteral("Módulos"), this);
    dock->setObjectName(QStringLiteral("dockModulos"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setWidget(m_modules);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    connect(m_modules, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QString code = item->data(0, Qt::UserRole).toString();
        if (!code.isEmpty())
            openModule(code);
    });
    fillModuleTree();

    const Platform &platform = Platform::instance();
    statusBar()->showMessage(QStringLiteral("Usuario: %1    Base de datos: %2")
                                 .arg(platform.userCode(), platform.connection().url().display()));
}

ShellWindow::~ShellWindow() = default;

void ShellWindow::fillModuleTree()
{
    std::map<QString, QTreeWidgetItem *> families;
    for (const ModuleInfo &info : m_loader.modules()) {
        QTreeWidgetItem *&family = families[info.family];
        if (!family) {
            family = new QTreeWidgetItem(m_modules, {info.family});
            family->setExpanded(true);
        }
        auto *item = new QTreeWidgetItem(family, {info.code + QStringLiteral(" - ") + info.title});
        item->setData(0, Qt::UserRole, info.code);
    }
    m_modules->expandAll();
}

void ShellWindow::openModule(const QString &code)
{
    if (auto it = m_sessions.find(code); it != m_sessions.end()) {
        if (auto *window = qobject_cast<QMdiSubWindow *>(it->second->screen()->parentWidget()))
            m_area->setActiveSubWindow(window);
        return;
    }
    std::unique_ptr<ModuleSession> session;
    try {
        session = std::make_unique<ModuleSession>(m_loader, code);
    } catch (const Error &error) {
        QMessageBox::critical(this, QStringLiteral("Zentaro"), error.description());
        return;
    }
    QWidget *screen = session->screen();
    QMdiSubWindow *window = m_area->addSubWindow(screen);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowTitle(screen->windowTitle());
    connect(&session->host(), &HostObject::unloadRequested, this, [this, code] { closeModule(code); });
    connect(m_area, &QMdiArea::subWindowActivated, screen, [window, screen](QMdiSubWindow *active) {
        if (active == window)
            if (auto *hosted = dynamic_cast<HostedScreen *>(screen))
                dispatchEvent(screen->objectName() + QStringLiteral(".Form_Activate"), [hosted] { hosted->activateScreen(); });
    });
    m_sessions.emplace(code, std::move(session));
    // Showing the window activates it, which runs the screen's load and activate handlers.
    window->showMaximized();
}

void ShellWindow::closeModule(const QString &code)
{
    auto it = m_sessions.find(code);
    if (it == m_sessions.end())
        return;
    QWidget *screen = it->second->screen();
    if (auto *window = qobject_cast<QMdiSubWindow *>(screen->parentWidget())) {
        m_area->removeSubWindow(screen);
        window->deleteLater();
    }
    screen->setParent(nullptr);
    m_sessions.erase(it);
}

} // namespace zentaro
