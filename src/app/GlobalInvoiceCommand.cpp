#include "GlobalInvoiceCommand.h"

#include "BillingPeriod.h"
#include "BranchDefaults.h"
#include "CandidateGroups.h"
#include "ClerkMessages.h"
#include "CommandLine.h"
#include "HeadlessClerk.h"
#include "PendingCancellations.h"
#include "SchedulerLock.h"

#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentLog.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/host/JsonLines.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <algorithm>

namespace zentaro::app {

namespace {

const QString kUsage = QStringLiteral(
    "uso: zentaro global-invoice --db URL [--date AAAA-MM-DD | --from AAAA-MM-DD --to AAAA-MM-DD] "
    "[--branch CLAVE]... [--currency CLAVE]... [--dry-run] [--user CLAVE] [--wait SEGUNDOS]");

const QStringList kKnownOptions = {QStringLiteral("db"),       QStringLiteral("date"),     QStringLiteral("from"),
                                   QStringLiteral("to"),       QStringLiteral("branch"),   QStringLiteral("currency"),
                                   QStringLiteral("dry-run"),  QStringLiteral("user"),     QStringLiteral("wait")};

// How long a run waits for another one to finish before it gives up.
constexpr int kDefaultWaitSeconds = 900;

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
    for (const char *valued : {"date", "from", "to", "branch", "currency", "user", "wait"})
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

// Accept's trap for what the database refused, among it a note billed meanwhile.
bool refusedByTheDatabase(const QList<ClerkMessages::Problem> &problems)
{
    return std::any_of(problems.cbegin(), problems.cend(),
                       [](const ClerkMessages::Problem &problem) { return problem.id == QLatin1String("ERR-ID:7500020"); });
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

struct Tally
{
    int made = 0;     // invoices made (or, on a dry run, that would be)
    int failed = 0;   // groups that did not end as they should
    int notes = 0;
};

class GlobalInvoiceRun
{
public:
    GlobalInvoiceRun(const Options &options, const BillingPeriod &period, std::shared_ptr<ClerkMessages> messages,
                     Tally &tally)
        : m_options(options), m_period(period), m_messages(std::move(messages)),
          m_connection(Platform::instance().connection()), m_tally(tally), m_clerk(ModuleLoader())
    {
    }

    // One group; answers whether it ended as it should.
    bool invoice(const CandidateGroup &group);

private:
    bool reportDryRun(const CandidateGroup &group, const HeadlessClerk::Selection &selection, const QString &warning);
    bool reportMade(const CandidateGroup &group, const QString &folio, int noteCount, const QString &warning);
    bool reportFailure(const CandidateGroup &group, int noteCount, const Decimal &total, const QString &error);

    const Options &m_options;
    BillingPeriod m_period;
    std::shared_ptr<ClerkMessages> m_messages;
    Connection &m_connection;
    Tally &m_tally;
    HeadlessClerk m_clerk;
    JsonLines m_out;
};

bool GlobalInvoiceRun::invoice(const CandidateGroup &group)
{
    const QString warning = m_period.lateWarning(Utilities().ServerNow().date());
    BranchDefaults defaults;
    try {
        defaults = BranchDefaults::of(m_connection, group.branch);
    } catch (const Error &error) {
        return reportFailure(group, group.notes, {}, error.description());
    }
    // A clerk who takes some of the notes while Accept runs wins them; the second attempt
    // invoices what is left.
    for (int attempt = 1;; ++attempt) {
        m_messages->clearProblems();
        HeadlessClerk::Selection selection;
        try {
            selection = m_clerk.prepare(group.branch, group.currency, defaults, m_period);
        } catch (const Error &error) {
            m_messages->reportError(error.description(), QStringLiteral("global-invoice"));
        }
        if (!m_messages->problems().isEmpty() || selection.notes.isEmpty() || m_options.dryRun) {
            m_clerk.cancel();
            if (!m_messages->problems().isEmpty())
                return reportFailure(group, int(selection.notes.size()), selection.total, problemText(m_messages->problems()));
            if (selection.notes.isEmpty())
                return true;   // billed by a clerk since the groups were counted
            return reportDryRun(group, selection, warning);
        }
        m_clerk.accept();
        const QString folio = refusedBeforeCommit(m_messages->problems()) ? QString() : sharedInvoice(m_connection, selection.notes);
        m_clerk.cancel();
        if (!folio.isEmpty())
            return reportMade(group, folio, int(selection.notes.size()), warning);
        if (attempt == 2 || !refusedByTheDatabase(m_messages->problems()))
            return reportFailure(group, int(selection.notes.size()), selection.total,
                                 m_messages->problems().isEmpty() ? QStringLiteral("La factura global no se generó")
                                                                  : problemText(m_messages->problems()));
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
    m_out.write(line);
    ++m_tally.made;
    m_tally.notes += noteCount;
    if (!error.isEmpty())
        ++m_tally.failed;
    return error.isEmpty();
}

bool GlobalInvoiceRun::reportFailure(const CandidateGroup &group, int noteCount, const Decimal &total, const QString &error)
{
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("branch"), group.branch);
    line.insert(QStringLiteral("currency"), group.currency);
    line.insert(QStringLiteral("folio"), QJsonValue(QJsonValue::Null));
    line.insert(QStringLiteral("notes"), QJsonValue(noteCount));
    line.insert(QStringLiteral("total"), money(total));
    line.insert(QStringLiteral("error"), error);
    m_out.write(line);
    ++m_tally.failed;
    return false;
}

} // namespace

int runGlobalInvoice(const CommandLine &line)
{
    const Options options = readOptions(line);
    auto messages = std::make_shared<ClerkMessages>();
    installSession(options, messages);
    SessionScope scope;
    Connection &connection = Platform::instance().connection();
    const BillingPeriod period = BillingPeriod::fromOptions(dateOption(line, "date"), dateOption(line, "from"),
                                                            dateOption(line, "to"), Utilities().ServerNow().date());
    requireKnownCodes(connection, options.branches, options.currencies);

    const JsonLines log(stderr);
    const auto lock = SchedulerLock::acquire(connection, options.waitSeconds, [&] {
        log.write({{QStringLiteral("message"), QStringLiteral("Esperando a que termine otra facturación global")}});
    });
    Tally tally;
    // Cancellations the SAT decided since the last run give their notes back before the
    // groups are counted; a dry run writes nothing, so it leaves them for later.
    CancellationTally cancellations;
    if (!options.dryRun) {
        cancellations = finishPendingCancellations(connection, messages, JsonLines());
        tally.failed += cancellations.failed;
    }
    // Counted under the lock: what an earlier run made is no longer a candidate.
    const QList<CandidateGroup> groups = findCandidateGroups(connection, period, options.branches, options.currencies);
    if (!groups.isEmpty()) {
        GlobalInvoiceRun run(options, period, messages, tally);
        for (const CandidateGroup &group : groups)
            run.invoice(group);
    }

    OrderedJson summary = OrderedJson::object();
    summary.insert(QStringLiteral("summary"), QJsonValue(true));
    summary.insert(QStringLiteral("from"), period.from.toString(Qt::ISODate));
    summary.insert(QStringLiteral("to"), period.to.toString(Qt::ISODate));
    summary.insert(QStringLiteral("groups"), QJsonValue(int(groups.size())));
    summary.insert(QStringLiteral("invoices"), QJsonValue(tally.made));
    summary.insert(QStringLiteral("failed"), QJsonValue(tally.failed));
    summary.insert(QStringLiteral("notes"), QJsonValue(tally.notes));
    summary.insert(QStringLiteral("dry_run"), QJsonValue(options.dryRun));
    if (cancellations.pending > 0)
        summary.insert(QStringLiteral("cancellations"), QJsonValue(cancellations.cancelled));
    JsonLines().write(summary);
    return tally.failed == 0 ? 0 : 1;
}

} // namespace zentaro::app
