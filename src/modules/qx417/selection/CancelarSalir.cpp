// Returning the screen to its starting state, and closing it.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/LateBinding.h"
#include "qx417/module/Publico.h"

#include <QApplication>

namespace qx417 {

void frmQX417::Controles_Cancelar()
{
    Controles->setOutputEnabled(false);
    Controles->setRecordEnabled(false);
    Controles->setCancelEnabled(false);
    txtFolio->setText(QString());
    ssTabVek->setTab(2);
    QApplication::processEvents();
    zentaro::Utilities &utilities = *publico().Utilities;
    for (int group : {1, 0, 2, 5})
        utilities.ClearControls(this, group);
    ssTabVek->setTab(0);
    txtFolio->setEnabled(true);
    txtFolio->setFocus();
    Controles->setOpcion1Caption(QString());
    Controles->setOpcion2Caption(QString());
    Controles->setOpcion3Caption(QString());
    chkMarcarN->setText(QStringLiteral("Marcar todos"));
    chkMarcarD->setText(QStringLiteral("Marcar todos"));
    lvNotas->setContainerActive(false);
    lvDevoluciones->setContainerActive(false);
}

void frmQX417::Controles_Salir()
{
    zentaro::latebound::call(m_padre, "Unload");
}

} // namespace qx417
