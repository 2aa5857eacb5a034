#include "platform/components/CancellationValidator.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentLog.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QLocale>
#include <QRegularExpression>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");

CancellationValidator::Decision refuse(const QString &error) { return {false, error, {}}; }

bool isUuid(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    return pattern.match(text).hasMatch();
}

struct StoredInvoice
{
    QString name;
    QString state;
    bool isPublic = false;
};

std::optional<StoredInvoice> findInvoice(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT f.Fc_Factura, f.Es_Cve_Estado, c.Cl_R_F_C FROM Factura f "
                                                    "LEFT JOIN Cliente c ON c.Cl_Cve_Cliente = f.Cl_Cve_Cliente "
                                                    "WHERE f.Fc_Folio = ?"),
                                     {folio});
    if (rs.eof())
        return std::nullopt;
    StoredInvoice invoice;
    invoice.name = rs.text(QStringLiteral("Fc_Factura"));
    if (invoice.name.isEmpty())
        invoice.name = folio;
    invoice.state = rs.text(QStringLiteral("Es_Cve_Estado"));
    invoice.isPublic = rs.text(QStringLiteral("Cl_R_F_C")).trimmed().toUpper() == QStringView(cfdi::kPublicoEnGeneralRfc);
    return invoice;
}

} // namespace

CancellationValidator::CancellationValidator(MotiveSource ask)
    : m_ask(ask ? std::move(ask) : MotiveSource([](const QString &name) { return askCancellationMotive(name); }))
{
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
    const auto stamped = findDigitalDocument(connection, kInvoiceTable, folio);
    if (!stamped)
        return {true, {}, {}};

    const auto motive = m_ask(invoice->name);
    if (!motive)
        return {false, {}, {}};
    if (cancellationMotiveText(motive->code).isEmpty())
        return refuse(QStringLiteral("El motivo de cancelación \"%1\" no es uno de los del SAT (01, 02, 03 o 04)")
                          .arg(motive->code));

    QString replacement;
    if (motive->code == QLatin1String("01")) {
        if (!isUuid(motive->replacementUuid))
            return refuse(QStringLiteral("Con el motivo 01 indique el folio fiscal (UUID) de la factura que sustituye a "
                                         "la %1")
                              .arg(invoice->name));
        const auto other = findDigitalDocumentByUuid(connection, motive->replacementUuid);
        if (!other || other->table != kInvoiceTable)
            return refuse(QStringLiteral("El folio fiscal %1 no es de una factura timbrada por esta empresa")
                              .arg(motive->replacementUuid));
        if (other->document == folio)
            return refuse(QStringLiteral("La factura %1 no puede sustituirse a sí misma").arg(invoice->name));
        const auto replacing = findInvoice(connection, other->document);
        if (!replacing || replacing->state == QLatin1String("CA"))
            return refuse(QStringLiteral("La factura %1 que sustituiría a la %2 está cancelada")
                              .arg(replacing ? replacing->name : other->document, invoice->name));
        replacement = other->uuid;
    } else if (motive->code == QLatin1String("04") && !invoice->isPublic) {
        return refuse(QStringLiteral("El motivo 04 solo aplica a facturas globales al público en general; la %1 es "
                                     "nominativa")
                          .arg(invoice->name));
    }

    const QDate today = Utilities().ServerNow().date();
    const QDate stampedOn = stamped->fechaTimbrado.date();
    const bool earlierMonth =
        stampedOn.isValid() && (stampedOn.year() * 12 + stampedOn.month()) < (today.year() * 12 + today.month());
    if (invoice->isPublic && earlierMonth && (motive->code == QLatin1String("02") || motive->code == QLatin1String("03")))
        return {true, {},
                QStringLiteral("La factura global %1 se timbró en %2, un mes ya declarado: sus ventas no pueden quedar "
                               "sin comprobante. Emita primero la factura que la sustituye y cancele esta con el motivo 01.")
                    .arg(invoice->name, QLocale(QLocale::Spanish, QLocale::Mexico).toString(stampedOn,
                                                                                           QStringLiteral("MMMM 'de' yyyy")))};

    TransactionGuard transaction(connection);
    recordCancellationMotive(connection, kInvoiceTable, folio, motive->code, replacement);
    logDocumentEvent(connection, kInvoiceTable, folio, QStringLiteral("Cancelación validada"),
                     replacement.isEmpty()
                         ? QStringLiteral("Motivo %1 - %2").arg(motive->code, cancellationMotiveText(motive->code))
                         : QStringLiteral("Motivo %1 - %2; la sustituye %3")
                               .arg(motive->code, cancellationMotiveText(motive->code), replacement));
    transaction.commit();
    return {true, {}, {}};
}

} // namespace zentaro
