// Building the global invoice from the selected notes: one line per note with an amount,
// the notes' taxes copied under each line, the notes marked invoiced and the invoice
// marked as not on credit. Runs inside the transaction Accept opened; it never commits.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/components/invoicing/NoteBilling.h"
#include "platform/core/Error.h"
#include "platform/db/PostgresPipeline.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/Publico.h"
#include "qx417/screen/WorkProgress.h"
#include "qx417/services/Components.h"

namespace qx417 {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kTitle = QStringLiteral("Facturar_Venta() - ");

void notesQuery(QString &sql, const QString &notes)
{
    sql.clear();
    sql += QStringLiteral("SELECT ");
    sql += QStringLiteral("   Venta_Encabezado.Vn_Folio, ");
    sql += QStringLiteral("   Venta_Encabezado.Vn_Fecha, ");
    sql += QStringLiteral("   Venta_Encabezado.Vn_Referencia, ");
    sql += QStringLiteral("   Venta_Encabezado.Vn_Credito, ");
    sql += QStringLiteral("   Venta_Encabezado.Vn_Tabla, ");
    sql += QStringLiteral("   Venta_Encabezado.Vn_Documento, ");
    sql += QStringLiteral("   (Venta_Encabezado.Vn_Precio_Lista_Importe) as Lista_Importe,");
    sql += QStringLiteral("   (Venta_Encabezado.Vn_Precio_Neto_Importe) as Neto_Importe,");
    sql += QStringLiteral("   (Venta_Encabezado.Vn_Precio_Descontado_Importe) as Descontado_Importe,");
    sql += QStringLiteral("   (Venta_Encabezado.Vn_Impuesto_Importe) As Impuesto_Importe, ");
    sql += QStringLiteral("   (Venta_Encabezado.Vn_Descuento_Importe) As Descuento_Importe, ");
    sql += QStringLiteral("   (Venta_Encabezado.Vn_Descuento_Global_Importe) AS Descuento_Global_Importe ");
    sql += QStringLiteral("FROM Venta_Encabezado ");
    sql += QStringLiteral("   INNER JOIN Cliente ON Venta_Encabezado.Cl_Cve_Cliente = Cliente.Cl_Cve_Cliente ");
    sql += QStringLiteral("   INNER JOIN Vendedor ON Vendedor.Vn_Cve_Vendedor = Venta_Encabezado.Vn_Cve_Vendedor  ");
    sql += QStringLiteral("WHERE ");
    sql += QStringLiteral("   Vn_Folio in (");
    sql += notes;
    sql += QStringLiteral(")");
}

void taxQuery(QString &sql, const QString &note)
{
    sql.clear();
    sql += QStringLiteral("SELECT Vt_Impuesto, ");
    sql += QStringLiteral("   Vt_SubTotal_Importe, ");
    sql += QStringLiteral("   Vt_Impuesto_Importe, ");
    sql += QStringLiteral("   Impuesto.Im_Cve_Impuesto, ");
    sql += QStringLiteral("   Impuesto.Im_Cuenta_Contable ");
    sql += QStringLiteral("FROM Venta_Total_Impuesto ");
    sql += QStringLiteral("   INNER JOIN Impuesto ON Impuesto.Im_Cve_Impuesto = Venta_Total_Impuesto.Vt_Impuesto ");
    sql += QStringLiteral("WHERE ");
    sql += QStringLiteral("   Venta_Total_Impuesto.Vn_Folio = ");
    sql += zentaro::sql::quoted(note);
    sql += QStringLiteral(" ");
    sql += QStringLiteral("ORDER BY Vt_ID ");
}

// A tax amount of a note as the numeric literal of the tax row; an empty or non-numeric
// one is refused naming the note and the tax instead of breaking the statement.
QString taxAmount(const zentaro::Recordset &taxes, const QString &column, const QString &note)
{
    return zentaro::sql::number(taxes.field(column), QStringLiteral("El importe %1 del impuesto %2 de la nota %3")
                                                          .arg(column, taxes.text(QStringLiteral("Vt_Impuesto")), note));
}

void markNotes(QString &sql, const QString &table, const QString &folio, const QString &number, const QString &user,
               const QString &date, const QString &notes)
{
    sql.clear();
    sql += QStringLiteral("UPDATE %1 SET ").arg(table);
    sql += QStringLiteral("     Fc_Folio = ") + zentaro::sql::quoted(folio) + QStringLiteral(", ");
    sql += QStringLiteral("     Fc_Factura = ") + zentaro::sql::quoted(number) + QStringLiteral(", ");
    sql += QStringLiteral("     Es_Cve_Estado = 'FA', ");
    sql += QStringLiteral("     Oper_Ult_Modif = ") + zentaro::sql::quoted(user) + QStringLiteral(", ");
    sql += QStringLiteral("     Fecha_Ult_Modif = ") + zentaro::sql::quoted(date) + QStringLiteral(" ");
    sql += QStringLiteral("WHERE Vn_Folio IN(") + notes + QStringLiteral(")");
}

void markInvoice(QString &sql, const QString &table, const QString &condition, const QString &folio)
{
    sql.clear();
    sql += QStringLiteral("UPDATE %1 SET ").arg(table);
    sql += QStringLiteral("   Fc_Credito = 'NO', ");
    sql += QStringLiteral("   Fc_Condicion_Venta = ") + zentaro::sql::quoted(condition) + QStringLiteral(" ");
    sql += QStringLiteral("WHERE Fc_Folio = ") + zentaro::sql::quoted(folio);
}

// The note's amount as stored, exact; Accept has refused the notes whose amounts are empty
// or not numbers, so one here is a note changed since, and it stops the invoice.
zentaro::Decimal amount(const zentaro::Recordset &rs, const QString &column)
{
    const zentaro::MoneyField field = zentaro::MoneyField::read(rs.field(column));
    if (!field.ok())
        throw zentaro::Error(QStringLiteral("La nota %1 tiene %2 %3")
                                 .arg(rs.text(QStringLiteral("Vn_Folio")), column, field.described()));
    return *field.value;
}

// The amounts of one note, read before any line is written so that, on PostgreSQL, the
// reads of every note can be sent ahead of the writes.
struct NoteRow
{
    QString folio;
    zentaro::Decimal list, globalDiscount, discount, discounted, tax, net;
};

std::vector<NoteRow> noteRows(zentaro::Recordset &notes)
{
    std::vector<NoteRow> rows;
    for (; !notes.eof(); notes.moveNext()) {
        NoteRow row;
        row.folio = notes.text(QStringLiteral("Vn_Folio"));
        row.list = amount(notes, QStringLiteral("Lista_Importe"));
        row.globalDiscount = amount(notes, QStringLiteral("Descuento_Global_Importe"));
        row.discount = amount(notes, QStringLiteral("Descuento_Importe")) + row.globalDiscount;
        row.discounted = amount(notes, QStringLiteral("Descontado_Importe")) - row.globalDiscount;
        row.tax = amount(notes, QStringLiteral("Impuesto_Importe"));
        row.net = amount(notes, QStringLiteral("Neto_Importe"));
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

QString frmQX417::Facturar_Venta(const QString &notas, const QString &devoluciones, const QString &serie, qint32 numero)
{
    Q_UNUSED(devoluciones);   // returns stay with the notes they came from
    // On PostgreSQL the lines' statements travel in one pipeline instead of waiting for each
    // answer; a statement the server refused is reported before anything that came after it.
    std::optional<zentaro::PipelineScope> pipeline;
    const auto firstFailure = [&](const zentaro::Error &error) {
        if (pipeline) {
            try {
                pipeline->finish();
            } catch (const zentaro::Error &earlier) {
                return earlier.description();
            }
        }
        return error.description();
    };
    try {
        Publico &p = publico();
        zentaro::Connection &db = p.Environment->Connection();
        notesQuery(p.Sql, notas);
        zentaro::Recordset notes = db.execute(p.Sql);
        if (notes.eof())
            return {};

        std::unique_ptr<zentaro::InvoiceBuilderInterface> builder = components().invoiceBuilder();
        builder->Initialize();
        ErrorText.clear();
        db.setCommandTimeout(1200);

        const QString conditionType =
            p.Utilities->LookupField(QStringLiteral("Condicion_Venta"), QStringLiteral("Cv_Cve_Condicion_Venta"),
                                     txtCondicionVenta->text(), QStringLiteral("Cv_Tipo_Condicion"), 0, QString(),
                                     QString(), QString());
        zentaro::InvoiceHeader header;
        header.date = dpFecha->value();
        header.origin = QStringLiteral("VENTA");
        header.originDocument = QString();
        header.reference = txt_Referencia->text();
        header.comment = txt_Comentario->value().toString();
        header.creditCondition = conditionType == QLatin1String("02");
        header.termsDate = dpFecha->value();
        header.currency = txt_Mn_Cve_Moneda->text();
        header.exchangeRate = zentaro::Decimal::fromVariant(txt_Fc_Tipo_Cambio->value());
        header.documentNumber = txt_Fc_Factura->documentNumber();
        header.series = serie;
        header.number = numero;
        header.branch = txt_Sc_Cve_Sucursal->value().toString();
        header.warehouse = txt_Al_Cve_Almancen->text();
        header.customer = txt_Cl_Cve_Cliente->value().toString();
        header.salesperson = txt_Vn_Cve_Vendedor->value().toString();
        builder->SetHeader(header);
        builder->SetOption(true);

        const std::vector<NoteRow> rows = noteRows(notes);
        pipeline.emplace(db);
        if (pipeline->active()) {
            // The notes' reads touch tables Accept does not write: they go first, in note order.
            QString sql;
            for (const NoteRow &row : rows) {
                if (!(row.list > zentaro::Decimal()))
                    continue;
                p.Utilities->PrefetchLookup(QStringLiteral("Producto"), QStringLiteral("Pr_Cve_Producto"), GlobalProductKey,
                                            QStringLiteral("Pr_Unidad_Venta"), QString(), QString(), QStringLiteral("BA"));
                taxQuery(sql, row.folio);
                db.prefetch(sql);
            }
        }

        const auto failed = [&](const QString &message) {
            // A write refused earlier in the pipeline came first.
            pipeline->finish();
            ErrorText = message;
            return QString();
        };
        const auto builderFailed = [&] { return failed(kTitle + kCrLf + builder->LastError()); };

        int lines = 0;
        for (const NoteRow &row : rows) {
            const QString &note = row.folio;
            const zentaro::Decimal &list = row.list, &discount = row.discount, &discounted = row.discounted,
                                   &tax = row.tax, &net = row.net;
            if (!(list > zentaro::Decimal())) {
                // A note with nothing to bill is marked without a line; one that carries money
                // without a list amount would vanish from the invoice, and Accept refuses it
                // before it gets here.
                if (tax.isZero() && net.isZero())
                    continue;
                return failed(kTitle + kCrLf
                              + QStringLiteral("La nota %1 tiene un importe de lista de %2 y un total de %3; no se puede "
                                               "facturar sin perder su importe")
                                    .arg(note, list.toFixed(2), net.toFixed(2)));
            }

            const QString productBefore = GlobalProductKey;
            const QString unit = p.Utilities->LookupField(QStringLiteral("Producto"), QStringLiteral("Pr_Cve_Producto"),
                                                          GlobalProductKey, QStringLiteral("Pr_Unidad_Venta"), 0,
                                                          QString(), QString(), QStringLiteral("BA"));
            if (GlobalProductKey.isEmpty())
                return failed(QStringLiteral("Facturar_Venta() - La variable: FAC_FACTURA_GLOBAL_PRODUCTO no está "
                                             "configurada correctamente, verifique su configuración y vuelva a intenarloO"));
            if (productBefore.isEmpty())
                return failed(QStringLiteral("Facturar_Venta() - El concepto capturado en la variable "
                                             "FAC_FACTURA_GLOBAL_PRODUCTO no existe o está de baja, verifique su "
                                             "configuración y vuelva a intentarlo"));
            if (unit.isEmpty())
                return failed(QStringLiteral("Facturar_Venta() - La unidad de venta del producto caturado en la variable "
                                             "FAC_FACTURA_GLOBAL_PRODUCTO, no existe o está de baja, verifique su "
                                             "configuración y vuelva a intentarlo"));

            zentaro::InvoiceLine line;
            line.product = productBefore;
            line.sourceFolio = note;
            line.movementCode = QStringLiteral("00");
            line.priceListCode = QStringLiteral("00");
            line.quantity = zentaro::Decimal::fromInt(1);
            line.unit = unit;
            line.baseQuantity = zentaro::Decimal::fromInt(1);
            line.baseUnit = unit;
            line.listAmount = list;
            line.sourceListAmount = list;
            line.discount = discount;
            line.discountedAmount = discounted;
            line.sourceDiscountedAmount = discounted;
            line.tax = tax;
            line.netAmount = net;
            line.sourceNetAmount = net;
            builder->AddLine(line);
            if (!builder->SaveLine())
                return builderFailed();

            taxQuery(p.Sql, note);
            zentaro::Recordset taxes = db.execute(p.Sql);
            qint16 counter = 0;
            p.Sql.clear();
            p.Sql += QStringLiteral("DELETE FROM Factura_Impuesto WHERE Fc_Folio = ")
                + zentaro::sql::quoted(builder->GetHeader().folio) + QStringLiteral(" AND Fc_Id = ")
                + zentaro::sql::quoted(builder->GetLine().id) + QStringLiteral(" ");
            db.execute(p.Sql);
            for (; !taxes.eof(); taxes.moveNext()) {
                ++counter;
                p.Sql.clear();
                p.Sql += QStringLiteral("INSERT INTO Factura_Impuesto( ");
                p.Sql += QStringLiteral("Fc_Folio, ");
                p.Sql += QStringLiteral("Fc_ID, ");
                p.Sql += QStringLiteral("Fi_ID, ");
                p.Sql += QStringLiteral("Im_Importe, ");
                p.Sql += QStringLiteral("Im_Cuenta_Contable, ");
                p.Sql += QStringLiteral("Im_Cve_Impuesto, ");
                p.Sql += QStringLiteral("Fi_Base ");
                p.Sql += QStringLiteral(")VALUES(");
                p.Sql += zentaro::sql::quoted(builder->GetHeader().folio) + QStringLiteral(", ");
                p.Sql += zentaro::sql::quoted(builder->GetLine().id) + QStringLiteral(", ");
                p.Sql += zentaro::sql::quoted(QStringLiteral("%1").arg(counter, 4, 10, QLatin1Char('0')))
                         + QStringLiteral(", ");
                p.Sql += taxAmount(taxes, QStringLiteral("Vt_Impuesto_Importe"), note) + QStringLiteral(",");
                p.Sql += zentaro::sql::quoted(taxes.text(QStringLiteral("Im_Cuenta_Contable"))) + QStringLiteral(", ");
                p.Sql += zentaro::sql::quoted(taxes.text(QStringLiteral("Im_Cve_Impuesto"))) + QStringLiteral(", ");
                p.Sql += taxAmount(taxes, QStringLiteral("Vt_SubTotal_Importe"), note) + QStringLiteral(") ");
                db.execute(p.Sql);
            }
            if (m_invoicingProgress)
                m_invoicingProgress->step(++lines);
        }

        const QString folio = builder->GetHeader().folio;
        const QString number = builder->GetHeader().documentNumber;
        for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")}) {
            const QString user = p.Environment->UserCode();
            const QString date = p.Utilities->SqlDateTime(p.Utilities->ServerNow());
            markNotes(p.Sql, table, folio, number, user, date, notas);
            db.execute(p.Sql);
        }

        if (!builder->Complete(builder->GetHeader().folio))
            return builderFailed();
        if (!builder->Finalize(folio, false))
            return builderFailed();

        for (const QString &table : {QStringLiteral("Factura"), QStringLiteral("Factura_Encabezado")}) {
            markInvoice(p.Sql, table, txtCondicionVenta->text(), folio);
            db.execute(p.Sql);
        }
        pipeline->finish();
        return folio;
    } catch (const zentaro::Error &error) {
        ErrorText = kTitle + kCrLf + firstFailure(error);
        return {};
    }
}

} // namespace qx417
