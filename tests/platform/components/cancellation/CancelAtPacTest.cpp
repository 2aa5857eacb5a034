// The real program cancelling a stamped invoice through the REST PAC: the screen's Eliminar
// (`zentaro script`) makes the request, `zentaro cancellations` follows it, the fake PAC
// answers each documented way and the SAT's status service says where it stands. Killed at
// each change of state, the next run finishes it.

#include "ElectronicDocumentFixture.h"
#include "FakePac.h"

#include "platform/components/cancellation/InvoiceCanceller.h"
#include "platform/core/StoredSecret.h"
#include "support/CommandProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

namespace zentaro::test {

namespace {

const QString kPassword = QStringLiteral("Cl4ve-del-PAC");
const QString kFolio = QStringLiteral("FG-000001");

// What the PAC answers one cancellation request
// (https://developers.sw.com.mx/knowledge-base/cancelacion-cfdi: the codes of the acuse).
using Answer = Scripted;
const Answer garbage = [](const PacRequest &) {
    return PacAnswer{200, QByteArrayLiteral("<html><body>Bad Gateway</body></html>"), QByteArrayLiteral("text/html")};
};
// What the SAT's status service says during one run (every query of it).
const std::optional<PacAnswer> cancelado = satStatusAnswer("Cancelado", "Cancelable sin aceptación", "Cancelado sin aceptación");
const std::optional<PacAnswer> enProceso = satStatusAnswer("Vigente", "Cancelable con aceptación", "En proceso");
const std::optional<PacAnswer> rechazada = satStatusAnswer("Vigente", "Cancelable con aceptación", "Solicitud rechazada");
const std::optional<PacAnswer> noEncontrado = satStatusAnswer("No Encontrado", "", "");

// Who presses Eliminar: the clerk on the screen (asked the motive), or the follow-up command.
enum class By { Screen, Command };

} // namespace

class CancelAtPacTest : public ElectronicDocumentTest
{
protected:
    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        // The program's clock is the computer's.
        pac = std::make_unique<FakePac>(QStringLiteral("facturas"), kPassword, [] { return QDateTime::currentDateTime(); });
        for (const auto &[name, value] : pac->programVariables(QStringLiteral("facturas"), sealSecret(kPassword)))
            setVariable(name, value);
        setVariable(QStringLiteral("CFDI_SAT_CONSULTA_URL"), pac->satStatusUrl());
        pac->script([this](const PacRequest &request) -> std::optional<PacAnswer> {
            std::lock_guard lock(m_scriptMutex);
            if (request.path == "/api/cfdi33/cancel/csd") {
                if (m_cancels.isEmpty()) {
                    ++m_unexpectedCancels;
                    return PacAnswer{500, QByteArrayLiteral("{}")};
                }
                return m_cancels.takeFirst()(request);
            }
            if (request.path == "/ConsultaCFDIService.svc")
                return m_status;
            return std::nullopt;
        });
        pac->onCancel([this](const PacRequest &) {
            if (m_killAtRequest)
                killNow();
        });
        ASSERT_EQ(program({QStringLiteral("sign"), QStringLiteral("--db"), database->urlText(), kFolio}).exitCode, 0);
        ASSERT_EQ(pac->uuids().size(), 1);
        ASSERT_EQ(uuidOf(kFolio), *pac->uuids().begin());
        notes = billedNotes();
        ASSERT_GT(notes, 0);
        script.setFileName(scriptDir.filePath(QStringLiteral("eliminar.zs")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("open QX417\ntype txtFolio FG-1\nenter txtFolio\nanswer motive 02\nclick Controles Eliminar\n");
        script.close();
    }
    void TearDown() override
    {
        if (pac) {
            EXPECT_EQ(pac->violations(), QStringList()) << "requests the provider does not document";
        }
        pac.reset();
        ElectronicDocumentTest::TearDown();
    }

    struct Ran
    {
        int exitCode = -1; // -1: killed or crashed
        QString out;
    };
    // One run of the program; `whileRunning` is polled until it ends.
    Ran program(const QStringList &arguments, const std::function<void()> &whileRunning = {})
    {
        QProcess process;
        process.start(qEnvironmentVariable("ZENTARO_BIN"), arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        m_killer.watch(process);
        QElapsedTimer timer;
        timer.start();
        while (!process.waitForFinished(whileRunning ? 0 : 100) && timer.elapsed() < 90000)
            if (whileRunning)
                whileRunning();
        m_killer.forget();
        if (process.state() != QProcess::NotRunning) {
            ADD_FAILURE() << "the program did not end";
            process.kill();
            process.waitForFinished();
        }
        Ran ran;
        ran.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        ran.out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return ran;
    }
    Ran press(By by, const std::function<void()> &whileRunning = {})
    {
        return program(by == By::Screen ? QStringList{QStringLiteral("script"), script.fileName(), QStringLiteral("--db"),
                                                      database->urlText()}
                                        : QStringList{QStringLiteral("cancellations"), QStringLiteral("--db"),
                                                      database->urlText()},
                       whileRunning);
    }
    void killNow() { m_killer.killNow(); }
    void answers(const QList<Answer> &cancels, const std::optional<PacAnswer> &status)
    {
        std::lock_guard lock(m_scriptMutex);
        m_cancels = cancels;
        m_status = status;
    }
    int answersLeft()
    {
        std::lock_guard lock(m_scriptMutex);
        return int(m_cancels.size());
    }
    QList<QByteArray> cancelRequests() const
    {
        QList<QByteArray> all;
        for (const PacRequest &r : pac->requests())
            if (r.path == "/api/cfdi33/cancel/csd")
                all << r.body;
        return all;
    }

    QString satState() { return field(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kFolio}); }
    QString invoiceState() { return field(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {kFolio}); }
    int billedNotes() { return count(QStringLiteral("SELECT count(*) FROM Venta_Encabezado WHERE Fc_Folio = ?"), {kFolio}); }
    int cancelledLogs()
    {
        return count(QStringLiteral("SELECT count(*) FROM Bitacora_Documento WHERE Bd_Documento = ? AND Bd_Accion = 'Cancelada'"),
                     {kFolio});
    }
    // The invoice billed and its CFDI alive again, for the next case.
    void billAgain()
    {
        db().run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = 'VI', Cd_Acuse = '', Cd_Motivo_Cancelacion = '', "
                                "Cd_Respuesta_SAT = '' WHERE Cd_Documento = ?"),
                 {kFolio});
        for (const char *table : {"Factura", "Factura_Encabezado"})
            db().run(QStringLiteral("UPDATE %1 SET Es_Cve_Estado = 'AC' WHERE Fc_Folio = ?").arg(QLatin1String(table)), {kFolio});
        for (const char *table : {"Venta", "Venta_Encabezado"})
            db().run(QStringLiteral("UPDATE %1 SET Fc_Folio = ?, Es_Cve_Estado = 'FA' WHERE Vn_Folio IN "
                                    "(SELECT Vn_Folio FROM Factura_Linea WHERE Fc_Folio = ?)")
                         .arg(QLatin1String(table)),
                     {kFolio, kFolio});
        db().run(QStringLiteral("DELETE FROM Bitacora_Documento WHERE Bd_Documento = ? AND Bd_Accion = 'Cancelada'"), {kFolio});
        ASSERT_EQ(billedNotes(), notes);
    }
    // While the CFDI is alive the invoice and every one of its notes stay billed.
    void expectStillBilled()
    {
        EXPECT_EQ(invoiceState(), QStringLiteral("AC"));
        EXPECT_EQ(billedNotes(), notes);
        EXPECT_EQ(cancelledLogs(), 0);
    }
    void expectCancelledOnce()
    {
        EXPECT_EQ(satState(), QStringLiteral("CA"));
        EXPECT_EQ(invoiceState(), QStringLiteral("CA"));
        EXPECT_EQ(billedNotes(), 0);
        EXPECT_EQ(cancelledLogs(), 1);
        EXPECT_FALSE(field(QStringLiteral("SELECT Cd_Acuse FROM Comprobante_Digital WHERE Cd_Documento = ?"), {kFolio}).isEmpty());
    }

    std::unique_ptr<FakePac> pac;
    QTemporaryDir scriptDir;
    QFile script;
    int notes = 0;
    ProcessKiller m_killer;
    std::atomic<bool> m_killAtRequest = false;
    std::mutex m_scriptMutex;
    QList<Answer> m_cancels;
    std::optional<PacAnswer> m_status;
    int m_unexpectedCancels = 0;
};

TEST_P(CancelAtPacTest, EachAnswerOfThePacAndTheSatLeadsToItsState)
{
    struct Run
    {
        By by;
        QList<Answer> cancels;            // what the PAC answers this run's requests, in order
        std::optional<PacAnswer> status;  // what the SAT's status service says (nothing: not asked)
        const char *satState;             // Cd_Estado after the run
    };
    struct Case
    {
        const char *name;
        QList<Run> runs;                  // the last one cancels the invoice
    };
    const QList<Case> cases = {
        {"201, then the status says cancelled", {{By::Screen, {satCode("201")}, cancelado, "CA"}}},
        {"201 and in process, then cancelled",
         {{By::Screen, {satCode("201")}, enProceso, "EP"}, {By::Command, {}, enProceso, "EP"}, {By::Command, {}, cancelado, "CA"}}},
        // The SAT holds no request for a UUID it does not know yet: the same one goes again.
        {"205: not known to the SAT yet",
         {{By::Screen, {satCode("205")}, std::nullopt, "SO"}, {By::Command, {satCode("201")}, cancelado, "CA"}}},
        {"the answer is lost, the same request goes again",
         {{By::Screen, {lost}, std::nullopt, "SO"}, {By::Command, {satCode("201")}, cancelado, "CA"}}},
        {"garbage is never a refusal",
         {{By::Screen, {garbage}, std::nullopt, "SO"}, {By::Command, {satCode("201")}, enProceso, "EP"},
          {By::Command, {}, cancelado, "CA"}}},
        {"202 is taken once the status confirms it",
         {{By::Screen, {satCode("202")}, noEncontrado, "EP"}, {By::Command, {}, cancelado, "CA"}}},
        {"refused by the receiver: forgotten, and a new request",
         {{By::Screen, {satCode("201")}, enProceso, "EP"}, {By::Command, {}, rechazada, "RE"},
          {By::Screen, {satCode("201")}, cancelado, "CA"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int before = int(cancelRequests().size());
        int expected = 0;
        for (int i = 0; i < c.runs.size(); ++i) {
            const Run &r = c.runs.at(i);
            SCOPED_TRACE(i + 1);
            answers(r.cancels, r.status);
            const Ran ran = press(r.by);
            EXPECT_NE(ran.exitCode, -1) << ran.out.toStdString();
            expected += int(r.cancels.size());
            EXPECT_EQ(answersLeft(), 0) << "the PAC was not asked: " << ran.out.toStdString();
            EXPECT_EQ(cancelRequests().size() - before, expected) << "a request while one is out";
            EXPECT_EQ(satState(), QLatin1String(r.satState)) << ran.out.toStdString();
            if (QLatin1String(r.satState) == QLatin1String("RE")) {
                EXPECT_TRUE(ran.out.contains(QStringLiteral("rechaz"))) << ran.out.toStdString();
            }
            if (i + 1 < c.runs.size()) {
                expectStillBilled();
                // The canceller itself refuses while the SAT has not cancelled the CFDI.
                TransactionGuard transaction(db());
                InvoiceCanceller canceller(db());
                EXPECT_FALSE(canceller.CancelInvoice(kFolio, 0));
                EXPECT_TRUE(canceller.LastError().contains(QStringLiteral("no está cancelada ante el SAT")))
                    << canceller.LastError().toStdString();
            }
        }
        expectCancelledOnce();
        // A repeated request is the very request made first.
        const QList<QByteArray> sent = cancelRequests().mid(before);
        for (const QByteArray &body : sent)
            EXPECT_EQ(body, sent.first());
        billAgain();
    }
    EXPECT_EQ(m_unexpectedCancels, 0);
}

// Killed with the request at the PAC (recorded, no answer kept), and after the SAT's
// "Cancelado" was kept while the books' transaction waits on a lock the test holds: the next
// run finishes it with the same request, and the notes are freed once.
TEST_P(CancelAtPacTest, KilledAtEveryChangeOfStateTheNextRunFinishesIt)
{
    const bool postgres = GetParam() == Engine::Postgres;

    // With the request at the PAC.
    m_killAtRequest = true;
    answers({satCode("201")}, cancelado);
    EXPECT_EQ(press(By::Screen).exitCode, -1) << "killed";
    m_killAtRequest = false;
    EXPECT_EQ(satState(), QStringLiteral("SO"));
    expectStillBilled();
    answers({satCode("201")}, cancelado);
    const Ran next = press(By::Command);
    EXPECT_EQ(next.exitCode, 0) << next.out.toStdString();
    expectCancelledOnce();
    const QList<QByteArray> sent = cancelRequests();
    ASSERT_EQ(sent.size(), 2) << "the recorded request, sent again";
    EXPECT_EQ(sent.first(), sent.last());
    billAgain();

    // "Cancelado" kept, the books' transaction not committed. PostgreSQL holds the invoice's
    // row until the run waits on it; SQLite has one write lock for the whole file, which would
    // hold the answer's write too, so the run is killed the moment "CA" shows: it may still
    // win that race, so a few rounds are allowed for the kill to land there.
    bool landed = false;
    for (int round = 0; round < 5 && !landed; ++round) {
        SCOPED_TRACE(round);
        auto locker = database->open(false);
        QString lockerPid;
        if (postgres) {
            locker->beginTrans();
            locker->select(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000001' FOR UPDATE")).close();
            lockerPid = backendPid(*locker);
        }
        answers({satCode("201")}, cancelado);
        const Ran killed = press(By::Screen, [&] {
            if (postgres) {
                if (someoneWaitsOn(db(), lockerPid))
                    killNow();
            } else if (locker->select(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'"))
                           .textAt(0) == QLatin1String("CA")) {
                killNow();
            }
        });
        if (locker->inTransaction())
            locker->rollbackTrans();
        locker.reset();
        EXPECT_EQ(satState(), QStringLiteral("CA")) << killed.out.toStdString();
        if (invoiceState() == QLatin1String("CA") && !postgres) {
            billAgain();   // the run committed before the lock was taken
            continue;
        }
        landed = true;
        EXPECT_EQ(killed.exitCode, -1) << killed.out.toStdString();
        expectStillBilled();
        const int requests = int(cancelRequests().size());
        answers({}, cancelado);
        const Ran finishing = press(By::Command);
        EXPECT_EQ(finishing.exitCode, 0) << finishing.out.toStdString();
        expectCancelledOnce();
        EXPECT_EQ(cancelRequests().size(), requests) << "nothing asked of the PAC again";
    }
    EXPECT_TRUE(landed) << "the run always committed before the lock was taken";
    EXPECT_EQ(m_unexpectedCancels, 0);
}

ZENTARO_ON_BOTH_ENGINES(CancelAtPacTest);

} // namespace zentaro::test
