#include "platform/components/cancellation/CancellationValidator.h"

#include "platform/cfdi/CancellationDeadline.h"
#include "platform/cfdi/GlobalInvoice.h"
#include "platform/cfdi/Pac.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/components/invoicing/GlobalReplacement.h"
#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/components/stamping/StampedXmlFacts.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include "platform/components/stamping/SealedDocuments.h"

#include <QLocale>
#include <QRegularExpression>

#include <functional>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");
const QString kReplacementRelation = QStringLiteral("04");

using Decision = CancellationValidator::Decision;

Decision refuse(const QString &error) { return {false, error, {}}; }

bool isUuid(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    return pattern.match(text).hasMatch();
}

QString monthName(const QDate &date)
{
    return QLocale(QLocale::Spanish, QLocale::Mexico).toString(date, QStringLiteral("MMMM 'de' yyyy"));
}

// The CFDI's own Fecha decides its fiscal year; the stamp's or the invoice's date stand in
// only for an XML that lacks it.
QDate issueDate(const satcancellation::Record &record, const QDate &invoiceDate)
{
    const QDateTime fecha = QDateTime::fromString(StampedXmlFacts::read(record.xml).fecha, Qt::ISODate);
    if (fecha.isValid())
        return fecha.date();
    return record.stampedAt.isValid() ? record.stampedAt.date() : invoiceDate;
}

struct StoredInvoice
{
    QString name;
    QString state;
    QDate date;
    bool isPublic = false;
};

std::optional<StoredInvoice> findInvoice(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT f.Fc_Factura, f.Fc_Fecha, f.Es_Cve_Estado, c.Cl_R_F_C "
                                                    "FROM Factura f LEFT JOIN Cliente c ON c.Cl_Cve_Cliente = f.Cl_Cve_Cliente "
                                                    "WHERE f.Fc_Folio = ?"),
                                     {folio});
    if (rs.eof())
        return std::nullopt;
    StoredInvoice invoice;
    invoice.name = rs.text(QStringLiteral("Fc_Factura"));
    if (invoice.name.isEmpty())
        invoice.name = folio;
    invoice.state = rs.text(QStringLiteral("Es_Cve_Estado")).trimmed().toUpper();
    invoice.date = rs.date(QStringLiteral("Fc_Fecha"));
    invoice.isPublic = rs.text(QStringLiteral("Cl_R_F_C")).trimmed().toUpper() == QStringView(cfdi::kPublicoEnGeneralRfc);
    return invoice;
}

// Motive 01 names the document that replaces the cancelled one: the SAT takes it only when
// that document is valid, of the same issuer, and relates the cancelled UUID as a
// substitution (TipoRelacion 04). "" when it may go ahead, else why not.
QString replacementProblem(Connection &connection, const QString &folio, const StoredInvoice &invoice,
                           const satcancellation::Record &cancelled, const QString &replacementUuid)
{
    const QString use02 = QStringLiteral("; si ninguna factura la sustituye, cancele con el motivo 02");
    if (!isUuid(replacementUuid))
        return QStringLiteral("Con el motivo 01 indique el folio fiscal (UUID) de la factura que sustituye a la %1%2")
            .arg(invoice.name, use02);
    const auto other = findDigitalDocumentByUuid(connection, replacementUuid);
    if (!other || other->table != kInvoiceTable)
        return QStringLiteral("El folio fiscal %1 no es de una factura timbrada por esta empresa%2").arg(replacementUuid, use02);
    if (other->document == folio)
        return QStringLiteral("La factura %1 no puede sustituirse a sí misma%2").arg(invoice.name, use02);
    const auto replacing = findInvoice(connection, other->document);
    const auto replacingRecord = satcancellation::find(connection, kInvoiceTable, other->document);
    if (!replacing || replacing->state == QLatin1String("CA") || (replacingRecord && replacingRecord->cancelledAtSat()))
        return QStringLiteral("La factura %1 que sustituiría a la %2 está cancelada%3")
            .arg(replacing ? replacing->name : other->document, invoice.name, use02);
    const StampedXmlFacts ours = StampedXmlFacts::read(cancelled.xml);
    const StampedXmlFacts theirs = StampedXmlFacts::read(other->xml);
    if (ours.issuerRfc.compare(theirs.issuerRfc, Qt::CaseInsensitive) != 0)
        return QStringLiteral("La factura %1 es de otro emisor (%2)%3").arg(replacing->name, theirs.issuerRfc, use02);
    if (!theirs.relates(kReplacementRelation, cancelled.uuid))
        return QStringLiteral("La factura %1 no relaciona el folio fiscal %2 de la %3 como sustitución (TipoRelacion 04): "
                              "emita la sustituta con esa relación antes de cancelar con el motivo 01%4")
            .arg(replacing->name, cancelled.uuid, invoice.name, use02);
    return {};
}

// Asks the clerk for the motive of a new request, checks it against the SAT's rules and
// records the request; nullopt when it is recorded, else what the screen is told.
std::optional<Decision> newRequest(Connection &connection, const QString &folio, const StoredInvoice &invoice,
                                   satcancellation::Record &record, const CancellationValidator::MotiveSource &ask,
                                   GlobalReplacement &replacement)
{
    if (const QString late = CancellationValidator::deadlineRefusal(invoice.name, record, invoice.date); !late.isEmpty())
        return refuse(late);
    const QDate today = Utilities().ServerToday();
    const QDate issued = issueDate(record, invoice.date);
    QString warning;
    if (issued.year() * 12 + issued.month() < today.year() * 12 + today.month())
        warning = QStringLiteral("La factura %1 es de %2, un mes ya declarado: al cancelarla corrija la declaración "
                                 "de ese mes, o emita antes la factura que la sustituye y cancele con el motivo 01.")
                      .arg(invoice.name, monthName(issued));

    const auto motive = ask(invoice.name, warning);
    if (!motive)
        return Decision{false, {}, {}};
    if (cancellationMotiveText(motive->code).isEmpty())
        return refuse(QStringLiteral("El motivo de cancelación \"%1\" no es uno de los del SAT (01, 02, 03 o 04)")
                          .arg(motive->code));
    // A global's replacement must bill the notes this one holds: it is made here.
    if (motive->code == QLatin1String("01") && invoice.isPublic && motive->replacementUuid.isEmpty())
        return replacement.prepare(folio, record);
    QString replacementUuid;
    if (motive->code == QLatin1String("01")) {
        if (const QString problem = replacementProblem(connection, folio, invoice, record, motive->replacementUuid);
            !problem.isEmpty())
            return refuse(problem);
        replacementUuid = findDigitalDocumentByUuid(connection, motive->replacementUuid)->uuid;
    } else if (motive->code == QLatin1String("04") && !invoice.isPublic) {
        return refuse(QStringLiteral("El motivo 04 solo aplica a facturas globales al público en general; la %1 es "
                                     "nominativa: use el motivo 02 o 03")
                          .arg(invoice.name));
    }
    // Taken only if no other clerk's request got there while this one chose the motive.
    if (!satcancellation::recordRequest(connection, record, motive->code, replacementUuid, Utilities().ServerNow()))
        return refuse(QStringLiteral("Otro usuario está cancelando la factura %1 en este momento: su solicitud al SAT ya "
                                     "está en curso. Espere a que termine y vuelva a abrir la factura para ver cómo quedó.")
                          .arg(invoice.name));
    return std::nullopt;
}

// A PAC that could not be reached, or whose answer was lost or unreadable, said nothing:
// the SAT may hold the request all the same.
cfdi::CancellationResult askSat(const std::function<cfdi::CancellationResult()> &call)
{
    try {
        return call();
    } catch (const std::exception &error) {
        const auto *own = dynamic_cast<const Error *>(&error);
        return {cfdi::CancellationStatus::Unknown, {}, QStringLiteral("sin respuesta"),
                own ? own->description() : QString::fromLocal8Bit(error.what())};
    }
}

// What the screen is told once the SAT's answer is kept.
Decision conclude(const StoredInvoice &invoice, const satcancellation::Record &record,
                  const cfdi::CancellationResult &result)
{
    // Another clerk may have kept the SAT's cancellation meanwhile.
    if (record.cancelledAtSat())
        return {true, {}, {}};
    switch (result.status) {
    case cfdi::CancellationStatus::Cancelled:
        return {true, {}, {}};
    case cfdi::CancellationStatus::InProcess:
    case cfdi::CancellationStatus::Unknown:
        break;
    case cfdi::CancellationStatus::Refused:
        return refuse(QStringLiteral("El SAT rechazó la cancelación de la factura %1: %2 - %3. La solicitud quedó sin "
                                     "efecto y la factura sigue vigente; puede solicitarla de nuevo.")
                          .arg(invoice.name, result.code, result.message));
    case cfdi::CancellationStatus::NotCancellable:
        return refuse(QStringLiteral("El SAT no permite cancelar la factura %1: %2 - %3")
                          .arg(invoice.name, result.code, result.message));
    }
    // Received, not decided: the invoice stays as it is until the SAT says how it ended.
    const QString where = record.state == QStringView(satcancellation::kRequested)
        ? QStringLiteral("La solicitud de cancelación de la factura %1 quedó registrada, pero no llegó la respuesta del "
                         "SAT (%2).")
              .arg(invoice.name, result.message)
        : QStringLiteral("El SAT recibió la solicitud de cancelación de la factura %1 y aún no la resuelve (%2).")
              .arg(invoice.name, result.message);
    return {true, {},
            where + QStringLiteral(" La factura y sus notas siguen vigentes. Cuando el receptor la acepte (o pasen 72 "
                                   "horas sin respuesta) vuelva a pulsar Eliminar para consultar al SAT y terminarla.")};
}

} // namespace

CancellationValidator::CancellationValidator(MotiveSource ask, std::shared_ptr<cfdi::Pac> pac)
    : m_ask(ask ? std::move(ask) : MotiveSource([](const QString &name, const QString &warning) {
          return askCancellationMotive(name, warning);
      })),
      m_pac(std::move(pac))
{
}

QString CancellationValidator::deadlineRefusal(const QString &invoiceName, const satcancellation::Record &record,
                                               const QDate &invoiceDate)
{
    const StampedXmlFacts facts = StampedXmlFacts::read(record.xml);
    return cfdi::cancellationDeadlineRefusal(QStringLiteral("La factura ") + invoiceName, facts.issuerRfc,
                                             facts.issuerRegime, issueDate(record, invoiceDate),
                                             Utilities().ServerToday());
}

CancellationValidator::Decision CancellationValidator::validate(const QString &request)
{
    try {
        return decide(request);
    } catch (const Error &error) {
        return refuse(error.description());
    }
}

CancellationValidator::Decision CancellationValidator::decide(const QString &request)
{
    const QStringList parts = request.split(u'|');
    if (parts.size() != 2 || parts.at(0) != QLatin1String("1") || parts.at(1).trimmed().isEmpty())
        return refuse(QStringLiteral("Solicitud de validación no válida: \"%1\"; se espera 1|folio").arg(request));
    const QString folio = parts.at(1);
    Connection &connection = Platform::instance().connection();

    const auto invoice = findInvoice(connection, folio);
    if (!invoice)
        return refuse(QStringLiteral("La factura %1 no existe").arg(folio));
    if (invoice->state == QLatin1String("CA"))
        return refuse(QStringLiteral("La factura %1 ya está cancelada").arg(invoice->name));
    if (const QString problem = GlobalReplacement::withdrawalProblem(connection, folio); !problem.isEmpty())
        return refuse(problem);
    auto record = satcancellation::find(connection, kInvoiceTable, folio);
    if (!record) {
        // Never stamped. Only a document that never left the machine (or that the PAC
        // refused) may go without the SAT; one sent without an answer may be a CFDI already.
        if (!findSealedDocument(connection, kInvoiceTable, folio))
            return {true, {}, {}};
        if (connection.inTransaction())
            return refuse(QStringLiteral("La factura %1 se envió al PAC y su timbre está pendiente; no puede aclararse "
                                         "con una transacción abierta")
                              .arg(invoice->name));
        const QString outcome = DocumentSigner(m_pac).signInvoice(folio);
        record = satcancellation::find(connection, kInvoiceTable, folio);
        if (!record) {
            if (!findSealedDocument(connection, kInvoiceTable, folio))
                return {true, {}, {}};   // the PAC refused the document: there is no CFDI to cancel
            return refuse(QStringLiteral("La factura %1 se envió al PAC para timbrarse y no se sabe aún si quedó timbrada "
                                         "(%2). No puede cancelarse hasta que el PAC responda: si la cancelara ahora, "
                                         "sus notas podrían facturarse dos veces. Vuelva a intentarlo más tarde.")
                              .arg(invoice->name, outcome));
        }
        // The stamp came back: that CFDI is cancelled at the SAT like any other.
    }
    // The SAT's answer is kept: it is never asked for twice.
    if (record->cancelledAtSat())
        return {true, {}, {}};
    if (connection.inTransaction())
        return refuse(QStringLiteral("La cancelación de la factura %1 ante el SAT no puede pedirse con una transacción "
                                     "abierta: su solicitud debe quedar guardada antes de enviarse")
                          .arg(invoice->name));

    const std::shared_ptr<cfdi::Pac> pac = m_pac ? m_pac : DocumentSigner::configuredPac();
    // A replacement under way (motive 01 on a global) goes on from where it stands, without
    // asking the motive again; one the SAT refused is undone.
    GlobalReplacement replacement(pac);
    const bool replacing = !GlobalReplacement::replacementOf(connection, folio).isEmpty();
    if (replacing && GlobalReplacement::refused(connection, *record))
        return replacement.withdraw(folio, *record);
    if (!record->pending()) {
        const auto refusal = replacing ? replacement.prepare(folio, *record)
                                       : newRequest(connection, folio, *invoice, *record, m_ask, replacement);
        if (refusal)
            return *refusal;
    }
    const cfdi::CancellationRequest sent = satcancellation::requestOf(*record);
    // A request the SAT acknowledged is only asked about; one whose answer never came is
    // sent again as it was recorded (the SAT answers a repeated request as the first).
    if (record->state != QStringView(satcancellation::kInProcess)) {
        cfdi::CancellationResult answer = askSat([&] { return pac->cancel(sent); });
        // "Already cancelled" (202) is believed once the status service says so too.
        if (answer.status == cfdi::CancellationStatus::Cancelled)
            answer.status = cfdi::CancellationStatus::InProcess;
        satcancellation::recordAnswer(connection, *record, answer);
        if (answer.status != cfdi::CancellationStatus::InProcess)
            return GlobalReplacement::refused(connection, *record) ? replacement.withdraw(folio, *record)
                                                                    : conclude(*invoice, *record, answer);
    }
    const cfdi::CancellationResult status = askSat([&] { return pac->cancellationStatus(sent); });
    satcancellation::recordAnswer(connection, *record, status, satcancellation::AnswerTo::StatusQuery);
    if (GlobalReplacement::refused(connection, *record))
        return replacement.withdraw(folio, *record);
    return conclude(*invoice, *record, status);
}

} // namespace zentaro
