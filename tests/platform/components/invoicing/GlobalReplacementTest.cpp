// Replacing a stamped global invoice (motive 01) through the host's validation and the
// screen's own steps: the replacement holds the notes while the SAT decides, the SAT's
// refusal gives them back, and every step interrupted is finished by the next press.

#include "CancellationFixture.h"

#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/components/cancellation/CancellationValidator.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/invoicing/GlobalReplacement.h"
#include "platform/components/stamping/SealedDocuments.h"

namespace zentaro::test {

class GlobalReplacementTest : public CancellationFixture
{
protected:
    void SetUp() override
    {
        CancellationFixture::SetUp();
        if (HasFatalFailure())
            return;
        for (const char *folio : {"FG-000001", "FG-000006"})
            ASSERT_EQ(DocumentSigner(pac).sign(request(QLatin1String(folio))), QString());
    }

    // Eliminar on the screen: the validation, then (when it accepts with no text) the
    // canceller and the two statements in one transaction. Answers what the clerk is shown.
    QString press(const QString &folio, bool thenCancel = true)
    {
        CancellationValidator validator(
            [this](const QString &, const QString &) -> std::optional<CancellationMotive> {
                ++asked;
                return CancellationMotive{QStringLiteral("01"), {}};
            },
            pac);
        const auto decision = validator.validate(QStringLiteral("1|") + folio);
        if (!decision.accepted)
            return QStringLiteral("error: ") + decision.error;
        if (!decision.message.isEmpty())
            return QStringLiteral("message: ") + decision.message;
        if (!thenCancel)
            return {};
        const QString error = cancelInTransaction(folio);
        return error.isEmpty() ? QString() : QStringLiteral("canceller: ") + error;
    }
    QStringList notesOf(const QString &folio)
    {
        QStringList notes;
        Recordset rs = db().select(QStringLiteral("SELECT Vn_Folio FROM Venta_Encabezado WHERE Fc_Folio = ? ORDER BY Vn_Folio"),
                                   {folio});
        for (; !rs.eof(); rs.moveNext())
            notes << rs.textAt(0);
        return notes;
    }
    // Every replacement ever made of `folio`, cancelled or not.
    QStringList replacementsOf(const QString &folio)
    {
        QStringList all;
        Recordset rs = db().select(QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Fc_Sustituye = ? ORDER BY Fc_Folio"), {folio});
        for (; !rs.eof(); rs.moveNext())
            all << rs.textAt(0);
        return all;
    }
    // Whatever the step, each note of the original is billed by exactly one live invoice,
    // and the detail table agrees with the header table.
    void expectOneLiveInvoicePerNote(const QStringList &notes)
    {
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Venta_Encabezado v JOIN Factura f ON f.Fc_Folio = v.Fc_Folio "
                                       "WHERE f.Es_Cve_Estado <> 'CA' AND v.Vn_Folio IN (%1)")
                            .arg(quotedNotes(notes))),
                  notes.size());
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Venta v JOIN Venta_Encabezado e ON e.Vn_Folio = v.Vn_Folio "
                                       "WHERE v.Fc_Folio <> e.Fc_Folio AND v.Vn_Folio IN (%1)")
                            .arg(quotedNotes(notes))),
                  0);
    }
    static QString quotedNotes(const QStringList &notes)
    {
        QStringList quoted;
        for (const QString &note : notes)
            quoted << u'\'' + note + u'\'';
        return quoted.join(u',');
    }
    // The replacement's CFDI: valid against the SAT's schema, relating `replaced` as its
    // substitute (TipoRelacion 04) and nothing else.
    void expectReplacementCfdi(const QString &replacement, const QString &replacedUuid)
    {
        const auto stamped = findDigitalDocument(db(), QStringLiteral("Factura"), replacement);
        ASSERT_TRUE(stamped);
        EXPECT_EQ(stampedSchema().errors(stamped->xml), QStringList());
        const cfdi::Comprobante c = cfdi::readComprobanteXml(stamped->xml);
        ASSERT_EQ(c.cfdiRelacionados.size(), 1);
        EXPECT_EQ(c.cfdiRelacionados.first().tipoRelacion, QStringLiteral("04"));
        EXPECT_EQ(c.cfdiRelacionados.first().uuids, QStringList{replacedUuid});
        EXPECT_TRUE(c.informacionGlobal.has_value());
    }

};

// The SAT cancels the old invoice: the replacement keeps the notes, the old one is
// cancelled by the screen's ordinary steps and finds none to free. FG-000006 bills notes
// another cancellation gave back: its replacement relates FG-000006 alone.
TEST_P(GlobalReplacementTest, TheReplacementTakesTheNotesAndTheOldOneIsCancelled)
{
    for (const char *original : {"FG-000001", "FG-000006"}) {
        const QString folio = QLatin1String(original);
        SCOPED_TRACE(original);
        const QStringList notes = notesOf(folio);
        ASSERT_FALSE(notes.isEmpty());
        const QString oldUuid = uuidOf(folio);
        forgetReached();

        EXPECT_EQ(press(folio), QString());
        const QStringList made = replacementsOf(folio);
        ASSERT_EQ(made.size(), 1);
        const QString replacement = made.first();
        EXPECT_EQ(invoiceState(folio), QStringLiteral("CA"));
        EXPECT_EQ(invoiceState(replacement), QStringLiteral("AC"));
        EXPECT_EQ(notesOf(replacement), notes);
        expectOneLiveInvoicePerNote(notes);
        expectReplacementCfdi(replacement, oldUuid);
        // The SAT was asked with motive 01 and the replacement's UUID.
        const QList<Reached> reached = reachedTheSat();
        ASSERT_FALSE(reached.isEmpty());
        EXPECT_EQ(reached.first().uuid, oldUuid.toUpper());
        EXPECT_EQ(reached.first().motive, QStringLiteral("01"));
        EXPECT_EQ(reached.first().replacementUuid, uuidOf(replacement).toUpper());
        EXPECT_EQ(field(QStringLiteral("SELECT Fc_Folio_Sustitucion FROM Factura WHERE Fc_Folio = ?"), {folio}), uuidOf(replacement));
        // The same totals as the invoice it replaces.
        EXPECT_EQ(field(QStringLiteral("SELECT Fc_Precio_Neto_Importe FROM Factura WHERE Fc_Folio = ?"), {replacement}),
                  field(QStringLiteral("SELECT Fc_Precio_Neto_Importe FROM Factura WHERE Fc_Folio = ?"), {folio}));
    }
    EXPECT_EQ(asked, 2);
}

// The SAT refuses the old invoice's cancellation: the replacement is cancelled at the SAT
// and in the books, the notes go back, and a later replacement starts afresh.
TEST_P(GlobalReplacementTest, ARefusalCancelsTheReplacementAndGivesTheNotesBack)
{
    const QString folio = QStringLiteral("FG-000001");
    const QStringList notes = notesOf(folio);
    for (const auto &[name, refusal] : {std::pair{"rechazada", rejected()}, std::pair{"no cancelable", notCancellable()}}) {
        SCOPED_TRACE(name);
        cancelScript = {received()};
        statusScript = {refusal};
        const QString said = press(folio);
        EXPECT_TRUE(said.startsWith(QStringLiteral("error: El SAT rechazó la cancelación de la factura FG-1 con el motivo 01")))
            << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("las notas volvieron a la FG-1"))) << said.toStdString();
        const QString withdrawn = replacementsOf(folio).last();
        EXPECT_EQ(invoiceState(withdrawn), QStringLiteral("CA"));
        EXPECT_EQ(satState(withdrawn), QStringLiteral("CA"));
        EXPECT_EQ(reachedTheSat().last().uuid, uuidOf(withdrawn).toUpper());
        EXPECT_EQ(invoiceState(folio), QStringLiteral("AC"));
        EXPECT_EQ(notesOf(folio), notes);
        EXPECT_EQ(notesOf(withdrawn), QStringList());
        expectOneLiveInvoicePerNote(notes);
        EXPECT_EQ(GlobalReplacement::replacementOf(db(), folio), QString());
    }
    // Each attempt made a replacement of its own; the next one goes through.
    EXPECT_EQ(press(folio), QString());
    EXPECT_EQ(replacementsOf(folio).size(), 3);
    EXPECT_EQ(notesOf(replacementsOf(folio).last()), notes);
    expectOneLiveInvoicePerNote(notes);
}

// Each step interrupted (a PAC down, an answer lost, the SAT still deciding, the books'
// transaction never run) leaves a state the next press finishes, asking the motive once,
// making one replacement and stamping it once.
TEST_P(GlobalReplacementTest, EveryStepInterruptedIsFinishedByTheNextPress)
{
    struct Case
    {
        const char *name;
        QList<PacFault> stamps;       // how the replacement's stamps go
        QList<Scripted> cancels;
        QList<Scripted> statuses;
        const char *firstSays;        // what the first press shows: "error", "message" or ""
        const char *satAfterFirst;    // the old invoice's Cd_Estado after it
        bool replacementStamped;      // after the first press
    };
    const QList<Case> cases = {
        {"the PAC is down when the replacement is stamped", {PacFault::Silent}, {}, {}, "error", "VI", false},
        {"the cancellation request never reaches the SAT", {}, {unreachable}, {}, "message", "SO", true},
        {"the SAT's answer to the request is lost", {}, {lost}, {}, "message", "SO", true},
        {"the SAT is still deciding", {}, {received()}, {inProcess()}, "message", "EP", true},
        {"the SAT's answer to the status query is lost", {}, {received()}, {lost}, "message", "EP", true},
        {"the books' transaction never ran", {}, {}, {}, "", "CA", true},
    };
    const QString folio = QStringLiteral("FG-000001");
    const QStringList notes = notesOf(folio);
    const QString oldUuid = uuidOf(folio);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        asked = 0;
        stampFaults(c.stamps);
        cancelScript = c.cancels;
        statusScript = c.statuses;
        const int stampsBefore = stamps();
        const QString first = press(folio, false);
        EXPECT_TRUE(QLatin1String(c.firstSays).isEmpty() ? first.isEmpty() : first.startsWith(QLatin1String(c.firstSays)))
            << first.toStdString();
        const QString replacement = GlobalReplacement::replacementOf(db(), folio);
        ASSERT_FALSE(replacement.isEmpty());
        EXPECT_EQ(satState(folio), QLatin1String(c.satAfterFirst));
        EXPECT_EQ(!uuidOf(replacement).isEmpty(), c.replacementStamped);
        EXPECT_EQ(invoiceState(folio), QStringLiteral("AC"));
        EXPECT_EQ(notesOf(replacement), notes);
        expectOneLiveInvoicePerNote(notes);
        // The replacement cannot be cancelled while the old one's cancellation is out.
        if (QByteArrayView(c.satAfterFirst) != "VI") {
            EXPECT_TRUE(press(replacement).contains(QStringLiteral("sustituye a la FG-1"))) << press(replacement).toStdString();
        }

        EXPECT_EQ(press(folio), QString());
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(GlobalReplacement::replacementOf(db(), folio), replacement);
        EXPECT_EQ(invoiceState(folio), QStringLiteral("CA"));
        EXPECT_EQ(notesOf(replacement), notes);
        expectOneLiveInvoicePerNote(notes);
        expectReplacementCfdi(replacement, oldUuid);
        // Stamped once: a retry after a lost answer sends the same sealed bytes.
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Comprobante_Digital WHERE Cd_Documento = ?"), {replacement}), 1);
        EXPECT_EQ(stamps() - stampsBefore, c.stamps.isEmpty() ? 1 : 2);

        // Back to the old invoice billing its notes, for the next case.
        db().run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = 'VI', Cd_Acuse = '' WHERE Cd_Documento = ?"), {folio});
        db().run(QStringLiteral("UPDATE Factura SET Es_Cve_Estado = 'CA', Fc_Sustituye = '' WHERE Fc_Folio = ?"), {replacement});
        for (const char *table : {"Factura", "Factura_Encabezado"})
            db().run(QStringLiteral("UPDATE %1 SET Es_Cve_Estado = 'AC' WHERE Fc_Folio = ?").arg(QLatin1String(table)), {folio});
        for (const char *table : {"Venta", "Venta_Encabezado"})
            db().run(QStringLiteral("UPDATE %1 SET Fc_Folio = '' WHERE Fc_Folio = ?").arg(QLatin1String(table)), {replacement});
        for (const char *table : {"Venta", "Venta_Encabezado"})
            db().run(QStringLiteral("UPDATE %1 SET Fc_Folio = ?, Es_Cve_Estado = 'FA' WHERE Vn_Folio IN (%2)")
                         .arg(QLatin1String(table), quotedNotes(notes)),
                     {folio});
    }
}

// The replacement's stamp refused by the PAC: it is no CFDI, so it goes and the notes go
// back at once; the old invoice's cancellation is never asked for.
TEST_P(GlobalReplacementTest, AReplacementThePacRefusesIsWithdrawnAtOnce)
{
    const QString folio = QStringLiteral("FG-000001");
    const QStringList notes = notesOf(folio);
    stampFaults({PacFault::Refuse});
    const QString said = press(folio);
    EXPECT_TRUE(said.contains(QStringLiteral("No se pudo timbrar"))) << said.toStdString();
    EXPECT_EQ(cancels(), 0);
    EXPECT_EQ(satState(folio), QStringLiteral("VI"));
    const QString withdrawn = replacementsOf(folio).first();
    EXPECT_EQ(invoiceState(withdrawn), QStringLiteral("CA"));
    EXPECT_FALSE(findSealedDocument(db(), QStringLiteral("Factura"), withdrawn));
    EXPECT_EQ(notesOf(folio), notes);
    expectOneLiveInvoicePerNote(notes);
}

// The SAT's deadline for the old invoice (31 March for the demo company's CFDI of December
// 2026) is checked again when a replacement left half-way is resumed: past it the old CFDI
// stays valid, so the replacement is withdrawn, stamped or with its stamp pending, and the old
// one's cancellation is never asked for. Before it, nothing is made at all.
TEST_P(GlobalReplacementTest, AReplacementResumedPastTheDeadlineIsWithdrawn)
{
    const QString folio = QStringLiteral("FG-000001");
    const QStringList notes = notesOf(folio);
    const auto onDay = [](const QDate &day) { Platform::instance().fixClock(QDateTime(day, QTime(10, 0))); };
    onDay(QDate(2027, 4, 1));
    const QString tooLate = press(folio);
    EXPECT_TRUE(tooLate.contains(QStringLiteral("el plazo del SAT venció el 31/03/2027"))) << tooLate.toStdString();
    EXPECT_EQ(replacementsOf(folio), QStringList());

    for (const bool stamped : {false, true}) {
        SCOPED_TRACE(stamped ? "stamped" : "not stamped");
        onDay(QDate(2027, 3, 31));
        // Stopped where the replacement's stamp is pending, or after its stamp, when the
        // request is recorded and never heard.
        stampFaults(stamped ? QList<PacFault>{} : QList<PacFault>{PacFault::Silent});
        cancelScript = stamped ? QList<Scripted>{unreachable} : QList<Scripted>{};
        const QString first = press(folio, false);
        const QString replacement = GlobalReplacement::replacementOf(db(), folio);
        ASSERT_FALSE(replacement.isEmpty()) << first.toStdString();
        EXPECT_EQ(!uuidOf(replacement).isEmpty(), stamped);
        if (stamped) {
            // Recorded but never sent: withdrawn as if it had never been asked.
            db().run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Estado = 'VI', Cd_Motivo_Cancelacion = '', "
                                    "Cd_Folio_Sustitucion = '' WHERE Cd_Documento = ?"),
                     {folio});
        }
        const int cancelsBefore = cancels();

        onDay(QDate(2027, 4, 1));
        const QString late = press(folio);
        EXPECT_TRUE(late.startsWith(QStringLiteral("error: La factura FG-1, emitida el 06/12/2026, ya no puede cancelarse: "
                                                   "el plazo del SAT venció el 31/03/2027")))
            << late.toStdString();
        EXPECT_TRUE(late.contains(QStringLiteral("volvieron a la FG-1"))) << late.toStdString();
        EXPECT_EQ(invoiceState(replacement), QStringLiteral("CA"));
        EXPECT_EQ(satState(folio), QStringLiteral("VI"));
        // The replacement (its pending stamp settled first) is cancelled at the SAT; the old
        // invoice never is.
        EXPECT_EQ(cancels() - cancelsBefore, 1);
        EXPECT_EQ(reachedTheSat().last().uuid, uuidOf(replacement).toUpper());
        EXPECT_EQ(satState(replacement), QStringLiteral("CA"));
        EXPECT_EQ(invoiceState(folio), QStringLiteral("AC"));
        EXPECT_EQ(notesOf(folio), notes);
        expectOneLiveInvoicePerNote(notes);
    }
}

// The SAT refuses and the replacement's own cancellation is still on its way: the notes
// stay on it until the SAT cancels it, then go back with the next press.
TEST_P(GlobalReplacementTest, AWithdrawalInterruptedIsFinishedByTheNextPress)
{
    const QString folio = QStringLiteral("FG-000001");
    const QStringList notes = notesOf(folio);
    cancelScript = {received(), lost};   // the old invoice's request, then the replacement's
    statusScript = {rejected()};
    const QString first = press(folio);
    EXPECT_TRUE(first.startsWith(QStringLiteral("message: El SAT rechazó"))) << first.toStdString();
    const QString replacement = GlobalReplacement::replacementOf(db(), folio);
    ASSERT_FALSE(replacement.isEmpty());
    EXPECT_EQ(satState(replacement), QStringLiteral("SO"));
    EXPECT_EQ(notesOf(replacement), notes);
    expectOneLiveInvoicePerNote(notes);

    const QString second = press(folio);
    EXPECT_TRUE(second.contains(QStringLiteral("las notas volvieron a la FG-1"))) << second.toStdString();
    EXPECT_EQ(invoiceState(replacement), QStringLiteral("CA"));
    EXPECT_EQ(notesOf(folio), notes);
    expectOneLiveInvoicePerNote(notes);
}

ZENTARO_ON_BOTH_ENGINES(GlobalReplacementTest);

} // namespace zentaro::test
