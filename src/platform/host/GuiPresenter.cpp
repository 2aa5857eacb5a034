#include "platform/host/GuiPresenter.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

namespace zentaro {

namespace {

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

int GuiPresenter::present(const Message &message, QWidget *owner)
{
    QMessageBox box(iconOf(message.style), message.title, message.text, QMessageBox::Ok,
                    owner ? owner : QApplication::activeWindow());
    QStringList origin;
    if (!message.module.isEmpty())
        origin << QStringLiteral("Módulo: ") + message.module;
    if (!message.id.isEmpty())
        origin << message.id;
    if (!origin.isEmpty())
        box.setInformativeText(origin.join(QStringLiteral("   ")));
    box.exec();
    return 1;
}

void GuiPresenter::reportError(const QString &text, const QString &where)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Zentaro"), text, QMessageBox::Ok, QApplication::activeWindow());
    box.setInformativeText(QStringLiteral("Origen: ") + where);
    box.exec();
}

namespace {

// The shell's status bar says it for a while, then names the user and the database again.
void showInStatusBar(const QString &text, int milliseconds)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<QMainWindow *>(widget);
        if (!window || !window->isVisible())
            continue;
        QStatusBar *bar = window->statusBar();
        const QString previous = bar->property("zentaroSessionText").isValid()
                                     ? bar->property("zentaroSessionText").toString()
                                     : bar->currentMessage();
        bar->setProperty("zentaroSessionText", previous);
        bar->showMessage(text);
        QTimer::singleShot(milliseconds, bar, [bar, previous, text] {
            if (bar->currentMessage() == text)
                bar->showMessage(previous);
        });
        return;
    }
}

} // namespace

void GuiPresenter::reportOutput(const QString &path)
{
    // Long enough to read and copy the path; the clerk is not interrupted for it.
    constexpr int kShownMilliseconds = 60000;
    showInStatusBar(QStringLiteral("Documento guardado en %1").arg(QDir::toNativeSeparators(path)), kShownMilliseconds);
}

void GuiPresenter::reportMail(const QString &to, const QString &subject)
{
    constexpr int kShownMilliseconds = 15000;
    showInStatusBar(QStringLiteral("Correo enviado a %1: %2").arg(to, subject), kShownMilliseconds);
}

} // namespace zentaro
