#include "ElectronicDocumentFixture.h"
#include "FakePac.h"

#include "platform/core/StoredSecret.h"
#include "support/CommandProcess.h"

#include <QElapsedTimer>
#include <QProcess>

#include <atomic>

namespace zentaro::test {

namespace {

const QString kPassword = QStringLiteral("Cl4ve-del-PAC");
const QString kFolio = QStringLiteral("FG-000001");

// Where the program is killed: at each change of state of the invoice on its way to a CFDI.
enum class Kill {
    None,
    Sealed,      // the sealed XML committed, nothing sent yet (it is logging in)
    Sent,        // the PAC has the request and stamps it; no answer reaches the program
    Answered,    // the answer reached the program, which is storing it (held by a lock)
};

// One run of `zentaro sign`: killed where `kill` says, or facing `fault` at the PAC.
struct Step
{
    Kill kill = Kill::None;
    PacFault fault = PacFault::None;
};

} // namespace

// Real `zentaro sign` processes against the fake PAC, killed (SIGKILL) at every change of
// state and facing the PAC's faults in every order, then run once more: the invoice ends with
// one UUID, the one the PAC issued, and the PAC issued no other.
class StampKillTest : public ElectronicDocumentTest
{
protected:
    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        startPac();
    }
    // A fake PAC that never saw the invoice, the program configured for it, and the hooks
    // that kill the program where the step says.
    void startPac()
    {
        // The program's clock is the computer's.
        pac = std::make_unique<FakePac>(QStringLiteral("facturas"), kPassword, [] { return QDateTime::currentDateTime(); });
        pac->lateBy = std::chrono::milliseconds(7000);
        for (const auto &[name, value] : pac->programVariables(QStringLiteral("facturas"), sealSecret(kPassword)))
            setVariable(name, value);
        pac->onLogin([this](const PacRequest &) {
            if (m_kill == Kill::Sealed)
                killNow();
        });
        pac->onStamp([this](const PacRequest &) {
            if (m_kill == Kill::Sent) {
                killNow();
            } else if (m_kill == Kill::Answered) {
                // Holds the write the program makes to store the stamp, until it is killed.
                m_locker = database->open(false);
                m_locker->beginTrans();
                m_locker->run(QStringLiteral("UPDATE Comprobante_Sellado SET Cs_Intentos = Cs_Intentos WHERE "
                                             "Cs_Documento = ?"),
                              {kFolio});
                if (m_locker->engine() == Engine::Postgres)
                    m_lockerPid = backendPid(*m_locker);
                m_locked = true;
            }
        });
    }
    void TearDown() override
    {
        if (pac) {
            EXPECT_EQ(pac->violations(), QStringList()) << "requests the provider does not document";
        }
        pac.reset();
        ElectronicDocumentTest::TearDown();
    }

    void killNow() { m_killer.killNow(); }
    // The program waits for the lock the PAC's hook took: PostgreSQL says so; SQLite's wait
    // shows nowhere, and a moment is enough for the answer to reach the store.
    bool programWaitsForTheLock(const QElapsedTimer &since)
    {
        if (m_lockerPid.isEmpty())
            return since.elapsed() > 1500;
        return someoneWaitsOn(db(), m_lockerPid);
    }

    // One `zentaro sign` of the invoice; answers its standard output.
    QString run(const Step &step)
    {
        m_kill = step.kill;
        m_locked = false;
        m_lockerPid.clear();
        pac->faults(step.fault == PacFault::None ? QList<PacFault>{} : QList<PacFault>{step.fault});
        QProcess process;
        process.start(qEnvironmentVariable("ZENTARO_BIN"),
                      {QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(), kFolio});
        EXPECT_TRUE(process.waitForStarted(10000));
        m_killer.watch(process);
        QElapsedTimer locked;
        for (int waited = 0; !process.waitForFinished(100) && waited < 60000; waited += 100) {
            if (m_locked && !locked.isValid())
                locked.start();
            if (m_locked && programWaitsForTheLock(locked))
                killNow();
        }
        m_killer.forget();
        if (process.state() != QProcess::NotRunning) {
            ADD_FAILURE() << "the program did not end";
            process.kill();
            process.waitForFinished();
        }
        if (m_locker) {
            m_locker->rollbackTrans();
            m_locker.reset();
        }
        if (step.kill != Kill::None) {
            EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << "killed";
            // Killed before anything was stored: whatever it was doing left the invoice sealed.
            EXPECT_EQ(uuidOf(kFolio), QString());
            EXPECT_EQ(count(QStringLiteral("SELECT count(*) AS n FROM Comprobante_Sellado WHERE Cs_Documento = ?"), {kFolio}),
                      1);
        }
        EXPECT_EQ(pac->pendingFaults(), QList<PacFault>()) << "the fault happened";
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    std::unique_ptr<FakePac> pac;
    std::atomic<Kill> m_kill = Kill::None;
    ProcessKiller m_killer;
    std::atomic<bool> m_locked = false;
    std::unique_ptr<Connection> m_locker;
    QString m_lockerPid;
};

TEST_P(StampKillTest, KilledAtEveryChangeOfStateTheInvoiceEndsWithOneUuid)
{
    struct Case
    {
        const char *name;
        QList<Step> steps; // one run each; a clean run follows
        int sealings;      // distinct documents the PAC may see
    };
    const QList<Case> cases = {
        {"killed once sealed", {{Kill::Sealed}}, 1},
        {"killed with the request at the PAC", {{Kill::Sent}}, 1},
        {"killed while storing the answer", {{Kill::Answered}}, 1},
        {"killed at every state, backwards", {{Kill::Answered}, {Kill::Sent}, {Kill::Sealed}}, 1},
        {"garbage, then killed with the request at the PAC", {{Kill::None, PacFault::Garbage}, {Kill::Sent}}, 1},
        {"killed while storing, then an answer after the wait",
         {{Kill::Answered}, {Kill::None, PacFault::LateAnswer}}, 1},
        {"TLS failure, killed at the PAC, login refused, truncated",
         {{Kill::None, PacFault::TlsFailure}, {Kill::Sent}, {Kill::None, PacFault::LoginRefused},
          {Kill::None, PacFault::TruncatedJson}}, 1},
        // Only a refusal lets the invoice be sealed anew.
        {"refused, then killed with the request at the PAC", {{Kill::None, PacFault::Refuse}, {Kill::Sent}}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const Step &step : c.steps)
            run(step);
        const QString out = run({});
        const QSet<QString> issued = pac->uuids();
        ASSERT_EQ(issued.size(), 1) << "one UUID at the PAC";
        EXPECT_EQ(out.trimmed(), QStringLiteral("{\"folio\":\"%1\",\"uuid\":\"%2\"}").arg(kFolio, *issued.begin()));
        EXPECT_EQ(uuidOf(kFolio), *issued.begin());
        EXPECT_EQ(stampedRows(), 1);
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) AS n FROM Comprobante_Sellado")), 0);
        // A new seal in the same second as the refused one has the same bytes.
        EXPECT_GE(pac->documentsSent().size(), 1);
        EXPECT_LE(pac->documentsSent().size(), c.sealings);

        // The next case starts from the unsigned invoice and a PAC that never saw it.
        exec(QStringLiteral("DELETE FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'"));
        exec(QStringLiteral("DELETE FROM Bitacora_Documento"));
        EXPECT_EQ(pac->violations(), QStringList());
        startPac();
    }
}

ZENTARO_ON_BOTH_ENGINES(StampKillTest);

} // namespace zentaro::test
