#include "CancellationFixture.h"

#include "platform/cfdi/SandboxPac.h"
#include "platform/components/cancellation/CancellationValidator.h"
#include "platform/components/cancellation/InvoiceCanceller.h"
#include "support/ConnectionFaults.h"

namespace zentaro::test {

class CancellationTest : public CancellationFixture
{
protected:
    void SetUp() override
    {
        CancellationFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString()); // global
        ASSERT_EQ(sign(QStringLiteral("FG-000002")), QString()); // global, the replacement
        ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString()); // nominative
    }

    using Outcome = CancellationValidator::Decision;
    Outcome validate(const QString &folio, const std::optional<QString> &answer = std::nullopt)
    {
        CancellationValidator validator(
            [this, answer](const QString &, const QString &warning) -> std::optional<CancellationMotive> {
                ++asked;
                lastWarning = warning;
                if (!answer)
                    return CancellationMotive {QStringLiteral("02"), {}};
                return parseCancellationAnswer(*answer);
            },
            pac);
        return validator.validate(QStringLiteral("1|") + folio);
    }
    QString state(const QString &folio, const char *column = "Cd_Estado")
    {
        return field(QStringLiteral("SELECT %1 FROM Comprobante_Digital WHERE Cd_Documento = ?").arg(QLatin1String(column)),
                     {folio});
    }
    QString acknowledgement(const QString &folio) { return state(folio, "Cd_Acuse"); }
    // The SAT's acuse of a request the fake PAC took (201) for `folio`'s CFDI.
    QString requestAcuse(const QString &folio)
    {
        return QStringLiteral("<Acuse><Folios><UUID>%1</UUID><EstatusUUID>201</EstatusUUID></Folios></Acuse>")
            .arg(uuidOf(folio).toUpper());
    }
    void forgetCancellation(const QString &folio)
    {
        db().run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = 'VI', Cd_Motivo_Cancelacion = '', "
                                "Cd_Folio_Sustitucion = '', Cd_Acuse = '' WHERE Cd_Documento = ?"),
                 {folio});
    }
    // Makes FG-000002 the substitute of FG-000001, as a CFDI with TipoRelacion 04 says.
    void relateReplacement()
    {
        QString xml = field(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000002'"));
        const qsizetype end = xml.indexOf(u'>', xml.indexOf(QStringLiteral("<cfdi:Comprobante"))) + 1;
        xml.insert(end, QStringLiteral("<cfdi:CfdiRelacionados TipoRelacion=\"04\"><cfdi:CfdiRelacionado UUID=\"%1\"/>"
                                       "</cfdi:CfdiRelacionados>")
                            .arg(uuidOf(QStringLiteral("FG-000001")).toLower()));
        db().run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_XML = ? WHERE Cd_Documento = 'FG-000002'"), {xml});
    }

    // Makes `folio`'s stored CFDI one of another issuer, as the deadline reads it.
    void setIssuer(const QString &folio, const QString &rfc, const QString &regime)
    {
        QString xml = field(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = ?"), {folio});
        const qsizetype begin = xml.indexOf(QStringLiteral("<cfdi:Emisor "));
        const qsizetype end = xml.indexOf(u'>', begin);
        ASSERT_GT(begin, 0);
        xml.replace(begin, end - begin,
                    QStringLiteral("<cfdi:Emisor Rfc=\"%1\" Nombre=\"EMISOR\" RegimenFiscal=\"%2\"/").arg(rfc, regime));
        db().run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_XML = ? WHERE Cd_Documento = ?"), {xml, folio});
    }

    QString lastWarning;
};

TEST_P(CancellationTest, TheMotiveDecidesAndAnAcceptedOneIsCancelledAtTheSat)
{
    const QString replacing = uuidOf(QStringLiteral("FG-000002"));
    struct Case
    {
        const char *name;
        QString folio;
        std::optional<QString> answer;   // nullopt: the default, 02
        bool relate;
        bool accepted;
        QString error;                   // part of sError; "" = empty
    };
    const QList<Case> cases = {
        {"02 by default", QStringLiteral("FG-000003"), std::nullopt, false, true, {}},
        {"clerk closes the question", QStringLiteral("FG-000003"), QString(), false, false, {}},
        {"blank answer", QStringLiteral("FG-000003"), QStringLiteral("  "), false, false, {}},
        {"03", QStringLiteral("FG-000003"), QStringLiteral("03"), false, true, {}},
        // A global's replacement is made by the validation (GlobalReplacementTest); a named
        // invoice's is issued by the clerk, who gives its UUID.
        {"01 on a named invoice without replacement", QStringLiteral("FG-000003"), QStringLiteral("01"), false, false,
         QStringLiteral("motivo 02")},
        {"01 with a UUID stamped elsewhere", QStringLiteral("FG-000001"),
         QStringLiteral("01|6F35D3B5-3651-5370-BC2C-14CDBE384CD7"), false, false, QStringLiteral("no es de una factura")},
        {"01 replaced by itself", QStringLiteral("FG-000001"), QStringLiteral("01|") + uuidOf(QStringLiteral("FG-000001")),
         false, false, QStringLiteral("sí misma")},
        {"01 with a document that does not relate it", QStringLiteral("FG-000001"), QStringLiteral("01|") + replacing,
         false, false, QStringLiteral("TipoRelacion 04")},
        {"01 with its substitute", QStringLiteral("FG-000001"), QStringLiteral("01| %1 ").arg(replacing.toLower()), true,
         true, {}},
        {"04 on a nominative invoice", QStringLiteral("FG-000003"), QStringLiteral("04"), false, false,
         QStringLiteral("solo aplica a facturas globales")},
        {"04 on a global invoice", QStringLiteral("FG-000001"), QStringLiteral("04"), false, true, {}},
        {"unknown motive", QStringLiteral("FG-000003"), QStringLiteral("09"), false, false,
         QStringLiteral("no es uno de los del SAT")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.relate)
            relateReplacement();
        const int reached = int(reachedTheSat().size());
        const Outcome outcome = validate(c.folio, c.answer);
        EXPECT_EQ(outcome.accepted, c.accepted);
        EXPECT_EQ(outcome.error.isEmpty(), c.error.isEmpty());
        EXPECT_TRUE(outcome.error.contains(c.error)) << outcome.error.toStdString();
        EXPECT_EQ(outcome.message, QString());
        EXPECT_EQ(state(c.folio), c.accepted ? QStringLiteral("CA") : QStringLiteral("VI"));
        // The request, then the SAT's status service, which has the last word.
        EXPECT_EQ(int(reachedTheSat().size()), reached + (c.accepted ? 2 : 0));
        if (c.accepted) {
            EXPECT_EQ(reachedTheSat().last().motive, c.answer ? c.answer->left(2) : QStringLiteral("02"));
            EXPECT_EQ(reachedTheSat().last().replacementUuid, c.relate ? replacing.toUpper() : QString());
            // The acuse kept is the one of the request.
            EXPECT_EQ(acknowledgement(c.folio), requestAcuse(c.folio));
        }
        forgetCancellation(c.folio);
    }
}

TEST_P(CancellationTest, UnstampedUnknownAndCancelledInvoicesNeedNoMotive)
{
    EXPECT_TRUE(validate(QStringLiteral("FG-000004")).accepted);
    EXPECT_EQ(validate(QStringLiteral("FG-999999")).error, QStringLiteral("La factura FG-999999 no existe"));
    exec(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000003'"));
    EXPECT_TRUE(validate(QStringLiteral("FG-000003")).error.contains(QStringLiteral("ya está cancelada")));
    EXPECT_TRUE(CancellationValidator({}, pac).validate(QStringLiteral("FG-000001")).error.contains(QStringLiteral("1|folio")));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(reachedTheSat().isEmpty());
}

// The last day of the month of the issuer's annual return for the CFDI's year (FG-000003
// is dated 6 December 2026), judged on the program's date: the SAT is asked up to that day
// and never after it.
TEST_P(CancellationTest, TheSatsDeadlineFollowsTheIssuersAnnualReturn)
{
    const struct
    {
        const char *name;
        const char *rfc;
        const char *regime;
        QDate lastDay;
    } cases[] = {
        {"legal entity", "EKU9003173C9", "601", QDate(2027, 3, 31)},
        {"individual", "XOJI740919U48", "612", QDate(2027, 4, 30)},
        {"individual in RESICO", "XOJI740919U48", "626", QDate(2027, 4, 30)},
        {"non-profit legal entity", "EKU9003173C9", "603", QDate(2027, 2, 28)},
    };
    const QString folio = QStringLiteral("FG-000003");
    int inside = 0;
    for (const auto &c : cases) {
        setIssuer(folio, QLatin1String(c.rfc), QLatin1String(c.regime));
        for (const QDate &day : {c.lastDay, c.lastDay.addDays(1)}) {
            SCOPED_TRACE(std::string(c.name) + ' ' + day.toString(Qt::ISODate).toStdString());
            const bool late = day > c.lastDay;
            inside += late ? 0 : 1;
            Platform::instance().fixDay(day);
            const int reached = int(reachedTheSat().size());
            const Outcome outcome = validate(folio, QStringLiteral("02"));
            EXPECT_EQ(outcome.accepted, !late);
            EXPECT_EQ(outcome.error.contains(QStringLiteral("La factura FG-3, emitida el 06/12/2026, ya no puede "
                                                            "cancelarse: el plazo del SAT venció el %1")
                                                 .arg(c.lastDay.toString(QStringLiteral("dd/MM/yyyy")))),
                      late)
                << outcome.error.toStdString();
            EXPECT_EQ(int(reachedTheSat().size()), reached + (late ? 0 : 2));
            EXPECT_EQ(state(folio), late ? QStringLiteral("VI") : QStringLiteral("CA"));
            forgetCancellation(folio);
        }
    }
    EXPECT_EQ(asked, inside);   // past the deadline the clerk is not even asked the motive
}

// January: December was declared; the clerk is warned and may still cancel, with any motive.
// Without a day of its own the program's date is the clock's.
TEST_P(CancellationTest, ADeclaredMonthIsWarnedAbout)
{
    Platform::instance().fixClock(QDateTime(QDate(2027, 1, 4), QTime(9, 0)));
    const Outcome declared = validate(QStringLiteral("FG-000001"), QStringLiteral("02"));
    EXPECT_TRUE(declared.accepted);
    EXPECT_TRUE(lastWarning.contains(QStringLiteral("diciembre de 2026"))) << lastWarning.toStdString();
}

// A request lost before the SAT, an answer lost on the way back, or one that cannot be
// recorded: each is retried into one cancellation with one acknowledgement.
TEST_P(CancellationTest, ALostRequestOrAnswerIsRetriedIntoOneCancellation)
{
    enum class Fault { BeforeTheSat, AnswerLost, None };
    for (const Fault fault : {Fault::BeforeTheSat, Fault::AnswerLost, Fault::None}) {
        SCOPED_TRACE(int(fault));
        asked = 0;
        forgetReached();
        if (fault == Fault::BeforeTheSat)
            fake->faults({PacFault::TlsFailure});   // the next connection to the PAC fails
        if (fault == Fault::AnswerLost)
            cancelScript = {lost};                  // heard, its answer never back
        bool failOnce = fault == Fault::None;   // the answer's update fails once
        ConnectionFaults::arm(db(), [&failOnce](const QString &statement) {
            if (failOnce && statement.contains(QLatin1String("Cd_Respuesta_SAT = ?"))) {
                failOnce = false;
                throw Error(QStringLiteral("disco lleno"));
            }
        });
        const Outcome lost = validate(QStringLiteral("FG-000001"));
        ConnectionFaults::disarm(db());
        // No answer is never a refusal: the clerk is told the request is recorded, and
        // nothing is cancelled. An answer that cannot be kept is a failure of the suite.
        EXPECT_EQ(lost.accepted, fault != Fault::None);
        EXPECT_TRUE(fault == Fault::None || lost.message.contains(QStringLiteral("quedó registrada")))
            << lost.message.toStdString();
        EXPECT_EQ(lost.error.isEmpty(), fault != Fault::None) << lost.error.toStdString();
        EXPECT_EQ(state(QStringLiteral("FG-000001")), QStringLiteral("SO"));

        const Outcome retried = validate(QStringLiteral("FG-000001"), QStringLiteral("03"));
        EXPECT_TRUE(retried.accepted);
        EXPECT_EQ(asked, 1);   // the retry sends what was recorded, without asking
        const QList<Reached> reached = reachedTheSat();
        EXPECT_EQ(reached.last().motive, QStringLiteral("02"));
        // The same request every time, and the SAT's acuse of it is the one kept.
        EXPECT_EQ(reached.first().request, reached.last().request);
        EXPECT_EQ(acknowledgement(QStringLiteral("FG-000001")), requestAcuse(QStringLiteral("FG-000001")));
        // Once the answer is kept, the SAT is not asked again.
        EXPECT_TRUE(validate(QStringLiteral("FG-000001")).accepted);
        EXPECT_EQ(reachedTheSat().size(), fault == Fault::BeforeTheSat ? 2 : 3);
        forgetCancellation(QStringLiteral("FG-000001"));
    }
}

TEST_P(CancellationTest, AReceiverWhoMustAcceptKeepsItInProcessUntilHisTimeRunsOut)
{
    // Three days after stamping, a nominative invoice over $1,000 needs its receiver.
    Platform::instance().fixClock(QDateTime(QDate(2026, 12, 9), QTime(9, 0)));
    // Received, not decided: accepted with information only, so the screen cancels nothing.
    const Outcome waiting = validate(QStringLiteral("FG-000003"));
    EXPECT_TRUE(waiting.accepted);
    EXPECT_EQ(waiting.error, QString());
    EXPECT_TRUE(waiting.message.contains(QStringLiteral("aún no la resuelve"))) << waiting.message.toStdString();
    EXPECT_EQ(state(QStringLiteral("FG-000003")), QStringLiteral("EP"));

    Platform::instance().fixClock(QDateTime(QDate(2026, 12, 10), QTime(9, 0)));
    EXPECT_FALSE(validate(QStringLiteral("FG-000003")).message.isEmpty());
    Platform::instance().fixClock(QDateTime(QDate(2026, 12, 12), QTime(9, 0)));
    const Outcome done = validate(QStringLiteral("FG-000003"));
    EXPECT_TRUE(done.accepted);
    EXPECT_EQ(done.message, QString());
    EXPECT_EQ(statusQueries(), 3);
    EXPECT_EQ(cancels(), 1);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(state(QStringLiteral("FG-000003")), QStringLiteral("CA"));
}

TEST_P(CancellationTest, TheCancellerCancelsOnlyWhatTheSatCancelled)
{
    const auto cancel = [this](const QString &folio) {
        TransactionGuard transaction(db());
        InvoiceCanceller canceller(db());
        const bool done = canceller.CancelInvoice(folio, 0);
        if (done)
            transaction.commit();
        return done ? QString() : canceller.LastError();
    };
    EXPECT_TRUE(InvoiceCanceller(db()).CancelInvoice(QStringLiteral("FG-000004"), 0) == false);
    EXPECT_EQ(cancel(QStringLiteral("FG-999999")), QStringLiteral("La factura FG-999999 no existe"));
    EXPECT_TRUE(cancel(QStringLiteral("FG-000001")).contains(QStringLiteral("no está cancelada ante el SAT")));

    exec(QStringLiteral("INSERT INTO Cuenta_Por_Cobrar (Cc_Folio, Cl_Cve_Cliente, Cc_Tabla, Cc_Documento, Cc_Importe, "
                        "Cc_Saldo, Es_Cve_Estado) VALUES ('CC-F4', 'C-0004', 'Factura', 'FG-000004', 100, 100, 'AC')"));
    EXPECT_EQ(cancel(QStringLiteral("FG-000004")), QString());
    EXPECT_EQ(field(QStringLiteral("SELECT Es_Cve_Estado FROM Factura_Encabezado WHERE Fc_Folio = 'FG-000004'")),
              QStringLiteral("CA"));
    EXPECT_EQ(field(QStringLiteral("SELECT Es_Cve_Estado FROM Cuenta_Por_Cobrar WHERE Cc_Folio = 'CC-F4'")),
              QStringLiteral("CA"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Cuenta_Por_Cobrar WHERE Cc_Folio = 'CC-F4' AND Cc_Saldo = 0")), 1);
    EXPECT_EQ(logRows(QStringLiteral("Cancelada")), 1);
    EXPECT_TRUE(cancel(QStringLiteral("FG-000004")).contains(QStringLiteral("ya está cancelada")));

    ASSERT_TRUE(validate(QStringLiteral("FG-000001")).accepted);
    EXPECT_EQ(cancel(QStringLiteral("FG-000001")), QString());
    EXPECT_EQ(field(QStringLiteral("SELECT Fc_Motivo_Cancelacion FROM Factura WHERE Fc_Folio = 'FG-000001'")),
              QStringLiteral("02"));
}

// The answer depends on the request alone: every call asks a new sandbox.
TEST(SandboxCancellationTest, AnswersFromTheRequestAlone)
{
    cfdi::CancellationRequest request;
    request.issuerRfc = QStringLiteral("EKU9003173C9");
    request.receiverRfc = QStringLiteral("XAXX010101000");
    request.uuid = QStringLiteral("DE8FEC58-9C9C-474C-A592-20CB9A516386");
    request.total = QStringLiteral("7655.42");
    request.motive = QStringLiteral("02");
    request.stampedAt = QDateTime(QDate(2026, 11, 1), QTime(10, 0));
    request.requestedAt = QDateTime(QDate(2026, 12, 7), QTime(8, 0));
    const auto cancel = [](const cfdi::CancellationRequest &r) {
        return cfdi::SandboxPac([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0)); }).cancellationStatus(r);
    };
    // As the SAT: a request is received (201), and the status service decides.
    const cfdi::CancellationResult received =
        cfdi::SandboxPac([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0)); }).cancel(request);
    EXPECT_EQ(received.status, cfdi::CancellationStatus::InProcess);
    EXPECT_EQ(received.code, QStringLiteral("201"));
    const cfdi::CancellationResult first = cancel(request);
    EXPECT_EQ(first.status, cfdi::CancellationStatus::Cancelled);
    EXPECT_EQ(first.acknowledgement, cancel(request).acknowledgement);
    EXPECT_TRUE(first.acknowledgement.contains("DE8FEC58-9C9C-474C-A592-20CB9A516386"));

    cfdi::CancellationRequest nominative = request;
    nominative.receiverRfc = QStringLiteral("XOJI740919U48");
    EXPECT_EQ(cancel(nominative).status, cfdi::CancellationStatus::InProcess);
    nominative.total = QStringLiteral("999.99");
    EXPECT_EQ(cancel(nominative).status, cfdi::CancellationStatus::Cancelled);
    cfdi::CancellationRequest bad = request;
    bad.uuid = QStringLiteral("1234");
    EXPECT_EQ(cancel(bad).status, cfdi::CancellationStatus::NotCancellable);
    bad = request;
    bad.motive = QStringLiteral("01");
    EXPECT_EQ(cancel(bad).status, cfdi::CancellationStatus::NotCancellable);
}

ZENTARO_ON_BOTH_ENGINES(CancellationTest);

} // namespace zentaro::test
