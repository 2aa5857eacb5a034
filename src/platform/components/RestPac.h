#pragma once

#include "platform/cfdi/Pac.h"
#include "platform/components/HttpsExchange.h"
#include "platform/components/PacSettings.h"

#include <QDateTime>
#include <QJsonObject>

#include <memory>

namespace zentaro {

// A certification provider reached over HTTPS with the REST protocol commercial PACs
// publish for CFDI 4.0:
//   POST {base}/security/authenticate        headers "user" and "password"; answers
//        {"status":"success","data":{"token":"...","expires_in":7200}}
//   POST {base}/cfdi33/stamp/v4               the sealed XML as multipart field "xml",
//        "Authorization: Bearer <token>"; answers {"status":"success","data":{"uuid":...,
//        "cfdi":"<stamped XML>",...}}. The path keeps its historic name; it takes CFDI 4.0.
//   POST {base}/cfdi33/cancel/{rfc}/{uuid}/{motivo}[/{folioSustitucion}]   with the
//        issuer's CSD kept at the provider; answers {"status":"success","data":{"acuse":
//        "<SAT's acknowledgement>","uuid":{"<UUID>":"201"}}}
// Every refusal reads {"status":"error","message":"<code> - <text>","messageDetail":"..."}
// with SAT's code (CFDI40xxx, 301-308, 401-403, 201-212) or the provider's own. Code 307,
// "already stamped", comes with the stamp given the first time in "data", which is how a
// retried document gets its one UUID back.
// The cancellation status is asked of the SAT's own public query service (SOAP, Consulta).
//
// A request that gets no answer, or a 5xx or 429, is sent again up to CFDI_PAC_INTENTOS
// times, with a growing pause; a refusal is never repeated. Stamping the same sealed XML
// twice is safe by the provider's contract, and so is asking twice to cancel.
class RestPac : public cfdi::Pac
{
public:
    explicit RestPac(PacSettings settings);
    static std::shared_ptr<RestPac> fromConfiguration();

    cfdi::StampResult stamp(const QByteArray &sealedXml) override;
    cfdi::CancellationResult cancel(const cfdi::CancellationRequest &request) override;
    cfdi::CancellationResult cancellationStatus(const cfdi::CancellationRequest &request) override;

    const PacSettings &settings() const { return m_settings; }

private:
    // A provider's answer as JSON, or why there is none to use.
    struct Answer
    {
        QJsonObject json;
        std::optional<cfdi::PacRefusal> failure;
    };
    Answer call(const QByteArray &path, const QByteArray &xml);
    std::optional<cfdi::PacRefusal> ensureToken();
    HttpsReply sendWithRetries(const HttpsRequest &request);
    cfdi::PacRefusal unanswered(const HttpsReply &reply, const QString &server) const;
    cfdi::StampResult stampFrom(const QString &stampedXml, const QByteArray &sealedXml) const;

    PacSettings m_settings;
    QByteArray m_token;
    QDateTime m_tokenExpires;
};

} // namespace zentaro
