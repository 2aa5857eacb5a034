#include "platform/host/ShellWindow.h"

#include "platform/core/Error.h"
#include "platform/host/ModuleSession.h"
#include "platform/services/Platform.h"

#include <QDockWidget>
#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScrollArea>
#include <QStatusBar>
#include <QTreeWidget>

namespace zentaro {

ShellWindow::ShellWindow(ModuleLoader loader, QWidget *parent)
    : QMainWindow(parent), m_loader(std::move(loader)), m_modules(new QTreeWidget), m_area(new QMdiArea)
{
    setObjectName(QStringLiteral("ZentaroShell"));
    setWindowTitle(QStringLiteral("Zentaro"));
    // Every window of the suite (dialogs and message boxes too) carries its icon.
    QApplication::setWindowIcon(suiteIcon());
    setWindowIcon(suiteIcon());
    m_area->setViewMode(QMdiArea::TabbedView);
    m_area->setTabsClosable(true);
    setCentralWidget(m_area);

    m_modules->setHeaderHidden(true);   // the dock's title names the list
    m_dock = new QDockWidget(QStringLiteral("Módulos"), this);
    m_dock->setObjectName(QStringLiteral("dockModulos"));
    m_dock->setFeatures(QDockWidget::DockWidgetClosable);
    m_dock->setWidget(m_modules);
    addDockWidget(Qt::LeftDockWidgetArea, m_dock);
    QAction *showModules = m_dock->toggleViewAction();
    showModules->setText(QStringLiteral("Lista de módulos"));
    QMenu *view = menuBar()->addMenu(QStringLiteral("&Ver"));
    view->setObjectName(QStringLiteral("menuVer"));
    view->addAction(showModules);
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

QIcon ShellWindow::suiteIcon() { return QIcon(QStringLiteral(":/zentaro/zentaro.svg")); }

namespace {

// The sub-window that holds a screen, through the scroll area around it.
QMdiSubWindow *subWindowOf(QWidget *screen)
{
    for (QWidget *up = screen->parentWidget(); up; up = up->parentWidget())
        if (auto *window = qobject_cast<QMdiSubWindow *>(up))
            return window;
    return nullptr;
}

} // namespace

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
        if (QMdiSubWindow *window = subWindowOf(it->second->screen()))
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
    // A screen keeps the size it was designed for at least; where the work area is smaller
    // (1024 x 768 with the module list beside it) it scrolls instead of cutting controls off.
    auto *scroller = new QScrollArea;
    scroller->setObjectName(QStringLiteral("desplazamiento") + code);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(screen);
    QMdiSubWindow *window = m_area->addSubWindow(scroller);
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
    // On a narrow display (1024 wide) the module list would leave the screen too little
    // room: it steps aside, and "Ver > Lista de módulos" brings it back.
    // Checked once the window has its size.
    QTimer::singleShot(0, this, [this, scroller = QPointer<QScrollArea>(scroller)] {
        if (scroller && m_dock->isVisible() && scroller->viewport()->width() < scroller->widget()->minimumWidth())
            m_dock->hide();
    });
}

void ShellWindow::closeModule(const QString &code)
{
    auto it = m_sessions.find(code);
    if (it == m_sessions.end())
        return;
    QWidget *screen = it->second->screen();
    if (QMdiSubWindow *window = subWindowOf(screen)) {
        // The screen belongs to its session, not to the scroll area that held it.
        QWidget *inner = window->widget();
        if (auto *scroller = qobject_cast<QScrollArea *>(inner))
            scroller->takeWidget();
        m_area->removeSubWindow(inner);
        if (inner != screen)
            inner->deleteLater();
        window->deleteLater();
    }
    screen->setParent(nullptr);
    m_sessions.erase(it);
}

} // namespace zentaro
