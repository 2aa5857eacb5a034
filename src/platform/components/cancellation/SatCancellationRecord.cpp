#include "platform/components/cancellation/SatCancellationRecord.h"

#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/stamping/StampedXmlFacts.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"

namespace zentaro::satcancellation {

namespace {

const QString kDateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString stateOf(cfdi::CancellationStatus status, const QString &current)
{
    switch (status) {
    case cfdi::CancellationStatus::Cancelled: return QString::fromUtf16(kCancelled);
    case cfdi::CancellationStatus::InProcess: return QString::fromUtf16(kInProcess);
    case cfdi::CancellationStatus::Refused: return QString::fromUtf16(kRefused);
    case cfdi::CancellationStatus::NotCancellable: return QString::fromUtf16(kNotCancellable);
    case cfdi::CancellationStatus::Unknown: return current;
    }
    return QString::fromUtf16(kRefused);
}

// A document's XML says when it was stamped more exactly than the column does.
QDateTime dateTimeOf(const QString &text) { return QDateTime::fromString(text, kDateTimeFormat); }

} // namespace

std::optional<Record> find(Connection &connection, const QString &table, const QString &document)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Cd_UUID, Cd_Fecha_Timbrado, Cd_XML, Cd_Estado, Cd_Motivo_Cancelacion, "
                       "Cd_Folio_Sustitucion, Cd_Fecha_Solicitud, Cd_Respuesta_SAT, Cd_Acuse FROM Comprobante_Digital "
                       "WHERE Cd_Tabla = ? AND Cd_Documento = ?"),
        {table, document});
    if (rs.eof())
        return std::nullopt;
    Record r;
    r.table = table;
    r.document = document;
    r.uuid = rs.text(QStringLiteral("Cd_UUID"));
    r.stampedAt = dateTimeOf(rs.text(QStringLiteral("Cd_Fecha_Timbrado")));
    r.xml = rs.text(QStringLiteral("Cd_XML")).toUtf8();
    r.state = rs.text(QStringLiteral("Cd_Estado"));
    r.motive = rs.text(QStringLiteral("Cd_Motivo_Cancelacion"));
    r.replacementUuid = rs.text(QStringLiteral("Cd_Folio_Sustitucion"));
    r.requestedAt = dateTimeOf(rs.text(QStringLiteral("Cd_Fecha_Solicitud")));
    r.answer = rs.text(QStringLiteral("Cd_Respuesta_SAT"));
    r.acknowledgement = rs.text(QStringLiteral("Cd_Acuse")).toUtf8();
    return r;
}

cfdi::CancellationRequest requestOf(const Record &record)
{
    const StampedXmlFacts facts = StampedXmlFacts::read(record.xml);
    cfdi::CancellationRequest request;
    request.issuerRfc = facts.issuerRfc;
    request.receiverRfc = facts.receiverRfc;
    request.uuid = record.uuid;
    request.total = facts.total;
    request.motive = record.motive;
    request.replacementUuid = record.replacementUuid;
    request.stampedAt = record.stampedAt;
    request.requestedAt = record.requestedAt;
    // The SAT's status service asks for the seal's last characters; a stored XML that
    // cannot be read leaves it empty and the service says so.
    try {
        request.sello = cfdi::readComprobanteXml(record.xml).sello;
    } catch (const Error &) {
    }
    return request;
}

bool recordRequest(Connection &connection, Record &record, const QString &motive, const QString &replacementUuid,
                   const QDateTime &requestedAt)
{
    TransactionGuard transaction(connection);
    const int taken = connection.run(
        QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = ?, Cd_Motivo_Cancelacion = ?, "
                       "Cd_Folio_Sustitucion = ?, Cd_Fecha_Solicitud = ?, Cd_Respuesta_SAT = '', Cd_Acuse = '' "
                       "WHERE Cd_Tabla = ? AND Cd_Documento = ? AND Cd_Estado = ?"),
        {QString::fromUtf16(kRequested), motive, replacementUuid, requestedAt.toString(kDateTimeFormat), record.table,
         record.document, record.state});
    if (taken != 1)
        return false;
    logDocumentEvent(connection, record.table, record.document, QStringLiteral("Cancelación solicitada"),
                     replacementUuid.isEmpty()
                         ? QStringLiteral("Motivo %1, folio fiscal %2").arg(motive, record.uuid)
                         : QStringLiteral("Motivo %1, folio fiscal %2, lo sustituye %3")
                               .arg(motive, record.uuid, replacementUuid));
    transaction.commit();
    record.state = QString::fromUtf16(kRequested);
    record.motive = motive;
    record.replacementUuid = replacementUuid;
    // As the database keeps it (to the second, without a zone): a retry read back from the
    // record must send the very same request.
    record.requestedAt = dateTimeOf(requestedAt.toString(kDateTimeFormat));
    record.answer.clear();
    record.acknowledgement.clear();
    return true;
}

void recordAnswer(Connection &connection, Record &record, const cfdi::CancellationResult &result, AnswerTo source)
{
    const QString state = stateOf(result.status, record.state);
    const QString answer = QStringLiteral("%1 - %2").arg(result.code, result.message).left(250);
    const bool newAcuse = !result.acknowledgement.isEmpty()
        && (source == AnswerTo::Request || record.acknowledgement.isEmpty());
    const QByteArray acknowledgement = newAcuse ? result.acknowledgement : record.acknowledgement;
    TransactionGuard transaction(connection);
    const int kept = connection.run(
        QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = ?, Cd_Respuesta_SAT = ?, Cd_Acuse = ? "
                       "WHERE Cd_Tabla = ? AND Cd_Documento = ? AND Cd_Estado <> ?"),
        {state, answer, QString::fromUtf8(acknowledgement), record.table, record.document, QString::fromUtf16(kCancelled)});
    if (kept != 1) {
        // Another clerk kept the SAT's cancellation meanwhile: that is where it stands.
        if (auto now = find(connection, record.table, record.document))
            record = *now;
        return;
    }
    logDocumentEvent(connection, record.table, record.document, QStringLiteral("Respuesta del SAT"),
                     QStringLiteral("%1: %2").arg(stateText(state), answer));
    transaction.commit();
    record.state = state;
    record.answer = answer;
    record.acknowledgement = acknowledgement;
}

QString stateText(const QString &state)
{
    if (state == QStringView(kRequested))
        return QStringLiteral("Cancelación solicitada, sin respuesta del SAT");
    if (state == QStringView(kInProcess))
        return QStringLiteral("Cancelación en proceso");
    if (state == QStringView(kCancelled))
        return QStringLiteral("Cancelado");
    if (state == QStringView(kRefused))
        return QStringLiteral("Cancelación rechazada");
    if (state == QStringView(kNotCancellable))
        return QStringLiteral("No cancelable");
    return QStringLiteral("Vigente");
}

} // namespace zentaro::satcancellation
