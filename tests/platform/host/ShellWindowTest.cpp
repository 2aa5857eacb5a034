#include "support/SessionFixture.h"

#include "platform/controls/Toolbar.h"
#include "platform/db/DemoData.h"
#include "platform/host/GuiPresenter.h"
#include "platform/host/ModuleLoader.h"
#include "platform/host/ShellWindow.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

using namespace zentaro;

namespace {

class ShellWindowTest : public test::SessionTest
{
protected:
    void seed() override
    {
        demo::fill(db(), {417, QDate(2026, 12, 6), 0});
    }
};

// The shell as a clerk meets it on a small display: the suite's icon on its windows, the
// screen whole (the module list steps aside at 1024 x 768 and comes back from the menu;
// smaller still, the screen scrolls, never cut), and the path of a document written in the
// status bar.
TEST_P(ShellWindowTest, OnASmallDisplayTheScreenStaysWholeAndTheStatusBarSaysWhereDocumentsWent)
{
    struct Case
    {
        QSize display;
        bool listShown;
        bool scrolls;
    };
    for (const Case &c : {Case {{1280, 800}, true, false}, Case {{1024, 768}, false, false},
                          Case {{800, 600}, false, true}}) {
        SCOPED_TRACE(c.display.width());
        ShellWindow shell {ModuleLoader(qEnvironmentVariable("ZENTARO_PLUGIN_PATH"))};
        EXPECT_FALSE(shell.windowIcon().isNull());
        EXPECT_FALSE(QApplication::windowIcon().pixmap(32, 32).isNull());   // drawn, not only named

        shell.setGeometry(QRect(QPoint(0, 0), c.display));
        shell.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
        shell.openModule(QStringLiteral("QX417"));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        auto *scroller = shell.findChild<QScrollArea *>(QStringLiteral("desplazamientoQX417"));
        ASSERT_NE(scroller, nullptr);
        QWidget *screen = scroller->widget();
        ASSERT_NE(screen, nullptr);
        auto *modules = shell.findChild<QDockWidget *>(QStringLiteral("dockModulos"));
        EXPECT_EQ(modules->isVisible(), c.listShown);
        EXPECT_GE(screen->width(), screen->minimumWidth());
        EXPECT_GE(screen->height(), screen->minimumHeight());
        EXPECT_EQ(scroller->horizontalScrollBar()->maximum() > 0, c.scrolls);
        EXPECT_EQ(scroller->horizontalScrollBar()->maximum(), std::max(0, screen->width() - scroller->viewport()->width()));
        if (!c.listShown) {
            modules->toggleViewAction()->trigger();   // Ver > Lista de módulos
            EXPECT_TRUE(modules->isVisible());
        }

        const QString before = shell.statusBar()->currentMessage();
        EXPECT_TRUE(before.contains(QStringLiteral("Usuario: ADMIN")));
        GuiPresenter().reportOutput(QStringLiteral("/home/caja/Documents/Zentaro/EKU9003173C9/FG-000007.pdf"));
        EXPECT_EQ(shell.statusBar()->currentMessage(),
                  QStringLiteral("Documento guardado en /home/caja/Documents/Zentaro/EKU9003173C9/FG-000007.pdf"));

        // Exit takes the screen's window and its scroll area away; the module opens again.
        screen->findChild<Toolbar *>(QStringLiteral("Controles"))->press(Toolbar::Exit);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(shell.findChild<QScrollArea *>(QStringLiteral("desplazamientoQX417")), nullptr);
        shell.openModule(QStringLiteral("QX417"));
        EXPECT_NE(shell.findChild<QScrollArea *>(QStringLiteral("desplazamientoQX417")), nullptr);
    }
}

ZENTARO_ON_BOTH_ENGINES(ShellWindowTest);

} // namespace
