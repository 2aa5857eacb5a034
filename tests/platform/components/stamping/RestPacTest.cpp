#include "FakePac.h"
#include "SmtpSink.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/CfdiFixtures.h"
#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/stamping/RestPac.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>

namespace zentaro::test {

namespace {

using cfdi::CancellationStatus;
using cfdi::test::ekuCsd;
using cfdi::test::fixedNow;
using cfdi::test::globalInvoice;

const QByteArray kUser = "facturas";
const QString kPassword = QStringLiteral("Cl4ve-del-PAC");
const QString kUuid = QStringLiteral("6F0B6C8E-3D0B-4F5A-9C1E-2A7D5B3C9E11");
const QString kReplacement = QStringLiteral("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");

QJsonObject object(std::initializer_list<std::pair<const char *, QJsonValue>> members)
{
    QJsonObject result;
    for (const auto &[key, value] : members)
        result.insert(QString::fromUtf8(key), value);
    return result;
}

} // namespace

// The adapter against the fake PAC on 127.0.0.1, which logs in, stamps with the sandbox's
// rules and answers as the provider's documentation shows; each case replaces the answer
// it is about.
class RestPacTest : public ::testing::Test
{
protected:
    RestPacTest()
    {
        sealed = cfdi::sealComprobante(globalInvoice(), ekuCsd(), fixedNow()).xml;
        settings.user = QString::fromUtf8(kUser);
        settings.password = kPassword;
                settings.attempts = 3;
        settings.retryPauseMs = 0;
    }

    using Answer = std::function<std::optional<PacAnswer>(const PacRequest &)>;

    // The fake PAC answers as the provider documents it (authentication v2,
    // https://developers.sw.com.mx/knowledge-base/autenticacion-v2; stamp v4 with customid,
    // https://developers.sw.com.mx/knowledge-base/timbradov4-customid); `stampAnswer` and the
    // others replace one route's answer, nothing = the fake's own.
    FakePac &start()
    {
        server = std::make_unique<FakePac>(QString::fromUtf8(kUser), kPassword, [] { return fixedNow(); });
        server->tokensExpireAt(expiresAt);
        server->script([this](const PacRequest &request) -> std::optional<PacAnswer> {
            if (request.path == "/api/cfdi33/stamp/v4" && stampAnswer)
                return stampAnswer(request);
            if (request.path == "/api/cfdi33/cancel/csd" && cancelAnswer)
                return cancelAnswer(request);
            if (request.path == "/ConsultaCFDIService.svc" && satAnswer)
                return satAnswer(request);
            return std::nullopt;
        });
        settings.baseUrl = server->baseUrl();
        settings.caFile = server->trustedCertificate();
        settings.satStatusUrl = server->satStatusUrl();
        return *server;
    }
    QList<QByteArray> customIds() const
    {
        QList<QByteArray> all;
        for (const PacRequest &r : server->requests())
            if (r.path == "/api/cfdi33/stamp/v4")
                all << r.headers.value("customid");
        return all;
    }
    cfdi::CancellationRequest cancellation(const QString &motive = QStringLiteral("02"),
                                           const QString &replacement = {})
    {
        return {QStringLiteral("EKU9003173C9"),
                QStringLiteral("XAXX010101000"),
                kUuid,
                QStringLiteral("870.49"),
                motive,
                replacement,
                QStringLiteral("…sello…AbCdEfGh"),
                {},
                {}};
    }

    QByteArray sealed;
    PacSettings settings;
    qint64 expiresAt = 0;
    Answer stampAnswer, cancelAnswer, satAnswer;
    std::unique_ptr<FakePac> server;
};

TEST_F(RestPacTest, StampsOverHttpsWithOneLoginAndTheSealedXmlUnchanged)
{
    FakePac &pac = start();
    RestPac adapter(settings);
    const cfdi::StampResult first = adapter.stamp(sealed);
    ASSERT_TRUE(first.stamped()) << first.refusal->message.toStdString();
    EXPECT_EQ(first.stamp->timbre.uuid, cfdi::readTimbreFiscalDigital(first.stamp->xml).uuid);
    EXPECT_FALSE(first.stamp->timbre.selloSat.isEmpty());
    EXPECT_EQ(adapter.stamp(sealed).stamp->timbre.uuid, first.stamp->timbre.uuid);

    EXPECT_EQ(pac.count("/api/v2/security/authenticate"), 1) << "the session is reused";
    ASSERT_EQ(pac.count("/api/cfdi33/stamp/v4"), 2);
    const PacRequest sent = pac.requests().at(1);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.headers.value("authorization"), "Bearer T2lYQ0t4L0-1");
    EXPECT_EQ(sent.xml, sealed);
    // The idempotency key is the digest of the bytes: the same on every attempt and machine.
    ASSERT_EQ(customIds().size(), 2);
    EXPECT_EQ(customIds().at(0), QCryptographicHash::hash(sealed, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(customIds().at(1), customIds().at(0));
    EXPECT_EQ(pac.uuids().size(), 1) << "the second is the PAC's 307 with the first stamp";
}

TEST_F(RestPacTest, TheTokenIsRenewedBeforeTheInstantItExpires)
{
    // The documented example's instant (1630012447) is long gone: every call logs in again
    // instead of trusting a token the provider will refuse.
    expiresAt = 1630012447;
    FakePac &pac = start();
    RestPac adapter(settings);
    ASSERT_TRUE(adapter.stamp(sealed).stamped());
    ASSERT_TRUE(adapter.stamp(sealed).stamped());
    EXPECT_EQ(pac.count("/api/v2/security/authenticate"), 2);
    EXPECT_EQ(pac.count("/api/security/authenticate"), 0) << "the header form only when v2 is missing";
}

TEST_F(RestPacTest, AlreadyStampedGivesBackTheFirstStampAndNothingElse)
{
    FakePac &pac = start();
    RestPac adapter(settings);
    const cfdi::StampResult first = adapter.stamp(sealed);
    ASSERT_TRUE(first.stamped()) << first.refusal->message.toStdString();
    // The PAC's 307 carries the first stamp.
    const cfdi::StampResult again = adapter.stamp(sealed);
    ASSERT_TRUE(again.stamped()) << again.refusal->message.toStdString();
    EXPECT_EQ(again.stamp->timbre.uuid, first.stamp->timbre.uuid);
    EXPECT_EQ(again.stamp->xml, first.stamp->xml);

    // 307 without the stamp: the stamped XML is fetched from the provider's record by UUID.
    pac.stampIn307(false);
    const cfdi::StampResult bare = adapter.stamp(sealed);
    ASSERT_TRUE(bare.stamped()) << bare.refusal->message.toStdString();
    EXPECT_EQ(bare.stamp->timbre.uuid, first.stamp->timbre.uuid);
    EXPECT_EQ(pac.count("/api/datawarehouse/v1/live/"), 1);
    EXPECT_EQ(pac.uuids().size(), 1);

    // A stamp of another document is never taken for this one's.
    const QJsonObject firstStamp = pac.issued().first().data;
    stampAnswer = [&](const PacRequest &) {
        return pacError(400, QStringLiteral("307. El comprobante contiene un timbre previo."), firstStamp);
    };
    cfdi::Comprobante other = globalInvoice();
    other.folio = QStringLiteral("999");
    const QByteArray otherXml = cfdi::sealComprobante(other, ekuCsd(), fixedNow()).xml;
    const cfdi::StampResult foreign = adapter.stamp(otherXml);
    ASSERT_FALSE(foreign.stamped());
    EXPECT_EQ(foreign.refusal->code, QStringLiteral("OTRO-COMPROBANTE"));
}

TEST_F(RestPacTest, ValidationRefusalsKeepTheSatCodeExplainItAndAreNotRepeated)
{
    // The PAC's answer and what the clerk is told: known codes, and a rule added later.
    const std::pair<const char *, const char *> cases[] = {
        {"301 - XML mal formado: cvc-enumeration-valid RegimenFiscal", "esquema XML del SAT"},
        {"306 - El certificado no es de tipo CSD", "e.firma"},
        {"CFDI40145 - El campo Nombre del receptor debe pertenecer al RFC", "nombre del receptor"},
        {"CFDI40999 - Regla que la matriz agregó después", "regla CFDI40999 de la matriz"},
    };
    QString current;
    stampAnswer = [&](const PacRequest &) { return pacError(400, current); };
    FakePac &pac = start();
    RestPac adapter(settings);
    int stampsSent = 0;
    for (const auto &[answer, explanation] : cases) {
        SCOPED_TRACE(answer);
        current = QString::fromUtf8(answer);
        const cfdi::StampResult result = adapter.stamp(sealed);
        ASSERT_FALSE(result.stamped());
        EXPECT_EQ(result.refusal->code, current.section(u' ', 0, 0));
        EXPECT_TRUE(result.refusal->message.contains(QString::fromUtf8(explanation)))
            << result.refusal->message.toStdString();
        EXPECT_FALSE(result.refusal->transient);
        EXPECT_EQ(pac.count("/api/cfdi33/stamp/v4"), ++stampsSent) << "a refusal is not sent again";
    }
}

TEST_F(RestPacTest, RefusedCredentialsAreReportedWithoutThePassword)
{
    settings.password = kPassword + QStringLiteral("-vieja");
    FakePac &pac = start();
    const cfdi::StampResult result = RestPac(settings).stamp(sealed);
    ASSERT_FALSE(result.stamped());
    EXPECT_EQ(result.refusal->code, QStringLiteral("AU2000"));
    EXPECT_TRUE(result.refusal->message.contains(QStringLiteral("no aceptó el usuario facturas con la contraseña de "
                                                                "CFDI_PAC_CLAVE")))
        << result.refusal->message.toStdString();
    EXPECT_FALSE(result.refusal->message.contains(settings.password)) << "the server repeated it; we do not";
    EXPECT_EQ(pac.count("/api/v2/security/authenticate"), 1);
    EXPECT_EQ(pac.count("/api/cfdi33/stamp/v4"), 0);
}

TEST_F(RestPacTest, ASessionThePacForgotIsOpenedAgainOnce)
{
    int calls = 0;
    stampAnswer = [&](const PacRequest &) -> std::optional<PacAnswer> {
        if (++calls == 1)
            return pacError(401, QStringLiteral("AU2101 - Token caducado"));
        return std::nullopt;
    };
    FakePac &pac = start();
    const cfdi::StampResult result = RestPac(settings).stamp(sealed);
    ASSERT_TRUE(result.stamped()) << result.refusal->message.toStdString();
    EXPECT_EQ(pac.count("/api/v2/security/authenticate"), 2);
}

TEST_F(RestPacTest, ServerErrorsAndSilenceAreRetriedABoundedNumberOfTimes)
{
    struct Case
    {
        const char *name;
        int failures; // 5xx answers (or silences, status 0) before the server recovers
        int status;
        const char *code; // of the refusal; nullptr: stamped
        const char *message;
    };
    const Case cases[] = {
        {"two 500s, then the stamp", 2, 500, nullptr, nullptr},
        {"busy once, then the stamp", 1, 429, nullptr, nullptr},
        {"503 on every attempt", 99, 503, "HTTP 503", "3 intentos"},
        {"silent on every attempt", 99, 0, "SIN-RESPUESTA", "no respondió en 1 segundos"},
    };
    settings.timeout = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        stampAnswer = [&](const PacRequest &) -> std::optional<PacAnswer> {
            if (++calls > c.failures || c.status == 0)
                return std::nullopt;
            return PacAnswer{c.status, QByteArrayLiteral("<html>Service Unavailable</html>"), QByteArrayLiteral("text/html")};
        };
        FakePac &pac = start();
        if (c.status == 0)
            pac.faults(QList<PacFault>(std::min(c.failures, settings.attempts), PacFault::Silent));
        const cfdi::StampResult result = RestPac(settings).stamp(sealed);
        EXPECT_EQ(result.stamped(), !c.code);
        EXPECT_EQ(pac.count("/api/cfdi33/stamp/v4"), std::min(c.failures + 1, settings.attempts));
        if (c.code) {
            EXPECT_EQ(result.refusal->code, QString::fromLatin1(c.code));
            EXPECT_TRUE(result.refusal->transient) << "the PAC may have stamped: send the same XML again";
            EXPECT_TRUE(result.refusal->message.contains(QString::fromUtf8(c.message)));
        }
    }
}

TEST_F(RestPacTest, UnreachableAndUntrustedServersSayWhich)
{
    start();
    PacSettings closed = settings;
    closed.baseUrl = QStringLiteral("https://127.0.0.1:%1/api").arg(SmtpSink::closedPort());
    closed.attempts = 2;
    const cfdi::StampResult unreachable = RestPac(closed).stamp(sealed);
    ASSERT_FALSE(unreachable.stamped());
    EXPECT_EQ(unreachable.refusal->code, QStringLiteral("SIN-CONEXION"));
    EXPECT_TRUE(unreachable.refusal->message.contains(QStringLiteral("No se pudo conectar con el PAC 127.0.0.1")));

    PacSettings untrusting = settings;
    untrusting.caFile.clear();
    const cfdi::StampResult untrusted = RestPac(untrusting).stamp(sealed);
    ASSERT_FALSE(untrusted.stamped());
    EXPECT_EQ(untrusted.refusal->code, QStringLiteral("TLS"));
    EXPECT_TRUE(untrusted.refusal->message.contains(QStringLiteral("CFDI_PAC_CA_CERTIFICADO")));
    EXPECT_EQ(server->count("/api/v2/security/authenticate"), 0) << "no password goes to an untrusted server";
}

// Cancellation by CSD (https://developers.sw.com.mx/knowledge-base/cancelacion-cfdi-3-3/ and
// the request of lunasoft/sw-sdk-dotnet's CancelarByCSD): the CSD travels with the request.
// The codes as the provider documents them: 201 received (not yet cancelled), 202 cancelled
// before, 203 not this issuer's, 204 not cancellable, 205 not known to the SAT yet.
TEST_F(RestPacTest, CancellationSendsTheCsdAndReadsTheSatCodeAsDocumented)
{
    struct Case
    {
        const char *motive;
        QString replacement;
        const char *answer; // a bare code: the provider's success with that code; else its error
        CancellationStatus status;
    };
    const QString acuse = QStringLiteral("<Acuse Fecha=\"2026-12-06T12:00:00\" RfcEmisor=\"EKU9003173C9\"><Folios>"
                                         "<UUID>%1</UUID><EstatusUUID>201</EstatusUUID></Folios></Acuse>")
                              .arg(kUuid);
    const Case cases[] = {
        {"02", {}, "201", CancellationStatus::InProcess},
        {"01", kReplacement, "201", CancellationStatus::InProcess},
        {"04", {}, "202", CancellationStatus::InProcess}, // the SAT's status does not confirm it here
        {"02", {}, "203", CancellationStatus::Refused},
        {"02", {}, "204", CancellationStatus::NotCancellable},
        {"02", {}, "205", CancellationStatus::Unknown},
        {"02", {}, "211 - Fecha límite para cancelar la factura global", CancellationStatus::NotCancellable},
        {"03", {}, "CACFDI01 - Sin saldo para cancelar", CancellationStatus::Refused},
    };
    const Case *current = nullptr;
    cancelAnswer = [&](const PacRequest &) {
        const QString answer = QString::fromUtf8(current->answer);
        return answer.size() == 3 ? pacSuccess(object({{"acuse", acuse}, {"uuid", QJsonObject{{kUuid, answer}}}}))
                                  : pacError(400, answer);
    };
    FakePac &pac = start();
    const cfdi::Csd csd = ekuCsd();
    RestPac adapter(settings, [&](const QString &) { return csd; });
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.motive) + " " + c.answer);
        current = &c;
        const cfdi::CancellationResult result =
            adapter.cancel(cancellation(QString::fromLatin1(c.motive), c.replacement));
        EXPECT_EQ(result.status, c.status) << result.message.toStdString();
        EXPECT_EQ(result.code, QString::fromUtf8(c.answer).section(u' ', 0, 0));
        if (qstrlen(c.answer) == 3) {
            EXPECT_EQ(result.acknowledgement, acuse.toUtf8()) << "the SAT's acknowledgement is kept";
        }
        PacRequest sent;
        for (const PacRequest &r : pac.requests())
            if (r.path == "/api/cfdi33/cancel/csd")
                sent = r;
        const QJsonObject body = QJsonDocument::fromJson(sent.body).object();
        EXPECT_EQ(sent.headers.value("content-type"), "application/json");
        EXPECT_EQ(body.value(QLatin1String("b64Cer")).toString(), QString::fromLatin1(csd.certificateDer.toBase64()));
        EXPECT_EQ(body.value(QLatin1String("b64Key")).toString(), QString::fromLatin1(csd.privateKeyDer.toBase64()));
        EXPECT_EQ(body.value(QLatin1String("password")).toString(), csd.password);
        EXPECT_EQ(body.value(QLatin1String("rfc")).toString(), QStringLiteral("EKU9003173C9"));
        EXPECT_EQ(body.value(QLatin1String("uuid")).toString(), kUuid);
        EXPECT_EQ(body.value(QLatin1String("motivo")).toString(), QString::fromLatin1(c.motive));
        EXPECT_EQ(body.value(QLatin1String("folioSustitucion")).toString(), c.replacement);
        EXPECT_FALSE(result.message.contains(csd.password));
    }

    // Requests the SAT would refuse never leave the machine.
    const int sent = pac.count("/api/cfdi33/cancel/");
    const std::pair<cfdi::CancellationRequest, const char *> refusals[] = {
        {cancellation(QStringLiteral("05")), "207"},
        {cancellation(QStringLiteral("01")), "208"},
        {cancellation(QStringLiteral("02"), kReplacement), "209"},
    };
    for (const auto &[request, code] : refusals)
        EXPECT_EQ(adapter.cancel(request).code, QString::fromLatin1(code));
    cfdi::CancellationRequest badUuid = cancellation();
    badUuid.uuid = QStringLiteral("FG-000001");
    EXPECT_EQ(adapter.cancel(badUuid).status, CancellationStatus::Refused);
    EXPECT_EQ(pac.count("/api/cfdi33/cancel/"), sent);
}

TEST_F(RestPacTest, TheSatsStatusQueryTellsWhereACancellationStands)
{
    struct Case
    {
        const char *estado;
        const char *esCancelable;
        const char *estatus;
        CancellationStatus status;
    };
    const Case cases[] = {
        {"Cancelado", "Cancelable sin aceptación", "Cancelado sin aceptación", CancellationStatus::Cancelled},
        {"Cancelado", "Cancelable con aceptación", "Plazo vencido", CancellationStatus::Cancelled},
        {"Vigente", "Cancelable con aceptación", "En proceso", CancellationStatus::InProcess},
        {"Vigente", "Cancelable con aceptación", "Solicitud rechazada", CancellationStatus::Refused},
        {"Vigente", "No cancelable", "", CancellationStatus::NotCancellable},
        {"Vigente", "Cancelable sin aceptación", "", CancellationStatus::InProcess},
        // N - 602 (and N - 601): a stamp the SAT does not know yet, never a refusal.
        {"No Encontrado", "", "", CancellationStatus::Unknown},
    };
    const Case *current = nullptr;
    satAnswer = [&](const PacRequest &) {
        return satStatusAnswer(current->estado, current->esCancelable, current->estatus);
    };
    start();
    RestPac adapter(settings);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.estado) + " / " + c.estatus);
        current = &c;
        const cfdi::CancellationResult result = adapter.cancellationStatus(cancellation());
        EXPECT_EQ(result.status, c.status) << result.message.toStdString();
        EXPECT_FALSE(result.message.isEmpty());
        EXPECT_TRUE(result.acknowledgement.contains("ConsultaResult"));
    }
    const PacRequest asked = server->requests().last();
    EXPECT_EQ(asked.headers.value("soapaction"), "\"http://tempuri.org/IConsultaCFDIService/Consulta\"");
    EXPECT_TRUE(asked.body.contains("?re=EKU9003173C9&amp;rr=XAXX010101000&amp;tt=870.49&amp;id=" + kUuid.toLatin1() +
                                    "&amp;fe=AbCdEfGh"))
        << asked.body.toStdString();
    EXPECT_EQ(server->count("/api/v2/security/authenticate"), 0) << "the SAT's query needs no login at the PAC";
}

} // namespace zentaro::test
