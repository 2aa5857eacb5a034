// Opening a stored global invoice by its folio: the header, its notes and returns, the
// totals, and the toolbar commands its state allows. Changing the folio withdraws them.

#include "qx417/screen/frmQX417.h"

#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Decimal.h"
#include "platform/core/LateBinding.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/ConfigFlag.h"
#include "qx417/module/Publico.h"

namespace qx417 {

namespace {

// "FG-5" is number 5 of its series.
int numberOf(const QString &documentNumber)
{
    return documentNumber.mid(documentNumber.lastIndexOf(u'-') + 1).toInt();
}

} // namespace

void frmQX417::txtFolio_Change()
{
    Controles->setKeyValue(QString());
    if (Controles->isNew())
        return;
    Controles->setOutputEnabled(false);
    Controles->setRecordEnabled(false);
    Controles->setCancelEnabled(false);
    Controles->setOpcion2Caption(QString());
    zentaro::Utilities &utilities = *publico().Utilities;
    for (int group : {1, 0, 2})
        utilities.ClearControls(this, group);
    lvNotas->clear();
}

void frmQX417::txtFolio_Enter()
{
    if (txtFolio->text().isEmpty() || Controles->isNew())
        return;
    trapped(QStringLiteral("txtFolio_Enter()"), QStringLiteral("ERR-ID:7500043"), [&] {
        Publico &p = publico();
        lvNotas->clear();
        txtFolio->setText(p.Utilities->FormatFolio(txtFolio->text()));
        txtFolio->validate();
        const QString folio = txtFolio->text();

        zentaro::Recordset rs = p.Environment->Connection().execute(
            QStringLiteral("SELECT * FROM  Factura WHERE Fc_Folio = ") + zentaro::sql::quoted(folio) + QStringLiteral("  "));
        ssTabVek->setTab(0);
        if (rs.eof()) {
            rs.close();
            return;
        }

        const QString userBranch = p.Environment->UserBranch();
        if (!userBranch.isEmpty() && txt_Sc_Cve_Sucursal->text() != rs.text(QStringLiteral("Sc_Cve_Sucursal"))) {
            p.Sql = QStringLiteral("Imposible accesar este documento, su acceso se ha restringido a la sucursal: ")
                    + txt_Sc_Cve_Sucursal->text() + QStringLiteral("\r\n\r\n")
                    + QStringLiteral("para mayor información consulte al administrador del sistema");
            showMessage(p.Sql, 48, QStringLiteral("Documento no disponible"), QStringLiteral("ERR-ID:7500042"));
            rs.close();
            txtFolio->validate();
            return;
        }

        const QString estado = rs.text(QStringLiteral("Es_Cve_Estado"));
        dpFecha->setValue(rs.date(QStringLiteral("Fc_Fecha")));
        txt_Mn_Cve_Moneda->setText(rs.text(QStringLiteral("Mn_Cve_Moneda")));
        txt_Fc_Tipo_Cambio->setText(rs.text(QStringLiteral("Fc_Tipo_Cambio")));
        txt_Sc_Cve_Sucursal->setText(rs.text(QStringLiteral("Sc_Cve_Sucursal")));
        txt_Al_Cve_Almancen->setText(rs.text(QStringLiteral("Al_Cve_Almacen")));
        txt_Vn_Cve_Vendedor->setText(rs.text(QStringLiteral("Vn_Cve_Vendedor")));
        txt_Cl_Cve_Cliente->setText(rs.text(QStringLiteral("Cl_Cve_Cliente")));
        txt_Cl_Cve_Cliente_Enter();
        txt_Comentario->setText(rs.text(QStringLiteral("Fc_Comentario")));
        txtDescuento_Global->setValue(
            (rs.decimal(QStringLiteral("Fc_Descuento_Global_Factor")) * zentaro::Decimal::fromInt(100)).toDouble());
        txtCondicionVenta->setText(rs.text(QStringLiteral("Fc_Condicion_Venta")));
        const QString serie = rs.text(QStringLiteral("Fc_Serie"));
        txt_Fc_Factura->setBranch(rs.text(QStringLiteral("Sc_Cve_Sucursal")));
        txt_Fc_Factura->setSeries(serie);
        txt_Fc_Factura->setNumber(numberOf(rs.text(QStringLiteral("Fc_Factura"))));
        rs.close();

        Get_Ventas_Cte();
        Get_Devoluciones();

        const QString state = estado.toUpper();
        if (p.Utilities->IsElectronicSeries(serie, 1)) {
            const QString stamped =
                p.Utilities->LookupField(QStringLiteral("Comprobante_Digital"), QStringLiteral("Cd_Tabla"),
                                         QStringLiteral("Factura"), QStringLiteral("Cd_Documento"), 0,
                                         QStringLiteral("Cd_Documento"), folio, QString());
            if (stamped.isEmpty()) {
                if (state != QLatin1String("CA"))
                    Controles->setOpcion2Caption(QStringLiteral("Firmar"));
            } else {
                Controles->setOpcion2Caption(QStringLiteral("Enviar"));
            }
        }

        CalculaTotales();

        if (state == QLatin1String("AC") || state == QLatin1String("AP") || state == QLatin1String("PXC")) {
            const bool checkPeriod = isOn(
                p.Environment->GetVariable(QStringLiteral("GEN_VALIDAR_PERIODO_OPERATIVO"), 0, QString(), QString()));
            if (checkPeriod) {
                const QString module = zentaro::latebound::get(m_padre, "Modulo").toString();
                if (p.Utilities->IsPeriodOpen(dpFecha->value(), module, 0))
                    Controles->setCancelEnabled(true);
            } else {
                Controles->setCancelEnabled(true);
            }
            avisoCancelacionPendiente(folio);
        }
        Controles->setOutputEnabled(true);
        Controles->setRecordEnabled(true);
        Controles->LoadExtraFields(folio);
    });
}

void frmQX417::avisoCancelacionPendiente(const QString &folio)
{
    // The SAT may hold an answer the books do not show yet: a cancellation it accepted
    // while the invoice's own cancellation was lost, or one still waiting for its
    // receiver. The clerk is told so, and the cancel command finishes it.
    const auto record = zentaro::satcancellation::find(publico().Environment->Connection(), QStringLiteral("Factura"), folio);
    if (!record || !(record->cancelledAtSat() || record->pending()))
        return;
    QString text = QStringLiteral("Ante el SAT, el folio fiscal %1 de esta factura está: %2")
                       .arg(record->uuid, zentaro::satcancellation::stateText(record->state));
    if (!record->answer.isEmpty())
        text += QStringLiteral(" (%1)").arg(record->answer);
    text += record->cancelledAtSat()
        ? QStringLiteral(".\r\nLa factura aún no está cancelada en el sistema: use Eliminar para terminar la cancelación.")
        : QStringLiteral(".\r\nUse Eliminar para consultar la respuesta del SAT.");
    showMessage(text, 64, QStringLiteral("Zentaro"), QString());
}

} // namespace qx417
