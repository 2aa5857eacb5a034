#include "GlobalInvoiceCommand.h"

#include "BillingPeriod.h"
#include "BranchDefaults.h"
#include "CandidateGroups.h"
#include "ClerkMessages.h"
#include "CommandLine.h"
#include "GlobalInvoiceCheck.h"
#include "HeadlessClerk.h"
#include "PendingCancellations.h"
#include "SchedulerLock.h"

#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/mail/DocumentMailer.h"
#include "platform/components/printing/DocumentOutput.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/services/Environment.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/FailureCode.h"
#include "platform/db/Schema.h"
#include "platform/host/JsonLines.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QJsonArray>

#include <algorithm>

namespace zentaro::app {

namespace {

const QString kUsage = QStringLiteral(
    "uso: zentaro global-invoice --db URL [--date AAAA-MM-DD | --from AAAA-MM-DD --to AAAA-MM-DD] "
    "[--today AAAA-MM-DD] [--branch CLAVE]... [--currency CLAVE]... [--dry-run] [--user CLAVE] [--wait SEGUNDOS]");

const QStringList kKnownOptions = {QStringLiteral("db"),       QStringLiteral("date"),     QStringLiteral("from"),
                                   QStringLiteral("to"),       QStringLiteral("branch"),   QStringLiteral("currency"),
                                   QStringLiteral("dry-run"),  QStringLiteral("user"),     QStringLiteral("wait"),
                                   QStringLiteral("today")};

// How long a run waits for another one to finish before it gives up.
constexpr int kDefaultWaitSeconds = 900;

// How many times a run loads a group again after a clerk billed some of its notes first.
constexpr int kAttempts = 3;

struct Options
{
    ConnectionUrl database;
    QString user;
    bool dryRun = false;
    int waitSeconds = kDefaultWaitSeconds;
    QStringList branches;
    QStringList currencies;
};

Options readOptions(const CommandLine &line)
{
    for (auto it = line.options.cbegin(); it != line.options.cend(); ++it)
        if (!kKnownOptions.contains(it.key()))
            throw Error(QStringLiteral("Opción desconocida: --%1\n%2").arg(it.key(), kUsage));
    if (!line.arguments.isEmpty())
        throw Error(QStringLiteral("Sobra %1\n%2").arg(line.arguments.first(), kUsage));
    if (line.option(QStringLiteral("db")).isEmpty())
        throw Error(QStringLiteral("Falta --db: la base de datos que se factura\n%1").arg(kUsage));
    for (const char *valued : {"date", "from", "to", "branch", "currency", "user", "wait", "today"})
        if (line.has(QLatin1String(valued)) && line.option(QLatin1String(valued)).isEmpty())
            throw Error(QStringLiteral("--%1 necesita un valor\n%2").arg(QLatin1String(valued), kUsage));
    Options options;
    options.database = ConnectionUrl::parse(line.option(QStringLiteral("db")));
    options.user = line.option(QStringLiteral("user"), QStringLiteral("ADMIN"));
    options.dryRun = line.has(QStringLiteral("dry-run"));
    if (line.has(QStringLiteral("wait"))) {
        bool ok = false;
        options.waitSeconds = line.option(QStringLiteral("wait")).toInt(&ok);
        if (!ok || options.waitSeconds < 0)
            throw Error(QStringLiteral("--wait espera un número de segundos"));
    }
    options.branches = line.values(QStringLiteral("branch"));
    options.currencies = line.values(QStringLiteral("currency"));
    return options;
}

// The option's text, or a null text when it was not given.
QString dateOption(const CommandLine &line, const char *name)
{
    return line.has(QLatin1String(name)) ? line.option(QLatin1String(name)) : QString();
}

void installSession(const Options &options, const std::shared_ptr<ClerkMessages> &messages)
{
    auto connection = Connection::open(options.database);
    schema::verify(*connection);
    Recordset known = connection->select(
        QStringLiteral("SELECT Us_Cve_Usuario FROM Usuario WHERE Us_Cve_Usuario = ? AND Es_Cve_Estado <> 'BA'"), {options.user});
    if (known.eof())
        throw Error(QStringLiteral("El usuario %1 no existe o está dado de baja").arg(options.user));
    known.close();
    Platform::install(std::make_unique<Platform>(std::move(connection), options.user, messages));
}

struct SessionScope
{
    ~SessionScope()
    {
        if (Platform::isInstalled())
            Platform::uninstall();
    }
};

// The identifiers of Accept's refusals before its commit: when one shows, Accept stored
// nothing (a clerk who billed one of the notes first makes the database refuse, 7500020).
bool refusedBeforeCommit(const QList<ClerkMessages::Problem> &problems)
{
    for (const ClerkMessages::Problem &problem : problems) {
        const int number = problem.id.mid(QStringLiteral("ERR-ID:").size()).toInt();
        if ((number >= 7500007 && number <= 7500018) || number == 7500020)
            return true;
    }
    return false;
}

QString problemText(const QList<ClerkMessages::Problem> &problems)
{
    QStringList texts;
    for (const ClerkMessages::Problem &problem : problems)
        if (!texts.contains(problem.text))
            texts << problem.text;
    return texts.join(QStringLiteral(" | "));
}

QJsonValue money(const Decimal &amount) { return amount.toString().toDouble(); }

// The folio that every one of the notes now belongs to; "" when they do not share one.
QString sharedInvoice(Connection &connection, const QStringList &notes)
{
    QStringList marks;
    QVariantList values;
    for (const QString &note : notes) {
        marks << QStringLiteral("?");
        values << note;
    }
    Recordset rs = connection.select(QStringLiteral("SELECT DISTINCT Fc_Folio FROM Venta_Encabezado WHERE Vn_Folio IN (%1)")
                                         .arg(marks.join(QStringLiteral(", "))),
                                     values);
    const QString folio = rs.eof() ? QString() : rs.textAt(0);
    rs.moveNext();
    return rs.eof() ? folio : QString();
}

// The candidate notes among `notes`, those no invoice took yet.
QStringList stillCandidates(Connection &connection, const QStringList &notes)
{
    QVariantList values;
    const QString in = inList(QStringLiteral("Vn_Folio"), notes, values);
    QStringList left;
    for (Recordset rs = connection.select(QStringLiteral("SELECT Vn_Folio FROM Venta_Encabezado WHERE Fc_Folio = '' "
                                                         "AND Es_Cve_Estado NOT IN ('CA', 'FA')")
                                              + in + QStringLiteral(" ORDER BY Vn_Folio"),
                                          values);
         !rs.eof(); rs.moveNext())
        left << rs.textAt(0);
    return left;
}

QJsonArray folioArray(const QStringList &folios)
{
    QJsonArray array;
    for (const QString &folio : folios)
        array.append(folio);
    return array;
}

struct Tally
{
    int made = 0;     // invoices made (or, on a dry run, that would be)
    int failed = 0;   // groups that did not end as they should
    int notes = 0;
    int resumed = 0;  // invoices of an earlier run signed and sent now
};


class GlobalInvoiceRun
{
public:
    GlobalInvoiceRun(const Options &options, const QDate &today, std::shared_ptr<ClerkMessages> messages, Tally &tally)
        : m_options(options), m_today(today), m_messages(std::move(messages)),
          m_connection(Platform::instance().connection()), m_tally(tally), m_clerk(ModuleLoader())
    {
    }

    // One group; answers whether it ended as it should.
    bool invoice(const CandidateGroup &group);

private:
    bool reportDryRun(const CandidateGroup &group, const HeadlessClerk::Selection &selection, const QString &warning);
    bool reportMade(const CandidateGroup &group, const QString &folio, int noteCount, const QString &warning);
    bool reportFailure(const CandidateGroup &group, int noteCount, const Decimal &total, const QString &error,
                       const QStringList &left = {});

    const Options &m_options;
    QDate m_today;
    std::shared_ptr<ClerkMessages> m_messages;
    Connection &m_connection;
    Tally &m_tally;
    HeadlessClerk m_clerk;
    JsonLines m_out;
};

bool GlobalInvoiceRun::invoice(const CandidateGroup &group)
{
    if (!group.refusal.isEmpty())
        return reportFailure(group, group.notes, {}, group.refusal);
    const QString warning = group.period.lateWarning(m_today);
    BranchDefaults defaults;
    try {
        defaults = BranchDefaults::of(m_connection, group.branch);
    } catch (const Error &error) {
        return reportFailure(group, group.notes, {}, error.description());
    }
    // A clerk who takes some of the notes while Accept runs wins them: the database refuses
    // the second billing (a rule of the schema, told by its code), and the group is loaded
    // again with what is left.
    HeadlessClerk::Selection selection;
    for (int attempt = 1;; ++attempt) {
        m_messages->clearProblems();
        selection = {};
        try {
            selection = m_clerk.prepare(group.branch, group.currency, defaults, group.period);
        } catch (const Error &error) {
            m_messages->reportError(error.description(), QStringLiteral("global-invoice"));
        }
        if (!m_messages->problems().isEmpty() || selection.notes.isEmpty()) {
            m_clerk.cancel();
            if (!m_messages->problems().isEmpty())
                return reportFailure(group, int(selection.notes.size()), selection.total, problemText(m_messages->problems()));
            return true;   // billed by a clerk since the groups were counted
        }
        // Whatever the signer would refuse is refused before anything is stored.
        const QString refusal = checkGlobalInvoice(m_connection, selection.notes, group.branch, group.currency,
                                                   Utilities().ServerNow().date(), Utilities().ServerNow());
        if (!refusal.isEmpty()) {
            m_clerk.cancel();
            return reportFailure(group, int(selection.notes.size()), selection.total, refusal);
        }
        if (m_options.dryRun) {
            m_clerk.cancel();
            return reportDryRun(group, selection, warning);
        }
        forgetLastFailure(m_connection);
        m_clerk.accept();
        const QString folio = refusedBeforeCommit(m_messages->problems()) ? QString() : sharedInvoice(m_connection, selection.notes);
        m_clerk.cancel();
        if (!folio.isEmpty())
            return reportMade(group, folio, int(selection.notes.size()), warning);
        const bool takenMeanwhile = isRuleRefusal(lastFailureCode(m_connection));
        if (takenMeanwhile && attempt < kAttempts)
            continue;
        const QString error = m_messages->problems().isEmpty() ? QStringLiteral("La factura global no se generó")
                                                               : problemText(m_messages->problems());
        if (!takenMeanwhile)
            return reportFailure(group, int(selection.notes.size()), selection.total, error);
        const QStringList left = stillCandidates(m_connection, selection.notes);
        return reportFailure(group, int(selection.notes.size()), selection.total,
                             QStringLiteral("Otras facturas tomaron notas del periodo en %1 intentos seguidos; quedan %2 "
                                            "notas sin facturar")
                                 .arg(kAttempts)
                                 .arg(left.size()),
                             left);
    }
}

bool GlobalInvoiceRun::reportDryRun(const CandidateGroup &group, const HeadlessClerk::Selection &selection,
                                    const QString &warning)
{
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("branch"), group.branch);
    line.insert(QStringLiteral("currency"), group.currency);
    line.insert(QStringLiteral("notes"), QJsonValue(int(selection.notes.size())));
    line.insert(QStringLiteral("total"), money(selection.total));
    line.insert(QStringLiteral("dry_run"), QJsonValue(true));
    if (!warning.isEmpty())
        line.insert(QStringLiteral("warning"), warning);
    line.insert(QStringLiteral("period"), group.period.text());
    m_out.write(line);
    ++m_tally.made;
    m_tally.notes += int(selection.notes.size());
    return true;
}

bool GlobalInvoiceRun::reportMade(const CandidateGroup &group, const QString &folio, int noteCount, const QString &warning)
{
    Recordset invoice = m_connection.select(
        QStringLiteral("SELECT Fc_Serie, Fc_Precio_Neto_Importe FROM Factura WHERE Fc_Folio = ?"), {folio});
    const QString series = invoice.eof() ? QString() : invoice.textAt(0);
    const Decimal total = invoice.eof() ? Decimal() : invoice.decimal(QStringLiteral("Fc_Precio_Neto_Importe"));
    invoice.close();
    const auto stamped = findDigitalDocument(m_connection, QStringLiteral("Factura"), folio);
    QString error = problemText(m_messages->problems());
    if (error.isEmpty() && !stamped && Utilities().IsElectronicSeries(series, 1))
        error = QStringLiteral("La factura no quedó timbrada");
    if (!warning.isEmpty())
        logDocumentEvent(m_connection, QStringLiteral("Factura"), folio, QStringLiteral("Fuera de plazo"), warning);

    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("branch"), group.branch);
    line.insert(QStringLiteral("currency"), group.currency);
    line.insert(QStringLiteral("folio"), folio);
    line.insert(QStringLiteral("notes"), QJsonValue(noteCount));
    line.insert(QStringLiteral("total"), money(total));
    if (error.isEmpty())
        line.insert(QStringLiteral("uuid"), stamped ? QJsonValue(stamped->uuid) : QJsonValue(QJsonValue::Null));
    else
        line.insert(QStringLiteral("error"), error);
    if (!warning.isEmpty())
        line.insert(QStringLiteral("warning"), warning);
    line.insert(QStringLiteral("period"), group.period.text());
    m_out.write(line);
    ++m_tally.made;
    m_tally.notes += noteCount;
    if (!error.isEmpty())
        ++m_tally.failed;
    return error.isEmpty();
}

bool GlobalInvoiceRun::reportFailure(const CandidateGroup &group, int noteCount, const Decimal &total, const QString &error,
                                     const QStringList &left)
{
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("branch"), group.branch);
    line.insert(QStringLiteral("currency"), group.currency);
    line.insert(QStringLiteral("folio"), QJsonValue(QJsonValue::Null));
    line.insert(QStringLiteral("notes"), QJsonValue(noteCount));
    line.insert(QStringLiteral("total"), money(total));
    line.insert(QStringLiteral("error"), error);
    line.insert(QStringLiteral("period"), group.period.text());
    if (!left.isEmpty())
        line.insert(QStringLiteral("left"), QJsonValue(folioArray(left)));
    m_out.write(line);
    ++m_tally.failed;
    return false;
}

// An invoice of the days the run covers that an earlier run (or a clerk) stored but did
// not finish: not stamped (a run killed after the commit, a PAC that was down), or stamped
// but never mailed when invoices are mailed.
struct Unfinished
{
    QString folio;
    QString series;
    QString branch;
    QString currency;
    int notes = 0;
    Decimal total;
    bool stamped = false;
};

QList<Unfinished> findUnfinished(Connection &connection, const RunDays &days, const Options &options, bool mailing)
{
    QVariantList values {days.from.toString(Qt::ISODate), days.to.toString(Qt::ISODate)};
    QString sql = QStringLiteral(
        "SELECT f.Fc_Folio, f.Fc_Serie, f.Sc_Cve_Sucursal, f.Mn_Cve_Moneda, f.Fc_Precio_Neto_Importe, "
        "(SELECT COUNT(*) FROM Venta_Encabezado n WHERE n.Fc_Folio = f.Fc_Folio) AS notas, "
        "(SELECT COUNT(*) FROM Comprobante_Digital d WHERE d.Cd_Tabla = 'Factura' AND d.Cd_Documento = f.Fc_Folio) AS timbres, "
        "(SELECT COUNT(*) FROM Bitacora_Documento b WHERE b.Bd_Tabla = 'Factura' AND b.Bd_Documento = f.Fc_Folio "
        "AND b.Bd_Accion = 'Correo') AS correos "
        "FROM Factura f WHERE f.Es_Cve_Estado <> 'CA' AND f.Fc_Folio IN (SELECT v.Fc_Folio FROM Venta_Encabezado v "
        "WHERE v.Fc_Folio <> '' AND v.Vn_Fecha BETWEEN ? AND ?)");
    sql += inList(QStringLiteral("f.Sc_Cve_Sucursal"), options.branches, values);
    sql += inList(QStringLiteral("f.Mn_Cve_Moneda"), options.currencies, values);
    sql += QStringLiteral(" ORDER BY f.Fc_Folio");
    QList<Unfinished> found;
    Utilities utilities;
    for (Recordset rs = connection.select(sql, values); !rs.eof(); rs.moveNext()) {
        Unfinished invoice;
        invoice.folio = rs.textAt(0);
        invoice.series = rs.textAt(1);
        invoice.branch = rs.textAt(2);
        invoice.currency = rs.textAt(3);
        invoice.total = rs.decimal(QStringLiteral("Fc_Precio_Neto_Importe"));
        invoice.notes = rs.value(5).toInt();
        invoice.stamped = rs.value(6).toInt() > 0;
        const bool mailed = rs.value(7).toInt() > 0;
        if (invoice.stamped ? (mailing && !mailed) : true)
            found.append(invoice);
    }
    // A series that is not electronic is finished once stored.
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&](const Unfinished &invoice) { return !utilities.IsElectronicSeries(invoice.series, 1); }),
                found.end());
    return found;
}

// Signs (the same sealed bytes when an earlier attempt kept them, never a second stamp),
// prints and mails one unfinished invoice as Accept does after its commit. Answers whether
// it ended well.
bool finish(Connection &connection, const Unfinished &invoice, bool mailing, bool dryRun, const JsonLines &out)
{
    QString error;
    if (!dryRun) {
        if (!invoice.stamped)
            error = DocumentSigner().signInvoice(invoice.folio);
        if (error.isEmpty()) {
            try {
                Recordset customer = connection.select(QStringLiteral("SELECT Cl_Cve_Cliente FROM Factura WHERE Fc_Folio = ?"),
                                                       {invoice.folio});
                const QString profile = Utilities().OutputProfile(customer.eof() ? QString() : customer.textAt(0), invoice.branch);
                customer.close();
                if (!invoice.stamped)
                    DocumentOutput().Produce(profile, invoice.folio, QString(), 0, 0, QString());
            } catch (const Error &failure) {
                error = failure.description();
            }
        }
        if (error.isEmpty() && mailing) {
            DocumentMailer mailer;
            QString recipients;
            if (!mailer.Send(QStringLiteral("Factura"), invoice.folio, 0, 0, 0, recipients))
                error = mailer.LastError();
        }
    }
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("branch"), invoice.branch);
    line.insert(QStringLiteral("currency"), invoice.currency);
    line.insert(QStringLiteral("folio"), invoice.folio);
    line.insert(QStringLiteral("notes"), QJsonValue(invoice.notes));
    line.insert(QStringLiteral("total"), money(invoice.total));
    if (dryRun) {
        line.insert(QStringLiteral("dry_run"), QJsonValue(true));
    } else if (error.isEmpty()) {
        const auto stamped = findDigitalDocument(connection, QStringLiteral("Factura"), invoice.folio);
        line.insert(QStringLiteral("uuid"), stamped ? QJsonValue(stamped->uuid) : QJsonValue(QJsonValue::Null));
    } else {
        line.insert(QStringLiteral("error"), error);
    }
    line.insert(QStringLiteral("resumed"), QJsonValue(true));
    out.write(line);
    return error.isEmpty();
}

} // namespace

int runGlobalInvoice(const CommandLine &line)
{
    const Options options = readOptions(line);
    const QDate chosenToday = readToday(dateOption(line, "today"));
    auto messages = std::make_shared<ClerkMessages>();
    installSession(options, messages);
    SessionScope scope;
    Connection &connection = Platform::instance().connection();
    Utilities utilities;
    const QDate today = chosenToday.isValid() ? chosenToday : utilities.ServerNow().date();
    // Deadlines judged on the way (a cancellation the run finishes) follow the chosen day.
    if (chosenToday.isValid())
        Platform::instance().fixDay(chosenToday);
    // The chosen day dates the invoices too only with the sandbox PAC: a real PAC refuses a
    // Fecha more than 72 hours old, so with it the CFDI keeps the real clock.
    if (chosenToday.isValid()
        && Environment().GetVariable(QStringLiteral("CFDI_PAC"), 0, QStringLiteral("T"), {}).trimmed().toUpper()
               == QLatin1String("SANDBOX"))
        Platform::instance().fixClock(QDateTime(chosenToday, utilities.ServerNow().time()));
    const RunDays days = RunDays::fromOptions(dateOption(line, "date"), dateOption(line, "from"), dateOption(line, "to"), today);
    requireKnownCodes(connection, options.branches, options.currencies);

    const JsonLines log(stderr);
    const auto lock = SchedulerLock::acquire(connection, options.waitSeconds, [&] {
        log.write({{QStringLiteral("message"), QStringLiteral("Esperando a que termine otra facturación global")}});
    });
    const JsonLines out;
    Tally tally;
    // Cancellations the SAT decided since the last run give their notes back before the
    // groups are counted; a dry run writes nothing, so it leaves them for later.
    CancellationTally cancellations;
    if (!options.dryRun) {
        cancellations = finishPendingCancellations(connection, messages, out);
        tally.failed += cancellations.failed;
    }
    // Then what an earlier run left half done, so that no night looks fine while an
    // invoice of its days is not stamped.
    const bool mailing = Environment().GetVariable(QStringLiteral("FAC_ENVIAR_DOCUMENTO_EMAIL"), 0, QStringLiteral("B"),
                                                   QStringLiteral("0")) == QLatin1String("1");
    for (const Unfinished &invoice : findUnfinished(connection, days, options, mailing)) {
        ++tally.resumed;
        if (!finish(connection, invoice, mailing, options.dryRun, out))
            ++tally.failed;
    }
    // Counted under the lock: what an earlier run made is no longer a candidate.
    const RunPlan plan = planRun(connection, days, today, options.branches, options.currencies);
    for (const auto &[branch, period] : plan.openPeriods) {
        OrderedJson open = OrderedJson::object();
        open.insert(QStringLiteral("branch"), branch);
        open.insert(QStringLiteral("open_period"), period.text());
        out.write(open);
    }
    if (!plan.groups.isEmpty()) {
        GlobalInvoiceRun run(options, today, messages, tally);
        for (const CandidateGroup &group : plan.groups)
            run.invoice(group);
    }

    OrderedJson summary = OrderedJson::object();
    summary.insert(QStringLiteral("summary"), QJsonValue(true));
    summary.insert(QStringLiteral("from"), days.from.toString(Qt::ISODate));
    summary.insert(QStringLiteral("to"), days.to.toString(Qt::ISODate));
    summary.insert(QStringLiteral("groups"), QJsonValue(int(plan.groups.size())));
    summary.insert(QStringLiteral("invoices"), QJsonValue(tally.made));
    summary.insert(QStringLiteral("failed"), QJsonValue(tally.failed));
    summary.insert(QStringLiteral("notes"), QJsonValue(tally.notes));
    summary.insert(QStringLiteral("dry_run"), QJsonValue(options.dryRun));
    summary.insert(QStringLiteral("today"), today.toString(Qt::ISODate));
    summary.insert(QStringLiteral("resumed"), QJsonValue(tally.resumed));
    if (cancellations.pending > 0)
        summary.insert(QStringLiteral("cancellations"), QJsonValue(cancellations.cancelled));
    out.write(summary);
    return tally.failed == 0 ? 0 : 1;
}

} // namespace zentaro::app
