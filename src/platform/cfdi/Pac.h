#pragma once

#include "platform/cfdi/CadenaOriginal.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace zentaro::cfdi {

// Why a PAC did not stamp: SAT's code where SAT defines one ("CFDI40108", "302", ...) and the
// Spanish sentence shown to the user.
struct PacRefusal
{
    QString code;
    QString message;
};

struct Stamp
{
    TimbreFiscalDigital timbre;
    QByteArray xml; // the sealed CFDI with the timbre in cfdi:Complemento
};

struct StampResult
{
    std::optional<Stamp> stamp;
    std::optional<PacRefusal> refusal;

    bool stamped() const { return stamp.has_value(); }
    static StampResult refused(QString code, QString message)
    {
        return StampResult{std::nullopt, PacRefusal{std::move(code), std::move(message)}};
    }
};

// A request to cancel a stamped document at the SAT. Motive is SAT's c_MotivoCancelacion
// ("01" with a replacement UUID, "02", "03", "04").
struct CancellationRequest
{
    QString issuerRfc;
    QString receiverRfc;
    QString uuid;
    QString total;              // the document's Total, as stamped
    QString motive;
    QString replacementUuid;    // only with motive "01"
    QDateTime stampedAt;        // the document's FechaTimbrado
    // When the suite first asked: it is recorded before the request goes out and sent
    // again unchanged on a retry, so a repeated request is the same request.
    QDateTime requestedAt;
};

// Where the SAT stands on a cancellation.
enum class CancellationStatus {
    Cancelled,        // cancelled at the SAT
    InProcess,        // waiting for the receiver's acceptance
    Refused,          // the receiver or the SAT refused it
    NotCancellable,   // the SAT will not cancel this document (rules, deadline)
};

struct CancellationResult
{
    CancellationStatus status = CancellationStatus::Refused;
    QByteArray acknowledgement;   // the SAT's acuse (XML) as the PAC handed it over; kept
    QString code;                 // SAT's or the PAC's code
    QString message;              // Spanish sentence for the user
};

// A certification provider. Sending the same sealed document again must return the same
// stamp: the suite retries after a lost answer and must not end up with two UUIDs. Asking
// again to cancel a document already cancelled answers the same acknowledgement.
class Pac
{
public:
    virtual ~Pac() = default;
    virtual StampResult stamp(const QByteArray &sealedXml) = 0;
    // A provider that offers no cancellation says so; the suite shows its message.
    virtual CancellationResult cancel(const CancellationRequest &request)
    {
        Q_UNUSED(request);
        return {CancellationStatus::NotCancellable, {}, {}, QStringLiteral("El PAC configurado no cancela documentos")};
    }
    // The status of a cancellation asked for earlier (in process, cancelled, refused).
    virtual CancellationResult cancellationStatus(const CancellationRequest &request) { return cancel(request); }
};

} // namespace zentaro::cfdi
