// Cancelling the opened invoice: the host validates it (and has the SAT cancel its
// electronic document) before anything is written; then one transaction has the suite's
// canceller cancel the invoice and frees its notes, which become candidates again.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/core/Error.h"
#include "platform/core/LateBinding.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/Publico.h"
#include "qx417/services/Components.h"

namespace qx417 {

namespace {

QString describe(const std::exception &error)
{
    const auto *own = dynamic_cast<const zentaro::Error *>(&error);
    return own ? own->description() : QString::fromLocal8Bit(error.what());
}

} // namespace

bool frmQX417::cancelacionValidada()
{
    Publico &p = publico();
    if (!p.Utilities->IsElectronicSeries(txt_Fc_Factura->series(), 1))
        return true;
    const QVariant valid = zentaro::latebound::call(m_padre, "ValidaDocumento", {QStringLiteral("1|") + txtFolio->text()});
    const bool accepted = valid.isNull() || valid.toBool();
    const QString zentaroTitle = QStringLiteral("Zentaro");
    if (!accepted) {
        const QString error = zentaro::latebound::get(m_padre, "sError").toString();
        if (!error.isEmpty()) {
            showMessage(error, 48, zentaroTitle, QString());
            return false;
        }
        const QString message = zentaro::latebound::get(m_padre, "sMensaje").toString();
        if (!message.isEmpty()) {
            showMessage(message, 64, zentaroTitle, QString());
            return false;
        }
        Controles_Cancelar();
        return false;
    }
    const QString message = zentaro::latebound::get(m_padre, "sMensaje").toString();
    if (!message.isEmpty()) {
        showMessage(message, 64, zentaroTitle, QString());
        return false;
    }
    return true;
}

void frmQX417::Controles_Eliminar()
{
    const QString title = QStringLiteral("Controles_Eliminar()");
    const QString errorId = QStringLiteral("ERR-ID:7500034");
    bool goOn = false;
    if (trapped(title, errorId, [&] { goOn = cancelacionValidada(); }) || !goOn)
        return;

    Publico &p = publico();
    zentaro::Connection &db = p.Environment->Connection();
    try {
        auto canceller = components().invoiceCanceller();
        db.beginTrans();
        if (!canceller->CancelInvoice(txtFolio->text(), 0)) {
            db.rollbackTrans();
            p.Environment->ShowMessage(canceller->LastError(), 16, QStringLiteral("Operación cancelada"), this,
                                       QStringLiteral("QX101"), QStringLiteral("ERR-ID:7500051"));
            return;
        }
        canceller.reset();
        for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")}) {
            p.Sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ");
            p.Sql += QStringLiteral("   Fc_Folio = '', ");
            p.Sql += QStringLiteral("   Fc_Factura = '', ");
            p.Sql += QStringLiteral("   Es_Cve_Estado  = 'AC' ");
            p.Sql += QStringLiteral("WHERE Fc_Folio = ") + zentaro::sql::quoted(txtFolio->text()) + QStringLiteral(" ");
            db.execute(p.Sql);
        }
        db.commitTrans();
        Controles_Cancelar();
    } catch (const std::exception &error) {
        db.rollbackTrans();
        showMessage(describe(error), 16, title, errorId);
    }
}

} // namespace qx417
