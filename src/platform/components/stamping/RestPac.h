#pragma once

#include "platform/cfdi/Pac.h"
#include "platform/cfdi/TestCertificate.h"
#include "platform/components/stamping/HttpsExchange.h"
#include "platform/components/stamping/PacSettings.h"

#include <QDateTime>
#include <QJsonObject>

#include <functional>
#include <memory>

namespace zentaro {

// The certification provider SW sapien (SmarterWeb) over HTTPS, as its developers' site
// documents it (developers.sw.com.mx, knowledge base):
//   POST {url}/v2/security/authenticate     JSON {"user","password"}; answers {"data":{"token":
//        "...","expires_in":<Unix time of expiry>,"tokeny_type":"Bearer"},"status":"success"}.
//        The token lasts two hours and is renewed before its instant passes. The older form,
//        POST {url}/security/authenticate with headers "user" and "password", is still
//        documented and is used only when the v2 route is not there (404).
//   POST {url}/cfdi33/stamp/v4              the sealed XML as multipart field "xml", with
//        "Authorization: Bearer <token>" and "customid: <SHA-256 of the sealed XML, hex>";
//        answers {"data":{"cadenaOriginalSAT","noCertificadoSAT","noCertificadoCFDI","uuid",
//        "selloSAT","selloCFDI","fechaTimbrado","qrCode","cfdi"},"status":"success"}.
//        The customid makes a retry safe: the same customid with the same XML answers
//        "307. El comprobante contiene un timbre previo." with the first stamp in "data";
//        the same customid with another XML answers "CFDI3307 - ..." with the earlier timbre
//        in data.tfd. Since the key is the digest of the bytes, the same bytes carry the same
//        key on every machine and a document sealed anew after a refusal carries a new one.
//   GET  {api}/datawarehouse/v1/live/{uuid} the provider's record of a stamp: data.records[0]
//        .urlXml is where the stamped XML is fetched, for a 307 or CFDI3307 without it.
//   POST {url}/cfdi33/cancel/csd            JSON {"b64Cer","b64Key","password","rfc","uuid",
//        "motivo","folioSustitucion"}: the issuer's CSD travels with the request, nothing has
//        to be uploaded beforehand; answers {"data":{"acuse":"<SAT's acknowledgement>","uuid":
//        {"<UUID>":"201"}},"status":"success"}.
// Every error reads {"message":"<code> - <text>","messageDetail":...,"data":...,"status":
// "error"}. The SAT's status of a cancellation is asked of its public query service (SOAP
// Consulta, see SatStatusQuery).
//
// What the adapter answers the signer: a stamp it could read and check, the provider's
// refusal with its code, or "no usable answer" (unanswered): silence, a body that is not the
// provider's format, a success without a usable CFDI, a refused login, a TLS failure, a reply
// too large. Only the signer decides what discards a sealed document (SealedDocuments).
//
// A request that got no answer, or a 5xx or 429, is sent again up to CFDI_PAC_INTENTOS times
// with a growing pause.
class RestPac : public cfdi::Pac
{
public:
    // The issuer's CSD for a cancellation, by RFC; by default the session's Emisor table.
    using CsdSource = std::function<cfdi::Csd(const QString &rfc)>;

    explicit RestPac(PacSettings settings, CsdSource csd = {});
    ~RestPac() override;
    static std::shared_ptr<RestPac> fromConfiguration();

    cfdi::StampResult stamp(const QByteArray &sealedXml) override;
    cfdi::CancellationResult cancel(const cfdi::CancellationRequest &request) override;
    cfdi::CancellationResult cancellationStatus(const cfdi::CancellationRequest &request) override;

    const PacSettings &settings() const { return m_settings; }

    // The customid of a sealed document: the SHA-256 of its bytes in hex (64 characters; the
    // provider takes up to 100).
    static QByteArray customId(const QByteArray &sealedXml);

private:
    struct Answer
    {
        int status = 0;
        QJsonObject json;
        std::optional<cfdi::PacRefusal> failure; // no usable answer
    };
    Answer call(HttpsRequest request);
    std::optional<cfdi::PacRefusal> ensureToken();
    void forgetToken();
    std::optional<cfdi::PacRefusal> login(bool headerForm);
    HttpsReply sendWithRetries(const HttpsRequest &request);
    cfdi::PacRefusal unanswered(const HttpsReply &reply, const QString &server) const;
    cfdi::StampResult stampFrom(const QString &stampedXml, const QByteArray &sealedXml, bool already) const;
    cfdi::StampResult fetchByUuid(const QString &uuid, const QByteArray &sealedXml, const QString &code);

    PacSettings m_settings;
    CsdSource m_csd;
    QByteArray m_token;
    QDateTime m_tokenRenewal; // UTC; a few minutes before the provider's expiry instant
};

} // namespace zentaro
