#include "PendingCancellations.h"

#include "ClerkMessages.h"
#include "CommandLine.h"
#include "CommandSession.h"
#include "HeadlessClerk.h"

#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/host/JsonLines.h"
#include "platform/services/Platform.h"

#include <optional>

namespace zentaro::app {

namespace {

const QString kUsage = QStringLiteral("uso: zentaro cancellations [--db URL] [--user CLAVE]");

struct Pending
{
    QString folio;
    QString uuid;
};

// Invoices not cancelled whose request is out (SO, EP), that the SAT cancelled already, or
// whose replacement (motive 01) was started and not finished.
QList<Pending> pendingCancellations(Connection &connection)
{
    QList<Pending> pending;
    Recordset rs = connection.select(
        QStringLiteral("SELECT d.Cd_Documento, d.Cd_UUID FROM Comprobante_Digital d "
                       "INNER JOIN Factura f ON f.Fc_Folio = d.Cd_Documento "
                       "WHERE d.Cd_Tabla = 'Factura' AND f.Es_Cve_Estado <> 'CA' AND (d.Cd_Estado IN (?, ?, ?) OR "
                       "EXISTS (SELECT 1 FROM Factura r WHERE r.Fc_Sustituye = f.Fc_Folio AND r.Es_Cve_Estado <> 'CA')) "
                       "ORDER BY d.Cd_Documento"),
        {QString::fromUtf16(satcancellation::kRequested), QString::fromUtf16(satcancellation::kInProcess),
         QString::fromUtf16(satcancellation::kCancelled)});
    for (; !rs.eof(); rs.moveNext())
        pending.append({rs.textAt(0), rs.textAt(1)});
    return pending;
}

} // namespace

CancellationTally finishPendingCancellations(Connection &connection, const std::shared_ptr<ClerkMessages> &messages,
                                             const JsonLines &out)
{
    CancellationTally tally;
    const QList<Pending> pending = pendingCancellations(connection);
    tally.pending = int(pending.size());
    if (pending.isEmpty())
        return tally;
    HeadlessClerk clerk{ModuleLoader()};
    for (const Pending &invoice : pending) {
        messages->clearProblems();
        bool offered = false;
        try {
            offered = clerk.openInvoice(invoice.folio);
            if (offered && messages->problems().isEmpty()) {
                messages->clearProblems();   // what opening said about the SAT is not the answer
                clerk.cancelInvoice();
            }
        } catch (const Error &error) {
            messages->reportError(error.description(), QStringLiteral("cancellations"));
        }
        Recordset rs = connection.select(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {invoice.folio});
        const bool cancelled = !rs.eof() && rs.textAt(0).trimmed().toUpper() == QLatin1String("CA");
        rs.close();
        const auto record = satcancellation::find(connection, QStringLiteral("Factura"), invoice.folio);

        OrderedJson line = OrderedJson::object();
        line.insert(QStringLiteral("folio"), invoice.folio);
        line.insert(QStringLiteral("uuid"), invoice.uuid);
        line.insert(QStringLiteral("sat"), record ? satcancellation::stateText(record->state) : QString());
        line.insert(QStringLiteral("cancelled"), QJsonValue(cancelled));
        if (cancelled) {
            ++tally.cancelled;
        } else if (!messages->problems().isEmpty() || !offered) {
            line.insert(QStringLiteral("error"),
                        offered ? messages->problemText()
                                : QStringLiteral("La pantalla no ofrece cancelar la factura %1 (su estado o su periodo "
                                                 "operativo no lo permiten)%2")
                                      .arg(invoice.folio,
                                           messages->problems().isEmpty()
                                               ? QString()
                                               : QStringLiteral(": ") + messages->problemText()));
            ++tally.failed;
        } else {
            line.insert(QStringLiteral("message"), messages->notices().join(QStringLiteral(" | ")));
            ++tally.inProcess;
        }
        out.write(line);
    }
    clerk.cancel();
    return tally;
}

int runPendingCancellations(const CommandLine &line)
{
    for (auto it = line.options.cbegin(); it != line.options.cend(); ++it)
        if (it.key() != QLatin1String("db") && it.key() != QLatin1String("user"))
            throw Error(QStringLiteral("Opción desconocida: --%1\n%2").arg(it.key(), kUsage));
    if (!line.arguments.isEmpty())
        throw Error(QStringLiteral("Sobra %1\n%2").arg(line.arguments.first(), kUsage));
    const CommandSession session(line);
    const std::shared_ptr<ClerkMessages> &messages = session.messages();

    const JsonLines out;
    const CancellationTally tally = finishPendingCancellations(Platform::instance().connection(), messages, out);
    OrderedJson summary = OrderedJson::object();
    summary.insert(QStringLiteral("summary"), QJsonValue(true));
    summary.insert(QStringLiteral("pending"), QJsonValue(tally.pending));
    summary.insert(QStringLiteral("cancelled"), QJsonValue(tally.cancelled));
    summary.insert(QStringLiteral("in_process"), QJsonValue(tally.inProcess));
    summary.insert(QStringLiteral("failed"), QJsonValue(tally.failed));
    out.write(summary);
    return tally.failed == 0 ? 0 : 1;
}

} // namespace zentaro::app
