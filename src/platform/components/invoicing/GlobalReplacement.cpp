#include "platform/components/invoicing/GlobalReplacement.h"

#include "platform/components/records/DocumentLog.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/components/cancellation/InvoiceCanceller.h"
#include "platform/components/stamping/SealedDocuments.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/db/SqlLiteral.h"
#include "platform/services/DocumentNumbers.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QHash>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");
const QString kReplaced = QStringLiteral("01");
// The SAT's motive for a document issued with errors and replaced by none: a replacement
// withdrawn leaves the notes to the invoice it was to replace.
const QString kWithdrawn = QStringLiteral("02");

using Decision = GlobalReplacement::Decision;

Decision refuse(const QString &error) { return {false, error, {}}; }

QString invoiceName(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Fc_Factura FROM Factura WHERE Fc_Folio = ?"), {folio});
    const QString name = rs.eof() ? QString() : rs.textAt(0);
    return name.isEmpty() ? folio : name;
}

QDate invoiceDate(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Fc_Fecha FROM Factura WHERE Fc_Folio = ?"), {folio});
    return rs.eof() ? QDate() : rs.date(QStringLiteral("Fc_Fecha"));
}

// Copies the header row of `from` in `table` as the header of the replacement, with the
// values in `values` instead of the copied ones.
void copyHeader(Connection &connection, const QString &table, const QString &from, const QHash<QString, QVariant> &values)
{
    const schema::Table *definition = schema::findTable(table);
    Recordset rs = connection.select(QStringLiteral("SELECT * FROM %1 WHERE Fc_Folio = ?").arg(table), {from});
    if (rs.eof())
        throw Error(QStringLiteral("La factura %1 no tiene su renglón en %2").arg(from, table));
    Utilities utilities;
    QStringList columns, marks;
    QVariantList row;
    for (const schema::Column &column : definition->columns) {
        const QString name = QString::fromLatin1(column.name);
        columns << name;
        marks << QStringLiteral("?");
        if (values.contains(name))
            row << values.value(name);
        else if (column.type == schema::Type::Date)
            row << (rs.date(name).isValid() ? QVariant(utilities.SqlDate(rs.date(name))) : QVariant());
        else if (column.type == schema::Type::DateTime)
            row << (rs.field(name).isNull() ? QVariant() : QVariant(utilities.SqlDateTime(rs.field(name).toDateTime())));
        else
            row << rs.field(name);
    }
    rs.close();
    connection.run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                   row);
}

// Copies every row of `from` in a table of the invoice's lines to the replacement `to`.
void copyRows(Connection &connection, const QString &table, const QString &from, const QString &to)
{
    QStringList columns, copied;
    for (const schema::Column &column : schema::findTable(table)->columns) {
        const QString name = QString::fromLatin1(column.name);
        columns << name;
        copied << (name == QLatin1String("Fc_Folio") ? sql::quoted(to) : name);
    }
    connection.run(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %1 WHERE Fc_Folio = ?")
                       .arg(table, columns.join(QStringLiteral(", ")), copied.join(QStringLiteral(", "))),
                   {from});
}

int moveNotes(Connection &connection, const QString &from, const QString &to, const QString &toName)
{
    int moved = 0;
    for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")}) {
        const int rows = connection.run(QStringLiteral("UPDATE %1 SET Fc_Folio = ?, Fc_Factura = ? WHERE Fc_Folio = ?").arg(table),
                                        {to, toName, from});
        if (table == QLatin1String("Venta_Encabezado"))
            moved = rows;
    }
    return moved;
}

} // namespace

GlobalReplacement::GlobalReplacement(std::shared_ptr<cfdi::Pac> pac) : m_pac(std::move(pac)) {}

QString GlobalReplacement::replacementOf(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Fc_Sustituye = ? AND "
                                                    "Es_Cve_Estado <> 'CA' ORDER BY Fc_Folio"),
                                     {folio});
    return rs.eof() ? QString() : rs.textAt(0);
}

QString GlobalReplacement::uuidReplacedBy(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT d.Cd_UUID FROM Factura f JOIN Comprobante_Digital d ON d.Cd_Tabla = 'Factura' AND "
                       "d.Cd_Documento = f.Fc_Sustituye WHERE f.Fc_Folio = ? AND f.Fc_Sustituye <> ''"),
        {folio});
    return rs.eof() ? QString() : rs.textAt(0).toUpper();
}

QString GlobalReplacement::withdrawalProblem(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT o.Fc_Folio FROM Factura r JOIN Factura o ON o.Fc_Folio = r.Fc_Sustituye "
                                                    "WHERE r.Fc_Folio = ? AND o.Es_Cve_Estado <> 'CA'"),
                                     {folio});
    if (rs.eof())
        return {};
    const QString original = rs.textAt(0);
    rs.close();
    const auto record = satcancellation::find(connection, kInvoiceTable, original);
    if (!record || !(record->pending() || record->cancelledAtSat()))
        return {};
    return QStringLiteral("La factura %1 sustituye a la %2, cuya cancelación ante el SAT con el motivo 01 está en curso "
                          "(%3): no puede cancelarse mientras tanto, porque sus notas quedarían sin factura vigente. "
                          "Termine la sustitución con Eliminar en la %2 (o con zentaro replace %2).")
        .arg(invoiceName(connection, folio), invoiceName(connection, original), satcancellation::stateText(record->state));
}

int GlobalReplacement::returnNotes(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(QStringLiteral("SELECT o.Fc_Folio, o.Fc_Factura FROM Factura r JOIN Factura o ON "
                                                    "o.Fc_Folio = r.Fc_Sustituye WHERE r.Fc_Folio = ? AND o.Es_Cve_Estado <> 'CA'"),
                                     {folio});
    if (rs.eof())
        return 0;
    const QString original = rs.textAt(0);
    const QString originalName = rs.textAt(1).isEmpty() ? original : rs.textAt(1);
    rs.close();
    const int moved = moveNotes(connection, folio, original, originalName);
    logDocumentEvent(connection, kInvoiceTable, original, QStringLiteral("Notas devueltas"),
                     QStringLiteral("Se canceló su sustituta %1: %2 notas vuelven a esta factura")
                         .arg(invoiceName(connection, folio))
                         .arg(moved));
    return moved;
}

bool GlobalReplacement::refused(Connection &connection, const satcancellation::Record &record)
{
    if (record.motive != kReplaced
        || (record.state != QStringView(satcancellation::kRefused)
            && record.state != QStringView(satcancellation::kNotCancellable)))
        return false;
    const QString replacement = replacementOf(connection, record.document);
    if (replacement.isEmpty())
        return false;
    const auto stamped = satcancellation::find(connection, kInvoiceTable, replacement);
    return stamped && stamped->uuid.compare(record.replacementUuid, Qt::CaseInsensitive) == 0;
}

QString GlobalReplacement::make(Connection &connection, const QString &folio)
{
    Utilities utilities;
    const QDateTime now = utilities.ServerNow();
    TransactionGuard transaction(connection);
    // The first write claims the invoice: a second clerk replacing it at the same moment
    // waits here, then finds the replacement made and goes on with it.
    if (connection.run(QStringLiteral("UPDATE Factura SET Fecha_Ult_Modif = ? WHERE Fc_Folio = ? AND Es_Cve_Estado <> 'CA'"),
                       {utilities.SqlDateTime(now), folio})
        != 1)
        throw Error(QStringLiteral("La factura %1 ya está cancelada").arg(invoiceName(connection, folio)));
    if (const QString made = replacementOf(connection, folio); !made.isEmpty())
        return made;
    Recordset header = connection.select(QStringLiteral("SELECT Fc_Serie, Fc_Factura FROM Factura WHERE Fc_Folio = ?"), {folio});
    const QString series = header.textAt(0);
    const QString name = header.textAt(1).isEmpty() ? folio : header.textAt(1);
    header.close();
    const documentnumbers::SeriesNumber next = documentnumbers::nextNumber(connection, series);
    if (!next.message.isEmpty())
        throw Error(next.message);
    const documentnumbers::Reservation reservation = documentnumbers::reserve(connection, series, next.next);
    if (!reservation.reserved)
        throw Error(reservation.message);
    const QString replacement = documentnumbers::folio(series, next.next);
    const QString replacementName = documentnumbers::numberText(series, next.next);
    const QHash<QString, QVariant> values = {
        {QStringLiteral("Fc_Folio"), replacement},
        {QStringLiteral("Fc_Factura"), replacementName},
        {QStringLiteral("Fc_Numero"), next.next},
        {QStringLiteral("Fc_Fecha"), utilities.SqlDate(now.date())},
        {QStringLiteral("Fc_Sustituye"), folio},
        {QStringLiteral("Fc_Motivo_Cancelacion"), QString()},
        {QStringLiteral("Fc_Folio_Sustitucion"), QString()},
        {QStringLiteral("Es_Cve_Estado"), QStringLiteral("AC")},
        {QStringLiteral("Oper_Ult_Modif"), Platform::instance().userCode()},
        {QStringLiteral("Fecha_Ult_Modif"), utilities.SqlDateTime(now)},
    };
    copyHeader(connection, QStringLiteral("Factura"), folio, values);
    copyHeader(connection, QStringLiteral("Factura_Encabezado"), folio, values);
    copyRows(connection, QStringLiteral("Factura_Linea"), folio, replacement);
    copyRows(connection, QStringLiteral("Factura_Impuesto"), folio, replacement);
    const int moved = moveNotes(connection, folio, replacement, replacementName);
    logDocumentEvent(connection, kInvoiceTable, replacement, QStringLiteral("Creada"),
                     QStringLiteral("Sustituye a la factura %1 (motivo 01): %2 notas pasan a esta factura").arg(name).arg(moved));
    logDocumentEvent(connection, kInvoiceTable, folio, QStringLiteral("Sustitución creada"),
                     QStringLiteral("La sustituye la factura %1; sus %2 notas pasan a ella hasta que el SAT resuelva")
                         .arg(replacementName)
                         .arg(moved));
    transaction.commit();
    return replacement;
}

void GlobalReplacement::cancelInBooks(Connection &connection, const QString &replacement)
{
    TransactionGuard transaction(connection);
    InvoiceCanceller canceller(connection);
    // The canceller gives the notes back to the invoice the replacement was to replace.
    if (!canceller.CancelInvoice(replacement, 0))
        throw Error(canceller.LastError());
    transaction.commit();
}

std::optional<Decision> GlobalReplacement::prepare(const QString &folio, satcancellation::Record &record)
{
    Connection &connection = Platform::instance().connection();
    const QString name = invoiceName(connection, folio);
    QString replacement = replacementOf(connection, folio);
    // The old invoice's deadline may pass while its replacement waits (a PAC down, a run
    // killed), so it is checked each time before its cancellation is asked. Past it the old
    // CFDI stays valid at the SAT, and a replacement already made would bill its notes a
    // second time: it is withdrawn and the notes go back.
    if (const QString late = CancellationValidator::deadlineRefusal(name, record, invoiceDate(connection, folio));
        !late.isEmpty())
        return replacement.isEmpty() ? refuse(late) : withdrawWith(folio, late + u'.');
    if (replacement.isEmpty())
        replacement = make(connection, folio);
    const QString replacementName = invoiceName(connection, replacement);
    auto stamped = satcancellation::find(connection, kInvoiceTable, replacement);
    if (!stamped) {
        const QString outcome = DocumentSigner(m_pac).signInvoice(replacement);
        stamped = satcancellation::find(connection, kInvoiceTable, replacement);
        if (!stamped && findSealedDocument(connection, kInvoiceTable, replacement))
            return refuse(QStringLiteral("La factura %1, que sustituye a la %2, se envió al PAC y su timbre está pendiente "
                                         "(%3). La %2 sigue vigente y aún no se pide su cancelación. Vuelva a pulsar "
                                         "Eliminar en la %2 (o use zentaro replace) para terminar la sustitución.")
                              .arg(replacementName, name, outcome));
        if (!stamped) {
            // Refused before or by the PAC: no CFDI, so it goes and the notes go back.
            cancelInBooks(connection, replacement);
            return refuse(QStringLiteral("No se pudo timbrar la factura %1 que sustituiría a la %2: %3. La %1 se canceló y "
                                         "sus notas volvieron a la %2, que sigue vigente.")
                              .arg(replacementName, name, outcome));
        }
    }
    if (!satcancellation::recordRequest(connection, record, kReplaced, stamped->uuid, Utilities().ServerNow()))
        return refuse(QStringLiteral("Otro usuario está cancelando la factura %1 en este momento: su solicitud al SAT ya "
                                     "está en curso. Espere a que termine y vuelva a abrir la factura para ver cómo quedó.")
                          .arg(name));
    return std::nullopt;
}

Decision GlobalReplacement::withdraw(const QString &folio, const satcancellation::Record &record)
{
    const QString name = invoiceName(Platform::instance().connection(), folio);
    return withdrawWith(folio, QStringLiteral("El SAT rechazó la cancelación de la factura %1 con el motivo 01 (%2).")
                                   .arg(name, record.answer));
}

Decision GlobalReplacement::withdrawWith(const QString &folio, const QString &refusal)
{
    Connection &connection = Platform::instance().connection();
    const QString name = invoiceName(connection, folio);
    const QString replacement = replacementOf(connection, folio);
    const QString replacementName = invoiceName(connection, replacement);
    CancellationValidator validator([](const QString &, const QString &) { return CancellationMotive{kWithdrawn, {}}; },
                                    m_pac);
    const Decision theirs = validator.validate(QStringLiteral("1|") + replacement);
    if (!theirs.accepted)
        return refuse(refusal
                      + QStringLiteral(" Su sustituta %1 no pudo cancelarse (%2) y conserva sus notas; vuelva a pulsar "
                                       "Eliminar en la %3 para intentarlo de nuevo.")
                            .arg(replacementName, theirs.error, name));
    if (!theirs.message.isEmpty())
        return {true, {},
                refusal
                    + QStringLiteral(" Se pidió la cancelación de su sustituta %1: %2 Sus notas vuelven a la %3 cuando el "
                                     "SAT la cancele; vuelva a pulsar Eliminar en la %3.")
                          .arg(replacementName, theirs.message, name)};
    cancelInBooks(connection, replacement);
    return refuse(refusal
                  + QStringLiteral(" Se canceló su sustituta %1 y las notas volvieron a la %2, que sigue vigente.")
                        .arg(replacementName, name));
}

} // namespace zentaro
