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
    // No answer came, or the PAC failed on its side (a timeout, a server error): the document
    // may have been stamped all the same, so it must be sent again as it is, never sealed
    // anew. A refusal that is not transient is the PAC's final word on that XML.
    bool transient = false;
};

// SAT's code for a document stamped before ("CFDI previamente timbrado").
inline constexpr char16_t kAlreadyStampedCode[] = u"307";

struct Stamp
{
    TimbreFiscalDigital timbre;
    QByteArray xml; // the sealed CFDI with the timbre in cfdi:Complemento
    // The PAC's certificate (DER) that made the SelloSAT, when the PAC hands it over; kept
    // with the stamp so the SAT seal can be checked years later.
    QByteArray pacCertificateDer;
};

struct StampResult
{
    std::optional<Stamp> stamp;
    std::optional<PacRefusal> refusal;
    // The PAC had stamped this very document before and gave back that stamp.
    bool alreadyStamped = false;

    bool stamped() const { return stamp.has_value(); }
    static StampResult refused(QString code, QString message)
    {
        return StampResult{std::nullopt, PacRefusal{std::move(code), std::move(message)}};
    }
    // No answer, or a fault of the PAC's own: send the same document again later.
    static StampResult unanswered(QString code, QString message)
    {
        return StampResult{std::nullopt, PacRefusal{std::move(code), std::move(message), true}};
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
    QString sello;              // the document's Sello: the SAT's status query asks for its last 8 characters
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
    Unknown,          // no usable answer (lost, garbled, too large): the SAT may have the
                      // request, so it is never taken for a refusal; ask again later
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
    // The stamp given earlier to this sealed document, for a PAC that answers "already
    // stamped" (SAT's 307) without handing the stamp over; a PAC that returns the stamp with
    // that answer needs nothing more than asking again.
    virtual StampResult existingStamp(const QByteArray &sealedXml) { return stamp(sealedXml); }
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
