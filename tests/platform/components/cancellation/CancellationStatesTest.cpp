// The cancellation command pressed where the invoice's own state decides: its stamp still in
// flight, and two clerks at once. Each answer of the PAC and the SAT is followed through the
// real program in CancelAtPacTest.

#include "CancellationFixture.h"

#include "platform/components/cancellation/CancellationValidator.h"

#include <QProcess>


namespace zentaro::test {

class CancellationStates : public CancellationFixture
{
protected:
    void SetUp() override
    {
        CancellationFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    }

    CancellationValidator::Decision press(const QString &folio)
    {
        CancellationValidator validator(
            [this](const QString &, const QString &) -> std::optional<CancellationMotive> {
                ++asked;
                return CancellationMotive {QStringLiteral("02"), {}};
            },
            pac);
        return validator.validate(QStringLiteral("1|") + folio);
    }
    int billedNotes(const QString &folio)
    {
        return count(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Fc_Folio = ?"), {folio});
    }
    int sealedRows(const QString &folio)
    {
        return count(QStringLiteral("SELECT count(*) FROM Comprobante_Sellado WHERE Cs_Documento = ?"), {folio});
    }

};

// What one press must answer: accepted with no text (the screen cancels), accepted with
// information (nothing cancelled), or refused with a reason.
enum class Expect { Cancel, Inform, Refuse };

// An invoice whose stamp is in flight (sealed, sent, no answer kept) is settled before it
// is cancelled: whatever the PAC answers, one CFDI at most, and never notes freed under a
// live one.
TEST_P(CancellationStates, AnInvoiceWhoseStampIsInFlightIsSettledFirst)
{
    struct Case
    {
        const char *name;
        QList<PacFault> settling;   // what the PAC does with the same bytes sent again
        Expect expect;
        bool stamped;        // a CFDI exists afterwards
        int requests;        // cancellations sent to the PAC
    };
    const QList<Case> cases = {
        {"the stamp comes back: stored, then cancelled at the SAT", {}, Expect::Cancel, true, 1},
        {"still no answer: refused, with the reason", {PacFault::Silent}, Expect::Refuse, false, 0},
        {"the PAC refuses the document: no CFDI, cancelled without the PAC", {PacFault::Refuse}, Expect::Cancel, false, 0},
    };
    const QStringList folios = {QStringLiteral("FG-000002"), QStringLiteral("FG-000003"), QStringLiteral("FG-000004")};
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case &c = cases.at(i);
        const QString folio = folios.at(i);
        SCOPED_TRACE(c.name);
        fake->faults({PacFault::Silent});   // stamped, its answer lost
        ASSERT_FALSE(DocumentSigner(pac).sign(request(folio)).isEmpty());
        ASSERT_EQ(sealedRows(folio), 1);
        ASSERT_EQ(uuidOf(folio), QString());
        const int stampsBefore = stamps();
        const int cancelsBefore = cancels();
        fake->faults(c.settling);

        const auto decision = press(folio);
        EXPECT_EQ(stamps(), stampsBefore + 1);   // the same bytes sent once more
        EXPECT_EQ(decision.accepted, c.expect == Expect::Cancel) << decision.error.toStdString();
        EXPECT_EQ(decision.message, QString());
        EXPECT_EQ(!uuidOf(folio).isEmpty(), c.stamped);
        EXPECT_EQ(cancels() - cancelsBefore, c.requests);
        if (c.expect == Expect::Refuse) {
            EXPECT_TRUE(decision.error.contains(QStringLiteral("timbr"))) << decision.error.toStdString();
            EXPECT_EQ(sealedRows(folio), 1);
            // The canceller itself will not cancel under a stamp in flight either.
            const QString refusal = cancelInTransaction(folio);
            EXPECT_TRUE(refusal.contains(QStringLiteral("timbr"))) << refusal.toStdString();
            EXPECT_EQ(invoiceState(folio), QStringLiteral("AC"));
            EXPECT_GT(billedNotes(folio), 0);
        } else {
            EXPECT_EQ(sealedRows(folio), 0);
            EXPECT_EQ(cancelInTransaction(folio), QString());
            EXPECT_EQ(invoiceState(folio), QStringLiteral("CA"));
            EXPECT_EQ(billedNotes(folio), 0);
            if (c.stamped) {
                EXPECT_EQ(satState(folio), QStringLiteral("CA"));
            }
        }
    }
}

// Two clerks press Eliminar on the same invoice: the one whose request comes second is
// told that the other is doing it, and only one request reaches the SAT.
TEST_P(CancellationStates, TheClerkWhoLosesTheRaceToRequestIsToldSo)
{
    cancelScript = {received()};
    statusScript = {inProcess()};
    CancellationValidator::Decision other;
    CancellationValidator first(
        [&](const QString &, const QString &) -> std::optional<CancellationMotive> {
            // While the first clerk chooses the motive, the second one asks and sends.
            other = press(QStringLiteral("FG-000001"));
            return CancellationMotive {QStringLiteral("03"), {}};
        },
        pac);
    const auto lost = first.validate(QStringLiteral("1|FG-000001"));
    EXPECT_TRUE(other.accepted);
    EXPECT_FALSE(other.message.isEmpty());
    EXPECT_FALSE(lost.accepted);
    EXPECT_TRUE(lost.error.contains(QStringLiteral("Otro usuario"))) << lost.error.toStdString();
    EXPECT_EQ(cancels(), 1);
    EXPECT_EQ(field(QStringLiteral("SELECT Cd_Motivo_Cancelacion FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'")),
              QStringLiteral("02"));
}

// Two clerks at two machines cancel the same invoice at once: the second waits for the
// first one's transaction, then is told that another user did it, and nothing is done twice.
TEST_P(CancellationStates, TheClerkWhoLosesTheRaceToCancelInAnotherProcessIsToldSo)
{
    const QString folio = QStringLiteral("FG-000004");   // never sealed: no SAT to ask
    TransactionGuard mine(db());
    InvoiceCanceller canceller(db());
    ASSERT_TRUE(canceller.CancelInvoice(folio, 0)) << canceller.LastError().toStdString();
    QProcess other;
    other.start(qEnvironmentVariable("ZENTARO_TEST_CLERK"), {QStringLiteral("cancel"), database->urlText(), folio});
    ASSERT_TRUE(other.waitForStarted());
    EXPECT_FALSE(other.waitForFinished(1500)) << "the other clerk did not wait: "
                                              << other.readAllStandardOutput().toStdString();
    mine.commit();
    ASSERT_TRUE(other.waitForFinished(60000));
    const QString said = QString::fromUtf8(other.readAllStandardOutput() + other.readAllStandardError());
    EXPECT_TRUE(said.contains(QStringLiteral("otro usuario"))) << said.toStdString();
    EXPECT_EQ(logRows(QStringLiteral("Cancelada")), 1);
    EXPECT_EQ(invoiceState(folio), QStringLiteral("CA"));
}

ZENTARO_ON_BOTH_ENGINES(CancellationStates);

} // namespace zentaro::test
