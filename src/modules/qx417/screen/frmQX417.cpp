#include "qx417/screen/frmQX417.h"

#include "platform/core/LateBinding.h"
#include "qx417/module/Publico.h"

namespace qx417 {

frmQX417::frmQX417(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmQX417"));
    setWindowTitle(QStringLiteral("Facturación global SAT"));
}

QString frmQX417::Transaccion() const
{
    const QVariant hostTransaction = zentaro::latebound::get(m_padre, "Transaccion");
    return publico().Utilities->ResolveTransaction(hostTransaction.toString(), QStringLiteral("Zentaro"));
}

void frmQX417::activateScreen()
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    Form_Activate();
}

void frmQX417::Form_Load() {}

void frmQX417::Form_Activate() {}

} // namespace qx417
