#include "platform/components/CancellationValidator.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/cfdi/Pac.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentSigner.h"
#include "platform/components/SatCancellationRecord.h"
#include "platform/components/StampedXmlFacts.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QLocale>
#include <QRegularExpression>

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

QString dayText(const QDate &date) { return date.toString(QStringLiteral("dd/MM/yyyy")); }

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

} // namespace

CancellationValidator::CancellationValidator(MotiveSource ask, std::shared_ptr<cfdi::Pac> pac)
    : m_ask(ask ? std::move(ask) : MotiveSource([](const QString &name, const QString &warning) {
          return askCancellationMotive(name, warning);
      })),
      m_pac(std::move(pac))
{
}

QDate CancellationValidator::cancellationDeadline(int fiscalYear, const QString &issuerRfc)
{
    // A company files its annual return by March, an individual by April.
    const int month = issuerRfc.trimmed().size() == 13 ? 4 : 3;
    const QDate first(fiscalYear + 1, month, 1);
    return QDate(first.year(), first.month(), first.daysInMonth());
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
    auto record = satcancellation::find(connection, kInvoiceTable, folio);
    if (!record)
        return {true, {}, {}};
    // The SAT's answer is kept: it is never asked for twice.
    if (record->cancelledAtSat())
        return {true, {}, {}};
    if (connection.inTransaction())
        return refuse(QStringLiteral("La cancelación de la factura %1 ante el SAT no puede pedirse con una transacción "
                                     "abierta: su solicitud debe quedar guardada antes de enviarse")
                          .arg(invoice->name));

    const bool asking = record->pending();
    if (!asking) {
        const StampedXmlFacts facts = StampedXmlFacts::read(record->xml);
        const QDate today = Utilities().ServerNow().date();
        const QDate issued = record->stampedAt.isValid() ? record->stampedAt.date() : invoice->date;
        const QDate deadline = cancellationDeadline(issued.year(), facts.issuerRfc);
        if (today > deadline)
            return refuse(QStringLiteral("El plazo del SAT para cancelar la factura %1 venció el %2: los comprobantes de %3 "
                                         "se cancelan hasta el mes de la declaración anual de ese ejercicio")
                              .arg(invoice->name, dayText(deadline))
                              .arg(issued.year()));
        QString warning;
        if (issued.year() * 12 + issued.month() < today.year() * 12 + today.month())
            warning = QStringLiteral("La factura %1 es de %2, un mes ya declarado: al cancelarla corrija la declaración "
                                     "de ese mes, o emita antes la factura que la sustituye y cancele con el motivo 01.")
                          .arg(invoice->name, monthName(issued));

        const auto motive = m_ask(invoice->name, warning);
        if (!motive)
            return {false, {}, {}};
        if (cancellationMotiveText(motive->code).isEmpty())
            return refuse(QStringLiteral("El motivo de cancelación \"%1\" no es uno de los del SAT (01, 02, 03 o 04)")
                              .arg(motive->code));
        QString replacement;
        if (motive->code == QLatin1String("01")) {
            if (const QString problem = replacementProblem(connection, folio, *invoice, *record, motive->replacementUuid);
                !problem.isEmpty())
                return refuse(problem);
            replacement = findDigitalDocumentByUuid(connection, motive->replacementUuid)->uuid;
        } else if (motive->code == QLatin1String("04") && !invoice->isPublic) {
            return refuse(QStringLiteral("El motivo 04 solo aplica a facturas globales al público en general; la %1 es "
                                         "nominativa: use el motivo 02 o 03")
                              .arg(invoice->name));
        }
        satcancellation::recordRequest(connection, *record, motive->code, replacement, Utilities().ServerNow());
    }

    // No transaction is open here: the request is already safe, the PAC may take its time.
    cfdi::CancellationResult result;
    try {
        const std::shared_ptr<cfdi::Pac> pac = m_pac ? m_pac : DocumentSigner::configuredPac();
        const cfdi::CancellationRequest sent = satcancellation::requestOf(*record);
        result = record->state == QStringView(satcancellation::kInProcess) ? pac->cancellationStatus(sent)
                                                                          : pac->cancel(sent);
    } catch (const std::exception &error) {
        const auto *own = dynamic_cast<const Error *>(&error);
        return refuse(QStringLiteral("No llegó la respuesta del PAC a la cancelación de la factura %1 (%2). La solicitud "
                                     "quedó registrada: vuelva a cancelarla para consultar su estado")
                          .arg(invoice->name, own ? own->description() : QString::fromLocal8Bit(error.what())));
    }
    satcancellation::recordAnswer(connection, *record, result);
    switch (result.status) {
    case cfdi::CancellationStatus::Cancelled:
        return {true, {}, {}};
    case cfdi::CancellationStatus::InProcess:
    case cfdi::CancellationStatus::Unknown:
        return {false, {},
                QStringLiteral("La cancelación de la factura %1 está en proceso en el SAT: %2. Cuando el receptor la acepte "
                               "(o pasen 72 horas sin respuesta) vuelva a cancelarla para terminarla.")
                    .arg(invoice->name, result.message)};
    case cfdi::CancellationStatus::Refused:
        return refuse(QStringLiteral("El SAT rechazó la cancelación de la factura %1: %2 - %3")
                          .arg(invoice->name, result.code, result.message));
    case cfdi::CancellationStatus::NotCancellable:
        break;
    }
    return refuse(QStringLiteral("El SAT no permite cancelar la factura %1: %2 - %3")
                      .arg(invoice->name, result.code, result.message));
}

} // namespace zentaro
