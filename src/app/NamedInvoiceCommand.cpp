#include "NamedInvoiceCommand.h"

#include "BillingPeriod.h"
#include "BranchDefaults.h"
#include "ClerkMessages.h"
#include "CommandLine.h"
#include "CommandSession.h"
#include "GlobalInvoiceCheck.h"
#include "HeadlessClerk.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/mail/DocumentMailer.h"
#include "platform/components/printing/DocumentOutput.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/components/invoicing/GlobalPeriodicity.h"
#include "platform/components/invoicing/NamedInvoiceFromGlobal.h"
#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/host/JsonLines.h"
#include "platform/services/Environment.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QMap>

namespace zentaro::app {

namespace {

const QString kUsage = QStringLiteral("uso: zentaro named-invoice --note FOLIO --customer CLAVE [--db URL] [--user CLAVE]");
const QString kInvoiceTable = QStringLiteral("Factura");

struct Failure
{
    QString text;
};

QString joined(const QList<ClerkMessages::Problem> &problems)
{
    QStringList texts;
    for (const auto &problem : problems)
        if (!texts.contains(problem.text))
            texts << problem.text;
    return texts.join(QStringLiteral(" | "));
}

struct Invoice
{
    QString state;
    QString rfc;
    QString name;
};

std::optional<Invoice> readInvoice(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT f.Es_Cve_Estado, c.Cl_R_F_C, c.Cl_Razon_Social_1 FROM Factura f "
                                                    "LEFT JOIN Cliente c ON c.Cl_Cve_Cliente = f.Cl_Cve_Cliente "
                                                    "WHERE f.Fc_Folio = ?"),
                                     {folio});
    if (rs.eof())
        return std::nullopt;
    return Invoice {rs.textAt(0).trimmed().toUpper(), rs.textAt(1).trimmed().toUpper(), rs.textAt(2).trimmed()};
}

QString noteInvoice(Connection &connection, const QString &note)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Fc_Folio FROM Venta_Encabezado WHERE Vn_Folio = ?"), {note});
    return rs.eof() ? QString() : rs.textAt(0);
}

bool logged(Connection &connection, const QString &folio, const QString &action)
{
    return !connection
                .select(QStringLiteral("SELECT 1 FROM Bitacora_Documento WHERE Bd_Tabla = 'Factura' AND Bd_Documento = ? "
                                       "AND Bd_Accion = ?"),
                        {folio, action})
                .eof();
}

class NamedInvoiceRun
{
public:
    NamedInvoiceRun(QString note, QString customer, std::shared_ptr<ClerkMessages> messages)
        : m_note(std::move(note)), m_customer(std::move(customer)), m_messages(std::move(messages)),
          m_connection(Platform::instance().connection())
    {
    }

    int run();

private:
    namedinvoice::Request request();
    bool globalCancelled(const namedinvoice::Request &request);
    QStringList newGlobals(const namedinvoice::Request &request);
    void finish(const QString &folio);
    HeadlessClerk &clerk()
    {
        if (!m_clerk)
            m_clerk = std::make_unique<HeadlessClerk>(ModuleLoader());
        return *m_clerk;
    }
    void step(const QString &name, const QString &folio, const QString &detail = {})
    {
        OrderedJson line = OrderedJson::object();
        line.insert(QStringLiteral("note"), m_note);
        line.insert(QStringLiteral("step"), name);
        line.insert(QStringLiteral("folio"), folio);
        if (!detail.isEmpty())
            line.insert(QStringLiteral("detail"), detail);
        m_out.write(line);
    }

    QString m_note;
    QString m_customer;
    std::shared_ptr<ClerkMessages> m_messages;
    Connection &m_connection;
    std::unique_ptr<HeadlessClerk> m_clerk;
    JsonLines m_out;
};

// The request kept from an earlier run, or a new one: the note's global and its UUID.
namedinvoice::Request NamedInvoiceRun::request()
{
    auto kept = namedinvoice::find(m_connection, m_note);
    if (kept && !kept->invoice.isEmpty()) {
        const auto invoice = readInvoice(m_connection, kept->invoice);
        if (invoice && invoice->state == QLatin1String("CA"))
            kept.reset();   // its named invoice was cancelled: the ticket may be asked for again
    }
    if (kept) {
        if (kept->customer != m_customer)
            throw Failure {QStringLiteral("La factura nominativa de la nota %1 ya se pidió para el cliente %2")
                               .arg(m_note, kept->customer)};
        return *kept;
    }
    if (const QString problem = namedinvoice::problems(m_connection, m_note, m_customer); !problem.isEmpty())
        throw Failure {problem};
    namedinvoice::Request fresh {m_note, m_customer, {}, {}, {}};
    const QString holder = noteInvoice(m_connection, m_note);
    if (!holder.isEmpty()) {
        const auto invoice = readInvoice(m_connection, holder);
        if (invoice && invoice->rfc != QStringView(cfdi::kPublicoEnGeneralRfc))
            throw Failure {QStringLiteral("La nota %1 ya está facturada a nombre de %2 en la factura %3")
                               .arg(m_note, invoice->name, holder)};
        const auto stamped = findDigitalDocument(m_connection, kInvoiceTable, holder);
        if (!stamped)
            throw Failure {QStringLiteral("La factura global %1 de la nota %2 aún no está timbrada: timbre la factura "
                                          "(zentaro sign %1) y pida de nuevo la factura nominativa")
                               .arg(holder, m_note)};
        fresh.global = holder;
        fresh.globalUuid = stamped->uuid;
    }
    namedinvoice::record(m_connection, fresh);
    step(QStringLiteral("requested"), fresh.global);
    return fresh;
}

// Presses Eliminar on the global, motive 04, as the screen's clerk does: the host's
// validation asks the SAT and the screen cancels the global only after its "Cancelado".
// Answers false while the SAT has not decided.
bool NamedInvoiceRun::globalCancelled(const namedinvoice::Request &request)
{
    if (request.global.isEmpty() || noteInvoice(m_connection, m_note) != request.global)
        return true;
    const auto global = readInvoice(m_connection, request.global);
    if (global && global->state == QLatin1String("CA"))
        return true;
    m_messages->clearProblems();
    Platform::instance().queueAnswer(QStringLiteral("motive"), QStringLiteral("04"));
    bool offered = false;
    try {
        offered = clerk().openInvoice(request.global);
        if (offered && m_messages->problems().isEmpty()) {
            m_messages->clearProblems();   // what opening said about the SAT is not the answer
            clerk().cancelInvoice();
        }
    } catch (const Error &error) {
        m_messages->reportError(error.description(), QStringLiteral("named-invoice"));
    }
    Platform::instance().takeAnswer(QStringLiteral("motive"));   // not asked when a request was out
    clerk().cancel();
    if (const auto after = readInvoice(m_connection, request.global); after && after->state == QLatin1String("CA")) {
        step(QStringLiteral("global_cancelled"), request.global, QStringLiteral("motivo 04"));
        return true;
    }
    if (!offered)
        throw Failure {QStringLiteral("La pantalla no ofrece cancelar la factura %1 (su estado o su periodo operativo no lo "
                                      "permiten)%2")
                           .arg(request.global, m_messages->problems().isEmpty() ? QString()
                                                                                 : QStringLiteral(": ") + joined(m_messages->problems()))};
    if (!m_messages->problems().isEmpty())
        throw Failure {joined(m_messages->problems())};
    const auto record = satcancellation::find(m_connection, kInvoiceTable, request.global);
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("note"), m_note);
    line.insert(QStringLiteral("customer"), m_customer);
    line.insert(QStringLiteral("global"), request.global);
    line.insert(QStringLiteral("waiting"), QJsonValue(true));
    line.insert(QStringLiteral("sat"), record ? satcancellation::stateText(record->state) : QString());
    line.insert(QStringLiteral("message"),
                QStringLiteral("La cancelación de la factura global %1 con motivo 04 espera la respuesta del SAT; la nota "
                               "%2 se factura a nombre del cliente cuando el SAT la cancele. Vuelva a ejecutar la orden "
                               "para continuar%3")
                    .arg(request.global, m_note,
                         m_messages->notices().isEmpty() ? QString()
                                                         : QStringLiteral(": ") + m_messages->notices().join(QStringLiteral(" | "))));
    m_out.write(line);
    return false;
}

// The global of the cancelled one's other notes, period by period, made on the screen as
// the night run makes it; the notes remember the cancelled global, so it relates that UUID.
// Answers the globals that bill those notes now.
QStringList NamedInvoiceRun::newGlobals(const namedinvoice::Request &request)
{
    if (request.global.isEmpty())
        return {};
    struct Left
    {
        QString branch, currency;
        QDate day;
    };
    QList<Left> left;
    QStringList holders;
    Recordset rs = m_connection.select(
        QStringLiteral("SELECT Vn_Folio, Fc_Folio, Es_Cve_Estado, Sc_Cve_Sucursal, Mn_Cve_Moneda, Vn_Fecha FROM Venta_Encabezado "
                       "WHERE Vn_Factura_Cancelada = ? AND Vn_Folio <> ? ORDER BY Vn_Fecha, Vn_Folio"),
        {request.global, m_note});
    for (; !rs.eof(); rs.moveNext()) {
        const QString holder = rs.textAt(1);
        if (!holder.isEmpty()) {
            if (!holders.contains(holder))
                holders << holder;
        } else if (rs.textAt(2).trimmed().toUpper() != QLatin1String("CA")) {
            left.append({rs.textAt(3), rs.textAt(4), rs.date(QStringLiteral("Vn_Fecha"))});
        }
    }
    rs.close();

    if (!left.isEmpty()) {
        Recordset issuer = m_connection.select(QStringLiteral("SELECT Em_Regimen_Fiscal FROM Emisor ORDER BY Em_R_F_C"));
        const QString regime = issuer.eof() ? QString() : issuer.textAt(0).trimmed();
        issuer.close();
        QMap<std::tuple<QDate, QString, QString>, BillingPeriod> periods;
        for (const Left &note : left) {
            try {
                const BillingPeriod period =
                    BillingPeriod::holding(configuredPeriodicity(m_connection, note.branch), note.day, regime);
                periods.insert({period.from, note.branch, note.currency}, period);
            } catch (const Error &error) {
                throw Failure {error.description()};
            }
        }
        Utilities utilities;
        for (auto it = periods.cbegin(); it != periods.cend(); ++it) {
            const auto &[from, branch, currency] = it.key();
            BranchDefaults defaults;
            try {
                defaults = BranchDefaults::of(m_connection, branch);
            } catch (const Error &error) {
                throw Failure {error.description()};
            }
            m_messages->clearProblems();
            HeadlessClerk::Selection selection;
            try {
                selection = clerk().prepare(branch, currency, defaults, it.value());
            } catch (const Error &error) {
                m_messages->reportError(error.description(), QStringLiteral("named-invoice"));
            }
            if (!m_messages->problems().isEmpty() || selection.notes.isEmpty()) {
                clerk().cancel();
                if (!m_messages->problems().isEmpty())
                    throw Failure {joined(m_messages->problems())};
                continue;   // a clerk or the night run billed them meanwhile
            }
            const QString refusal = checkGlobalInvoice(m_connection, selection.notes, branch, currency,
                                                       utilities.ServerNow().date(), utilities.ServerNow());
            if (!refusal.isEmpty()) {
                clerk().cancel();
                throw Failure {refusal};
            }
            clerk().accept();
            const QString made = noteInvoice(m_connection, selection.notes.first());
            clerk().cancel();
            if (made.isEmpty())
                throw Failure {m_messages->problems().isEmpty() ? QStringLiteral("La factura global no se generó")
                                                                : joined(m_messages->problems())};
            step(QStringLiteral("global"), made,
                 QStringLiteral("relaciona el folio fiscal %1 (tipo de relación 04)").arg(request.globalUuid));
            if (!holders.contains(made))
                holders << made;
        }
    }
    // A global the screen committed but could not stamp (a PAC that was down) is signed now.
    for (const QString &holder : std::as_const(holders))
        finish(holder);
    return holders;
}

// Signs (the same sealed bytes when an earlier attempt kept them), prints and mails an
// invoice, each only when it was not done before.
void NamedInvoiceRun::finish(const QString &folio)
{
    Utilities utilities;
    Recordset rs = m_connection.select(
        QStringLiteral("SELECT Fc_Serie, Cl_Cve_Cliente, Sc_Cve_Sucursal FROM Factura WHERE Fc_Folio = ?"), {folio});
    const QString series = rs.eof() ? QString() : rs.textAt(0);
    const QString customer = rs.eof() ? QString() : rs.textAt(1);
    const QString branch = rs.eof() ? QString() : rs.textAt(2);
    rs.close();
    if (!utilities.IsElectronicSeries(series, 1))
        return;
    if (!findDigitalDocument(m_connection, kInvoiceTable, folio)) {
        if (const QString error = DocumentSigner().signInvoice(folio); !error.isEmpty())
            throw Failure {error};
    }
    // The output leaves its own trace only on a printer: this command writes one.
    const QString outputAction = QStringLiteral("Salida");
    try {
        if (!logged(m_connection, folio, outputAction)) {
            const QString profile = utilities.OutputProfile(customer, branch);
            DocumentOutput().Produce(profile, folio, QString(), 0, 0, QString());
            logDocumentEvent(m_connection, kInvoiceTable, folio, outputAction, QStringLiteral("perfil %1").arg(profile));
        }
    } catch (const Error &error) {
        throw Failure {error.description()};
    }
    const bool mailing = Environment().GetVariable(QStringLiteral("FAC_ENVIAR_DOCUMENTO_EMAIL"), 0, QStringLiteral("B"),
                                                   QStringLiteral("0")) == QLatin1String("1");
    if (mailing && !logged(m_connection, folio, QStringLiteral("Correo"))) {
        DocumentMailer mailer;
        QString recipients;
        if (!mailer.Send(kInvoiceTable, folio, 0, 0, 0, recipients))
            throw Failure {mailer.LastError()};
    }
}

int NamedInvoiceRun::run()
{
    OrderedJson outcome = OrderedJson::object();
    outcome.insert(QStringLiteral("note"), m_note);
    outcome.insert(QStringLiteral("customer"), m_customer);
    try {
        namedinvoice::Request wanted = request();
        outcome.insert(QStringLiteral("global"), wanted.global.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(wanted.global));
        if (wanted.invoice.isEmpty()) {
            if (!globalCancelled(wanted))
                return 0;
            const QStringList globals = newGlobals(wanted);
            OrderedJson folios = OrderedJson::array();
            for (const QString &folio : globals)
                folios.append(folio);
            outcome.insert(QStringLiteral("new_globals"), folios);
            TransactionGuard transaction(m_connection);
            try {
                wanted.invoice = namedinvoice::build(m_connection, wanted, Utilities().ServerNow().date());
            } catch (const Error &error) {
                throw Failure {error.description()};
            }
            transaction.commit();
            step(QStringLiteral("invoice"), wanted.invoice);
        }
        finish(wanted.invoice);
        const auto stamped = findDigitalDocument(m_connection, kInvoiceTable, wanted.invoice);
        outcome.insert(QStringLiteral("invoice"), wanted.invoice);
        outcome.insert(QStringLiteral("uuid"), stamped ? QJsonValue(stamped->uuid) : QJsonValue(QJsonValue::Null));
        m_out.write(outcome);
        return 0;
    } catch (const Failure &failure) {
        outcome.insert(QStringLiteral("error"), failure.text);
        m_out.write(outcome);
        return 1;
    }
}

} // namespace

int runNamedInvoice(const CommandLine &line)
{
    for (auto it = line.options.cbegin(); it != line.options.cend(); ++it)
        if (!QStringList {QStringLiteral("db"), QStringLiteral("user"), QStringLiteral("note"), QStringLiteral("customer")}
                 .contains(it.key()))
            throw Error(QStringLiteral("Opción desconocida: --%1\n%2").arg(it.key(), kUsage));
    if (!line.arguments.isEmpty())
        throw Error(QStringLiteral("Sobra %1\n%2").arg(line.arguments.first(), kUsage));
    const QString note = line.option(QStringLiteral("note")).trimmed();
    const QString customer = line.option(QStringLiteral("customer")).trimmed();
    if (note.isEmpty() || customer.isEmpty())
        throw Error(QStringLiteral("Faltan la nota (--note) y el cliente (--customer) de la factura nominativa\n%1").arg(kUsage));
    const CommandSession session(line);
    return NamedInvoiceRun(note, customer, session.messages()).run();
}

} // namespace zentaro::app
