#include "platform/controls/Toolbar.h"

#include "support/SessionFixture.h"

#include "platform/core/Error.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace zentaro;

namespace {

// Records each event with the IsNew the screen's handler saw at that moment.
struct EventLog
{
    explicit EventLog(Toolbar &toolbar)
    {
        QObject::connect(&toolbar, &Toolbar::buttonEvent, &toolbar,
                         [this, &toolbar](int event) { events.append({event, toolbar.isNew()}); });
    }
    QList<QPair<int, bool>> events;
};

TEST(Toolbar, NewModeFollowsNewAcceptAndCancel)
{
    Toolbar toolbar;
    EventLog log(toolbar);
    EXPECT_FALSE(toolbar.isNew());
    EXPECT_THROW(toolbar.scriptClick(QStringLiteral("Aceptar")), ScriptRefusal);   // nothing to accept yet

    toolbar.scriptClick(QStringLiteral("Nuevo"));
    EXPECT_TRUE(toolbar.isNew());
    toolbar.scriptClick(QStringLiteral("aceptar"));   // Accept itself leaves the mode alone
    EXPECT_TRUE(toolbar.isNew());
    toolbar.NotifyFailure();
    EXPECT_TRUE(toolbar.isNew());
    toolbar.NotifySuccess();
    EXPECT_FALSE(toolbar.isNew());
    EXPECT_THROW(toolbar.scriptClick(QStringLiteral("ACEPTAR")), ScriptRefusal);

    toolbar.press(Toolbar::New);
    toolbar.press(Toolbar::Cancel);
    EXPECT_FALSE(toolbar.isNew());
    EXPECT_EQ(log.events, (QList<QPair<int, bool>>{{Toolbar::New, true}, {Toolbar::Accept, true},
                                                   {Toolbar::New, true}, {Toolbar::Cancel, false}}));
}

TEST(Toolbar, ButtonsFollowTheirFlagsAndFreeButtonsShowOnlyWithACaption)
{
    Toolbar toolbar;
    EventLog log(toolbar);
    struct Case
    {
        const char16_t *button;
        Toolbar::Event event;
        std::function<void(bool)> enable;
    };
    const Case cases[] = {
        {u"Imprimir", Toolbar::Output, [&](bool on) { toolbar.setOutputEnabled(on); }},
        {u"Registro", Toolbar::Record, [&](bool on) { toolbar.setRecordEnabled(on); }},
        {u"Eliminar", Toolbar::Delete, [&](bool on) { toolbar.setCancelEnabled(on); }},
        {u"Opcion1", Toolbar::Option1, [&](bool on) { toolbar.setOpcion1Caption(on ? QStringLiteral("Surtir") : QString()); }},
        {u"Opcion2", Toolbar::Option2, [&](bool on) { toolbar.setOpcion2Caption(on ? QStringLiteral("Timbrar") : QString()); }},
        {u"Opcion3", Toolbar::Option3, [&](bool on) { toolbar.setOpcion3Caption(on ? QStringLiteral("Enviar") : QString()); }},
        {u"Salir", Toolbar::Exit, [&](bool on) { toolbar.setShowExit(on ? QStringLiteral("si") : QStringLiteral("NO")); }},
    };
    for (const Case &c : cases) {
        const QString name = QString::fromUtf16(c.button);
        c.enable(false);
        try {
            toolbar.scriptClick(name);
            ADD_FAILURE() << "pressed " << name.toStdString();
        } catch (const ScriptRefusal &refusal) {
            EXPECT_EQ(refusal.description(), QStringLiteral("el botón %1 no está disponible").arg(name));
        }
        c.enable(true);
        toolbar.scriptClick(name.toLower());
        ASSERT_FALSE(log.events.isEmpty());
        EXPECT_EQ(log.events.takeLast().first, int(c.event)) << name.toStdString();
    }
    EXPECT_TRUE(log.events.isEmpty());

    auto *free = toolbar.findChild<QToolButton *>(QStringLiteral("Opcion2"));
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(free->text(), QStringLiteral("Timbrar"));
    EXPECT_FALSE(free->isHidden());
    toolbar.setOpcion2Caption(QString());
    EXPECT_TRUE(free->isHidden());
    EXPECT_THROW(toolbar.scriptClick(QStringLiteral("Opcion4")), ScriptRefusal);
    EXPECT_THROW(toolbar.scriptClick(QString()), ScriptRefusal);
}

TEST(Toolbar, ClicksAndShortcutsPressOnlyAvailableButtons)
{
    QWidget window;
    auto *toolbar = new Toolbar(&window);
    EventLog log(*toolbar);
    window.resize(900, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::mouseClick(toolbar->findChild<QToolButton *>(QStringLiteral("Nuevo")), Qt::LeftButton);
    QTest::keyClick(&window, Qt::Key_F10);                            // Accept
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);         // Output: disabled
    toolbar->setOutputEnabled(true);
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Escape);                         // Cancel
    toolbar->setShortcutsEnabled(false);
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(log.events, (QList<QPair<int, bool>>{{Toolbar::New, true}, {Toolbar::Accept, true},
                                                   {Toolbar::Output, true}, {Toolbar::Cancel, false}}));
}

class ToolbarExtraFieldsTest : public test::SessionTest
{
protected:
    void seed() override
    {
        exec(QStringLiteral("INSERT INTO Campo_Extra VALUES ('Factura', 'PEDIDO', 'Pedido del cliente', 2)"));
        exec(QStringLiteral("INSERT INTO Campo_Extra VALUES ('Factura', 'OBRA', 'Obra', 1)"));
        exec(QStringLiteral("INSERT INTO Campo_Extra VALUES ('Devolucion', 'MOTIVO', 'Motivo', 1)"));
    }
    QString stored(const QString &folio, const QString &field)
    {
        Recordset rs = db().select(QStringLiteral("SELECT Ce_Valor FROM Campo_Extra_Valor WHERE Ce_Tabla = 'Factura' "
                                                  "AND Ce_Documento = ? AND Ce_Campo = ?"), {folio, field});
        return rs.eof() ? QStringLiteral("<none>") : rs.text(QStringLiteral("Ce_Valor"));
    }
};

TEST_P(ToolbarExtraFieldsTest, FieldsOfTheTableAreStoredWithTheDocumentAndLoadBack)
{
    Toolbar toolbar;
    EXPECT_TRUE(toolbar.UpdateExtraFields(QStringLiteral("F1")));   // no table: nothing to keep
    toolbar.setOptionTable(QStringLiteral("Factura"));
    const auto boxes = toolbar.findChildren<QLineEdit *>();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0]->objectName(), QStringLiteral("OBRA"));   // in Ce_Orden order
    EXPECT_EQ(boxes[1]->objectName(), QStringLiteral("PEDIDO"));
    EXPECT_FALSE(toolbar.findChild<QToolButton *>(QStringLiteral("extraFieldsToggle"))->isHidden());

    boxes[0]->setText(QStringLiteral("Torre 'B'"));   // bound, so a quote is just a character
    boxes[1]->setText(QStringLiteral("PO-77"));
    db().beginTrans();
    ASSERT_TRUE(toolbar.UpdateExtraFields(QStringLiteral("F1")));
    db().commitTrans();
    EXPECT_EQ(stored(QStringLiteral("F1"), QStringLiteral("OBRA")), QStringLiteral("Torre 'B'"));

    // Stored inside the caller's transaction: the caller's rollback takes it back.
    boxes[1]->setText(QStringLiteral("PO-99"));
    db().beginTrans();
    ASSERT_TRUE(toolbar.UpdateExtraFields(QStringLiteral("F1")));
    db().rollbackTrans();
    EXPECT_EQ(stored(QStringLiteral("F1"), QStringLiteral("PEDIDO")), QStringLiteral("PO-77"));

    // Emptied fields leave no row behind.
    boxes[1]->clear();
    db().beginTrans();
    ASSERT_TRUE(toolbar.UpdateExtraFields(QStringLiteral("F1")));
    db().commitTrans();
    EXPECT_EQ(stored(QStringLiteral("F1"), QStringLiteral("PEDIDO")), QStringLiteral("<none>"));

    toolbar.LoadExtraFields(QStringLiteral("F2"));
    EXPECT_EQ(boxes[0]->text(), QString());
    toolbar.LoadExtraFields(QStringLiteral("F1"));
    EXPECT_EQ(boxes[0]->text(), QStringLiteral("Torre 'B'"));
    EXPECT_EQ(boxes[1]->text(), QString());

    // A new document starts with empty fields.
    toolbar.press(Toolbar::New);
    EXPECT_EQ(boxes[0]->text(), QString());
    EXPECT_FALSE(toolbar.UpdateExtraFields(QString()));

    // Another table, other fields.
    toolbar.setOptionTable(QStringLiteral("Devolucion"));
    const auto others = toolbar.findChildren<QLineEdit *>();
    ASSERT_EQ(others.size(), 1);
    EXPECT_EQ(others[0]->objectName(), QStringLiteral("MOTIVO"));
    toolbar.setOptionTable(QStringLiteral("Nada"));
    EXPECT_TRUE(toolbar.findChildren<QLineEdit *>().isEmpty());
    EXPECT_TRUE(toolbar.findChild<QToolButton *>(QStringLiteral("extraFieldsToggle"))->isHidden());
}

ZENTARO_ON_BOTH_ENGINES(ToolbarExtraFieldsTest);

} // namespace
