#include "platform/host/GuiPresenter.h"

#include <QApplication>
#include <QMessageBox>

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

} // namespace zentaro
