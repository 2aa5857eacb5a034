#include "platform/components/RestPac.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/components/PacCodeText.h"
#include "platform/components/SatStatusQuery.h"
#include "platform/core/Error.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>

namespace zentaro {

namespace {

constexpr int kTokenMarginSeconds = 300;

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

cfdi::CancellationResult refusedCancellation(const QString &code, const QString &message)
{
    return {cfdi::CancellationStatus::Refused, {}, code, message};
}

} // namespace

RestPac::RestPac(PacSettings settings) : m_settings(std::move(settings)) {}

std::shared_ptr<RestPac> RestPac::fromConfiguration()
{
    return std::make_shared<RestPac>(PacSettings::fromConfiguration());
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
        // An untrusted server stays untrusted: asking again only repeats the refusal.
        if (!reply.transient())
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
        refusal.message = QStringLiteral("El PAC %1 no respondió en %2 segundos (%3); puede haber timbrado: "
                                         "intente de nuevo, el mismo comprobante no se timbra dos veces")
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
        refusal.transient = false;
        break;
    case HttpsReply::Failure::Other:
        refusal.code = QStringLiteral("SIN-RESPUESTA");
        refusal.message =
            QStringLiteral("Falló la comunicación con el PAC %1 (%2): %3").arg(server, tries, reply.reason);
        break;
    case HttpsReply::Failure::None:
        refusal.code = QStringLiteral("HTTP %1").arg(reply.status);
        refusal.message = QStringLiteral("El PAC %1 falló al atender la solicitud (error %2 del servidor, %3); "
                                         "intente más tarde, el mismo comprobante no se timbra dos veces")
                              .arg(server)
                              .arg(reply.status)
                              .arg(tries);
        break;
    }
    refusal.message = m_settings.masked(refusal.message);
    return refusal;
}

std::optional<cfdi::PacRefusal> RestPac::ensureToken()
{
    if (!m_token.isEmpty() && QDateTime::currentDateTimeUtc() < m_tokenExpires)
        return std::nullopt;
    m_token.clear();
    HttpsRequest request;
    request.url = m_settings.baseUrl.toUtf8() + "/security/authenticate";
    request.headers = {{"user", m_settings.user.toUtf8()}, {"password", m_settings.password.toUtf8()}};
    const HttpsReply reply = sendWithRetries(request);
    const QString server = QUrl(m_settings.baseUrl).host();
    if (!reply.answered() || reply.transient())
        return unanswered(reply, server);
    const QJsonObject json = QJsonDocument::fromJson(reply.body).object();
    const QByteArray token =
        json.value(QLatin1String("data")).toObject().value(QLatin1String("token")).toString().toUtf8();
    if (reply.status == 200 && succeeded(json) && !token.isEmpty()) {
        m_token = token;
        const int lifetime =
            json.value(QLatin1String("data")).toObject().value(QLatin1String("expires_in")).toInt(7200);
        m_tokenExpires = QDateTime::currentDateTimeUtc().addSecs(qMax(0, lifetime - kTokenMarginSeconds));
        return std::nullopt;
    }
    const QString text = providerText(json);
    const QString code = leadingCode(text);
    return cfdi::PacRefusal{
        code.isEmpty() ? QStringLiteral("HTTP %1").arg(reply.status) : code,
        m_settings.masked(QStringLiteral("El PAC %1 no aceptó el usuario %2 con la contraseña de "
                                         "CFDI_PAC_CLAVE: %3")
                              .arg(server, m_settings.user, text.isEmpty() ? QStringLiteral("sin motivo") : text))};
}

RestPac::Answer RestPac::call(const QByteArray &path, const QByteArray &xml)
{
    const QString server = QUrl(m_settings.baseUrl).host();
    // A token may expire on the provider's side before our clock says so: log in once more.
    for (int login = 0; login < 2; ++login) {
        if (auto refusal = ensureToken())
            return {{}, refusal};
        HttpsRequest request;
        request.url = m_settings.baseUrl.toUtf8() + path;
        request.headers = {{"Authorization", "Bearer " + m_token}};
        request.xmlFormField = xml;
        const HttpsReply reply = sendWithRetries(request);
        if (!reply.answered() || reply.transient())
            return {{}, unanswered(reply, server)};
        if (reply.status == 401 && login == 0) {
            m_token.clear();
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(reply.body);
        if (!document.isObject())
            return {{},
                    cfdi::PacRefusal{QStringLiteral("HTTP %1").arg(reply.status),
                                     QStringLiteral("El PAC %1 respondió algo que no es su formato (HTTP %2): %3")
                                         .arg(server)
                                         .arg(reply.status)
                                         .arg(m_settings.masked(QString::fromUtf8(reply.body.left(200))))}};
        return {document.object(), std::nullopt};
    }
    return {{},
            cfdi::PacRefusal{QStringLiteral("HTTP 401"),
                             QStringLiteral("El PAC %1 rechazó la sesión recién abierta").arg(server)}};
}

cfdi::StampResult RestPac::stampFrom(const QString &stampedXml, const QByteArray &sealedXml) const
{
    cfdi::Stamp stamp;
    stamp.xml = stampedXml.toUtf8();
    try {
        stamp.timbre = cfdi::readTimbreFiscalDigital(stamp.xml);
    } catch (const Error &error) {
        return cfdi::StampResult::refused(
            QStringLiteral("SIN-TIMBRE"),
            QStringLiteral("El PAC respondió sin timbre fiscal digital: %1").arg(error.description()));
    }
    if (stamp.timbre.selloCfd != selloOf(sealedXml))
        return cfdi::StampResult::refused(QStringLiteral("OTRO-COMPROBANTE"),
                                          QStringLiteral("El PAC devolvió el timbre de otro comprobante (UUID %1); "
                                                         "no se guarda")
                                              .arg(stamp.timbre.uuid));
    return cfdi::StampResult{stamp, std::nullopt};
}

cfdi::StampResult RestPac::stamp(const QByteArray &sealedXml)
{
    const Answer answer = call(QByteArrayLiteral("/cfdi33/stamp/v4"), sealedXml);
    if (answer.failure)
        return cfdi::StampResult{std::nullopt, answer.failure};
    const QJsonObject data = answer.json.value(QLatin1String("data")).toObject();
    const QString stamped = data.value(QLatin1String("cfdi")).toString();
    if (succeeded(answer.json)) {
        if (stamped.isEmpty())
            return cfdi::StampResult::refused(QStringLiteral("SIN-TIMBRE"),
                                              QStringLiteral("El PAC dijo que timbró pero no devolvió el comprobante"));
        return stampFrom(stamped, sealedXml);
    }
    const QString text = providerText(answer.json);
    const QString code = leadingCode(text);
    if (code == QLatin1String("307")) {
        if (!stamped.isEmpty())
            return stampFrom(stamped, sealedXml);
        return cfdi::StampResult::refused(code,
                                          QStringLiteral("El PAC dice que el comprobante ya fue timbrado pero no "
                                                         "devolvió el timbre; consúltelo en el portal del PAC: %1")
                                              .arg(text));
    }
    return cfdi::StampResult::refused(code.isEmpty() ? QStringLiteral("PAC") : code,
                                      m_settings.masked(stampRefusalText(code, text)));
}

cfdi::CancellationResult RestPac::cancel(const cfdi::CancellationRequest &request)
{
    static const QStringList motives = {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"),
                                        QStringLiteral("04")};
    if (!validUuid(request.uuid))
        return refusedCancellation(QStringLiteral("UUID"),
                                   QStringLiteral("El folio fiscal \"%1\" no es un UUID válido").arg(request.uuid));
    if (!motives.contains(request.motive))
        return refusedCancellation(
            QStringLiteral("207"),
            QStringLiteral("El motivo de cancelación \"%1\" no es uno del SAT (01, 02, 03 o 04)").arg(request.motive));
    const bool replaced = request.motive == QLatin1String("01");
    if (replaced && !validUuid(request.replacementUuid))
        return refusedCancellation(QStringLiteral("208"),
                                   QStringLiteral("El motivo 01 requiere el folio fiscal del comprobante que sustituye "
                                                  "al cancelado"));
    if (!replaced && !request.replacementUuid.isEmpty())
        return refusedCancellation(QStringLiteral("209"),
                                   QStringLiteral("Solo el motivo 01 lleva el folio fiscal de un comprobante que lo "
                                                  "sustituya"));

    QByteArray path = "/cfdi33/cancel/" + QUrl::toPercentEncoding(request.issuerRfc) + '/' +
                      QUrl::toPercentEncoding(request.uuid) + '/' + request.motive.toLatin1();
    if (replaced)
        path += '/' + QUrl::toPercentEncoding(request.replacementUuid);
    const Answer answer = call(path, {});
    if (answer.failure)
        return refusedCancellation(answer.failure->code, answer.failure->message);

    const QJsonObject data = answer.json.value(QLatin1String("data")).toObject();
    if (succeeded(answer.json)) {
        const QJsonObject codes = data.value(QLatin1String("uuid")).toObject();
        QString code;
        for (auto it = codes.begin(); it != codes.end(); ++it)
            if (it.key().compare(request.uuid, Qt::CaseInsensitive) == 0 || codes.size() == 1)
                code = it.value().toString();
        const CancellationCodeMeaning meaning = cancellationCodeMeaning(code);
        return {meaning.status, data.value(QLatin1String("acuse")).toString().toUtf8(), code, meaning.text};
    }
    const QString text = providerText(answer.json);
    const QString code = leadingCode(text);
    static const QRegularExpression satCode(QStringLiteral("^[23][0-9]{2}$"));
    if (satCode.match(code).hasMatch()) {
        const CancellationCodeMeaning meaning = cancellationCodeMeaning(code);
        return {meaning.status, data.value(QLatin1String("acuse")).toString().toUtf8(), code,
                QStringLiteral("%1 (el PAC dice: %2)").arg(meaning.text, text)};
    }
    return refusedCancellation(code.isEmpty() ? QStringLiteral("PAC") : code,
                               m_settings.masked(QStringLiteral("El PAC no canceló el comprobante: %1").arg(text)));
}

cfdi::CancellationResult RestPac::cancellationStatus(const cfdi::CancellationRequest &request)
{
    const HttpsReply reply = sendWithRetries(satStatusRequest(request, m_settings.satStatusUrl));
    const QString server = QUrl(m_settings.satStatusUrl).host();
    if (!reply.answered() || reply.transient()) {
        cfdi::PacRefusal failure = unanswered(reply, server);
        return refusedCancellation(
            failure.code,
            failure.message.replace(QLatin1String("El PAC"), QLatin1String("El servicio de consulta del SAT")));
    }
    try {
        return readSatStatus(reply.body);
    } catch (const Error &error) {
        return refusedCancellation(QStringLiteral("HTTP %1").arg(reply.status), error.description());
    }
}

} // namespace zentaro
