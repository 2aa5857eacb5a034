// Starting a new global invoice and choosing between one date and a range of dates.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "qx417/module/Publico.h"

namespace qx417 {

void frmQX417::Controles_Nuevo()
{
    zentaro::Utilities &utilities = *publico().Utilities;
    txtFolio->setEnabled(false);
    utilities.ClearControls(this, 2);
    utilities.EnableControls(this, 2);
    utilities.ClearControls(this, 1);
    utilities.EnableControls(this, 1);
    ssTabVek->setTab(0);
    if (GlobalProductKey.isEmpty())
        showMessage(QStringLiteral("Debe configurar la variable FAC_FACTURA_GLOBAL_PRODUCTO "), 48,
                    QStringLiteral("Zentaro"), QStringLiteral("ERR-ID:7500035"));
    txtFolio->setText(QString());
    txt_Mn_Cve_Moneda->setText(m_monedaLocal);
    txt_Mn_Cve_Moneda_Enter();
    txt_Sc_Cve_Sucursal_Enter();
    dpFecha->setValue(utilities.ServerNow().date());
    dpFecha->setEnabled(m_cambiaFecha);
    Controles->setOpcion1Caption(QStringLiteral("Cargar documentos"));
    Controles->setOpcion2Caption(QString());
    lvNotas->setContainerActive(true);
    lvDevoluciones->setContainerActive(true);
    dpFecha_Final->setEnabled(false);
    dpFecha_Inicio->setEnabled(false);
    if (m_sugerirVendedor == 2) {
        txt_Vn_Cve_Vendedor->setEnabled(false);
    } else {
        txt_Vn_Cve_Vendedor->setLocked(false);
        txt_Vn_Cve_Vendedor->setShowLookupButton(true);
    }
    if (txt_Sc_Cve_Sucursal->text().isEmpty() && !m_sucursalDefault.isEmpty()) {
        txt_Sc_Cve_Sucursal->setText(m_sucursalDefault);
        txt_Sc_Cve_Sucursal_Enter();
    }
    if (txt_Al_Cve_Almancen->text().isEmpty() && !m_almacenDefault.isEmpty())
        txt_Al_Cve_Almancen->setText(m_almacenDefault);
    // The folio box that had the focus is now locked: the clerk types on at the first
    // header box that takes input, in the header's tab order.
    for (QWidget *box : std::initializer_list<QWidget *> {dpFecha, txt_Comentario, txt_Mn_Cve_Moneda,
                                                          txt_Sc_Cve_Sucursal, txt_Al_Cve_Almancen,
                                                          txt_Vn_Cve_Vendedor, txt_Cl_Cve_Cliente}) {
        if (box->isEnabled()) {
            box->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void frmQX417::Controles_Opcion1()
{
    CargaDocumentos();
}

void frmQX417::chkFechas_Click()
{
    const bool range = chkFechas->value() == 1;
    dpFecha_Inicio->setEnabled(range);
    dpFecha_Final->setEnabled(range);
    if (range)
        dpFecha_Inicio->setFocus();
}

} // namespace qx417
