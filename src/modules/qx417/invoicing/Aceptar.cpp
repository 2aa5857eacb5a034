// Accept: the header and the selection are checked, then one transaction reserves the
// invoice number, builds the invoice from the selected notes and stores the additional
// fields. After the commit the screen is emptied and the invoice is signed (electronic
// series), printed and mailed; none of that can undo the stored invoice.

#include "qx417/screen/frmQX417.h"

#include "platform/components/printing/DocumentOutput.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Error.h"
#include "platform/core/LateBinding.h"
#include "qx417/module/ConfigFlag.h"
#include "qx417/module/Publico.h"
#include "qx417/screen/WorkProgress.h"

namespace qx417 {

namespace {

int noteCount(const QString &list) { return list.isEmpty() ? 0 : int(list.count(QLatin1String(", "))) + 1; }

} // namespace

bool frmQX417::periodoAbierto()
{
    Publico &p = publico();
    if (!isOn(p.Environment->GetVariable(QStringLiteral("GEN_VALIDAR_PERIODO_OPERATIVO"), 0, QString(), QString())))
        return true;
    const QString module = zentaro::latebound::get(m_padre, "Modulo").toString();
    if (p.Utilities->IsPeriodOpen(dpFecha->value(), module, 0))
        return true;
    showMessage(QStringLiteral("El período operativo correspondiente a la fecha: ")
                    + dpFecha->value().toString(QStringLiteral("dd-MM-yyyy")) + QStringLiteral(", está cerrado o no existe"),
                48, QStringLiteral("Zentaro"), QStringLiteral("ERR-ID:7500007"));
    return false;
}

bool frmQX417::encabezadoValido()
{
    const QString title = QStringLiteral("Controles_Aceptar()");
    const auto header = [this] { ssTabVek->setTab(0); };
    const auto focus = [](QWidget *box, bool onlyWhenEnabled) {
        if (!onlyWhenEnabled || box->isEnabled())
            box->setFocus();
    };
    if (txt_Sc_Descripcion->text().isEmpty()) {
        header();
        showMessage(QStringLiteral("La sucursal especificada no es válida o no existe"), 48, title, QStringLiteral("ERR-ID:7500008"));
        focus(txt_Sc_Cve_Sucursal, true);
        Controles->NotifyFailure();
        return false;
    }
    if (txtAl_Descripcion->text().isEmpty()) {
        showMessage(QStringLiteral("El almacén especificado no es incorrecto"), 48, title, QStringLiteral("ERR-ID:7500009"));
        header();
        Controles->NotifyFailure();
        focus(txt_Al_Cve_Almancen, false);
        return false;
    }
    if (txt_Clt_Descripcion->text().isEmpty()) {
        showMessage(QStringLiteral("El cliente no es válido o no existe"), 48, title, QStringLiteral("ERR-ID:7500010"));
        header();
        Controles->NotifyFailure();
        focus(txt_Cl_Cve_Cliente, false);
        return false;
    }
    if (txt_Vn_Descripcion->text().isEmpty()) {
        header();
        showMessage(QStringLiteral("El vendedor no es válido o no existe"), 48, title, QStringLiteral("ERR-ID:7500011"));
        Controles->NotifyFailure();
        focus(txt_Vn_Cve_Vendedor, false);
        return false;
    }
    if (txt_Mn_Descripcion->text().isEmpty()) {
        header();
        showMessage(QStringLiteral("Moneda incorrecta"), 48, title, QStringLiteral("ERR-ID:7500012"));
        Controles->NotifyFailure();
        return false;
    }
    if (txt_Fc_Tipo_Cambio->value().toDouble() == 0) {
        header();
        showMessage(QStringLiteral("Tipo de cambio incorrecto"), 48, title, QStringLiteral("ERR-ID:7500013"));
        Controles->NotifyFailure();
        return false;
    }
    if (txtNCondicionVenta->text().isEmpty()) {
        showMessage(QStringLiteral("Debe capturar una condición de venta"), 48, title, QStringLiteral("ERR-ID:7500014"));
        header();
        focus(txtCondicionVenta, true);
        Controles->NotifyFailure();
        return false;
    }
    return true;
}

void frmQX417::Controles_Aceptar()
{
    const QString title = QStringLiteral("Controles_Aceptar()");
    Publico &p = publico();
    if (!periodoAbierto()) {
        Controles->NotifyFailure();
        return;
    }
    if (!encabezadoValido())
        return;

    ErrorText.clear();
    const QString notas = Notas_Seleccionadas(QStringLiteral("VE"));
    const QString devoluciones = Notas_Seleccionadas(QStringLiteral("DC"));
    if (notas.isEmpty()) {
        showMessage(QStringLiteral("No hay notas seleccionadas para facturar"), 48, title, QStringLiteral("ERR-ID:7500015"));
        Controles->NotifyFailure();
        return;
    }
    // Nothing is written while a marked note would be marked without its money billed, or
    // would make an invoice the PAC refuses.
    bool facturables = false;
    if (trapped(title, QStringLiteral("ERR-ID:7500020"), [&] { facturables = notasFacturables(); }))
        facturables = false;
    if (!facturables) {
        Controles->NotifyFailure();
        return;
    }

    // First trap: everything up to the commit, and the screen's reset after it.
    QString serie, folio, perfil;
    zentaro::Connection &db = p.Environment->Connection();
    try {
        db.beginTrans();
        serie = txt_Fc_Factura->series();
        const qint32 numero = txt_Fc_Factura->number();
        if (!txt_Fc_Factura->ReserveNumber()) {
            db.rollbackTrans();
            showMessage(txt_Fc_Factura->message(), 16, title, QStringLiteral("ERR-ID:7500016"));
            Controles->NotifyFailure();
            return;
        }
        {
            WorkProgress progress(this, QStringLiteral("Facturando notas de venta... %1 de %2"), noteCount(notas));
            m_invoicingProgress = &progress;
            folio = Facturar_Venta(notas, devoluciones, serie, numero);
            m_invoicingProgress = nullptr;
        }
        if (folio.isEmpty()) {
            db.rollbackTrans();
            Controles->NotifyFailure();
            showMessage(ErrorText, 48, title, QStringLiteral("ERR-ID:7500017"));
            return;
        }
        if (!Controles->UpdateExtraFields(folio)) {
            db.rollbackTrans();
            showMessage(QStringLiteral("Imposible actualizar campos adicionales"), 48, QStringLiteral("ERROR"),
                        QStringLiteral("ERR-ID:7500018"));
            Controles->NotifyFailure();
            return;
        }
        perfil = p.Utilities->OutputProfile(txt_Cl_Cve_Cliente->text(), txt_Sc_Cve_Sucursal->text());
        db.commitTrans();
        Controles->NotifySuccess();
        Controles_Cancelar();
    } catch (const std::exception &error) {
        m_invoicingProgress = nullptr;
        db.rollbackTrans();
        const auto *own = dynamic_cast<const zentaro::Error *>(&error);
        showMessage(own ? own->description() : QString::fromLocal8Bit(error.what()), 16, title,
                    QStringLiteral("ERR-ID:7500020"));
        Controles->NotifyFailure();
        return;
    }

    // Second trap: the invoice is stored; signing, output and mail only report.
    trapped(title, QStringLiteral("ERR-ID:7500021"), [&] {
        QString errorFirma;
        if (p.Utilities->IsElectronicSeries(serie, 1)) {
            const QString request = db.defaultDatabase() + QStringLiteral("|6|") + folio;
            errorFirma = zentaro::latebound::call(m_padre, "FirmaDocumento", {request}).toString();
            if (!errorFirma.isEmpty())
                showMessage(QStringLiteral("Error al firmar el documento digital") + QStringLiteral("\r\n") + errorFirma,
                            48, title, QStringLiteral("ERR-ID:7500019"));
        }
        if (!errorFirma.isEmpty())
            return;
        {
            zentaro::DocumentOutput output;
            output.Produce(perfil, folio, QString(), 0, 0, QString());
        }
        Enviar_CFD(folio, QStringLiteral("Factura"), false);
    });
}

} // namespace qx417
