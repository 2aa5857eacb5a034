#include "platform/controls/DialogParts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

namespace zentaro::dialogparts {

QDialogButtonBox *acceptCancelButtons(QWidget *parent)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, parent);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Aceptar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    return buttons;
}

QLabel *errorLine(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("error"));
    label->setStyleSheet(QStringLiteral("color: #b00020;"));
    label->setWordWrap(true);
    return label;
}

} // namespace zentaro::dialogparts
