#include "ElectronicDocumentFixture.h"
#include "FakePac.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/stamping/RestPac.h"
#include "platform/components/stamping/SealedDocuments.h"
#include "platform/services/Utilities.h"
#include "support/TestDatabase.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>


namespace zentaro::test {

namespace {

// A password with the characters that escape differently in JSON, URLs and XML.
const QString kPassword = QStringLiteral("Cl4ve/del\"PAC&<ñ>");

} // namespace

// The signer against the fake PAC on 127.0.0.1, which stamps with the sandbox's rules and
// misbehaves as each case says, one fault per attempt: whatever it does, the invoice ends
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
        pac = std::make_unique<FakePac>(QStringLiteral("facturas"), kPassword, [] { return Utilities().ServerNow(); });
        pac->lateBy = std::chrono::milliseconds(1500);
        settings.baseUrl = pac->baseUrl();
        settings.user = QStringLiteral("facturas");
        settings.password = kPassword;
        settings.caFile = pac->trustedCertificate();
        settings.attempts = 1;
        settings.timeout = 1;
        settings.retryPauseMs = 0;
    }
    void TearDown() override
    {
        if (pac) {
            EXPECT_EQ(pac->violations(), QStringList()) << "requests the provider does not document";
        }
        pac.reset();
        ElectronicDocumentTest::TearDown();
    }

    // One attempt of the clerk, a minute after the one before, with the PAC misbehaving as
    // `fault` says. Answers what the clerk is told.
    QString attempt(PacFault fault, const QString &invoice = QStringLiteral("FG-000001"))
    {
        pac->faults(fault == PacFault::None ? QList<PacFault>{} : QList<PacFault>{fault});
        Platform::instance().fixClock(now().addSecs(60 * ++attempts));
        const QString message = DocumentSigner(std::make_shared<RestPac>(settings)).signInvoice(invoice);
        EXPECT_EQ(pac->pendingFaults(), QList<PacFault>()) << "the fault happened; the clerk read: " << message.toStdString();
        messages << message;
        return message;
    }

    std::unique_ptr<FakePac> pac;
    PacSettings settings;
    QStringList messages;
    int attempts = 0;
};

TEST_P(StampPendingTest, NoAnswerButARefusalLetsTheInvoiceBeSealedAgain)
{
    struct Case
    {
        const char *name;
        QList<PacFault> faults; // one per attempt; the attempt after them gets the PAC's stamp
        const char *said;    // part of what the clerk is told after the first attempt
    };
    const Case cases[] = {
        {"silence", {PacFault::Silent}, "pendiente"},
        {"an answer after the wait ran out", {PacFault::LateAnswer}, "pendiente"},
        {"garbage", {PacFault::Garbage}, "pendiente"},
        {"truncated JSON", {PacFault::TruncatedJson}, "pendiente"},
        {"success without cfdi", {PacFault::EmptyCfdi}, "pendiente"},
        {"cfdi that is no XML", {PacFault::NotXml}, "pendiente"},
        {"a reply too large", {PacFault::Huge}, "demasiado grande"},
        {"unavailable", {PacFault::Unavailable}, "pendiente"},
        {"silence, then the login refused", {PacFault::Silent, PacFault::LoginRefused}, "pendiente"},
        {"silence, then a TLS failure", {PacFault::Silent, PacFault::TlsFailure}, "pendiente"},
        {"garbage, silence, truncated, login refused, TLS",
         {PacFault::Garbage, PacFault::Silent, PacFault::TruncatedJson, PacFault::LoginRefused, PacFault::TlsFailure},
         "pendiente"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString first;
        for (const PacFault fault : c.faults) {
            const QString said = attempt(fault);
            if (first.isNull())
                first = said;
            EXPECT_FALSE(said.isEmpty());
            ASSERT_TRUE(findSealedDocument(db(), QStringLiteral("Factura"), folio)) << said.toStdString();
        }
        EXPECT_TRUE(first.contains(QString::fromUtf8(c.said))) << first.toStdString();
        EXPECT_EQ(attempt(PacFault::None), QString());
        EXPECT_EQ(pac->documentsSent().size(), 1) << "the same bytes every time";
        const QSet<QString> uuids = pac->uuids();
        EXPECT_EQ(uuids.size(), 1) << "one UUID at the PAC";
        ASSERT_EQ(stampedRows(), 1);
        EXPECT_EQ(uuidOf(folio), *uuids.begin());
        EXPECT_FALSE(findSealedDocument(db(), QStringLiteral("Factura"), folio));

        exec(QStringLiteral("DELETE FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'"));
        exec(QStringLiteral("DELETE FROM Bitacora_Documento"));
        pac = std::make_unique<FakePac>(settings.user, kPassword, [] { return Utilities().ServerNow(); });
        pac->lateBy = std::chrono::milliseconds(1500);
        settings.baseUrl = pac->baseUrl();
        settings.caFile = pac->trustedCertificate();
    }
}

TEST_P(StampPendingTest, APasswordThePacRepeatsIsSeenNowhere)
{
    // A PAC that answers every stamp with a 307 that repeats the password and carries no
    // stamp; then the faults, one invoice each: a 307 is followed at once by the question
    // for the stamp, which signs the invoice.
    pac->script([](const PacRequest &) -> std::optional<PacAnswer> {
        return pacError(400, QStringLiteral("307 - El comprobante contiene un timbre previo (contraseña %1)").arg(kPassword));
    });
    EXPECT_TRUE(attempt(PacFault::None).contains(QStringLiteral("pendiente")));
    pac->script({});
    const std::pair<PacFault, QString> echoes[] = {{PacFault::EchoIn307, QStringLiteral("FG-000001")},
                                                   {PacFault::EchoInBrokenXml, QStringLiteral("FG-000002")},
                                                   {PacFault::LoginRefused, QStringLiteral("FG-000003")}};
    for (const auto &[fault, invoice] : echoes)
        attempt(fault, invoice);
    for (const auto &[fault, invoice] : echoes)
        EXPECT_EQ(attempt(PacFault::None, invoice), QString());
    const QString uuid = uuidOf(folio);
    // The cancellation answers with the password in its words as well.
    pac->script([](const PacRequest &request) -> std::optional<PacAnswer> {
        if (request.path.endsWith("/cancel/csd"))
            return pacError(400, QStringLiteral("205 - UUID no encontrado para la contraseña %1").arg(kPassword));
        return std::nullopt;
    });
    cfdi::CancellationRequest request;
    request.issuerRfc = QStringLiteral("EKU9003173C9");
    request.receiverRfc = QStringLiteral("XAXX010101000");
    request.uuid = uuid;
    request.total = QStringLiteral("1.00");
    request.motive = QStringLiteral("02");
    messages << RestPac(settings).cancel(request).message;

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
    EXPECT_EQ(pac->uuids().size(), 3) << "one per invoice";
}

TEST_P(StampPendingTest, TheClerkWhoLosesTheRaceToStoreTheStampIsToldAnotherUserIsAtIt)
{
    // Another clerk signs the same invoice and stores its stamp while this clerk waits for
    // the PAC: both sent the same sealed XML, so the stamp is the same one.
    bool raced = false;
    pac->onStamp([&](const PacRequest &request) {
        if (raced)
            return;
        raced = true;
        const FakePac::Issued stamp = pac->issued().last();
        std::unique_ptr<Connection> other = database->open(false);
        DigitalDocument theirs;
        theirs.table = QStringLiteral("Factura");
        theirs.document = folio;
        theirs.uuid = stamp.uuid;
        theirs.fechaTimbrado = QDateTime::fromString(cfdi::readTimbreFiscalDigital(stamp.stamped).fechaTimbrado, Qt::ISODate);
        theirs.noCertificado = QStringLiteral("30001000000500003416");
        theirs.xml = stamp.stamped;
        theirs.estado = QString::fromUtf16(kDigitalDocumentValid);
        EXPECT_EQ(stamp.sealed, request.xml);
        insertDigitalDocument(*other, theirs);
    });
    const QString said = attempt(PacFault::None);
    EXPECT_TRUE(said.isEmpty() || said.contains(QStringLiteral("otro usuario"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive)) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("duplicate"), Qt::CaseInsensitive)) << said.toStdString();
    EXPECT_EQ(stampedRows(), 1);
    EXPECT_EQ(pac->uuids().size(), 1);
    // Signing again answers that the invoice is signed.
    EXPECT_EQ(attempt(PacFault::None), QString());
}

ZENTARO_ON_BOTH_ENGINES(StampPendingTest);

} // namespace zentaro::test
