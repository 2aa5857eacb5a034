// What follows the branch, the customer and the currency when they are typed and
// confirmed, the customer's payment accounts, and Enter moving the focus on.

#include "qx417/screen/frmQX417.h"

#include "platform/components/records/CustomerBankAccounts.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Decimal.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/Publico.h"

namespace qx417 {

void frmQX417::txt_Sc_Cve_Sucursal_Change()
{
    lvNotas->clear();
    txt_Al_Cve_Almancen->setLookupFilter(QString());
}

void frmQX417::txt_Sc_Cve_Sucursal_Enter()
{
    if (Controles->isNew())
        txt_Fc_Factura->setBranch(txt_Sc_Cve_Sucursal->text());
    const QString branch = zentaro::sql::quoted(txt_Sc_Cve_Sucursal->text());
    txt_Al_Cve_Almancen->setSql(
        QStringLiteral("SELECT Al_Descripcion FROM Almacen WHERE Al_Cve_Almacen= '?' AND sc_cve_sucursal=") + branch
        + QStringLiteral("  AND Es_Cve_Estado <> 'BA'"));
    txt_Al_Cve_Almancen->setLookupFilter(QStringLiteral("Almacen.Sc_Cve_Sucursal=") + branch + QStringLiteral(" "));
}

void frmQX417::txt_Cl_Cve_Cliente_Change()
{
    publico().Utilities->ClearControls(this, 5);
    txtCondicionVenta->setEnabled(false);
    txtCondicionVenta->setText(QString());
    txtCondicionVenta->setSql(QString());
    txtCondicionVenta->setLookupFilter(QString());
}

void frmQX417::txt_Cl_Cve_Cliente_Enter()
{
    Publico &p = publico();
    p.Sql = QStringLiteral("SELECT * FROM Cliente WHERE Cl_Cve_Cliente = ")
            + zentaro::sql::quoted(txt_Cl_Cve_Cliente->value().toString());
    zentaro::Recordset rs = p.Environment->Connection().execute(p.Sql);
    if (rs.eof())
        return;
    txt_Clt_Descripcion->setText(rs.text(QStringLiteral("Cl_Descripcion")));
    txt_Cl_Razon_Social_1->setText(rs.text(QStringLiteral("Cl_Razon_Social_1")));
    txt_Cl_Direccion_1->setText(rs.text(QStringLiteral("Cl_Direccion_1")));
    txt_Cl_R_F_C->setText(rs.text(QStringLiteral("Cl_R_F_C")));
    txt_Sg_Descripcion->setText(p.Utilities->LookupField(QStringLiteral("Segmento"), QStringLiteral("Sg_Cve_Segmento"),
                                                         rs.text(QStringLiteral("Sg_Cve_Segmento")),
                                                         QStringLiteral("Sg_Descripcion"), 0, {}, {}, QStringLiteral("BA")));
    txt_Rt_Descripcion->setText(p.Utilities->LookupField(QStringLiteral("Ruta"), QStringLiteral("Rt_Cve_Ruta"),
                                                         rs.text(QStringLiteral("Rt_Cve_Ruta")),
                                                         QStringLiteral("Rt_Descripcion"), 0, {}, {}, QStringLiteral("BA")));
    txt_Cl_Dias_Credito->setText(rs.text(QStringLiteral("Cl_Dias_Credito")));
    txt_Credito_Disponible->setValue(p.Receivables->AvailableCredit(txt_Cl_Cve_Cliente->value().toString(), 0));
    if (Controles->isNew())
        txtCondicionVenta->setEnabled(true);

    QString condition;
    if (rs.decimal(QStringLiteral("Cl_Limite_Credito")) <= zentaro::Decimal()) {
        txtCondicionVenta->setLookupFilter(QStringLiteral("Condicion_Venta.Cv_Tipo_Condicion=01"));
        txtCondicionVenta->setSql(QStringLiteral("SELECT Cv_Descripcion FROM Condicion_Venta WHERE "
                                                 "Cv_Cve_Condicion_Venta = '?' AND Cv_Tipo_Condicion = '01'"));
        condition = p.Utilities->DefaultSaleCondition(txt_Cl_Cve_Cliente->text(), txt_Sc_Cve_Sucursal->text(), false);
    } else {
        txtCondicionVenta->setLookupFilter(QString());
        txtCondicionVenta->setSql(
            QStringLiteral("SELECT Cv_Descripcion FROM Condicion_Venta WHERE Cv_Cve_Condicion_Venta = '?' "));
        condition = p.Utilities->DefaultSaleCondition(txt_Cl_Cve_Cliente->text(), txt_Sc_Cve_Sucursal->text(), true);
    }
    txtCondicionVenta->setText(condition);
    if (!p.Utilities->LastError().isEmpty())
        showMessage(p.Utilities->LastError(), 16, QStringLiteral("txt_Cl_Cve_Cliente_Enter()"),
                    QStringLiteral("ERR-ID:7500039"));

    if (!txtFolio->isEnabled()) {
        if (m_sugerirVendedor == 1) {
            txt_Vn_Cve_Vendedor->setText(rs.text(QStringLiteral("Vn_Cve_Vendedor")));
        } else if (m_sugerirVendedor == 2) {
            txt_Vn_Cve_Vendedor->setEnabled(false);
            txt_Vn_Cve_Vendedor->setText(rs.text(QStringLiteral("Vn_Cve_Vendedor")));
        }
    }
    rs.close();
}

void frmQX417::txt_Mn_Cve_Moneda_Change()
{
    txt_Fc_Tipo_Cambio->setText(QStringLiteral("0"));
    txt_Fc_Tipo_Cambio->setEnabled(false);
    LimpiaDocumentos();
}

void frmQX417::LimpiaDocumentos()
{
    lvNotas->clear();
    for (zentaro::KeyBox *box : {txtTotal, txtDescuento_Global, txtImpuestos, txtSuma, txtSubtotal})
        box->setValue(0.0);
}

void frmQX417::txt_Mn_Cve_Moneda_Enter()
{
    Publico &p = publico();
    txt_Fc_Tipo_Cambio->setValue(p.Utilities->GetExchangeRate(txt_Mn_Cve_Moneda->text(), dpFecha->value()));
    const QString local = p.Environment->GetVariable(QStringLiteral("FIN_MONEDA_LOCAL"), 0, {}, {});
    txt_Fc_Tipo_Cambio->setEnabled(local != txt_Mn_Cve_Moneda->text());
}

void frmQX417::cmdCuentaBancaria_Click()
{
    const QString title = QStringLiteral("Zentaro");
    try {
        zentaro::CustomerBankAccounts accounts;
        if (!accounts.Edit(txt_Cl_Cve_Cliente->text()))
            showMessage(QStringLiteral("cmdCuentaBancaria_Click() - \r\n") + accounts.LastError(), 16, title,
                        QStringLiteral("ERR-ID:7500005"));
    } catch (const zentaro::Error &error) {
        showMessage(QStringLiteral("cmdCuentaBancaria_Click() - \r\n") + error.description(), 16, title,
                    QStringLiteral("ERR-ID:7500006"));
    }
}

void frmQX417::moveOnWithEnter(int keyCode)
{
    if (keyCode == 13)
        publico().Utilities->SendKeys(QStringLiteral("\t"), 0);
}

} // namespace qx417
