#pragma once

#include "platform/host/ModuleLoader.h"

#include <QMainWindow>

#include <map>
#include <memory>

class QDockWidget;
class QIcon;
class QMdiArea;
class QTreeWidget;
class QTreeWidgetItem;

namespace zentaro {

class ModuleSession;

// The suite's main window: the modules by family on the left, each opened screen in a
// window of its own inside the work area.
class ShellWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ShellWindow(ModuleLoader loader, QWidget *parent = nullptr);
    ~ShellWindow() override;

    // Opens (or brings to the front) the module of that code.
    void openModule(const QString &code);

    // The suite's icon (the one the package installs).
    static QIcon suiteIcon();

private:
    void fillModuleTree();
    void closeModule(const QString &code);

    ModuleLoader m_loader;
    QTreeWidget *m_modules;
    QDockWidget *m_dock = nullptr;
    QMdiArea *m_area;
    std::map<QString, std::unique_ptr<ModuleSession>> m_sessions;
};

} // namespace zentaro
