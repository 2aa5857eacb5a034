#include "ElectronicDocumentFixture.h"
#include "PacServer.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/components/RestPac.h"
#include "platform/components/SealedDocuments.h"
#include "platform/services/Utilities.h"
#include "support/TestDatabase.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

#include <mutex>

namespace zentaro::test {

namespace {

// A password with the characters that escape differently in JSON, URLs and XML.
const QString kPassword = QStringLiteral("Cl4ve/del\"PAC&<ñ>");

// How the PAC misbehaves on one attempt. Each fault but the login's comes after the PAC
// stamped the document: the UUID exists at the SAT whatever reaches the suite.
enum class Fault {
    None,
    Silent,           // stamps, never answers: the wait runs out
    Garbage,          // stamps, answers 200 with a body that is not its format
    TruncatedJson,    // stamps, the JSON is cut
    EmptyCfdi,        // stamps, "success" with an empty cfdi
    NotXml,           // stamps, "success" with a cfdi that is no XML
    Huge,             // stamps, answers more than the suite reads
    LoginRefused,     // the login is refused ("AU2000"); nothing reaches the stamp
    Untrusted,        // the suite does not trust the server's certificate this time
    EchoIn307,        // stamps, answers 307 without the stamp, the password in its words
    EchoInBrokenXml,  // stamps, answers with an XML broken where the password stands
};

} // namespace

// The signer against a PAC's HTTPS server on 127.0.0.1 that stamps with the sandbox's rules
// and misbehaves as each case says, one fault per attempt: whatever it does, the invoice ends
// with one UUID, the PAC issued one, and nothing it sends back shows the password.
class StampPendingTest : public ElectronicDocumentTest
{
protected:
    const QString folio = QStringLiteral("FG-000001");

    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        sandbox.emplace([] { return Utilities().ServerNow(); });
        server = std::make_unique<PacServer>(certificate, [this](const HttpRequest &r) { return answer(r); });
        settings.baseUrl = server->baseUrl();
        settings.user = QStringLiteral("facturas");
        settings.password = kPassword;
        settings.caFile = certificate.pemPath();
        settings.attempts = 1;
        settings.timeout = 1;
        settings.retryPauseMs = 0;
    }

    HttpAnswer answer(const HttpRequest &request)
    {
        std::lock_guard lock(mutex);
        if (request.path.endsWith("/security/authenticate")) {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            const QString password = body.isEmpty() ? QString::fromUtf8(request.headers.value("password"))
                                                    : body.value(QLatin1String("password")).toString();
            if (current == Fault::LoginRefused || password != kPassword)
                return pacError(401, QStringLiteral("AU2000 - El usuario y/o contraseña (%1, %2) son inválidos")
                                         .arg(password, QString::fromLatin1(QUrl::toPercentEncoding(password))));
            return pacSuccess({{QStringLiteral("token"), QStringLiteral("T2lYQ0t4L0-prueba")},
                               {QStringLiteral("expires_in"), 7200}});
        }
        if (!request.path.contains("/stamp/"))
            return {404, QByteArrayLiteral("{}")};
        const QByteArray xml = request.xmlField();
        sent << xml;
        const cfdi::StampResult stamped = sandbox->stamp(xml);
        if (stamped.stamped())
            uuids.insert(stamped.stamp->timbre.uuid);
        const QString stampedXml = stamped.stamped() ? QString::fromUtf8(stamped.stamp->xml) : QString();
        switch (current) {
        case Fault::Silent:
            return {200, {}, QByteArrayLiteral("application/json"), true};
        case Fault::Garbage:
            return {200, QByteArrayLiteral("<html><body>Bad Gateway</body></html>"), QByteArrayLiteral("text/html")};
        case Fault::TruncatedJson:
            return {200, sandboxStamp(*sandbox, xml).body.left(120)};
        case Fault::EmptyCfdi:
            return pacSuccess({{QStringLiteral("cfdi"), QString()}, {QStringLiteral("tfd"), QString()}});
        case Fault::NotXml:
            return pacSuccess({{QStringLiteral("cfdi"), QStringLiteral("no es un XML")}});
        case Fault::Huge:
            return {200, QByteArray(40 * 1024 * 1024, 'x'), QByteArrayLiteral("text/plain")};
        case Fault::EchoIn307:
            return pacError(400, QStringLiteral("307. El comprobante contiene un timbre previo (usuario facturas, "
                                                "contraseña %1).")
                                     .arg(kPassword));
        case Fault::EchoInBrokenXml:
            return pacSuccess({{QStringLiteral("cfdi"), stampedXml.left(200) + QStringLiteral("<%1 ").arg(kPassword)}});
        case Fault::None:
        case Fault::LoginRefused:
        case Fault::Untrusted:
            break;
        }
        return sandboxStamp(*sandbox, xml);
    }

    // One attempt of the clerk, a minute after the one before, with the PAC misbehaving as
    // `fault` says. Answers what the clerk is told.
    QString attempt(Fault fault)
    {
        {
            std::lock_guard lock(mutex);
            current = fault;
        }
        Platform::instance().fixClock(now().addSecs(60 * ++attempts));
        PacSettings these = settings;
        if (fault == Fault::Untrusted)
            these.caFile.clear();
        const QString message = DocumentSigner(std::make_shared<RestPac>(these)).signInvoice(folio);
        messages << message;
        return message;
    }
    QString keptError()
    {
        return field(QStringLiteral("SELECT Cs_Ultimo_Error FROM Comprobante_Sellado WHERE Cs_Documento = ?"), {folio});
    }

    SmtpSinkCertificate certificate;
    // Made once the session is open: its clock is the session's.
    std::optional<cfdi::SandboxPac> sandbox;
    std::unique_ptr<PacServer> server;
    PacSettings settings;
    std::mutex mutex;
    Fault current = Fault::None;
    QList<QByteArray> sent;
    QSet<QString> uuids;
    QStringList messages;
    int attempts = 0;
};

TEST_P(StampPendingTest, NoAnswerButARefusalLetsTheInvoiceBeSealedAgain)
{
    struct Case
    {
        const char *name;
        QList<Fault> faults; // one per attempt; the attempt after them gets the PAC's stamp
        const char *said;    // part of what the clerk is told after the first attempt
    };
    const Case cases[] = {
        {"silence", {Fault::Silent}, "pendiente"},
        {"garbage", {Fault::Garbage}, "pendiente"},
        {"truncated JSON", {Fault::TruncatedJson}, "pendiente"},
        {"success without cfdi", {Fault::EmptyCfdi}, "pendiente"},
        {"cfdi that is no XML", {Fault::NotXml}, "pendiente"},
        {"a reply too large", {Fault::Huge}, "demasiado grande"},
        {"silence, then the login refused", {Fault::Silent, Fault::LoginRefused}, "pendiente"},
        {"silence, then an untrusted server", {Fault::Silent, Fault::Untrusted}, "pendiente"},
        {"garbage, silence, truncated, login refused", {Fault::Garbage, Fault::Silent, Fault::TruncatedJson,
                                                        Fault::LoginRefused}, "pendiente"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString first;
        for (const Fault fault : c.faults) {
            const QString said = attempt(fault);
            if (first.isNull())
                first = said;
            EXPECT_FALSE(said.isEmpty());
            ASSERT_TRUE(findSealedDocument(db(), QStringLiteral("Factura"), folio)) << said.toStdString();
        }
        EXPECT_TRUE(first.contains(QString::fromUtf8(c.said))) << first.toStdString();
        EXPECT_EQ(attempt(Fault::None), QString());
        EXPECT_EQ(QSet<QByteArray>(sent.begin(), sent.end()).size(), 1) << "the same bytes every time";
        EXPECT_EQ(uuids.size(), 1) << "one UUID at the PAC";
        ASSERT_EQ(stampedRows(), 1);
        EXPECT_EQ(uuidOf(folio), *uuids.begin());
        EXPECT_FALSE(findSealedDocument(db(), QStringLiteral("Factura"), folio));

        exec(QStringLiteral("DELETE FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'"));
        exec(QStringLiteral("DELETE FROM Bitacora_Documento"));
        sent.clear();
        uuids.clear();
    }
}

TEST_P(StampPendingTest, APasswordThePacRepeatsIsSeenNowhere)
{
    for (const Fault fault : {Fault::EchoIn307, Fault::EchoInBrokenXml, Fault::LoginRefused})
        attempt(fault);
    // The cancellation answers with the password in its words as well.
    {
        std::lock_guard lock(mutex);
        current = Fault::None;
    }
    EXPECT_EQ(attempt(Fault::None), QString());
    const QString uuid = uuidOf(folio);
    RestPac adapter(settings);
    std::unique_ptr<PacServer> canceller = std::make_unique<PacServer>(certificate, [](const HttpRequest &request) {
        if (request.path.endsWith("/security/authenticate"))
            return pacSuccess({{QStringLiteral("token"), QStringLiteral("T2lYQ0t4L0-prueba")},
                               {QStringLiteral("expires_in"), 7200}});
        return pacError(400, QStringLiteral("205 - UUID no encontrado para la contraseña %1").arg(kPassword));
    });
    PacSettings cancelling = settings;
    cancelling.baseUrl = canceller->baseUrl();
    cfdi::CancellationRequest request;
    request.issuerRfc = QStringLiteral("EKU9003173C9");
    request.receiverRfc = QStringLiteral("XAXX010101000");
    request.uuid = uuid;
    request.total = QStringLiteral("1.00");
    request.motive = QStringLiteral("02");
    messages << RestPac(cancelling).cancel(request).message;

    QStringList stored;
    for (const char *sql : {"SELECT * FROM Bitacora_Documento",
                            "SELECT * FROM Comprobante_Sellado",
                            "SELECT * FROM Comprobante_Digital"}) {
        Recordset rs = db().select(QString::fromLatin1(sql));
        for (; !rs.eof(); rs.moveNext())
            for (int i = 0; i < rs.fieldCount(); ++i)
                stored << rs.textAt(i);
    }
    const QString everything = messages.join(u'\n') + stored.join(u'\n');
    const QString json = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("p"), kPassword}}).toJson(
                                               QJsonDocument::Compact))
                             .mid(6)
                             .chopped(2);
    for (const QString &form : {kPassword, json, QString::fromLatin1(QUrl::toPercentEncoding(kPassword)),
                                kPassword.toHtmlEscaped(), kPassword.left(8), kPassword.right(8)}) {
        SCOPED_TRACE(form.toStdString());
        EXPECT_FALSE(everything.contains(form)) << everything.toStdString();
    }
    EXPECT_EQ(uuids.size(), 1);
}

TEST_P(StampPendingTest, TheClerkWhoLosesTheRaceToStoreTheStampIsToldAnotherUserIsAtIt)
{
    // Another clerk signs the same invoice and stores its stamp while this clerk waits for
    // the PAC: both sent the same sealed XML, so the stamp is the same one.
    bool raced = false;
    server = std::make_unique<PacServer>(certificate, [&](const HttpRequest &request) {
        HttpAnswer reply = answer(request);
        if (!request.path.contains("/stamp/") || raced)
            return reply;
        raced = true;
        std::unique_ptr<Connection> other = database->open(false);
        const cfdi::StampResult stamp = sandbox->stamp(request.xmlField());
        DigitalDocument theirs;
        theirs.table = QStringLiteral("Factura");
        theirs.document = folio;
        theirs.uuid = stamp.stamp->timbre.uuid;
        theirs.fechaTimbrado = QDateTime::fromString(stamp.stamp->timbre.fechaTimbrado, Qt::ISODate);
        theirs.noCertificado = QStringLiteral("30001000000500003416");
        theirs.xml = stamp.stamp->xml;
        theirs.estado = QString::fromUtf16(kDigitalDocumentValid);
        insertDigitalDocument(*other, theirs);
        return reply;
    });
    settings.baseUrl = server->baseUrl();
    const QString said = attempt(Fault::None);
    EXPECT_TRUE(said.isEmpty() || said.contains(QStringLiteral("otro usuario"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive)) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("duplicate"), Qt::CaseInsensitive)) << said.toStdString();
    EXPECT_EQ(stampedRows(), 1);
    EXPECT_EQ(uuids.size(), 1);
    // Signing again answers that the invoice is signed.
    EXPECT_EQ(attempt(Fault::None), QString());
}

ZENTARO_ON_BOTH_ENGINES(StampPendingTest);

} // namespace zentaro::test
