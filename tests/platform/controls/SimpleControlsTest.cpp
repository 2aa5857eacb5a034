#include "platform/controls/SimpleControls.h"

#include "platform/core/Error.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace zentaro;

namespace {

TEST(CheckBoxTest, ClickTogglesAndRaisesClickedSettingValueDoesNot)
{
    CheckBox box(QStringLiteral("Crédito"));
    int clicks = 0;
    QList<int> keys, characters;
    QObject::connect(&box, &QCheckBox::clicked, [&] { ++clicks; });
    QObject::connect(&box, &CheckBox::keyDown, [&](int code, int shift) { keys << code * 10 + shift; });
    QObject::connect(&box, &CheckBox::keyPress, [&](int character) { characters << character; });

    box.setValue(1);
    EXPECT_EQ(box.value(), 1);
    EXPECT_EQ(clicks, 0);
    box.scriptClick({});
    EXPECT_EQ(box.value(), 0);
    box.scriptClick({});
    EXPECT_EQ(box.value(), 1);
    EXPECT_EQ(clicks, 2);

    box.scriptKey(32, 0);   // the space bar clicks, as it does for the user
    EXPECT_EQ(box.value(), 0);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(keys, QList<int> {320});
    EXPECT_EQ(characters, QList<int> {32});

    box.setEnabled(false);
    EXPECT_THROW(box.scriptClick({}), ScriptRefusal);
    box.unlock();
    box.clearContent();
    EXPECT_EQ(box.value(), 0);
}

TEST(TabStripTest, SelectingAPageRaisesClickWithThePreviousPage)
{
    TabStrip strip;
    EXPECT_TRUE(strip.property("zentaroTabStrip").toBool());
    QList<int> clicks;
    QObject::connect(&strip, &TabStrip::click, [&](int previous) { clicks << previous; });
    for (const char *caption : {"General", "Notas", "Totales"})
        strip.addPage(QString::fromLatin1(caption), new QLabel(QString::fromLatin1(caption)));
    EXPECT_EQ(strip.tab(), 0);
    EXPECT_TRUE(clicks.isEmpty());   // the first page is selected by adding it

    struct Step
    {
        std::function<void()> action;
        int tab;
        QList<int> clicks;
    };
    const QList<Step> steps = {
        {[&] { strip.setTab(2); }, 2, {0}},
        {[&] { strip.setTab(2); }, 2, {0}},                       // same page: no click
        {[&] { strip.scriptClick(QStringLiteral("1")); }, 1, {0, 2}},
        {[&] { strip.scriptKey(9, 2); }, 2, {0, 2, 1}},            // Ctrl+Tab moves on
        {[&] { strip.scriptKey(9, 2); }, 0, {0, 2, 1, 2}},         // and goes round
        {[&] { strip.scriptKey(9, 3); }, 2, {0, 2, 1, 2, 0}},      // Ctrl+Shift+Tab goes back
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        steps[i].action();
        EXPECT_EQ(strip.tab(), steps[i].tab) << "step " << i;
        EXPECT_EQ(strip.property("Tab").toInt(), steps[i].tab) << "step " << i;
        EXPECT_EQ(clicks, steps[i].clicks) << "step " << i;
    }
    EXPECT_THROW(strip.scriptClick(QStringLiteral("3")), ScriptRefusal);
    EXPECT_THROW(strip.setTab(-1), Error);
}

// The keys a clerk presses, on a screen hosted as the shell hosts it (a window of a tabbed
// work area, beside another one), with the focus in a box of a page, in a date box (which
// steps its date with PgUp/PgDown) and in a box above the strip.
TEST(TabStripTest, CtrlTabAndCtrlPageKeysTurnThePagesFromAnyBoxOfTheScreen)
{
    QMdiArea area;
    area.setViewMode(QMdiArea::TabbedView);
    auto *screen = new QWidget;
    auto *folio = new QLineEdit(screen);
    auto *strip = new TabStrip(screen);
    strip->setGeometry(0, 40, 500, 300);
    auto *header = new QWidget;
    auto *date = new QDateEdit(QDate(2026, 12, 6), header);
    auto *notes = new QWidget;
    auto *list = new QLineEdit(notes);
    strip->addPage(QStringLiteral("Encabezado"), header);
    strip->addPage(QStringLiteral("Notas de venta"), notes);
    strip->addPage(QStringLiteral("Totales"), new QLabel(QStringLiteral("Totales")));
    area.addSubWindow(new QLabel(QStringLiteral("otra pantalla")))->show();
    area.addSubWindow(screen)->showMaximized();
    area.resize(700, 500);
    area.show();
    area.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
    area.setActiveSubWindow(qobject_cast<QMdiSubWindow *>(screen->parentWidget()));

    struct Press
    {
        QWidget *focus;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int tab;
    };
    const Press presses[] = {
        {date, Qt::Key_Tab, Qt::ControlModifier, 1},
        {list, Qt::Key_Tab, Qt::ControlModifier, 2},
        {folio, Qt::Key_Tab, Qt::ControlModifier, 0},                             // goes round
        {date, Qt::Key_PageDown, Qt::ControlModifier, 1},
        {list, Qt::Key_PageUp, Qt::ControlModifier, 0},
        {date, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 2},
        {folio, Qt::Key_PageUp, Qt::ControlModifier, 1},
    };
    int step = 0;
    for (const Press &press : presses) {
        SCOPED_TRACE(step++);
        strip->setTab(press.focus == list ? 1 : press.focus == date ? 0 : strip->tab());
        press.focus->setFocus();
        QTest::keyClick(press.focus, press.key, press.modifiers);
        EXPECT_EQ(strip->tab(), press.tab);
    }
    EXPECT_EQ(date->date(), QDate(2026, 12, 6));   // the date box never saw Ctrl+PgDown
    EXPECT_EQ(area.activeSubWindow(), screen->parentWidget());   // nor the work area Ctrl+Tab
}

TEST(DatePickerTest, TakesBothDateWritingsAndShowsTheSuitesText)
{
    DatePicker picker;
    int changes = 0;
    QObject::connect(&picker, &DatePicker::changed, [&] { ++changes; });
    picker.scriptType(QStringLiteral("2026-12-05"));
    EXPECT_EQ(picker.value(), QDate(2026, 12, 5));
    EXPECT_EQ(picker.text(), QStringLiteral("05/12/2026"));
    picker.scriptType(QStringLiteral("31/01/2027"));
    EXPECT_EQ(picker.value(), QDate(2027, 1, 31));
    EXPECT_EQ(changes, 2);
    for (const char *bad : {"31/02/2027", "2026-12-05T25:61", "2026-12-05 10:30", "5 de diciembre"})
        EXPECT_THROW(picker.scriptType(QString::fromLatin1(bad)), ScriptRefusal) << bad;
    EXPECT_EQ(picker.value(), QDate(2027, 1, 31));
    picker.clearContent();   // no session: the computer's day
    EXPECT_EQ(picker.value(), QDate::currentDate());
}

} // namespace
