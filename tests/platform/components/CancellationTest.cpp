#include "ElectronicDocumentFixture.h"

#include "platform/components/CancellationValidator.h"
#include "platform/components/DigitalDocuments.h"

namespace zentaro::test {

class CancellationTest : public ElectronicDocumentTest
{
protected:
    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString()); // global
        ASSERT_EQ(sign(QStringLiteral("FG-000002")), QString()); // global, replaces others
        ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString()); // nominative
    }

    using Outcome = CancellationValidator::Decision;
    Outcome validate(const QString &folio, const std::optional<QString> &answer)
    {
        if (answer)
            Platform::instance().queueAnswer(QStringLiteral("motive"), *answer);
        return CancellationValidator().validate(QStringLiteral("1|") + folio);
    }
    QString recordedMotive(const QString &folio)
    {
        return field(QStringLiteral("SELECT Cd_Motivo_Cancelacion FROM Comprobante_Digital WHERE Cd_Documento = ?"), {folio}) +
               u'|' + field(QStringLiteral("SELECT Cd_Folio_Sustitucion FROM Comprobante_Digital WHERE Cd_Documento = ?"), {folio});
    }
};

TEST_P(CancellationTest, DecidesByTheMotiveAndRecordsIt)
{
    const QString replacing = uuidOf(QStringLiteral("FG-000002"));
    const QString own = uuidOf(QStringLiteral("FG-000001"));
    struct Case
    {
        const char *name;
        QString folio;
        std::optional<QString> answer; // nullopt: no answer queued
        bool accepted;
        QString error;    // part of sError; "" = empty
        QString recorded; // motive|replacement after the call
    };
    const QList<Case> cases = {
        {"no answer takes 02", QStringLiteral("FG-000003"), std::nullopt, true, {}, QStringLiteral("02|")},
        {"clerk closes the question", QStringLiteral("FG-000003"), QString(), false, {}, QStringLiteral("|")},
        {"03 accepted", QStringLiteral("FG-000003"), QStringLiteral("03"), true, {}, QStringLiteral("03|")},
        {"01 without replacement", QStringLiteral("FG-000001"), QStringLiteral("01"), false, QStringLiteral("UUID"),
         QStringLiteral("|")},
        {"01 with a malformed UUID", QStringLiteral("FG-000001"), QStringLiteral("01|1234"), false,
         QStringLiteral("UUID"), QStringLiteral("|")},
        {"01 with a UUID stamped elsewhere", QStringLiteral("FG-000001"),
         QStringLiteral("01|6F35D3B5-3651-5370-BC2C-14CDBE384CD7"), false, QStringLiteral("no es de una factura timbrada"),
         QStringLiteral("|")},
        {"01 replaced by itself", QStringLiteral("FG-000001"), QStringLiteral("01|") + own, false,
         QStringLiteral("sí misma"), QStringLiteral("|")},
        {"01 with another stamped invoice", QStringLiteral("FG-000001"), QStringLiteral("01|") + replacing.toLower(), true,
         {}, QStringLiteral("01|") + replacing},
        {"04 on a nominative invoice", QStringLiteral("FG-000003"), QStringLiteral("04"), false,
         QStringLiteral("solo aplica a facturas globales"), QStringLiteral("|")},
        {"04 on a global invoice", QStringLiteral("FG-000001"), QStringLiteral("04"), true, {}, QStringLiteral("04|")},
        {"unknown motive", QStringLiteral("FG-000003"), QStringLiteral("09"), false,
         QStringLiteral("no es uno de los del SAT"), QStringLiteral("|")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TransactionGuard scratch(db());
        const Outcome outcome = validate(c.folio, c.answer);
        EXPECT_EQ(outcome.accepted, c.accepted);
        if (c.error.isEmpty())
            EXPECT_EQ(outcome.error, QString());
        else
            EXPECT_TRUE(outcome.error.contains(c.error)) << outcome.error.toStdString();
        EXPECT_EQ(outcome.message, QString());
        EXPECT_EQ(recordedMotive(c.folio), c.recorded);
        EXPECT_EQ(logRows(QStringLiteral("Cancelación validada")), c.accepted ? 1 : 0);
        // Whatever the case, the answer was used up.
        EXPECT_FALSE(Platform::instance().takeAnswer(QStringLiteral("motive")));
    }
}

TEST_P(CancellationTest, InvoicesWithoutStampOrUnknownNeedNoMotive)
{
    // Not stamped: nothing to cancel at the SAT, and the queued answer stays unused.
    const Outcome unsigned_ = validate(QStringLiteral("FG-000004"), QStringLiteral("01"));
    EXPECT_TRUE(unsigned_.accepted);
    EXPECT_EQ(unsigned_.error, QString());
    EXPECT_EQ(Platform::instance().takeAnswer(QStringLiteral("motive")), QStringLiteral("01"));

    const Outcome unknown = validate(QStringLiteral("FG-999999"), std::nullopt);
    EXPECT_FALSE(unknown.accepted);
    EXPECT_EQ(unknown.error, QStringLiteral("La factura FG-999999 no existe"));

    exec(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000003'"));
    const Outcome cancelled = validate(QStringLiteral("FG-000003"), std::nullopt);
    EXPECT_FALSE(cancelled.accepted);
    EXPECT_TRUE(cancelled.error.contains(QStringLiteral("ya está cancelada")));

    const Outcome malformed = CancellationValidator().validate(QStringLiteral("FG-000001"));
    EXPECT_FALSE(malformed.accepted);
    EXPECT_TRUE(malformed.error.contains(QStringLiteral("1|folio")));
}

TEST_P(CancellationTest, GlobalInvoiceOfADeclaredMonthNeedsAReplacement)
{
    // FG-000001 was stamped on 6 December; in January its month has been declared.
    Platform::instance().fixClock(QDateTime(QDate(2027, 1, 4), QTime(9, 0)));
    const Outcome plain = validate(QStringLiteral("FG-000001"), QStringLiteral("02"));
    EXPECT_TRUE(plain.accepted);
    EXPECT_EQ(plain.error, QString());
    EXPECT_TRUE(plain.message.contains(QStringLiteral("diciembre de 2026"))) << plain.message.toStdString();
    EXPECT_EQ(recordedMotive(QStringLiteral("FG-000001")), QStringLiteral("|"));

    const Outcome replaced =
        validate(QStringLiteral("FG-000001"), QStringLiteral("01|") + uuidOf(QStringLiteral("FG-000002")));
    EXPECT_TRUE(replaced.accepted);
    EXPECT_EQ(replaced.message, QString());
    // A nominative invoice of that month is not a global one: no such restriction.
    const Outcome nominative = validate(QStringLiteral("FG-000003"), QStringLiteral("02"));
    EXPECT_TRUE(nominative.accepted);
    EXPECT_EQ(nominative.message, QString());
}

TEST(CancellationMotiveTest, ReadsScriptedAnswers)
{
    EXPECT_FALSE(parseCancellationAnswer(QString()));
    EXPECT_FALSE(parseCancellationAnswer(QStringLiteral("  ")));
    EXPECT_EQ(parseCancellationAnswer(QStringLiteral("02"))->code, QStringLiteral("02"));
    const auto withUuid = parseCancellationAnswer(QStringLiteral("01| ABC "));
    EXPECT_EQ(withUuid->code, QStringLiteral("01"));
    EXPECT_EQ(withUuid->replacementUuid, QStringLiteral("ABC"));
    EXPECT_EQ(satCancellationMotives().size(), 4);
    EXPECT_EQ(cancellationMotiveText(QStringLiteral("04")),
              QStringLiteral("Operación nominativa relacionada en una factura global"));
}

ZENTARO_ON_BOTH_ENGINES(CancellationTest);

} // namespace zentaro::test
