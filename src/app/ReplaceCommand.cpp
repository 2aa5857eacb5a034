#include "ReplaceCommand.h"

#include "ClerkMessages.h"
#include "CommandLine.h"
#include "CommandSession.h"
#include "HeadlessClerk.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/components/invoicing/GlobalReplacement.h"
#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/host/JsonLines.h"
#include "platform/services/Platform.h"

namespace zentaro::app {

namespace {

const QString kUsage = QStringLiteral("uso: zentaro replace FOLIO [--db URL] [--user CLAVE]");
const QString kInvoiceTable = QStringLiteral("Factura");

QString one(Connection &connection, const QString &sql, const QVariantList &values)
{
    Recordset rs = connection.select(sql, values);
    return rs.eof() ? QString() : rs.textAt(0);
}

// "" when `folio` can be replaced (or its replacement goes on), else why not.
QString problemOf(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT f.Es_Cve_Estado, c.Cl_R_F_C FROM Factura f LEFT JOIN Cliente c "
                                                    "ON c.Cl_Cve_Cliente = f.Cl_Cve_Cliente WHERE f.Fc_Folio = ?"),
                                     {folio});
    if (rs.eof())
        return QStringLiteral("La factura %1 no existe").arg(folio);
    const bool cancelled = rs.textAt(0).trimmed().toUpper() == QLatin1String("CA");
    const bool global = rs.textAt(1).trimmed().toUpper() == QStringView(cfdi::kPublicoEnGeneralRfc);
    rs.close();
    if (cancelled)
        return QStringLiteral("La factura %1 ya está cancelada").arg(folio);
    if (!global)
        return QStringLiteral("La factura %1 no es global: emita la factura que la sustituye relacionando su folio fiscal "
                              "y cancélela con el motivo 01 indicando el de la nueva")
            .arg(folio);
    const auto record = satcancellation::find(connection, kInvoiceTable, folio);
    if (!record)
        return QStringLiteral("La factura %1 no está timbrada: no hay CFDI que sustituir; fírmela o cancélela").arg(folio);
    if (record->pending() && record->motive != QLatin1String("01"))
        return QStringLiteral("La factura %1 tiene una solicitud de cancelación en curso con el motivo %2; termínela con "
                              "zentaro cancellations antes de sustituirla")
            .arg(folio, record->motive);
    return {};
}

} // namespace

int runReplace(const CommandLine &line)
{
    for (auto it = line.options.cbegin(); it != line.options.cend(); ++it)
        if (it.key() != QLatin1String("db") && it.key() != QLatin1String("user"))
            throw Error(QStringLiteral("Opción desconocida: --%1\n%2").arg(it.key(), kUsage));
    if (line.arguments.size() != 1)
        throw Error(kUsage);
    const QString folio = line.arguments.first().trimmed().toUpper();
    const CommandSession session(line);
    const std::shared_ptr<ClerkMessages> &messages = session.messages();
    Platform &platform = Platform::instance();
    Connection &db = platform.connection();
    const JsonLines out;

    OrderedJson result = OrderedJson::object();
    result.insert(QStringLiteral("folio"), folio);
    // Replaced already (by an earlier run or a clerk): said so again, nothing done.
    const QString done = GlobalReplacement::replacementOf(db, folio);
    if (!done.isEmpty()
        && one(db, QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {folio}).trimmed().toUpper()
               == QLatin1String("CA")) {
        result.insert(QStringLiteral("replacement"), done);
        result.insert(QStringLiteral("replaced"), QJsonValue(true));
        out.write(result);
        return 0;
    }
    if (const QString problem = problemOf(db, folio); !problem.isEmpty()) {
        result.insert(QStringLiteral("error"), problem);
        out.write(result);
        return 1;
    }
    const QString since = one(db, QStringLiteral("SELECT max(Bd_ID) FROM Bitacora_Documento"), {});
    // The motive is asked only when no request is out: a run that goes on never sees it.
    platform.queueAnswer(QStringLiteral("motive"), QStringLiteral("01"));
    bool offered = false;
    {
        HeadlessClerk clerk{ModuleLoader()};
        try {
            offered = clerk.openInvoice(folio);
            if (offered && messages->problems().isEmpty()) {
                messages->clearProblems();   // what opening said about the SAT is not the answer
                clerk.cancelInvoice();
            }
        } catch (const Error &error) {
            messages->reportError(error.description(), QStringLiteral("replace"));
        }
        clerk.cancel();
    }
    platform.takeAnswer(QStringLiteral("motive"));

    // Each step the invoices' history recorded on the way, the old one's and its replacements'.
    Recordset steps = db.select(
        QStringLiteral("SELECT Bd_Documento, Bd_Accion, Bd_Detalle FROM Bitacora_Documento WHERE Bd_Tabla = 'Factura' AND "
                       "Bd_ID > ? AND (Bd_Documento = ? OR Bd_Documento IN (SELECT Fc_Folio FROM Factura WHERE "
                       "Fc_Sustituye = ?)) ORDER BY Bd_ID"),
        {since.isEmpty() ? QStringLiteral("0") : since, folio, folio});
    for (; !steps.eof(); steps.moveNext())
        out.write({{QStringLiteral("folio"), steps.textAt(0)},
                   {QStringLiteral("step"), steps.textAt(1)},
                   {QStringLiteral("detail"), steps.textAt(2)}});
    steps.close();

    const bool cancelled = one(db, QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {folio})
                               .trimmed()
                               .toUpper()
        == QLatin1String("CA");
    const QString replacement = GlobalReplacement::replacementOf(db, folio);
    const auto record = satcancellation::find(db, kInvoiceTable, folio);
    const auto replacing = replacement.isEmpty() ? std::nullopt : satcancellation::find(db, kInvoiceTable, replacement);
    result.insert(QStringLiteral("replacement"), replacement);
    result.insert(QStringLiteral("replacement_uuid"), replacing ? replacing->uuid : QString());
    result.insert(QStringLiteral("sat"), record ? satcancellation::stateText(record->state) : QString());
    result.insert(QStringLiteral("replaced"), QJsonValue(cancelled && !replacement.isEmpty()));
    bool failed = false;
    if (!offered) {
        failed = true;
        result.insert(QStringLiteral("error"),
                      QStringLiteral("La pantalla no ofrece cancelar la factura %1 (su estado o su periodo operativo no lo "
                                     "permiten)%2")
                          .arg(folio, messages->problems().isEmpty() ? QString() : QStringLiteral(": ") + messages->problemText()));
    } else if (!messages->problems().isEmpty()) {
        failed = true;
        result.insert(QStringLiteral("error"), messages->problemText());
    } else if (!cancelled) {
        result.insert(QStringLiteral("message"), messages->notices().join(QStringLiteral(" | ")));
    }
    out.write(result);
    return failed ? 1 : 0;
}

} // namespace zentaro::app
