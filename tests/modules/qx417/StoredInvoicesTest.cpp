#include "ScreenFixture.h"

#include "platform/components/stamping/DocumentSigner.h"
#include "platform/components/FakePac.h"
#include "platform/components/stamping/RestPac.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/services/Utilities.h"
#include "qx417/services/Components.h"
#include "support/ConnectionFaults.h"
#include "support/TableSnapshot.h"

#include <QDir>
#include <QTemporaryDir>

using namespace zentaro;
using zentaro::test::FakePac;
using zentaro::test::PacRequest;

namespace qx417::test {
namespace {

class StoredInvoices : public ScreenTest
{
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (HasFatalFailure())
            return;
        setting("MAIL_SMTP_URL", QStringLiteral("file:") + outbox.path());
        qputenv("ZENTARO_OUTPUT_DIR", outputs.path().toLocal8Bit());
        // The REST client against the fake PAC on 127.0.0.1, whose SAT status service says
        // that a cancellation asked for is done (a global invoice needs no acceptance).
        fake = std::make_unique<FakePac>(QStringLiteral("facturas"), QStringLiteral("Cl4ve"),
                                         [] { return Utilities().ServerNow(); });
        fake->script([](const PacRequest &request) -> std::optional<zentaro::test::PacAnswer> {
            if (request.path == "/ConsultaCFDIService.svc")
                return zentaro::test::satStatusAnswer("Cancelado", "Cancelable sin aceptación", "Cancelado sin aceptación");
            return std::nullopt;
        });
        pac = std::make_shared<RestPac>(fake->clientSettings());
    }
    void TearDown() override
    {
        if (fake) {
            EXPECT_EQ(fake->violations(), QStringList()) << "requests the provider does not document";
        }
        fake.reset();
        components() = Components::suite();
        ScreenTest::TearDown();
    }
    frmQX417 &screenWithHost()
    {
        frmQX417 &form = open();
        installElectronicDocuments(*host, pac);
        return form;
    }
    static void openFolio(frmQX417 &form, const QString &typed)
    {
        form.txtFolio->scriptType(typed);
        form.txtFolio->scriptEnter();
    }
    void setting(const char *name, const QString &value)
    {
        exec(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = '%1' WHERE Vc_Nombre = '%2'")
                 .arg(value, QLatin1String(name)));
    }
    QString field(const QString &sql)
    {
        Recordset rs = db().select(sql);
        return rs.eof() ? QString() : rs.textAt(0);
    }
    int count(const QString &sql) { return field(sql).toInt(); }
    // Factura's state of an invoice.
    QString state(const char *folio)
    {
        return field(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = '%1'").arg(QLatin1String(folio)));
    }
    int notes(const QString &table, const QString &folio)
    {
        return count(QStringLiteral("SELECT count(*) FROM %1 WHERE Fc_Folio = '%2'").arg(table, folio));
    }
    int mails() const { return int(QDir(outbox.path()).entryList({QStringLiteral("*.eml")}).size()); }
    static double value(KeyBox *box) { return box->value().toDouble(); }
    static bool anyCommand(const frmQX417 &form)
    {
        return form.Controles->outputEnabled() || form.Controles->recordEnabled() || form.Controles->cancelEnabled()
            || !form.Controles->opcion2Caption().isEmpty();
    }

    // What reached the SAT: cancellation requests and status queries.
    int reachedTheSat() const { return fake->count("/api/cfdi33/cancel/csd") + fake->count("/ConsultaCFDIService.svc"); }

    std::unique_ptr<FakePac> fake;
    std::shared_ptr<RestPac> pac;
    QTemporaryDir outbox;
    QTemporaryDir outputs;
};

// Typed forms "fg4" and "FG-3", the stored total and the commands of an opened invoice are
// checked by tests/scripts/stored-invoices.zs.
TEST_P(StoredInvoices, OpensByAnyTypedFormOfTheFolioWithItsLists)
{
    frmQX417 &form = screenWithHost();
    openFolio(form, QStringLiteral(" fg-000001 "));
    EXPECT_EQ(form.txtFolio->text(), QStringLiteral("FG-000001"));
    EXPECT_EQ(form.txt_Cl_Cve_Cliente->text(), QStringLiteral("PUBLICO"));
    EXPECT_EQ(form.txt_Clt_Descripcion->text(), QStringLiteral("PUBLICO EN GENERAL"));
    EXPECT_EQ(form.txt_Sc_Cve_Sucursal->text(), QStringLiteral("S01"));
    EXPECT_EQ(form.lvNotas->count(), notes(QStringLiteral("Venta_Encabezado"), QStringLiteral("FG-000001")));
    for (int row = 0; row < form.lvNotas->count(); ++row)
        EXPECT_TRUE(form.lvNotas->isChecked(row));
    ASSERT_EQ(form.lvDevoluciones->count(), 1);
    EXPECT_EQ(form.lvDevoluciones->key(0), QStringLiteral("KDV-000001"));
    EXPECT_EQ(form.lvDevoluciones->cell(0, 3), QStringLiteral("Contado"));

    openFolio(form, QStringLiteral("FG-999999"));
    EXPECT_EQ(form.ssTabVek->tab(), 0);
    EXPECT_EQ(form.lvNotas->count(), 0);
    EXPECT_TRUE(presenter->messages.isEmpty());

    // Nothing opens while a new invoice is being prepared.
    form.Controles->press(Toolbar::New);
    form.txtFolio->setText(QStringLiteral("FG-000001"));
    form.txtFolio->scriptEnter();
    EXPECT_EQ(form.txt_Cl_Cve_Cliente->text(), QString());
    EXPECT_FALSE(form.Controles->recordEnabled());
}

TEST_P(StoredInvoices, OffersWhatTheInvoiceStateAllows)
{
    struct Case
    {
        const char *name;
        QStringList setUp;
        bool signFirst;
        QString caption;
        bool cancel;
    };
    const QString state = QStringLiteral("UPDATE Factura SET Es_Cve_Estado = '%1' WHERE Fc_Folio = 'FG-000001'");
    const QList<Case> cases = {
        {"AC signed", {}, true, QStringLiteral("Enviar"), true},
        {"AP", {state.arg(QStringLiteral("AP"))}, false, QStringLiteral("Firmar"), true},
        {"PXC", {state.arg(QStringLiteral("PXC"))}, false, QStringLiteral("Firmar"), true},
        {"CA unsigned", {state.arg(QStringLiteral("CA"))}, false, QString(), false},
        {"CA signed", {state.arg(QStringLiteral("CA"))}, true, QStringLiteral("Enviar"), false},
        {"another state", {state.arg(QStringLiteral("XX"))}, false, QStringLiteral("Firmar"), false},
        {"series not electronic", {QStringLiteral("UPDATE Factura SET Fc_Serie = 'FGN' WHERE Fc_Folio = 'FG-000001'")},
         false, QString(), true},
        {"closed period, check off",
         {QStringLiteral("UPDATE Periodo_Operativo SET Po_Abierto = 'NO'"),
          QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = '0' WHERE Vc_Nombre = 'GEN_VALIDAR_PERIODO_OPERATIVO'")},
         false, QStringLiteral("Firmar"), true},
    };
    frmQX417 &form = screenWithHost();
    // Signed once, outside the cases' scratch transactions (nothing is stamped inside an
    // open transaction); an unsigned case drops the signature inside its own.
    ASSERT_EQ(DocumentSigner(pac).signInvoice(QStringLiteral("FG-000001")), QString());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TransactionGuard scratch(db());
        if (!c.signFirst)
            exec(QStringLiteral("DELETE FROM Comprobante_Digital WHERE Cd_Tabla = 'Factura' AND Cd_Documento = 'FG-000001'"));
        for (const QString &statement : c.setUp)
            exec(statement);
        openFolio(form, QStringLiteral("FG-000001"));
        EXPECT_EQ(form.Controles->opcion2Caption(), c.caption);
        EXPECT_EQ(form.Controles->cancelEnabled(), c.cancel);
        EXPECT_TRUE(form.Controles->outputEnabled() && form.Controles->recordEnabled());
        // Changing the folio withdraws everything again.
        form.txtFolio->scriptType(QStringLiteral("FG-00000"));
        EXPECT_FALSE(anyCommand(form));
        EXPECT_EQ(form.lvNotas->count(), 0);
    }
}

TEST_P(StoredInvoices, ABranchBoundUserIsRefusedOtherBranchesByNameOfTheirOwn)
{
    Platform::instance().setUserCode(QStringLiteral("CAJERO1"));
    frmQX417 &form = screenWithHost();
    openFolio(form, QStringLiteral("FG-000001"));
    EXPECT_EQ(messageIds(), QStringList {QStringLiteral("ERR-ID:7500042")});
    EXPECT_EQ(form.lvNotas->count(), 0);
    EXPECT_FALSE(anyCommand(form));

    openFolio(form, QStringLiteral("FZ-000001"));
    EXPECT_EQ(presenter->messages.size(), 1);
    EXPECT_GT(form.lvNotas->count(), 0);
}

TEST_P(StoredInvoices, SignsThenSendsAndReportsARefusedSignature)
{
    frmQX417 &form = screenWithHost();
    host->setSigner([](const QString &) { return QStringLiteral(" "); });
    openFolio(form, QStringLiteral("FG-000001"));
    form.Controles->press(Toolbar::Option2);
    EXPECT_EQ(messageIds(), QStringList {QStringLiteral("ERR-ID:7500027")});
    EXPECT_EQ(presenter->messages.last().text, QStringLiteral("Error al firmar el documento digital\r\n "));
    EXPECT_EQ(form.Controles->opcion2Caption(), QStringLiteral("Firmar"));

    installElectronicDocuments(*host, pac);
    form.Controles->press(Toolbar::Option2);
    EXPECT_EQ(messageIds().last(), QStringLiteral("ERR-ID:7500028"));
    EXPECT_EQ(form.Controles->opcion2Caption(), QStringLiteral("Enviar"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'")), 1);
    EXPECT_EQ(mails(), 1);
    // "Enviar" sends whatever the setting says.
    setting("FAC_ENVIAR_DOCUMENTO_EMAIL", QStringLiteral("0"));
    form.Controles->press(Toolbar::Option2);
    EXPECT_EQ(mails(), 2);
}

TEST_P(StoredInvoices, EnviarCfdMailsOnlyASignedDocumentAsTheSettingReadAtLoadSaysAndShowsAFailure)
{
    setting("FAC_ENVIAR_DOCUMENTO_EMAIL", QStringLiteral("0"));
    frmQX417 &form = open();
    setting("FAC_ENVIAR_DOCUMENTO_EMAIL", QStringLiteral("1"));   // too late: the screen read it at load
    ASSERT_EQ(DocumentSigner(pac).signInvoice(QStringLiteral("FG-000001")), QString());
    const int sent = mails();
    form.Enviar_CFD(QStringLiteral("FG-000002"), QStringLiteral("Factura"), true);   // not signed: never
    form.Enviar_CFD(QStringLiteral("FG-000001"), QStringLiteral("Factura"), false);  // setting off
    EXPECT_EQ(mails(), sent);

    // Nothing listens on port 1: the send fails with the server's reason, shown and logged.
    setting("MAIL_SMTP_URL", QStringLiteral("smtp://127.0.0.1:1"));
    const QString logged = QStringLiteral("SELECT count(*) FROM Bitacora_Documento WHERE Bd_Accion LIKE '%orreo%'");
    const int before = count(logged);
    presenter->messages.clear();
    form.Enviar_CFD(QStringLiteral("FG-000001"), QStringLiteral("Factura"), true);
    ASSERT_EQ(messageIds(), QStringList {QStringLiteral("ERR-ID:7500045")});
    EXPECT_EQ(presenter->messages[0].title, QStringLiteral("Enviar_CFD()"));
    EXPECT_EQ(presenter->messages[0].style, 16);
    EXPECT_FALSE(presenter->messages[0].text.isEmpty());
    EXPECT_EQ(count(logged), before + 1);
}

TEST_P(StoredInvoices, CancelFollowsTheValidationAnswer)
{
    struct Case
    {
        const char *name;
        bool result;
        QString error, message;
        int style;            // of the message shown; 0: none
        bool emptied;
    };
    const QList<Case> cases = {
        {"refused", false, QStringLiteral("E"), QStringLiteral("M"), 48, false},
        {"informed", false, QString(), QStringLiteral("M"), 64, false},
        {"silently stopped", false, QString(), QString(), 0, true},
        {"accepted with a note", true, QStringLiteral("E"), QStringLiteral("M"), 64, false},
    };
    frmQX417 &form = screenWithHost();
    Case current;
    int validations = 0;
    host->setValidator([&](const QString &request, HostObject &target) {
        ++validations;
        EXPECT_EQ(request, QStringLiteral("1|FG-000004"));
        target.setSError(current.error);
        target.setSMensaje(current.message);
        return current.result;
    });
    const auto before = zentaro::test::snapshotTables(db());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        current = c;
        presenter->messages.clear();
        openFolio(form, QStringLiteral("FG-000004"));
        form.Controles->press(Toolbar::Delete);
        ASSERT_EQ(presenter->messages.size(), c.style ? 1 : 0);
        if (c.style) {
            EXPECT_EQ(presenter->messages.first().text, c.style == 48 ? c.error : c.message);
            EXPECT_EQ(presenter->messages.first().style, c.style);
            EXPECT_EQ(presenter->messages.first().title, QStringLiteral("Zentaro"));
        }
        EXPECT_EQ(form.txtFolio->text().isEmpty(), c.emptied);
        EXPECT_EQ(zentaro::test::snapshotTables(db()), before);
    }
    EXPECT_EQ(validations, 4);

    // A series that is not electronic is cancelled without asking the host, and the
    // cancelled invoice is still printed and its record shown.
    exec(QStringLiteral("UPDATE Factura SET Fc_Serie = 'FGN' WHERE Fc_Folio = 'FG-000004'"));
    openFolio(form, QStringLiteral("FG-000004"));
    form.Controles->press(Toolbar::Delete);
    EXPECT_EQ(validations, 4);
    EXPECT_EQ(state("FG-000004"), QStringLiteral("CA"));
    EXPECT_EQ(form.txtFolio->text(), QString());
    openFolio(form, QStringLiteral("FG-000004"));
    form.Controles->press(Toolbar::Output);
    EXPECT_TRUE(QFile::exists(QDir(outputs.path()).filePath(QStringLiteral("EKU9003173C9/FG-000004.pdf"))));
    form.Controles->press(Toolbar::Record);
    ASSERT_FALSE(presenter->messages.isEmpty());
    const Message &record = presenter->messages.last();
    EXPECT_EQ(record.title, QStringLiteral("Registro del documento FG-000004"));
    EXPECT_TRUE(record.text.contains(QStringLiteral("Documento sin timbrar")));
    EXPECT_TRUE(record.text.contains(QStringLiteral("| ADMIN | Cancelada |")));
}

class RefusingCanceller : public InvoiceCancellerInterface
{
public:
    bool CancelInvoice(const QString &, int) override { return false; }
    QString LastError() const override { return QStringLiteral("no se puede"); }
};

// That a refusal changes nothing is checked with the statement faults below.
TEST_P(StoredInvoices, ACancellerRefusalIsShownAndKeepsTheInvoiceShown)
{
    components().invoiceCanceller = [] { return std::make_unique<RefusingCanceller>(); };
    frmQX417 &form = screenWithHost();
    openFolio(form, QStringLiteral("FG-000004"));
    form.Controles->press(Toolbar::Delete);
    ASSERT_EQ(presenter->messages.size(), 1);
    const Message &shown = presenter->messages.first();
    EXPECT_EQ(shown.text, QStringLiteral("no se puede"));
    EXPECT_EQ(shown.module, QStringLiteral("QX101"));
    EXPECT_EQ(shown.id, QStringLiteral("ERR-ID:7500051"));
    EXPECT_EQ(shown.title, QStringLiteral("Operación cancelada"));
    EXPECT_EQ(form.txtFolio->text(), QStringLiteral("FG-000004"));
}

TEST_P(StoredInvoices, AFailureAtAnyStatementOfTheCancellationLeavesEveryTableAsBefore)
{
    frmQX417 &form = screenWithHost();
    const auto before = zentaro::test::snapshotTables(db());
    for (int failAt = 0;; ++failAt) {
        SCOPED_TRACE(failAt);
        openFolio(form, QStringLiteral("FG-000004"));
        presenter->messages.clear();
        {
            zentaro::test::StatementFault fault(db(), failAt);
            form.Controles->press(Toolbar::Delete);
        }
        ASSERT_LT(failAt, 200);
        if (field(QStringLiteral("SELECT Es_Cve_Estado FROM Factura_Encabezado WHERE Fc_Folio = 'FG-000004'"))
            == QLatin1String("CA")) {
            // The fault came after the commit (or never): the cancellation went through.
            EXPECT_GT(failAt, 5);
            break;
        }
        // Reported by whoever met it: the validation, the canceller (7500051) or the trap (7500034).
        EXPECT_EQ(presenter->messages.size(), 1);
        EXPECT_EQ(zentaro::test::describeDifferences(before, zentaro::test::snapshotTables(db())), QString());
        EXPECT_FALSE(db().inTransaction());
    }
    EXPECT_EQ(notes(QStringLiteral("Venta"), QStringLiteral("FG-000004")), 0);
}

TEST_P(StoredInvoices, ACancelledInvoiceGivesItsNotesToTheNextGlobalInvoice)
{
    frmQX417 &form = screenWithHost();
    const QString venta = QStringLiteral("Venta"), header = QStringLiteral("Venta_Encabezado");
    const int freedCount = notes(venta, QStringLiteral("FG-000001"));
    ASSERT_GT(freedCount, 0);
    QStringList freed;
    for (Recordset rs = db().select(QStringLiteral("SELECT Vn_Folio FROM Venta WHERE Fc_Folio = 'FG-000001'")); !rs.eof();
         rs.moveNext())
        freed << rs.textAt(0);
    const auto noteDate = [&](const char *which) {
        return QDate::fromString(field(QStringLiteral("SELECT %1(Vn_Fecha) FROM Venta WHERE Fc_Folio = 'FG-000001'")
                                           .arg(QLatin1String(which))).left(10), Qt::ISODate);
    };
    const QDate firstDay = noteDate("min"), lastDay = noteDate("max");
    openFolio(form, QStringLiteral("FG-000001"));
    form.Controles->press(Toolbar::Option2);   // signed and stamped
    Platform::instance().queueAnswer(QStringLiteral("motive"), QStringLiteral("02"));
    form.Controles->press(Toolbar::Delete);
    EXPECT_EQ(state("FG-000001"), QStringLiteral("CA"));
    EXPECT_EQ(notes(venta, QStringLiteral("FG-000001")) + notes(header, QStringLiteral("FG-000001")), 0);

    // Reopened: no notes, still sendable, never cancellable again.
    openFolio(form, QStringLiteral("FG-000001"));
    EXPECT_EQ(form.lvNotas->count(), 0);
    EXPECT_EQ(form.Controles->opcion2Caption(), QStringLiteral("Enviar"));
    EXPECT_FALSE(form.Controles->cancelEnabled());

    // A new global invoice of the notes' days takes them all.
    form.Controles->press(Toolbar::Cancel);
    form.Controles->press(Toolbar::New);
    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("PUBLICO"));
    form.txt_Cl_Cve_Cliente->scriptEnter();
    form.chkFechas->setValue(1);
    form.dpFecha_Inicio->setValue(firstDay);
    form.dpFecha_Final->setValue(lastDay);
    form.Controles->press(Toolbar::Option1);
    for (const QString &note : freed)
        form.lvNotas->scriptCheck(QStringLiteral("K") + note, true);
    const double total = value(form.txtTotal);
    form.Controles->press(Toolbar::Accept);
    const QString newFolio = field(QStringLiteral("SELECT max(Fc_Folio) FROM Factura WHERE Fc_Serie = 'FG'"));
    ASSERT_NE(newFolio, QStringLiteral("FG-000004"));
    EXPECT_EQ(notes(venta, newFolio), freedCount);
    EXPECT_EQ(notes(header, newFolio), freedCount);
    openFolio(form, newFolio);
    EXPECT_DOUBLE_EQ(value(form.txtTotal), total);
}

TEST_P(StoredInvoices, ACommitLostAfterTheSatCancelledIsShownAndFinishedWithoutAskingAgain)
{
    frmQX417 &form = screenWithHost();
    openFolio(form, QStringLiteral("FG-000001"));
    form.Controles->press(Toolbar::Option2);
    Platform::instance().queueAnswer(QStringLiteral("motive"), QStringLiteral("02"));
    presenter->messages.clear();
    // The commit of the screen's transaction, the one that follows freeing the notes.
    auto freed = std::make_shared<bool>(false);
    zentaro::test::ConnectionFaults::arm(db(), [freed](const QString &statement) {
        if (statement.startsWith(QLatin1String("UPDATE Venta_Encabezado SET")))
            *freed = true;
        if (*freed && statement == QLatin1String("COMMIT"))
            throw Error(QStringLiteral("se perdió la conexión"));
    });
    form.Controles->press(Toolbar::Delete);
    zentaro::test::ConnectionFaults::disarm(db());
    EXPECT_EQ(messageIds(), QStringList {QStringLiteral("ERR-ID:7500034")});
    EXPECT_EQ(state("FG-000001"), QStringLiteral("AC"));
    EXPECT_EQ(field(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000001'")),
              QStringLiteral("CA"));
    // The request, then the SAT's status service that decided it.
    ASSERT_EQ(reachedTheSat(), 2);

    presenter->messages.clear();
    openFolio(form, QStringLiteral("FG-000001"));
    ASSERT_EQ(presenter->messages.size(), 1);
    EXPECT_TRUE(presenter->messages.first().text.contains(QStringLiteral("aún no está cancelada")));
    EXPECT_TRUE(form.Controles->cancelEnabled());
    form.Controles->press(Toolbar::Delete);   // no motive queued: nobody is asked again
    EXPECT_EQ(state("FG-000001"), QStringLiteral("CA"));
    EXPECT_EQ(notes(QStringLiteral("Venta"), QStringLiteral("FG-000001")), 0);
    EXPECT_EQ(reachedTheSat(), 2);
}

ZENTARO_ON_BOTH_ENGINES(StoredInvoices);

} // namespace
} // namespace qx417::test
