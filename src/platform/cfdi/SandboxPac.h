#pragma once

#include "platform/cfdi/Pac.h"
#include "platform/cfdi/TestCertificate.h"

#include <QDateTime>
#include <QHash>

#include <functional>

namespace zentaro::cfdi {

// An offline PAC for demos and tests. It checks what a real PAC checks before stamping
// (well-formed CFDI 4.0 without a previous timbre, the Sello against the Certificado it
// carries, that certificate's validity and RFC, the 72-hour window of Fecha, and the Anexo 20
// arithmetic) and stamps with a certificate of its own, generated at construction. Its
// stamps have no fiscal validity.
//
// Idempotence: the UUID is derived from the Sello (SHA-256 shaped as a version 4 UUID), so
// the same sealed document always gets the same UUID, across instances too. FechaTimbrado is
// the clock's time at the first stamping (central time, as SAT writes it), remembered per
// instance by UUID; a new instance would date a repeated document anew. A document stamped
// before is answered with its stamp and marked alreadyStamped, as a PAC answers SAT's 307.
// Refusals carry the SAT's CFDI40xxx codes where SAT has one.
class SandboxPac : public Pac
{
public:
    using Clock = std::function<QDateTime()>;

    explicit SandboxPac(Clock clock, const QString &rfc = QStringLiteral("SPR190613I52"));

    StampResult stamp(const QByteArray &sealedXml) override;

    // Cancellation as the SAT rules it. A request is only received (201); the status query
    // decides: a document sent to the general public or of a small amount is cancelled at
    // once, without the receiver; any other waits for its receiver, who in the sandbox never
    // answers, so after the 72 hours the SAT gives him it is cancelled by default. The answer
    // and its acknowledgement follow from the request alone (UUID, parties, total, dates,
    // motive): the same request always gets the same acknowledgement, whichever instance
    // answers, as a retry needs; and so the sandbox cannot tell a request it never received.
    CancellationResult cancel(const CancellationRequest &request) override;
    CancellationResult cancellationStatus(const CancellationRequest &request) override;

    // The PAC's certificate, to check SelloSAT.
    const QByteArray &certificateDer() const { return m_csd.certificateDer; }
    QString rfc() const { return m_rfc; }

private:
    Clock m_clock;
    QString m_rfc;
    Csd m_csd;
    QHash<QString, QString> m_fechaTimbradoByUuid;
};

} // namespace zentaro::cfdi
