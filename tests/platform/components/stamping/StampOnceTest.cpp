#include "ElectronicDocumentFixture.h"
#include "FakePac.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/cancellation/FreedNotes.h"
#include "platform/components/stamping/RestPac.h"
#include "platform/components/stamping/SealedDocuments.h"
#include "platform/services/Utilities.h"
#include "support/ConnectionFaults.h"

#include <QSet>

namespace zentaro::test {

// Signing through the REST client against the fake PAC on 127.0.0.1, one attempt and a
// second's wait, the wire failing as each case says.
class StampOnceTest : public ElectronicDocumentTest
{
protected:
    const QString folio = QStringLiteral("FG-000001");

    FakePac &startPac(const QList<PacFault> &faults = {}, bool stampIn307 = true)
    {
        pac = std::make_unique<FakePac>(QStringLiteral("facturas"), QStringLiteral("Cl4ve"),
                                        [] { return Utilities().ServerNow(); });
        pac->faults(faults);
        pac->stampIn307(stampIn307);
        return *pac;
    }
    DocumentSigner signer() const { return DocumentSigner(std::make_shared<RestPac>(pac->clientSettings())); }
    // Signs until it succeeds, a minute later each time, as a clerk retrying would; answers
    // the number of attempts.
    int signUntilStamped()
    {
        for (int attempt = 1; attempt <= 10; ++attempt) {
            Platform::instance().fixClock(now().addSecs(60 * attempt));
            if (signer().signInvoice(folio).isEmpty())
                return attempt;
        }
        return -1;
    }
    // The XMLs that reached the stamp route, in order.
    QList<QByteArray> sent() const
    {
        QList<QByteArray> all;
        for (const PacRequest &r : pac->requests())
            if (!r.xml.isEmpty())
                all << r.xml;
        return all;
    }
    void forgetTheStamp()
    {
        exec(QStringLiteral("DELETE FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'"));
        exec(QStringLiteral("DELETE FROM Bitacora_Documento"));
    }
    void TearDown() override
    {
        if (pac) {
            EXPECT_EQ(pac->violations(), QStringList()) << "requests the provider does not document";
        }
        pac.reset();
        ElectronicDocumentTest::TearDown();
    }

    std::unique_ptr<FakePac> pac;
};

TEST_P(StampOnceTest, EveryFaultOfTheWireEndsInOneUuid)
{
    struct Case
    {
        const char *name;
        QList<PacFault> faults;
        bool stampIn307;
        int attempts;   // until the invoice is stamped
        int sealings;   // distinct XMLs the PAC saw
    };
    const QList<Case> cases = {
        {"answer lost", {PacFault::Silent}, true, 2, 1},
        {"answer lost twice, then unanswered", {PacFault::Silent, PacFault::Silent, PacFault::Unavailable}, true, 4, 1},
        {"unanswered twice", {PacFault::Unavailable, PacFault::Unavailable}, true, 3, 1},
        {"unreachable", {PacFault::TlsFailure}, true, 2, 1},
        // The PAC's "already stamped" without the stamp: it is fetched by its UUID, in the same attempt.
        {"answer lost, then \"already stamped\" without the stamp", {PacFault::Silent}, false, 2, 1},
        // Only a refusal lets the invoice be sealed anew.
        {"refused, then stamped", {PacFault::Refuse}, true, 2, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        startPac(c.faults, c.stampIn307);
        EXPECT_EQ(signUntilStamped(), c.attempts);
        EXPECT_EQ(pac->uuids().size(), 1);
        EXPECT_EQ(pac->documentsSent().size(), c.sealings);
        EXPECT_EQ(uuidOf(folio), *pac->uuids().begin());
        EXPECT_EQ(stampedRows(), 1);
        EXPECT_FALSE(findSealedDocument(db(), QStringLiteral("Factura"), folio));
        EXPECT_EQ(logRows(QStringLiteral("Timbrado")), 1);
        forgetTheStamp();
    }
}

TEST_P(StampOnceTest, AFailureAtAnyStatementEndsInOneUuid)
{
    int statements = 0;
    {
        // A clean run tells how many statements signing takes.
        startPac();
        StatementFault counter(db(), -1);
        ASSERT_EQ(signUntilStamped(), 1);
        statements = int(counter.statements().size());
        forgetTheStamp();
    }
    ASSERT_GT(statements, 5);
    for (int failAt = 0; failAt < statements; ++failAt) {
        SCOPED_TRACE(failAt);
        startPac();
        {
            StatementFault fault(db(), failAt);
            Platform::instance().fixClock(now());
            // Whether this attempt fails depends on where the fault falls (a statement the
            // suite retries does not fail it); what matters is where the retries end.
            signer().signInvoice(folio);
        }
        EXPECT_GE(signUntilStamped(), 1);
        EXPECT_LE(pac->uuids().size(), 1);
        EXPECT_EQ(uuidOf(folio), pac->uuids().isEmpty() ? QString() : *pac->uuids().begin());
        EXPECT_EQ(stampedRows(), 1);
        forgetTheStamp();
    }
}

TEST_P(StampOnceTest, AnUnansweredDocumentIsKeptAndSentAgainByteForByte)
{
    startPac({PacFault::Unavailable, PacFault::Unavailable});
    const QString first = signer().signInvoice(folio);
    EXPECT_TRUE(first.contains(QStringLiteral("su respuesta está pendiente"))) << first.toStdString();
    const auto kept = findSealedDocument(db(), QStringLiteral("Factura"), folio);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->xml, sent().first());
    EXPECT_EQ(kept->attempts, 1);
    EXPECT_TRUE(kept->lastError.contains(QStringLiteral("HTTP 503"))) << kept->lastError.toStdString();

    Platform::instance().fixClock(now().addSecs(3600));
    EXPECT_NE(signer().signInvoice(folio), QString());
    EXPECT_EQ(sent().at(1), sent().at(0));
    EXPECT_EQ(findSealedDocument(db(), QStringLiteral("Factura"), folio)->attempts, 2);
    EXPECT_EQ(stampedRows(), 0);
}

TEST_P(StampOnceTest, AStampOfAnotherDocumentIsNotFiledUnderTheInvoice)
{
    // A PAC that mixes up its answers: the stamp of FG-000003 for FG-000001.
    ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString());
    const auto other = findDigitalDocument(db(), QStringLiteral("Factura"), QStringLiteral("FG-000003"));
    const cfdi::TimbreFiscalDigital t = cfdi::readTimbreFiscalDigital(other->xml);
    startPac().script([&](const PacRequest &request) -> std::optional<PacAnswer> {
        if (request.path != "/api/cfdi33/stamp/v4")
            return std::nullopt;
        return pacSuccess({{QStringLiteral("uuid"), t.uuid},
                           {QStringLiteral("fechaTimbrado"), t.fechaTimbrado},
                           {QStringLiteral("selloCFDI"), t.selloCfd},
                           {QStringLiteral("selloSAT"), t.selloSat},
                           {QStringLiteral("noCertificadoSAT"), t.noCertificadoSat},
                           {QStringLiteral("cadenaOriginalSAT"), cfdi::cadenaOriginalTfd(t)},
                           {QStringLiteral("cfdi"), QString::fromUtf8(other->xml)}});
    });
    EXPECT_TRUE(signer().signInvoice(folio).contains(QStringLiteral("el timbre de otro comprobante")));
    EXPECT_EQ(uuidOf(folio), QString());
    EXPECT_TRUE(findSealedDocument(db(), QStringLiteral("Factura"), folio));
}

TEST_P(StampOnceTest, CancelledNotesRememberTheInvoiceThatGaveThemBack)
{
    ASSERT_EQ(sign(folio), QString());
    const QString uuid = uuidOf(folio);
    // Another motive relates nothing; 04 (and 01) mark the invoice's notes.
    recordNotesFreedByCancellation(db(), folio, QStringLiteral("02"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Venta WHERE Vn_Factura_Cancelada = ?"), {folio}), 0);
    recordNotesFreedByCancellation(db(), folio, QStringLiteral("04"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Venta WHERE Vn_Factura_Cancelada = ?"), {folio}), 5);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Vn_Factura_Cancelada = ?"), {folio}), 5);
    // The invoice itself relates nothing; one that bills a freed note relates it.
    EXPECT_EQ(uuidsReplacedBy(db(), folio), QStringList());
    exec(QStringLiteral("INSERT INTO Factura_Linea (Fc_Folio, Fc_ID, Vn_Folio) "
                        "SELECT 'FG-NUEVA', '1', min(Vn_Folio) FROM Venta WHERE Vn_Factura_Cancelada = 'FG-000001'"));
    EXPECT_EQ(uuidsReplacedBy(db(), QStringLiteral("FG-NUEVA")), QStringList{uuid.toUpper()});
}

ZENTARO_ON_BOTH_ENGINES(StampOnceTest);

} // namespace zentaro::test
