#include "platform/controls/FileDialogs.h"
#include "platform/host/QtSpanish.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

#include <gtest/gtest.h>

using namespace zentaro;

namespace {

// Qt's own texts, which the suite does not write itself, as a clerk reads them.
TEST(QtSpanish, QtsOwnButtonsAndDialogsSpeakSpanish)
{
    ASSERT_TRUE(installQtSpanish(*QCoreApplication::instance())) << "¿está instalado qt6-translations-l10n?";
    QMessageBox box;
    struct Case
    {
        QMessageBox::StandardButton button;
        const char16_t *text;
    };
    const Case cases[] = {{QMessageBox::Ok, u"Aceptar"},
                          {QMessageBox::Close, u"Cerrar"},
                          {QMessageBox::Cancel, u"Cancelar"},
                          {QMessageBox::Save, u"Guardar"}};
    for (const Case &c : cases) {
        box.setStandardButtons(c.button);
        ASSERT_NE(box.button(c.button), nullptr);
        EXPECT_EQ(box.button(c.button)->text().remove(u'&'), QString::fromUtf16(c.text));
    }

    // The suite's file dialog: every label of its own widgets, none left in English.
    QFileDialog dialog;
    filedialogs::prepare(dialog);
    QStringList labels;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        if (!label->text().isEmpty())
            labels << label->text().remove(u'&');
    for (const QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
        if (!button->text().isEmpty())
            labels << button->text().remove(u'&');
    ASSERT_FALSE(labels.isEmpty());
    for (const char *english : {"Look in:", "File name:", "Files of type:", "Open", "Cancel", "Save"})
        EXPECT_FALSE(labels.contains(QLatin1String(english))) << english << " en " << labels.join(u'|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Cancelar"))) << labels.join(u'|').toStdString();
}

} // namespace
