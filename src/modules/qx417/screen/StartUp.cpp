// Loading the screen (configuration read once), activating it (the user's branch and
// warehouse put back every time) and the window's page shortcuts.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/Publico.h"

namespace qx417 {

void frmQX417::Form_Load()
{
    zentaro::Environment &environment = *publico().Environment;
    zentaro::Utilities &utilities = *publico().Utilities;
    ssTabVek->setTab(0);
    colorVEK->Apply();
    Controles->setShortcutsEnabled(true);
    dpFecha->setValue(utilities.ServerNow().date());

    txt_Sc_Cve_Sucursal->setFormat(environment.GetVariable(QStringLiteral("FTO_SUCURSAL"), 0, {}, {}));
    txt_Al_Cve_Almancen->setFormat(environment.GetVariable(QStringLiteral("FTO_ALMACEN"), 0, {}, {}));
    txt_Cl_Cve_Cliente->setFormat(environment.GetVariable(QStringLiteral("FTO_CLIENTE"), 0, {}, {}));
    txt_Vn_Cve_Vendedor->setFormat(environment.GetVariable(QStringLiteral("FTO_VENDEDOR"), 0, {}, {}));
    txtCondicionVenta->setFormat(environment.GetVariable(QStringLiteral("FTO_CONDICION_VENTA"), 0, {}, {}));

    GlobalProductKey = environment.GetVariable(QStringLiteral("FAC_FACTURA_GLOBAL_PRODUCTO"), 0, QStringLiteral("T"), {});
    if (GlobalProductKey.isEmpty())
        showMessage(QStringLiteral("Debe configurar la variable FAC_FACTURA_GLOBAL_PRODUCTO "), 48,
                    QStringLiteral("Zentaro"), QStringLiteral("ERR-ID:7500037"));

    m_monedaLocal = environment.GetVariable(QStringLiteral("FIN_MONEDA_LOCAL"), 0, {}, {});
    txt_Fc_Tipo_Cambio->setValue(1.0);
    m_sugerirVendedor = static_cast<qint16>(
        environment.GetVariable(QStringLiteral("VEN_SUGERIR_VENDEDOR"), 0, QStringLiteral("N"), QStringLiteral("0")).toInt());
    m_sucursalDefault = environment.GetVariable(QStringLiteral("VEN_SUCURSAL_DEFAULT"), 0, QStringLiteral("T"), {});
    m_almacenDefault = environment.GetVariable(QStringLiteral("VEN_ALMACEN_DEFAULT"), 0, QStringLiteral("T"), {});
    m_enviarEmail = environment.GetVariable(QStringLiteral("FAC_ENVIAR_DOCUMENTO_EMAIL"), 0, QStringLiteral("B"),
                                            QStringLiteral("0")) == QLatin1String("1");

    const QString module = QStringLiteral("QX417"), notAvailable = QStringLiteral("No disponible");
    m_cambiaFecha = environment.HasPermission(module, QStringLiteral("CHFECHA"), notAvailable);
    if (environment.HasPermission(module, QStringLiteral("KEYF2"), notAvailable))
        txtFolio->setLookupFilter(QString());
}

void frmQX417::Form_Activate()
{
    zentaro::Environment &environment = *publico().Environment;
    if (txtFolio->isEnabled())
        txtFolio->setFocus();
    if (!environment.UserBranch().isEmpty()) {
        txt_Sc_Cve_Sucursal->setText(environment.UserBranch());
        txt_Sc_Cve_Sucursal->setTag(QString());
        txt_Sc_Cve_Sucursal->setLocked(true);
        txt_Sc_Cve_Sucursal_Enter();
        txt_Cl_Cve_Cliente->setSql(QStringLiteral("SELECT Cl_Descripcion ") + QStringLiteral("FROM Cliente ")
                                   + QStringLiteral("WHERE Sc_Cve_Sucursal = ")
                                   + zentaro::sql::quoted(txt_Sc_Cve_Sucursal->text()) + QStringLiteral(" AND ")
                                   + QStringLiteral("      Es_Cve_Estado <> 'BA' AND Cl_Cve_Cliente = '?'"));
    }
    if (!environment.UserWarehouse().isEmpty()) {
        txt_Al_Cve_Almancen->setText(environment.UserWarehouse());
        txt_Al_Cve_Almancen->setTag(QString());
    }
}

void frmQX417::Form_KeyUp(int keyCode, int shift)
{
    // Alt+1 .. Alt+4 bring the pages to the front.
    if (shift == 4 && keyCode >= 49 && keyCode <= 52)
        ssTabVek->setTab(keyCode - 49);
}

} // namespace qx417
