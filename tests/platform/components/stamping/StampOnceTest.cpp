#include "ElectronicDocumentFixture.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/cancellation/FreedNotes.h"
#include "platform/components/stamping/SealedDocuments.h"
#include "platform/services/Utilities.h"
#include "support/ConnectionFaults.h"

#include <QSet>

namespace zentaro::test {

namespace {

// What can go wrong between the suite and a PAC, one fault per call.
enum class Fault {
    None,
    StampAndLoseAnswer,       // the PAC stamps; its answer never arrives
    Unanswered,               // a timeout or a 5xx, nothing stamped
    Unreachable,              // the call throws before reaching the PAC
    AlreadyStampedWithout,    // "307" without the stamp; the stamp comes from existingStamp
    Refuse,                   // the PAC's final refusal of this XML
};

// A real sandbox behind a wire that fails as the test says, remembering every UUID the
// sandbox actually issued and every XML sent.
class FaultyPac : public cfdi::Pac
{
public:
    explicit FaultyPac(QList<Fault> faults) : m_faults(std::move(faults)) {}

    cfdi::StampResult stamp(const QByteArray &sealedXml) override
    {
        sent.append(sealedXml);
        const Fault fault = m_faults.isEmpty() ? Fault::None : m_faults.takeFirst();
        switch (fault) {
        case Fault::Unanswered:
            return cfdi::StampResult::unanswered(QStringLiteral("TIMEOUT"), QStringLiteral("sin respuesta en 30 s"));
        case Fault::Unreachable:
            throw Error(QStringLiteral("no se pudo conectar con el PAC"));
        case Fault::Refuse:
            return cfdi::StampResult::refused(QStringLiteral("CFDI40108"), QStringLiteral("El SubTotal no cuadra"));
        case Fault::AlreadyStampedWithout:
            if (m_sandbox.stamp(sealedXml).stamped())
                return cfdi::StampResult::refused(QString::fromUtf16(cfdi::kAlreadyStampedCode),
                                                  QStringLiteral("CFDI previamente timbrado"));
            break;
        case Fault::StampAndLoseAnswer:
            record(m_sandbox.stamp(sealedXml));
            return cfdi::StampResult::unanswered(QStringLiteral("TIMEOUT"), QStringLiteral("la respuesta se perdió"));
        case Fault::None:
            break;
        }
        return record(m_sandbox.stamp(sealedXml));
    }

    cfdi::StampResult existingStamp(const QByteArray &sealedXml) override { return record(m_sandbox.stamp(sealedXml)); }

    QSet<QString> uuids;
    QList<QByteArray> sent;

private:
    cfdi::StampResult record(cfdi::StampResult result)
    {
        if (result.stamped())
            uuids.insert(result.stamp->timbre.uuid);
        return result;
    }

    QList<Fault> m_faults;
    cfdi::SandboxPac m_sandbox{[] { return Utilities().ServerNow(); }};
};

} // namespace

class StampOnceTest : public ElectronicDocumentTest
{
protected:
    const QString folio = QStringLiteral("FG-000001");

    static DocumentSigner signer(FaultyPac &pac) { return DocumentSigner(std::shared_ptr<cfdi::Pac>(&pac, [](cfdi::Pac *) {})); }
    // Signs until it succeeds, a minute later each time, as a clerk retrying would; answers
    // the number of attempts.
    int signUntilStamped(FaultyPac &pac)
    {
        for (int attempt = 1; attempt <= 10; ++attempt) {
            Platform::instance().fixClock(now().addSecs(60 * attempt));
            if (signer(pac).signInvoice(folio).isEmpty())
                return attempt;
        }
        return -1;
    }
    void forgetTheStamp()
    {
        exec(QStringLiteral("DELETE FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'"));
        exec(QStringLiteral("DELETE FROM Bitacora_Documento"));
    }
};

TEST_P(StampOnceTest, EveryFaultOfTheWireEndsInOneUuid)
{
    struct Case
    {
        const char *name;
        QList<Fault> faults;
        int attempts;   // until the invoice is stamped
        int sealings;   // distinct XMLs the PAC saw
    };
    const QList<Case> cases = {
        {"answer lost", {Fault::StampAndLoseAnswer}, 2, 1},
        {"answer lost twice, then unanswered", {Fault::StampAndLoseAnswer, Fault::StampAndLoseAnswer, Fault::Unanswered}, 4, 1},
        {"unanswered twice", {Fault::Unanswered, Fault::Unanswered}, 3, 1},
        {"unreachable", {Fault::Unreachable}, 2, 1},
        // The PAC's "already stamped" is answered with the stamp it made, in the same attempt.
        {"answer lost, then \"already stamped\" without the stamp",
         {Fault::StampAndLoseAnswer, Fault::AlreadyStampedWithout}, 2, 1},
        // Only a refusal lets the invoice be sealed anew.
        {"refused, then stamped", {Fault::Refuse}, 2, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FaultyPac pac(c.faults);
        EXPECT_EQ(signUntilStamped(pac), c.attempts);
        EXPECT_EQ(pac.uuids.size(), 1);
        EXPECT_EQ(QSet<QByteArray>(pac.sent.begin(), pac.sent.end()).size(), c.sealings);
        EXPECT_EQ(uuidOf(folio), *pac.uuids.begin());
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
        FaultyPac pac({});
        StatementFault counter(db(), -1);
        ASSERT_EQ(signUntilStamped(pac), 1);
        statements = int(counter.statements().size());
        forgetTheStamp();
    }
    ASSERT_GT(statements, 5);
    for (int failAt = 0; failAt < statements; ++failAt) {
        SCOPED_TRACE(failAt);
        FaultyPac pac({});
        {
            StatementFault fault(db(), failAt);
            Platform::instance().fixClock(now());
            // Whether this attempt fails depends on where the fault falls (a statement the
            // suite retries does not fail it); what matters is where the retries end.
            signer(pac).signInvoice(folio);
        }
        EXPECT_GE(signUntilStamped(pac), 1);
        EXPECT_LE(pac.uuids.size(), 1);
        EXPECT_EQ(uuidOf(folio), pac.uuids.isEmpty() ? QString() : *pac.uuids.begin());
        EXPECT_EQ(stampedRows(), 1);
        forgetTheStamp();
    }
}

TEST_P(StampOnceTest, AnUnansweredDocumentIsKeptAndSentAgainByteForByte)
{
    FaultyPac pac({Fault::Unanswered, Fault::Unanswered});
    const QString first = signer(pac).signInvoice(folio);
    EXPECT_TRUE(first.contains(QStringLiteral("su respuesta está pendiente"))) << first.toStdString();
    const auto kept = findSealedDocument(db(), QStringLiteral("Factura"), folio);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->xml, pac.sent.first());
    EXPECT_EQ(kept->attempts, 1);
    EXPECT_TRUE(kept->lastError.contains(QStringLiteral("TIMEOUT")));

    Platform::instance().fixClock(now().addSecs(3600));
    EXPECT_NE(signer(pac).signInvoice(folio), QString());
    EXPECT_EQ(pac.sent.at(1), pac.sent.at(0));
    EXPECT_EQ(findSealedDocument(db(), QStringLiteral("Factura"), folio)->attempts, 2);
    EXPECT_EQ(stampedRows(), 0);
}

TEST_P(StampOnceTest, AStampOfAnotherDocumentIsNotFiledUnderTheInvoice)
{
    // A PAC that mixes up its answers: the stamp of FG-000003 for FG-000001.
    class MixedUpPac : public cfdi::Pac
    {
    public:
        cfdi::StampResult stamp(const QByteArray &) override { return answer; }
        cfdi::StampResult answer;
    };
    ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString());
    auto pac = std::make_shared<MixedUpPac>();
    const auto other = findDigitalDocument(db(), QStringLiteral("Factura"), QStringLiteral("FG-000003"));
    pac->answer.stamp = cfdi::Stamp{cfdi::readTimbreFiscalDigital(other->xml), other->xml, {}};
    EXPECT_TRUE(DocumentSigner(pac).signInvoice(folio).contains(QStringLiteral("el timbre de otro comprobante")));
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
