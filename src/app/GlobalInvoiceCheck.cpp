#include "GlobalInvoiceCheck.h"

#include "CandidateGroups.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/components/invoicing/GlobalPeriodicity.h"
#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"

#include <QHash>

namespace zentaro::app {

namespace {

QString S(const char *column) { return QString::fromLatin1(column); }

QString branchPostalCode(Connection &connection, const QString &branch)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Sc_Codigo_Postal FROM Sucursal WHERE Sc_Cve_Sucursal = ?"),
                                     {branch});
    return rs.eof() ? QString() : rs.textAt(0).trimmed();
}

// The lines Accept writes for the notes: one per note whose list amount is positive, with
// the note's amounts (its global discount joins its discount) and its tax rows.
QList<InvoiceDocument::Line> linesOf(Connection &connection, const QStringList &notes)
{
    QVariantList values;
    const QString in = inList(QStringLiteral("v.Vn_Folio"), notes, values);
    QList<InvoiceDocument::Line> lines;
    QHash<QString, int> byNote;
    Recordset rs = connection.select(
        QStringLiteral("SELECT v.Vn_Folio, v.Vn_Fecha, v.Vn_Forma_Pago, v.Vn_Precio_Lista_Importe, v.Vn_Descuento_Importe, "
                       "v.Vn_Descuento_Global_Importe, v.Vn_Precio_Descontado_Importe, v.Vn_Impuesto_Importe, v.Vn_Precio_Neto_Importe "
                       "FROM Venta_Encabezado v WHERE 1 = 1") + in + QStringLiteral(" ORDER BY v.Vn_Folio"),
        values);
    for (; !rs.eof(); rs.moveNext()) {
        const Decimal list = rs.decimal(S("Vn_Precio_Lista_Importe"));
        if (!(list > Decimal()))
            continue;
        InvoiceDocument::Line line;
        line.id = QString::number(lines.size() + 1);
        line.noteFolio = rs.text(S("Vn_Folio"));
        line.noteDate = rs.date(S("Vn_Fecha"));
        line.paymentForm = rs.text(S("Vn_Forma_Pago"));
        line.list = list;
        const Decimal globalDiscount = rs.decimal(S("Vn_Descuento_Global_Importe"));
        line.discount = rs.decimal(S("Vn_Descuento_Importe")) + globalDiscount;
        line.discounted = rs.decimal(S("Vn_Precio_Descontado_Importe")) - globalDiscount;
        line.tax = rs.decimal(S("Vn_Impuesto_Importe"));
        line.net = rs.decimal(S("Vn_Precio_Neto_Importe"));
        line.noteNet = line.net;
        byNote.insert(line.noteFolio, int(lines.size()));
        lines.append(line);
    }
    QVariantList taxValues;
    const QString taxIn = inList(QStringLiteral("t.Vn_Folio"), notes, taxValues);
    Recordset taxes = connection.select(
        QStringLiteral("SELECT t.Vn_Folio, t.Vt_SubTotal_Importe, t.Vt_Impuesto_Importe, i.Im_Cve_Impuesto, "
                       "i.Im_Impuesto_SAT, i.Im_Tipo_Factor, i.Im_Tasa FROM Venta_Total_Impuesto t "
                       "INNER JOIN Impuesto i ON i.Im_Cve_Impuesto = t.Vt_Impuesto WHERE 1 = 1")
            + taxIn + QStringLiteral(" ORDER BY t.Vn_Folio, t.Vt_ID"),
        taxValues);
    for (; !taxes.eof(); taxes.moveNext()) {
        const auto line = byNote.constFind(taxes.text(S("Vn_Folio")));
        if (line == byNote.cend())
            continue;
        InvoiceDocument::Tax tax;
        tax.key = taxes.text(S("Im_Cve_Impuesto"));
        tax.impuestoSat = taxes.text(S("Im_Impuesto_SAT"));
        tax.tipoFactor = taxes.text(S("Im_Tipo_Factor"));
        tax.rate = taxes.decimal(S("Im_Tasa"));
        tax.base = taxes.decimal(S("Vt_SubTotal_Importe"));
        tax.amount = taxes.decimal(S("Vt_Impuesto_Importe"));
        lines[*line].taxes.append(tax);
    }
    return lines;
}

} // namespace

QString checkGlobalInvoice(Connection &connection, const QStringList &notes, const QString &branch,
                           const QString &currency, const QDate &invoiceDate, const QDateTime &fecha)
{
    try {
        InvoiceDocument invoice;
        invoice.folio = QStringLiteral("nueva de la sucursal %1").arg(branch);
        invoice.series = QStringLiteral("FG");
        invoice.number = 1;
        invoice.date = invoiceDate;
        invoice.branch = branch;
        invoice.branchPostalCode = branchPostalCode(connection, branch);
        invoice.currency = currency;
        invoice.exchangeRate = Decimal::fromVariant(1);
        invoice.customer.rfc = QString::fromUtf16(cfdi::kPublicoEnGeneralRfc);
        invoice.issuer = InvoiceDocument::loadIssuer(connection);
        invoice.periodicity = configuredPeriodicity(connection, branch);
        invoice.lines = linesOf(connection, notes);
        Decimal total;
        for (const InvoiceDocument::Line &line : invoice.lines)
            total = total + line.net;
        invoice.storedNet = total;
        if (invoice.branchPostalCode.isEmpty())
            return QStringLiteral("La sucursal %1 no tiene código postal; es el lugar de expedición del comprobante").arg(branch);
        if (invoice.lines.isEmpty())
            return QStringLiteral("Ninguna de las %1 notas tiene importe que facturar").arg(notes.size());
        const cfdi::Comprobante comprobante = invoice.toComprobante(fecha);
        return invoice.totalMismatch(comprobante);
    } catch (const Error &error) {
        return error.description();
    }
}

} // namespace zentaro::app
