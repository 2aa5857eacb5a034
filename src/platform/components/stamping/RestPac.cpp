#include "platform/components/stamping/RestPac.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/components/stamping/IssuerCsd.h"
#include "platform/components/stamping/PacCodeText.h"
#include "platform/components/stamping/SatStatusQuery.h"
#include "platform/core/Error.h"
#include "platform/core/SecretMask.h"
#include "platform/services/Platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>

namespace zentaro {

namespace {

// Renew a little before the provider's instant: a request in flight must not outlive it.
constexpr int kTokenMarginSeconds = 300;
constexpr int kTokenLifetimeSeconds = 7200;

QString providerText(const QJsonObject &json)
{
    const QString message = json.value(QLatin1String("message")).toString().trimmed();
    const QString detail = json.value(QLatin1String("messageDetail")).toString().trimmed();
    if (detail.isEmpty() || detail == message)
        return message;
    return message.isEmpty() ? detail : message + QStringLiteral(". ") + detail;
}

bool succeeded(const QJsonObject &json)
{
    return json.value(QLatin1String("status")).toString().compare(QLatin1String("success"), Qt::CaseInsensitive) == 0;
}

bool failed(const QJsonObject &json)
{
    return json.value(QLatin1String("status")).toString().compare(QLatin1String("error"), Qt::CaseInsensitive) == 0;
}

// The Sello of the comprobante sent, to check that what comes back stamps that document.
QString selloOf(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (reader.readNextStartElement())
        return reader.attributes().value(QLatin1String("Sello")).toString();
    return {};
}

bool validUuid(const QString &text)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    return uuid.match(text).hasMatch();
}

cfdi::CancellationResult cancellationResult(cfdi::CancellationStatus status, const QString &code, const QString &message,
                                            const QByteArray &acuse = {})
{
    return {status, acuse, code, message};
}

// The PAC's certificate that made a SelloSAT, from the folder the operator installs them in
// (.cer in DER or PEM), found by its number. Empty when it is not there.
QByteArray pacCertificate(const QString &folder, const QString &number)
{
    if (folder.isEmpty() || number.isEmpty())
        return {};
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.cer"), QStringLiteral("*.pem"), QStringLiteral("*.crt")},
                                             QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray der = file.readAll();
        if (der.startsWith("-----BEGIN")) {
            const QList<QByteArray> lines = der.split('\n');
            QByteArray base64;
            for (const QByteArray &line : lines)
                if (!line.startsWith("-----"))
                    base64 += line.trimmed();
            der = QByteArray::fromBase64(base64);
        }
        try {
            if (cfdi::CsdCertificate::fromDer(der).number() == number)
                return der;
        } catch (const Error &) {
            // Not a certificate: the folder may hold other files.
        }
    }
    return {};
}

} // namespace

RestPac::RestPac(PacSettings settings, CsdSource csd) : m_settings(std::move(settings)), m_csd(std::move(csd))
{
    // Whatever comes back through the exchange is cleaned of it from now on.
    rememberSecret(m_settings.password);
    if (m_settings.apiUrl.isEmpty())
        m_settings.apiUrl = m_settings.baseUrl;
    if (!m_csd)
        m_csd = [](const QString &rfc) { return issuerCsd(Platform::instance().connection(), rfc); };
}

RestPac::~RestPac()
{
    forgetToken();
}

void RestPac::forgetToken()
{
    if (!m_token.isEmpty())
        forgetSecret(QString::fromUtf8(m_token));
    m_token.clear();
}

std::shared_ptr<RestPac> RestPac::fromConfiguration()
{
    return std::make_shared<RestPac>(PacSettings::fromConfiguration());
}

QByteArray RestPac::customId(const QByteArray &sealedXml)
{
    return QCryptographicHash::hash(sealedXml, QCryptographicHash::Sha256).toHex();
}

HttpsReply RestPac::sendWithRetries(const HttpsRequest &request)
{
    HttpsReply reply;
    int pause = m_settings.retryPauseMs;
    for (int attempt = 1; attempt <= m_settings.attempts; ++attempt) {
        if (attempt > 1) {
            QThread::msleep(static_cast<unsigned long>(pause));
            pause *= 2;
        }
        reply = exchange(request, m_settings);
        // An untrusted server stays untrusted, and a reply too large stays too large.
        if (!reply.transient() || reply.failure == HttpsReply::Failure::TooLarge)
            return reply;
    }
    return reply;
}

cfdi::PacRefusal RestPac::unanswered(const HttpsReply &reply, const QString &server) const
{
    const QString tries =
        m_settings.attempts == 1 ? QStringLiteral("1 intento") : QStringLiteral("%1 intentos").arg(m_settings.attempts);
    cfdi::PacRefusal refusal;
    refusal.transient = true;
    switch (reply.failure) {
    case HttpsReply::Failure::Unreachable:
        refusal.code = QStringLiteral("SIN-CONEXION");
        refusal.message = QStringLiteral("No se pudo conectar con el PAC %1 (%2): %3").arg(server, tries, reply.reason);
        break;
    case HttpsReply::Failure::TimedOut:
        refusal.code = QStringLiteral("SIN-RESPUESTA");
        refusal.message = QStringLiteral("El PAC %1 no respondió en %2 segundos (%3)")
                              .arg(server)
                              .arg(m_settings.timeout)
                              .arg(tries);
        break;
    case HttpsReply::Failure::Untrusted:
        refusal.code = QStringLiteral("TLS");
        refusal.message = QStringLiteral("La conexión cifrada con el PAC %1 falló o su certificado no es de "
                                         "confianza: %2. Si usa un certificado propio, indique su autoridad en "
                                         "CFDI_PAC_CA_CERTIFICADO")
                              .arg(server, reply.reason);
        break;
    case HttpsReply::Failure::TooLarge:
        refusal.code = QStringLiteral("RESPUESTA-GRANDE");
        refusal.message = QStringLiteral("La respuesta del PAC %1 fue demasiado grande (más de %2 MB) y no se leyó")
                              .arg(server)
                              .arg(kHttpsReplyCap / (1024 * 1024));
        break;
    case HttpsReply::Failure::Other:
        refusal.code = QStringLiteral("SIN-RESPUESTA");
        refusal.message =
            QStringLiteral("Falló la comunicación con el PAC %1 (%2): %3").arg(server, tries, reply.reason);
        break;
    case HttpsReply::Failure::None:
        refusal.code = QStringLiteral("HTTP %1").arg(reply.status);
        refusal.message = QStringLiteral("El PAC %1 falló al atender la solicitud (error %2 del servidor, %3)")
                              .arg(server)
                              .arg(reply.status)
                              .arg(tries);
        break;
    }
    refusal.message = m_settings.masked(refusal.message);
    return refusal;
}

std::optional<cfdi::PacRefusal> RestPac::login(bool headerForm)
{
    HttpsRequest request;
    if (headerForm) {
        request.url = m_settings.baseUrl.toUtf8() + "/security/authenticate";
        request.headers = {{"user", m_settings.user.toUtf8()}, {"password", m_settings.password.toUtf8()}};
    } else {
        request.url = m_settings.baseUrl.toUtf8() + "/v2/security/authenticate";
        request.headers = {{"Content-Type", "application/json"}};
        request.body = QJsonDocument(QJsonObject{{QStringLiteral("user"), m_settings.user},
                                                 {QStringLiteral("password"), m_settings.password}})
                           .toJson(QJsonDocument::Compact);
    }
    const HttpsReply reply = sendWithRetries(request);
    const QString server = QUrl(m_settings.baseUrl).host();
    if (!reply.answered() || reply.transient())
        return unanswered(reply, server);
    if (reply.status == 404 && !headerForm)
        return login(true);
    const QJsonObject json = QJsonDocument::fromJson(reply.body).object();
    const QJsonObject data = json.value(QLatin1String("data")).toObject();
    const QByteArray token = data.value(QLatin1String("token")).toString().toUtf8();
    if (reply.status == 200 && succeeded(json) && !token.isEmpty()) {
        m_token = token;
        rememberSecret(QString::fromUtf8(token));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        // The documented examples carry the instant of expiry as Unix time; a small number
        // can only be a lifetime in seconds.
        const qint64 expires = qint64(data.value(QLatin1String("expires_in")).toDouble(0));
        QDateTime expiry = expires > 1000000000 ? QDateTime::fromSecsSinceEpoch(expires, Qt::UTC)
                           : expires > 0       ? now.addSecs(expires)
                                               : now.addSecs(kTokenLifetimeSeconds);
        m_tokenRenewal = expiry.addSecs(-kTokenMarginSeconds);
        return std::nullopt;
    }
    const QString text = providerText(json);
    const QString code = leadingCode(text);
    cfdi::PacRefusal refusal{code.isEmpty() ? QStringLiteral("HTTP %1").arg(reply.status) : code,
                             m_settings.masked(QStringLiteral("El PAC %1 no aceptó el usuario %2 con la contraseña de "
                                                              "CFDI_PAC_CLAVE: %3")
                                                   .arg(server, m_settings.user,
                                                        text.isEmpty() ? QStringLiteral("sin motivo") : text)),
                             true};
    return refusal;
}

std::optional<cfdi::PacRefusal> RestPac::ensureToken()
{
    if (!m_token.isEmpty() && QDateTime::currentDateTimeUtc() < m_tokenRenewal)
        return std::nullopt;
    forgetToken();
    return login(false);
}

RestPac::Answer RestPac::call(HttpsRequest request)
{
    const QString server = QUrl(QString::fromUtf8(request.url)).host();
    const QList<QPair<QByteArray, QByteArray>> headers = request.headers;
    // A token may be forgotten on the provider's side before its instant: log in once more.
    for (int login = 0; login < 2; ++login) {
        if (auto refusal = ensureToken())
            return {0, {}, refusal};
        request.headers = headers;
        request.headers.append({"Authorization", "Bearer " + m_token});
        const HttpsReply reply = sendWithRetries(request);
        if (!reply.answered() || reply.transient())
            return {reply.status, {}, unanswered(reply, server)};
        if (reply.status == 401 && login == 0) {
            forgetToken();
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(reply.body);
        const QJsonObject json = document.object();
        if (!document.isObject() || (!succeeded(json) && !failed(json)))
            return {reply.status,
                    {},
                    cfdi::PacRefusal{QStringLiteral("HTTP %1").arg(reply.status),
                                     QStringLiteral("El PAC %1 respondió algo que no es su formato (HTTP %2): %3")
                                         .arg(server)
                                         .arg(reply.status)
                                         .arg(QString::fromUtf8(reply.body.left(200))),
                                     true}};
        return {reply.status, json, std::nullopt};
    }
    return {401, {}, cfdi::PacRefusal{QStringLiteral("HTTP 401"),
                                      QStringLiteral("El PAC %1 rechazó la sesión recién abierta").arg(server), true}};
}

cfdi::StampResult RestPac::stampFrom(const QString &stampedXml, const QByteArray &sealedXml, bool already) const
{
    cfdi::Stamp stamp;
    stamp.xml = stampedXml.toUtf8();
    try {
        stamp.timbre = cfdi::readTimbreFiscalDigital(stamp.xml);
    } catch (const Error &error) {
        return cfdi::StampResult::unanswered(
            QStringLiteral("SIN-TIMBRE"),
            QStringLiteral("El PAC respondió sin un timbre fiscal digital legible: %1").arg(error.description()));
    }
    if (stamp.timbre.selloCfd != selloOf(sealedXml))
        return cfdi::StampResult::unanswered(QStringLiteral("OTRO-COMPROBANTE"),
                                             QStringLiteral("El PAC devolvió el timbre de otro comprobante (UUID %1); "
                                                            "no se guarda")
                                                 .arg(stamp.timbre.uuid));
    stamp.pacCertificateDer = pacCertificate(m_settings.certificateFolder, stamp.timbre.noCertificadoSat);
    if (!stamp.pacCertificateDer.isEmpty() &&
        !cfdi::CsdCertificate::fromDer(stamp.pacCertificateDer)
             .verify(cfdi::cadenaOriginalTfd(stamp.timbre).toUtf8(), stamp.timbre.selloSat))
        return cfdi::StampResult::unanswered(
            QStringLiteral("SELLO-SAT"),
            QStringLiteral("El sello del SAT del timbre %1 no corresponde al certificado %2 del PAC; no se guarda")
                .arg(stamp.timbre.uuid, stamp.timbre.noCertificadoSat));
    return cfdi::StampResult{stamp, std::nullopt, already};
}

cfdi::StampResult RestPac::fetchByUuid(const QString &uuid, const QByteArray &sealedXml, const QString &code)
{
    if (!validUuid(uuid))
        return cfdi::StampResult::unanswered(code, QStringLiteral("El PAC dice que el comprobante ya tiene un timbre "
                                                                  "pero no dio su folio fiscal"));
    HttpsRequest record;
    record.method = "GET";
    record.url = m_settings.apiUrl.toUtf8() + "/datawarehouse/v1/live/" + uuid.toLatin1();
    const Answer answer = call(record);
    if (answer.failure)
        return cfdi::StampResult{std::nullopt, answer.failure};
    const QJsonArray records =
        answer.json.value(QLatin1String("data")).toObject().value(QLatin1String("records")).toArray();
    const QString urlXml = records.isEmpty() ? QString()
                                             : records.first().toObject().value(QLatin1String("urlXml")).toString();
    if (!succeeded(answer.json) || urlXml.isEmpty())
        return cfdi::StampResult::unanswered(code, QStringLiteral("El PAC aún no tiene el XML timbrado del folio "
                                                                  "fiscal %1; se pedirá de nuevo")
                                                       .arg(uuid));
    HttpsRequest download;
    download.method = "GET";
    download.url = urlXml.toUtf8();
    const HttpsReply xml = sendWithRetries(download);
    if (!xml.answered() || xml.status != 200)
        return cfdi::StampResult{std::nullopt, unanswered(xml, QUrl(urlXml).host())};
    return stampFrom(QString::fromUtf8(xml.body), sealedXml, true);
}

cfdi::StampResult RestPac::stamp(const QByteArray &sealedXml)
{
    HttpsRequest request;
    request.url = m_settings.baseUrl.toUtf8() + "/cfdi33/stamp/v4";
    request.headers = {{"customid", customId(sealedXml)}};
    request.xmlFormField = sealedXml;
    const Answer answer = call(request);
    if (answer.failure)
        return cfdi::StampResult{std::nullopt, answer.failure};
    const QJsonObject data = answer.json.value(QLatin1String("data")).toObject();
    const QString stamped = data.value(QLatin1String("cfdi")).toString();
    if (succeeded(answer.json)) {
        if (stamped.isEmpty())
            return cfdi::StampResult::unanswered(QStringLiteral("SIN-TIMBRE"),
                                                 QStringLiteral("El PAC dijo que timbró pero no devolvió el comprobante"));
        return stampFrom(stamped, sealedXml, false);
    }
    const QString text = providerText(answer.json);
    const QString code = leadingCode(text);
    if (code == QLatin1String("307")) {
        // The first stamp of these very bytes.
        if (!stamped.isEmpty())
            return stampFrom(stamped, sealedXml, true);
        QString uuid = data.value(QLatin1String("uuid")).toString();
        if (uuid.isEmpty() && !data.value(QLatin1String("tfd")).toString().isEmpty()) {
            try {
                uuid = cfdi::readTimbreFiscalDigital(data.value(QLatin1String("tfd")).toString().toUtf8()).uuid;
            } catch (const Error &) {
            }
        }
        return fetchByUuid(uuid, sealedXml, code);
    }
    if (code == QLatin1String("CFDI3307")) {
        // The key stamped other bytes: the earlier stamp is ours only if it seals ours.
        QString uuid;
        try {
            uuid = cfdi::readTimbreFiscalDigital(data.value(QLatin1String("tfd")).toString().toUtf8()).uuid;
        } catch (const Error &) {
        }
        return fetchByUuid(uuid, sealedXml, code);
    }
    if (code.isEmpty())
        return cfdi::StampResult::unanswered(QStringLiteral("PAC"),
                                             QStringLiteral("El PAC no timbró el comprobante y no dio un código: %1")
                                                 .arg(text.isEmpty() ? QStringLiteral("sin motivo") : text));
    return cfdi::StampResult::refused(code, m_settings.masked(stampRefusalText(code, text)));
}

cfdi::CancellationResult RestPac::cancel(const cfdi::CancellationRequest &request)
{
    using Status = cfdi::CancellationStatus;
    static const QStringList motives = {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"),
                                        QStringLiteral("04")};
    if (!validUuid(request.uuid))
        return cancellationResult(Status::Refused, QStringLiteral("UUID"),
                                  QStringLiteral("El folio fiscal \"%1\" no es un UUID válido").arg(request.uuid));
    if (!motives.contains(request.motive))
        return cancellationResult(
            Status::Refused, QStringLiteral("207"),
            QStringLiteral("El motivo de cancelación \"%1\" no es uno del SAT (01, 02, 03 o 04)").arg(request.motive));
    const bool replaced = request.motive == QLatin1String("01");
    if (replaced && !validUuid(request.replacementUuid))
        return cancellationResult(Status::Refused, QStringLiteral("208"),
                                  QStringLiteral("El motivo 01 requiere el folio fiscal del comprobante que sustituye "
                                                 "al cancelado"));
    if (!replaced && !request.replacementUuid.isEmpty())
        return cancellationResult(Status::Refused, QStringLiteral("209"),
                                  QStringLiteral("Solo el motivo 01 lleva el folio fiscal de un comprobante que lo "
                                                 "sustituya"));
    cfdi::Csd csd;
    try {
        csd = m_csd(request.issuerRfc);
    } catch (const Error &error) {
        return cancellationResult(Status::Refused, QStringLiteral("CSD"), error.description());
    }

    HttpsRequest http;
    http.url = m_settings.baseUrl.toUtf8() + "/cfdi33/cancel/csd";
    http.headers = {{"Content-Type", "application/json"}};
    QJsonObject body{{QStringLiteral("b64Cer"), QString::fromLatin1(csd.certificateDer.toBase64())},
                     {QStringLiteral("b64Key"), QString::fromLatin1(csd.privateKeyDer.toBase64())},
                     {QStringLiteral("password"), csd.password},
                     {QStringLiteral("rfc"), request.issuerRfc},
                     {QStringLiteral("uuid"), request.uuid},
                     {QStringLiteral("motivo"), request.motive}};
    if (replaced)
        body.insert(QStringLiteral("folioSustitucion"), request.replacementUuid);
    http.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    const Answer answer = call(http);
    // No usable answer: the SAT may have the request. Never a refusal.
    if (answer.failure)
        return cancellationResult(Status::Unknown, answer.failure->code, answer.failure->message);

    const QJsonObject data = answer.json.value(QLatin1String("data")).toObject();
    const QByteArray acuse = data.value(QLatin1String("acuse")).toString().toUtf8();
    QString code;
    QString text;
    if (succeeded(answer.json)) {
        const QJsonObject codes = data.value(QLatin1String("uuid")).toObject();
        for (auto it = codes.begin(); it != codes.end(); ++it)
            if (it.key().compare(request.uuid, Qt::CaseInsensitive) == 0 || codes.size() == 1)
                code = it.value().toVariant().toString();
    } else {
        text = providerText(answer.json);
        code = leadingCode(text);
    }
    static const QRegularExpression satCode(QStringLiteral("^[23][0-9]{2}$"));
    if (!satCode.match(code).hasMatch()) {
        const QString said = text.isEmpty() ? QStringLiteral("sin código del SAT") : text;
        return cancellationResult(
            failed(answer.json) && !code.isEmpty() ? Status::Refused : Status::Unknown,
            code.isEmpty() ? QStringLiteral("PAC") : code,
            m_settings.masked(QStringLiteral("El PAC no dio la respuesta del SAT a la cancelación: %1").arg(said)),
            acuse);
    }
    const CancellationCodeMeaning meaning = cancellationCodeMeaning(code);
    QString message = text.isEmpty() ? meaning.text : QStringLiteral("%1 (el PAC dice: %2)").arg(meaning.text, text);
    cfdi::CancellationResult result = cancellationResult(meaning.status, code, m_settings.masked(message), acuse);
    // "Already cancelled" is taken for done only when the SAT's own status says so.
    if (code == QLatin1String("202")) {
        const cfdi::CancellationResult status = cancellationStatus(request);
        result.status = status.status == Status::Cancelled ? Status::Cancelled : Status::InProcess;
        if (result.status != Status::Cancelled)
            result.message += QStringLiteral("; el servicio de consulta del SAT aún no lo confirma (%1)")
                                  .arg(status.message);
    }
    return result;
}

cfdi::CancellationResult RestPac::cancellationStatus(const cfdi::CancellationRequest &request)
{
    const HttpsReply reply = sendWithRetries(satStatusRequest(request, m_settings.satStatusUrl));
    const QString server = QUrl(m_settings.satStatusUrl).host();
    if (!reply.answered() || reply.transient()) {
        cfdi::PacRefusal failure = unanswered(reply, server);
        return cancellationResult(
            cfdi::CancellationStatus::Unknown, failure.code,
            failure.message.replace(QLatin1String("El PAC"), QLatin1String("El servicio de consulta del SAT")));
    }
    try {
        return readSatStatus(reply.body);
    } catch (const Error &error) {
        return cancellationResult(cfdi::CancellationStatus::Unknown, QStringLiteral("HTTP %1").arg(reply.status),
                                  error.description());
    }
}

} // namespace zentaro
