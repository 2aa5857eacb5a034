#include "support/SessionFixture.h"

#include "platform/db/DemoData.h"
#include "platform/host/GuiPresenter.h"
#include "platform/host/ModuleLoader.h"
#include "platform/host/ShellWindow.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

using namespace zentaro;

namespace {

class ShellWindowTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (HasFatalFailure())
            return;
        demo::fill(db(), {417, QDate(2026, 12, 6), 0});
    }
};

// The shell as a clerk meets it on a 1024 x 768 screen: the suite's icon on its windows,
// the screen whole (scrolled where the module list leaves it too little room, never cut),
// and the path of a document written in the status bar.
TEST_P(ShellWindowTest, OnASmallScreenTheModuleScrollsAndTheStatusBarSaysWhereDocumentsWent)
{
    ShellWindow shell {ModuleLoader(qEnvironmentVariable("ZENTARO_PLUGIN_PATH"))};
    EXPECT_FALSE(shell.windowIcon().isNull());
    EXPECT_FALSE(QApplication::windowIcon().pixmap(32, 32).isNull());   // drawn, not only named

    shell.setGeometry(0, 0, 1024, 768);
    shell.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
    shell.openModule(QStringLiteral("QX417"));
    auto *scroller = shell.findChild<QScrollArea *>(QStringLiteral("desplazamientoQX417"));
    ASSERT_NE(scroller, nullptr);
    QWidget *screen = scroller->widget();
    ASSERT_NE(screen, nullptr);
    QCoreApplication::processEvents();
    EXPECT_GE(screen->width(), screen->minimumWidth());
    EXPECT_GE(screen->height(), screen->minimumHeight());
    EXPECT_LT(scroller->viewport()->width(), screen->width());   // the room left is smaller ...
    EXPECT_EQ(scroller->horizontalScrollBar()->maximum(), screen->width() - scroller->viewport()->width());   // ... and scrolls

    const QString before = shell.statusBar()->currentMessage();
    GuiPresenter().reportOutput(QStringLiteral("/home/caja/Documents/Zentaro/EKU9003173C9/FG-000007.pdf"));
    EXPECT_EQ(shell.statusBar()->currentMessage(),
              QStringLiteral("Documento guardado en /home/caja/Documents/Zentaro/EKU9003173C9/FG-000007.pdf"));
    EXPECT_TRUE(before.contains(QStringLiteral("Usuario: ADMIN")));
}

ZENTARO_ON_BOTH_ENGINES(ShellWindowTest);

} // namespace
