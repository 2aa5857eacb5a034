#pragma once

#include "SmtpSinkCertificate.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/stamping/PacSettings.h"

#include <httplib.h>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <openssl/ssl.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace zentaro::test {

// One request as the fake PAC received it.
struct PacRequest
{
    QByteArray method, path;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray xml; // the multipart field "xml" of a stamp
};

struct PacAnswer
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = QByteArrayLiteral("application/json");
    bool silent = false; // never answered: the connection is dropped once the client gave up
};

// The provider's JSON envelopes, as its documentation shows them.
inline PacAnswer pacSuccess(const QJsonObject &data)
{
    return {200, QJsonDocument(QJsonObject{{QStringLiteral("status"), QStringLiteral("success")},
                                           {QStringLiteral("data"), data}})
                     .toJson(QJsonDocument::Compact)};
}
inline PacAnswer pacError(int status, const QString &message, const QJsonObject &data = {})
{
    QJsonObject body{{QStringLiteral("status"), QStringLiteral("error")},
                     {QStringLiteral("message"), message},
                     {QStringLiteral("messageDetail"), message}};
    if (!data.isEmpty())
        body.insert(QStringLiteral("data"), data);
    return {status, QJsonDocument(body).toJson(QJsonDocument::Compact)};
}
// The SAT's status service (ConsultaCFDIService), its SOAP answer as the SAT gives it.
inline PacAnswer satStatusAnswer(const char *estado, const char *esCancelable, const char *estatusCancelacion)
{
    return {200,
            QByteArrayLiteral("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                              "<ConsultaResponse xmlns=\"http://tempuri.org/\"><ConsultaResult "
                              "xmlns:a=\"http://schemas.datacontract.org/2004/07/Sat.Cfdi.Negocio.ConsultaCfdi.Servicio\">"
                              "<a:CodigoEstatus>S - Comprobante obtenido satisfactoriamente.</a:CodigoEstatus><a:EsCancelable>") +
                esCancelable + "</a:EsCancelable><a:Estado>" + estado + "</a:Estado><a:EstatusCancelacion>" +
                estatusCancelacion + "</a:EstatusCancelacion></ConsultaResult></ConsultaResponse></s:Body></s:Envelope>",
            QByteArrayLiteral("text/xml")};
}

// One answer of the SAT through the fake PAC, to a cancellation request or a status query.
using Scripted = std::function<PacAnswer(const PacRequest &)>;

// The acuse of a request the SAT took with its code (201 received, 202 already cancelled,
// 205 not known yet).
inline Scripted satCode(const char *code)
{
    return [code](const PacRequest &request) {
        const QString uuid = QJsonDocument::fromJson(request.body).object().value(QLatin1String("uuid")).toString().toUpper();
        return pacSuccess({{QStringLiteral("acuse"), QStringLiteral("<Acuse><Folios><UUID>%1</UUID><EstatusUUID>%2"
                                                                   "</EstatusUUID></Folios></Acuse>")
                                                         .arg(uuid, QLatin1String(code))},
                           {QStringLiteral("uuid"), QJsonObject{{uuid, QLatin1String(code)}}}});
    };
}
inline Scripted received() { return satCode("201"); }
// What the SAT's status service says.
inline Scripted satStatus(const char *estado, const char *esCancelable, const char *estatusCancelacion)
{
    return [=](const PacRequest &) { return satStatusAnswer(estado, esCancelable, estatusCancelacion); };
}
inline Scripted inProcess() { return satStatus("Vigente", "Cancelable con aceptación", "En proceso"); }
inline Scripted rejected() { return satStatus("Vigente", "Cancelable con aceptación", "Solicitud rechazada"); }
inline Scripted notCancellable() { return satStatus("Vigente", "No cancelable", ""); }
// Heard, and its answer never comes back.
inline const Scripted lost = [](const PacRequest &) {
    PacAnswer silence;
    silence.silent = true;
    return silence;
};
// The PAC fails before the request reaches the SAT.
inline const Scripted unreachable = [](const PacRequest &) {
    return PacAnswer{503, QByteArrayLiteral("<html><body>Service Unavailable</body></html>"), QByteArrayLiteral("text/html")};
};

// Every way a PAC and the network between misbehave. A fault waits in the queue for the
// event it is about: a handshake (TlsFailure), a login (LoginRefused) or a stamp (the rest).
// The faults marked "stamps" come after the PAC stamped the document: its UUID exists at
// the SAT whatever reaches the client.
enum class PacFault {
    None,
    Silent,          // stamps, and never answers: the client's wait runs out
    LateAnswer,      // stamps, and answers after the client gave up (`lateBy`)
    Garbage,         // stamps, answers 200 with an HTML page
    TruncatedJson,   // stamps, its JSON cut short
    EmptyCfdi,       // stamps, "success" with an empty cfdi
    NotXml,          // stamps, "success" with a cfdi that is no XML
    Huge,            // stamps, answers 40 MB
    EchoIn307,       // stamps, answers 307 without the stamp, the password in its words
    EchoInBrokenXml, // stamps, answers a cfdi broken where the password stands
    Unavailable,     // 503 before anything is stamped
    Refuse,          // refuses the document with a documented code of the SAT's validation
    LoginRefused,    // the next login is refused (AU2000), the password in its words
    TlsFailure,      // the next handshake shows a certificate the client does not trust
};

// A PAC of the provider SW sapien on 127.0.0.1, over HTTPS (cpp-httplib), as its developers'
// knowledge base documents it (developers.sw.com.mx): authentication v2 and the older header
// form, stamp v4 with customid, the data warehouse record of a stamp, cancellation by CSD.
// It checks every request against that form and notes each departure in violations().
//
// It stamps with the sandbox's rules, and keeps its own record: each document it accepts gets
// a UUID of its own (issued()), and the same customid with the same XML answers 307 with the
// first stamp, with another XML "CFDI3307" with the earlier timbre; a document already
// stamped under another key or none answers 307, as the SAT's validation does.
//
// Hooks let a test act while a request is in the PAC's hands (kill the client, lock the
// database); faults() makes it misbehave. Every wait is bounded and ends when it is destroyed.
class FakePac
{
public:
    using Clock = cfdi::SandboxPac::Clock;
    using Hook = std::function<void(const PacRequest &)>;
    using Script = std::function<std::optional<PacAnswer>(const PacRequest &)>;

    struct Issued
    {
        QString uuid;
        QByteArray customId, sealed, stamped;
        QJsonObject data; // the documented stamp answer's "data"
    };

    FakePac(QString user, QString password, Clock clock)
        : m_user(std::move(user)), m_password(std::move(password)), m_clock(clock), m_sandbox(std::move(clock)),
          m_server([this](SSL_CTX &context) { return setUp(context); })
    {
        // A client that gives up on a reply closes the socket under the write.
        std::signal(SIGPIPE, SIG_IGN);
        m_server.set_payload_max_length(64 * 1024 * 1024);
        m_server.Get(".*", [this](const httplib::Request &q, httplib::Response &a) { serve(q, a); });
        m_server.Post(".*", [this](const httplib::Request &q, httplib::Response &a) { serve(q, a); });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~FakePac()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_server.stop();
        m_thread.join();
    }

    QString baseUrl() const { return QStringLiteral("https://127.0.0.1:%1/api").arg(m_port); }
    QString satStatusUrl() const { return QStringLiteral("https://127.0.0.1:%1/ConsultaCFDIService.svc").arg(m_port); }
    // The file the client trusts (CFDI_PAC_CA_CERTIFICADO).
    QString trustedCertificate() const { return m_trusted.pemPath(); }
    // The configuration that points the program at this PAC, signing in as `user` with a
    // password kept sealed as the program keeps it; one attempt, a short wait.
    QList<std::pair<QString, QString>> programVariables(const QString &user, const QString &sealedPassword) const
    {
        return {{QStringLiteral("CFDI_PAC"), QStringLiteral("REST")},
                {QStringLiteral("CFDI_PAC_AMBIENTE"), QStringLiteral("PRUEBAS")},
                {QStringLiteral("CFDI_PAC_URL_PRUEBAS"), baseUrl()},
                {QStringLiteral("CFDI_PAC_USUARIO"), user},
                {QStringLiteral("CFDI_PAC_CLAVE"), sealedPassword},
                {QStringLiteral("CFDI_PAC_CA_CERTIFICADO"), trustedCertificate()},
                {QStringLiteral("CFDI_PAC_INTENTOS"), QStringLiteral("1")},
                {QStringLiteral("CFDI_PAC_ESPERA"), QStringLiteral("5")}};
    }

    // What the REST client of a test in this process needs to reach it, signed in as the
    // PAC's own user: one attempt, a second's wait, no pause.
    PacSettings clientSettings() const
    {
        PacSettings settings;
        settings.baseUrl = baseUrl();
        settings.apiUrl = baseUrl();
        settings.satStatusUrl = satStatusUrl();
        settings.caFile = trustedCertificate();
        settings.user = m_user;
        settings.password = m_password;
        settings.attempts = 1;
        settings.timeout = 1;
        settings.retryPauseMs = 0;
        return settings;
    }

    // --- how it behaves -----------------------------------------------------------------
    void faults(const QList<PacFault> &faults)
    {
        std::lock_guard lock(m_mutex);
        m_faults = faults;
    }
    // Run while a stamp request is in its hands, after the document was stamped (or refused)
    // and before the answer goes back; and when a login arrives.
    void onStamp(Hook hook) { std::lock_guard lock(m_mutex); m_onStamp = std::move(hook); }
    void onLogin(Hook hook) { std::lock_guard lock(m_mutex); m_onLogin = std::move(hook); }
    // Run while a cancellation request is in its hands, before its answer goes back.
    void onCancel(Hook hook) { std::lock_guard lock(m_mutex); m_onCancel = std::move(hook); }
    // Answers a request its own way (a documented example); nothing = the fake's answer.
    // Consulted after the login and the token check, under the fake's lock: it must not
    // call the fake.
    void script(Script script) { std::lock_guard lock(m_mutex); m_script = std::move(script); }
    // The 307 carries the first stamp; without it the client must fetch it by UUID.
    void stampIn307(bool with) { std::lock_guard lock(m_mutex); m_stampIn307 = with; }
    // The instant of expiry its logins give (Unix time); 0 = two hours from now.
    void tokensExpireAt(qint64 instant) { std::lock_guard lock(m_mutex); m_expiresAt = instant; }
    // The provider forgets every session it opened.
    void forgetSessions() { std::lock_guard lock(m_mutex); m_tokens.clear(); }
    // How long a LateAnswer waits before answering.
    std::chrono::milliseconds lateBy{2500};

    // --- what it saw and did ------------------------------------------------------------
    QList<PacRequest> requests() const { std::lock_guard lock(m_mutex); return m_requests; }
    int count(const QByteArray &path) const
    {
        std::lock_guard lock(m_mutex);
        return int(std::count_if(m_requests.begin(), m_requests.end(),
                                 [&](const PacRequest &r) { return r.path.startsWith(path); }));
    }
    QList<Issued> issued() const { std::lock_guard lock(m_mutex); return m_issued; }
    QSet<QString> uuids() const
    {
        QSet<QString> all;
        for (const Issued &i : issued())
            all.insert(i.uuid);
        return all;
    }
    // Distinct XMLs that reached the stamp route.
    QSet<QByteArray> documentsSent() const
    {
        QSet<QByteArray> all;
        for (const PacRequest &r : requests())
            if (!r.xml.isEmpty())
                all.insert(r.xml);
        return all;
    }
    QStringList violations() const { std::lock_guard lock(m_mutex); return m_violations; }
    QList<PacFault> pendingFaults() const { std::lock_guard lock(m_mutex); return m_faults; }
    cfdi::SandboxPac &sandbox() { return m_sandbox; }

private:
    bool setUp(SSL_CTX &context)
    {
        SSL_CTX_use_certificate(&context, m_trusted.certificate());
        SSL_CTX_use_PrivateKey(&context, m_trusted.key());
        SSL_CTX_set_cert_cb(
            &context,
            [](SSL *ssl, void *self) {
                auto *pac = static_cast<FakePac *>(self);
                if (pac->take(PacFault::TlsFailure)) {
                    SSL_use_certificate(ssl, pac->m_untrusted.certificate());
                    SSL_use_PrivateKey(ssl, pac->m_untrusted.key());
                }
                return 1;
            },
            this);
        return true;
    }

    bool take(PacFault fault)
    {
        std::lock_guard lock(m_mutex);
        if (m_faults.isEmpty() || m_faults.first() != fault)
            return false;
        m_faults.removeFirst();
        return true;
    }
    // The fault of a stamp: the first of the queue unless it waits for a handshake or a login.
    PacFault takeStampFault()
    {
        if (m_faults.isEmpty() || m_faults.first() == PacFault::TlsFailure || m_faults.first() == PacFault::LoginRefused)
            return PacFault::None;
        return m_faults.takeFirst();
    }
    void violation(const PacRequest &request, const QString &what)
    {
        m_violations << QStringLiteral("%1 %2: %3")
                            .arg(QString::fromLatin1(request.method), QString::fromLatin1(request.path), what);
    }
    static QString selloOf(const QByteArray &xml)
    {
        QXmlStreamReader reader(xml);
        while (reader.readNextStartElement())
            return reader.attributes().value(QLatin1String("Sello")).toString();
        return {};
    }
    // The timbre alone, as "data.tfd" of a CFDI3307 carries it.
    static QString tfdOf(const QByteArray &stamped)
    {
        const cfdi::TimbreFiscalDigital t = cfdi::readTimbreFiscalDigital(stamped);
        return QStringLiteral("<tfd:TimbreFiscalDigital xmlns:tfd=\"http://www.sat.gob.mx/TimbreFiscalDigital\" "
                              "Version=\"1.1\" UUID=\"%1\" FechaTimbrado=\"%2\" RfcProvCertif=\"%3\" SelloCFD=\"%4\" "
                              "NoCertificadoSAT=\"%5\" SelloSAT=\"%6\"/>")
            .arg(t.uuid, t.fechaTimbrado, t.rfcProvCertif, t.selloCfd, t.noCertificadoSat, t.selloSat);
    }
    PacAnswer answer307(const Issued &first) const
    {
        return pacError(400, QStringLiteral("307. El comprobante contiene un timbre previo."),
                        m_stampIn307 ? first.data : QJsonObject{{QStringLiteral("uuid"), first.uuid}});
    }
    static QByteArray header(const httplib::Request &q, const char *name)
    {
        return QByteArray::fromStdString(q.get_header_value(name));
    }

    void serve(const httplib::Request &q, httplib::Response &a)
    {
        PacRequest request;
        request.method = QByteArray::fromStdString(q.method);
        request.path = QByteArray::fromStdString(q.path);
        for (const auto &[name, value] : q.headers)
            request.headers.insert(QByteArray::fromStdString(name).toLower(), QByteArray::fromStdString(value));
        request.body = QByteArray::fromStdString(q.body);
        if (q.has_file("xml"))
            request.xml = QByteArray::fromStdString(q.get_file_value("xml").content);

        PacFault fault = PacFault::None;
        Hook hook;
        PacAnswer answer;
        {
            std::lock_guard lock(m_mutex);
            m_requests << request;
            answer = route(request, fault, hook);
        }
        if (hook)
            hook(request);
        if (answer.silent)
            fault = PacFault::Silent;
        if (fault == PacFault::Silent || fault == PacFault::LateAnswer) {
            std::unique_lock lock(m_mutex);
            const auto wait = fault == PacFault::Silent ? std::chrono::milliseconds(60000) : lateBy;
            m_wake.wait_for(lock, wait, [this] { return m_stopping; });
            if (fault == PacFault::Silent) {
                // Never answered: the connection is dropped without a word.
                a.status = 500;
                a.set_header("Connection", "close");
                return;
            }
        }
        a.status = answer.status;
        a.set_content(answer.body.toStdString(), answer.contentType.toStdString());
    }

    // Under the lock. Answers what the documented PAC answers, and the fault a stamp suffers.
    PacAnswer route(const PacRequest &request, PacFault &fault, Hook &hook)
    {
        const QByteArray &path = request.path;
        if (path == "/api/v2/security/authenticate" || path == "/api/security/authenticate") {
            hook = m_onLogin;
            return login(request);
        }
        // Where the provider's record says the stamped XML is: a plain download.
        if (path.startsWith("/api/xml/")) {
            for (const Issued &i : m_issued)
                if (i.uuid == QString::fromLatin1(path.mid(9)))
                    return {200, i.stamped, QByteArrayLiteral("text/xml")};
            return {404, QByteArrayLiteral("no existe"), QByteArrayLiteral("text/plain")};
        }
        if (path == "/ConsultaCFDIService.svc") {
            if (m_script)
                if (auto scripted = m_script(request))
                    return *scripted;
            return satStatus(request);
        }
        const QByteArray authorization = request.headers.value("authorization");
        if (!authorization.startsWith("Bearer ") || !m_tokens.contains(authorization.mid(7)))
            return pacError(401, QStringLiteral("AU2101 - Token caducado o inválido"));
        if (path == "/api/cfdi33/stamp/v4") {
            hook = m_onStamp;
            fault = takeStampFault();
            if (m_script)
                if (auto scripted = m_script(request))
                    return *scripted;
            return stamp(request, fault);
        }
        if (path == "/api/cfdi33/cancel/csd") {
            hook = m_onCancel;
            const QString uuid = QJsonDocument::fromJson(request.body).object().value(QLatin1String("uuid")).toString().toUpper();
            if (!m_cancelRequestedAt.contains(uuid))
                m_cancelRequestedAt.insert(uuid, m_clock());
        }
        if (m_script)
            if (auto scripted = m_script(request))
                return *scripted;
        if (path.startsWith("/api/datawarehouse/v1/live/")) {
            const QString uuid = QString::fromLatin1(path.mid(27));
            QJsonArray records;
            for (const Issued &i : m_issued)
                if (i.uuid.compare(uuid, Qt::CaseInsensitive) == 0)
                    records << QJsonObject{{QStringLiteral("uuid"), i.uuid},
                                           {QStringLiteral("urlXml"), baseUrl() + QStringLiteral("/xml/") + i.uuid}};
            return pacSuccess({{QStringLiteral("records"), records}});
        }
        if (path == "/api/cfdi33/cancel/csd")
            return cancel(request);
        violation(request, QStringLiteral("ruta que el proveedor no documenta"));
        return {404, QByteArrayLiteral("{}")};
    }

    PacAnswer login(const PacRequest &request)
    {
        QString user, password;
        if (request.path == "/api/v2/security/authenticate") {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            if (request.method != "POST" || !request.headers.value("content-type").startsWith("application/json") ||
                !body.contains(QLatin1String("user")) || !body.contains(QLatin1String("password")))
                violation(request, QStringLiteral("la autenticación v2 es un POST con JSON {\"user\",\"password\"}"));
            user = body.value(QLatin1String("user")).toString();
            password = body.value(QLatin1String("password")).toString();
        } else {
            if (request.method != "POST" || !request.headers.contains("user") || !request.headers.contains("password"))
                violation(request, QStringLiteral("la autenticación lleva los encabezados user y password"));
            user = QString::fromUtf8(request.headers.value("user"));
            password = QString::fromUtf8(request.headers.value("password"));
        }
        const bool refused = !m_faults.isEmpty() && m_faults.first() == PacFault::LoginRefused;
        if (refused)
            m_faults.removeFirst();
        if (refused || user != m_user || password != m_password)
            return pacError(401, QStringLiteral("AU2000 - El usuario y/o contraseña (%1, %2, %3) son inválidos, no se "
                                                "puede autenticar el servicio.")
                                     .arg(user, password, QString::fromLatin1(QUrl::toPercentEncoding(password))));
        const QByteArray token = "T2lYQ0t4L0-" + QByteArray::number(++m_logins);
        m_tokens.insert(token);
        return pacSuccess({{QStringLiteral("token"), QString::fromLatin1(token)},
                           {QStringLiteral("expires_in"),
                            double(m_expiresAt ? m_expiresAt : QDateTime::currentSecsSinceEpoch() + 7200)},
                           {QStringLiteral("tokeny_type"), QStringLiteral("Bearer")}});
    }

    PacAnswer stamp(const PacRequest &request, PacFault fault)
    {
        const QByteArray customId = request.headers.value("customid");
        if (request.method != "POST" || !request.headers.value("content-type").startsWith("multipart/form-data") ||
            request.xml.isEmpty()) {
            violation(request, QStringLiteral("el timbrado v4 es un POST multipart con el campo \"xml\""));
            return pacError(400, QStringLiteral("Error - no se recibió el XML"));
        }
        if (customId.size() > 100)
            violation(request, QStringLiteral("el customid admite hasta 100 caracteres"));
        if (fault == PacFault::Unavailable)
            return {503, QByteArrayLiteral("<html><body>Service Unavailable</body></html>"), QByteArrayLiteral("text/html")};
        if (fault == PacFault::Refuse)
            return pacError(400, QStringLiteral("CFDI40108 - El campo TipoDeComprobante, no contiene un valor del "
                                                "catálogo c_TipoDeComprobante."));

        PacAnswer answer;
        const Issued *earlier = nullptr;
        const QString sello = selloOf(request.xml);
        for (const Issued &i : m_issued) {
            if ((!customId.isEmpty() && i.customId == customId) || selloOf(i.sealed) == sello) {
                earlier = &i;
                break;
            }
        }
        if (earlier && earlier->sealed != request.xml && !customId.isEmpty() && earlier->customId == customId) {
            answer = pacError(400, QStringLiteral("CFDI3307 - Timbre duplicado. El customId proporcionado está "
                                                  "duplicado."),
                              {{QStringLiteral("tfd"), tfdOf(earlier->stamped)}});
        } else if (earlier) {
            answer = answer307(*earlier);
        } else {
            const cfdi::StampResult result = m_sandbox.stamp(request.xml);
            if (!result.stamped())
                return pacError(400, result.refusal->code + QStringLiteral(" - ") + result.refusal->message);
            const cfdi::TimbreFiscalDigital &t = result.stamp->timbre;
            Issued issued{t.uuid, customId, request.xml, result.stamp->xml, {}};
            issued.data = QJsonObject{{QStringLiteral("cadenaOriginalSAT"), cfdi::cadenaOriginalTfd(t)},
                                      {QStringLiteral("noCertificadoSAT"), t.noCertificadoSat},
                                      {QStringLiteral("uuid"), t.uuid},
                                      {QStringLiteral("selloSAT"), t.selloSat},
                                      {QStringLiteral("selloCFDI"), t.selloCfd},
                                      {QStringLiteral("fechaTimbrado"), t.fechaTimbrado},
                                      {QStringLiteral("cfdi"), QString::fromUtf8(result.stamp->xml)}};
            m_issued << issued;
            answer = pacSuccess(issued.data);
        }
        const QString stampedXml = earlier ? QString::fromUtf8(earlier->stamped) : QString::fromUtf8(m_issued.last().stamped);
        switch (fault) {
        case PacFault::Garbage:
            return {200, QByteArrayLiteral("<html><body>Bad Gateway</body></html>"), QByteArrayLiteral("text/html")};
        case PacFault::TruncatedJson:
            return {200, answer.body.left(120)};
        case PacFault::EmptyCfdi:
            return pacSuccess({{QStringLiteral("cfdi"), QString()}, {QStringLiteral("tfd"), QString()}});
        case PacFault::NotXml:
            return pacSuccess({{QStringLiteral("cfdi"), QStringLiteral("no es un XML")}});
        case PacFault::Huge:
            return {200, QByteArray(40 * 1024 * 1024, 'x'), QByteArrayLiteral("text/plain")};
        case PacFault::EchoIn307:
            return pacError(400, QStringLiteral("307. El comprobante contiene un timbre previo (usuario %1, "
                                                "contraseña %2).")
                                     .arg(m_user, m_password));
        case PacFault::EchoInBrokenXml:
            return pacSuccess({{QStringLiteral("cfdi"), stampedXml.left(200) + QStringLiteral("<%1 ").arg(m_password)}});
        default:
            return answer;
        }
    }

    // The SAT's status service as the sandbox decides for a document this PAC stamped: a
    // global or small invoice is cancelled once asked, a nominative one waits 72 hours for
    // its receiver. A UUID it never stamped is a departure of the test.
    PacAnswer satStatus(const PacRequest &request)
    {
        static const QRegularExpression id(QStringLiteral("id=([0-9A-Fa-f-]{36})"));
        const QString uuid = id.match(QString::fromUtf8(request.body)).captured(1).toUpper();
        const auto issued = std::find_if(m_issued.begin(), m_issued.end(),
                                         [&](const Issued &i) { return i.uuid.toUpper() == uuid; });
        if (uuid.isEmpty() || issued == m_issued.end()) {
            violation(request, QStringLiteral("el servicio de consulta del SAT no conoce el folio fiscal %1").arg(uuid));
            return {500, {}, QByteArrayLiteral("text/xml")};
        }
        if (!m_cancelRequestedAt.contains(uuid))
            return satStatusAnswer("Vigente", "Cancelable sin aceptación", "");
        cfdi::CancellationRequest asked;
        asked.uuid = uuid;
        asked.requestedAt = m_cancelRequestedAt.value(uuid);
        QXmlStreamReader reader(issued->stamped);
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (reader.name() == QLatin1String("Comprobante"))
                asked.total = reader.attributes().value(QLatin1String("Total")).toString();
            else if (reader.name() == QLatin1String("Receptor"))
                asked.receiverRfc = reader.attributes().value(QLatin1String("Rfc")).toString();
            else if (reader.name() == QLatin1String("Emisor"))
                asked.issuerRfc = reader.attributes().value(QLatin1String("Rfc")).toString();
            else if (reader.name() == QLatin1String("TimbreFiscalDigital"))
                asked.stampedAt = QDateTime::fromString(reader.attributes().value(QLatin1String("FechaTimbrado")).toString(),
                                                        Qt::ISODate);
        }
        asked.motive = QStringLiteral("02");
        const cfdi::CancellationResult result = m_sandbox.cancellationStatus(asked);
        switch (result.status) {
        case cfdi::CancellationStatus::Cancelled:
            return satStatusAnswer("Cancelado", "Cancelable sin aceptación", result.message.toUtf8().constData());
        case cfdi::CancellationStatus::InProcess:
            return satStatusAnswer("Vigente", "Cancelable con aceptación", "En proceso");
        default:
            return satStatusAnswer("Vigente", "No cancelable", "");
        }
    }

    PacAnswer cancel(const PacRequest &request)
    {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        for (const char *field : {"b64Cer", "b64Key", "password", "rfc", "uuid", "motivo"})
            if (body.value(QLatin1String(field)).toString().isEmpty())
                violation(request, QStringLiteral("la cancelación por CSD lleva el campo %1").arg(QLatin1String(field)));
        if ((body.value(QLatin1String("motivo")).toString() == QLatin1String("01")) !=
            body.contains(QLatin1String("folioSustitucion")))
            violation(request, QStringLiteral("folioSustitucion va solo con el motivo 01"));
        const QString uuid = body.value(QLatin1String("uuid")).toString().toUpper();
        return pacSuccess({{QStringLiteral("acuse"), QStringLiteral("<Acuse><Folios><UUID>%1</UUID><EstatusUUID>201"
                                                                   "</EstatusUUID></Folios></Acuse>")
                                                         .arg(uuid)},
                           {QStringLiteral("uuid"), QJsonObject{{uuid, QStringLiteral("201")}}}});
    }

    const QString m_user, m_password;
    const Clock m_clock;
    SmtpSinkCertificate m_trusted, m_untrusted;
    QHash<QString, QDateTime> m_cancelRequestedAt; // by UUID in capitals: when the SAT first heard it
    cfdi::SandboxPac m_sandbox;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    QList<PacFault> m_faults;
    Hook m_onStamp, m_onLogin, m_onCancel;
    Script m_script;
    bool m_stampIn307 = true;
    qint64 m_expiresAt = 0;
    QSet<QByteArray> m_tokens;
    int m_logins = 0;
    QList<PacRequest> m_requests;
    QList<Issued> m_issued;
    QStringList m_violations;
    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace zentaro::test
