#include "platform/components/cancellation/InvoiceCanceller.h"

#include "platform/components/records/DocumentLog.h"
#include "platform/components/cancellation/FreedNotes.h"
#include "platform/components/invoicing/GlobalReplacement.h"
#include "platform/components/invoicing/NamedInvoiceFromGlobal.h"
#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/components/stamping/SealedDocuments.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");

// Refusals that are answers, not failures of the suite.
struct Refusal
{
    QString text;
};

} // namespace

InvoiceCanceller::InvoiceCanceller(Connection &connection) : m_connection(connection) {}

bool InvoiceCanceller::CancelInvoice(const QString &folio, int flag)
{
    Q_UNUSED(flag);
    m_lastError.clear();
    if (!m_connection.inTransaction()) {
        m_lastError = QStringLiteral("La factura %1 se cancela dentro de una transacción y no hay ninguna abierta").arg(folio);
        return false;
    }
    try {
        // Its own savepoint: a refusal or a failure leaves the caller's transaction usable.
        TransactionGuard scope(m_connection);
        cancel(folio);
        scope.commit();
        return true;
    } catch (const Refusal &refusal) {
        m_lastError = refusal.text;
    } catch (const Error &error) {
        m_lastError = QStringLiteral("No se pudo cancelar la factura %1: %2").arg(folio, error.description());
    }
    return false;
}

void InvoiceCanceller::cancel(const QString &folio)
{
    Recordset invoice = m_connection.select(
        QStringLiteral("SELECT Fc_Factura, Fc_Serie, Es_Cve_Estado, Fc_Precio_Neto_Importe, Mn_Cve_Moneda FROM Factura "
                       "WHERE Fc_Folio = ?"),
        {folio});
    if (invoice.eof())
        throw Refusal {QStringLiteral("La factura %1 no existe").arg(folio)};
    const QString name = invoice.text(QStringLiteral("Fc_Factura")).isEmpty() ? folio : invoice.text(QStringLiteral("Fc_Factura"));
    // The screen offers the command only for an invoice that was not cancelled: whoever
    // finds it cancelled here lost the race to another clerk.
    const QString raceLost = QStringLiteral("La factura %1 ya está cancelada: otro usuario la canceló mientras usted lo "
                                            "intentaba")
                                 .arg(name);
    if (invoice.text(QStringLiteral("Es_Cve_Estado")).trimmed().toUpper() == QLatin1String("CA"))
        throw Refusal {raceLost};
    const QString total = invoice.decimal(QStringLiteral("Fc_Precio_Neto_Importe")).toFixed(2);
    const QString currency = invoice.text(QStringLiteral("Mn_Cve_Moneda"));
    invoice.close();

    QString motive, replacement, detail;
    if (const auto record = satcancellation::find(m_connection, kInvoiceTable, folio)) {
        if (!record->cancelledAtSat())
            throw Refusal {record->answer.isEmpty()
                               ? QStringLiteral("La factura %1 no está cancelada ante el SAT: valide su cancelación primero")
                                     .arg(name)
                               : QStringLiteral("La factura %1 no está cancelada ante el SAT (%2): %3")
                                     .arg(name, satcancellation::stateText(record->state), record->answer)};
        motive = record->motive;
        replacement = record->replacementUuid;
        detail = QStringLiteral("Folio fiscal %1 cancelado ante el SAT, motivo %2; ").arg(record->uuid, motive);
    } else if (findSealedDocument(m_connection, kInvoiceTable, folio)) {
        // Sent to the PAC with no answer kept: it may be a CFDI already, and freeing its
        // notes would have them billed twice.
        throw Refusal {QStringLiteral("La factura %1 se envió al PAC para timbrarse y su respuesta está pendiente: no se "
                                      "cancela hasta saber si quedó timbrada")
                           .arg(name)};
    }

    Utilities utilities;
    const QString now = utilities.SqlDateTime(utilities.ServerNow());
    const QString user = Platform::instance().userCode();
    // The first write claims the invoice: a clerk who cancels it at the same moment waits
    // here for the other's commit and then finds nothing left to cancel.
    if (m_connection.run(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA', Fc_Motivo_Cancelacion = ?, "
                                        "Fc_Folio_Sustitucion = ?, Oper_Ult_Modif = ?, Fecha_Ult_Modif = ? "
                                        "WHERE Fc_Folio = ? AND Es_Cve_Estado <> 'CA'"),
                         {motive, replacement, user, now, folio})
        != 1)
        throw Refusal {raceLost};
    m_connection.run(QStringLiteral("UPDATE Factura_Encabezado SET Es_Cve_Estado = 'CA', Fc_Motivo_Cancelacion = ?, "
                                    "Fc_Folio_Sustitucion = ?, Oper_Ult_Modif = ?, Fecha_Ult_Modif = ? WHERE Fc_Folio = ?"),
                     {motive, replacement, user, now, folio});
    // A replacement withdrawn gives its notes back to the invoice it was to replace.
    if (const int returned = GlobalReplacement::returnNotes(m_connection, folio); returned > 0)
        detail += QStringLiteral("%1 notas devueltas a la factura que sustituía; ").arg(returned);
    const int receivables = m_connection.run(
        QStringLiteral("UPDATE Cuenta_Por_Cobrar SET Cc_Saldo = 0, Es_Cve_Estado = 'CA' "
                       "WHERE Cc_Tabla = 'Factura' AND Cc_Documento = ? AND Es_Cve_Estado <> 'CA'"),
        {folio});
    if (receivables > 0)
        detail += QStringLiteral("cuenta por cobrar saldada; ");
    // The screen frees the notes next; the global that bills them again relates this one.
    recordNotesFreedByCancellation(m_connection, folio, motive);
    // A note a customer asked to be invoiced by name is kept for that invoice.
    namedinvoice::holdRequestedNotes(m_connection, folio);
    logDocumentEvent(m_connection, kInvoiceTable, folio, QStringLiteral("Cancelada"),
                     detail + QStringLiteral("total %1 %2").arg(total, currency));
}

} // namespace zentaro
