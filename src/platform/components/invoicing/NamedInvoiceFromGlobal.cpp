#include "platform/components/invoicing/NamedInvoiceFromGlobal.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/invoicing/InvoiceBuilder.h"
#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/DocumentNumbers.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QHash>

namespace zentaro::namedinvoice {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");

// How many times the series number is taken again when another clerk took it first.
constexpr int kNumberAttempts = 3;

struct NoteLine
{
    int id = 0;
    QString product;
    QString unit;
    Decimal quantity, list, discount, discounted, tax, net;
    QString claveProdServ;    // "" when the product is unknown or has none
    QString claveUnidad;
    bool productActive = false;
    struct Tax
    {
        QString key;
        QString account;
        Decimal base, amount;
    };
    QList<Tax> taxes;
};

struct Note
{
    QString folio;
    QString state;
    QString invoice;     // Fc_Folio
    QString branch, warehouse, salesperson, currency, condition;
    Decimal tax, net;
    QList<NoteLine> lines;
};

std::optional<Note> readNote(Connection &connection, const QString &folio)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Es_Cve_Estado, Fc_Folio, Sc_Cve_Sucursal, Al_Cve_Almacen, Vn_Cve_Vendedor, Mn_Cve_Moneda, "
                       "Vn_Condicion_Venta, Vn_Impuesto_Importe, Vn_Precio_Neto_Importe FROM Venta_Encabezado WHERE Vn_Folio = ?"),
        {folio});
    if (rs.eof())
        return std::nullopt;
    Note note;
    note.folio = folio;
    note.state = rs.textAt(0).trimmed().toUpper();
    note.invoice = rs.textAt(1);
    note.branch = rs.textAt(2);
    note.warehouse = rs.textAt(3);
    note.salesperson = rs.textAt(4);
    note.currency = rs.textAt(5);
    note.condition = rs.textAt(6);
    note.tax = rs.decimal(QStringLiteral("Vn_Impuesto_Importe"));
    note.net = rs.decimal(QStringLiteral("Vn_Precio_Neto_Importe"));
    rs.close();

    Recordset lines = connection.select(
        QStringLiteral("SELECT l.Vl_ID, l.Pr_Cve_Producto, l.Un_Cve_Unidad, l.Vl_Cantidad, l.Vl_Precio_Lista_Importe, "
                       "l.Vl_Descuento_Importe, l.Vl_Precio_Descontado_Importe, l.Vl_Impuesto_Importe, "
                       "l.Vl_Precio_Neto_Importe, p.Pr_Clave_Prod_Serv, p.Es_Cve_Estado AS producto, u.Un_Clave_SAT "
                       "FROM Venta_Linea l LEFT JOIN Producto p ON p.Pr_Cve_Producto = l.Pr_Cve_Producto "
                       "LEFT JOIN Unidad u ON u.Un_Cve_Unidad = l.Un_Cve_Unidad WHERE l.Vn_Folio = ? ORDER BY l.Vl_ID"),
        {folio});
    for (; !lines.eof(); lines.moveNext()) {
        NoteLine line;
        line.id = lines.value(0).toInt();
        line.product = lines.textAt(1);
        line.unit = lines.textAt(2);
        line.quantity = lines.decimal(QStringLiteral("Vl_Cantidad"));
        line.list = lines.decimal(QStringLiteral("Vl_Precio_Lista_Importe"));
        line.discount = lines.decimal(QStringLiteral("Vl_Descuento_Importe"));
        line.discounted = lines.decimal(QStringLiteral("Vl_Precio_Descontado_Importe"));
        line.tax = lines.decimal(QStringLiteral("Vl_Impuesto_Importe"));
        line.net = lines.decimal(QStringLiteral("Vl_Precio_Neto_Importe"));
        line.claveProdServ = lines.text(QStringLiteral("Pr_Clave_Prod_Serv")).trimmed();
        line.productActive = !lines.text(QStringLiteral("producto")).isEmpty()
                             && lines.text(QStringLiteral("producto")).trimmed().toUpper() != QLatin1String("BA");
        line.claveUnidad = lines.text(QStringLiteral("Un_Clave_SAT")).trimmed();
        note.lines.append(line);
    }
    lines.close();

    QHash<int, QList<NoteLine::Tax>> taxes;
    Recordset rows = connection.select(
        QStringLiteral("SELECT i.Vl_ID, i.Im_Cve_Impuesto, t.Im_Cuenta_Contable, i.Vi_Base, i.Vi_Importe "
                       "FROM Venta_Linea_Impuesto i LEFT JOIN Impuesto t ON t.Im_Cve_Impuesto = i.Im_Cve_Impuesto "
                       "WHERE i.Vn_Folio = ? ORDER BY i.Vl_ID, i.Vi_ID"),
        {folio});
    for (; !rows.eof(); rows.moveNext())
        taxes[rows.value(0).toInt()].append({rows.textAt(1), rows.textAt(2), rows.decimal(QStringLiteral("Vi_Base")),
                                             rows.decimal(QStringLiteral("Vi_Importe"))});
    for (NoteLine &line : note.lines)
        line.taxes = taxes.value(line.id);
    return note;
}

void logOnGlobal(Connection &connection, const Request &request, const QString &action, const QString &detail)
{
    if (!request.global.isEmpty())
        logDocumentEvent(connection, kInvoiceTable, request.global, action, detail);
}

} // namespace

std::optional<Request> find(Connection &connection, const QString &note)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Cl_Cve_Cliente, Fn_Factura_Global, Fn_UUID_Global, Fn_Factura "
                                                    "FROM Factura_Nominativa WHERE Vn_Folio = ?"),
                                     {note});
    if (rs.eof())
        return std::nullopt;
    return Request {note, rs.textAt(0), rs.textAt(1), rs.textAt(2), rs.textAt(3)};
}

void record(Connection &connection, const Request &request)
{
    Utilities utilities;
    TransactionGuard transaction(connection);
    connection.run(QStringLiteral("DELETE FROM Factura_Nominativa WHERE Vn_Folio = ?"), {request.note});
    connection.run(QStringLiteral("INSERT INTO Factura_Nominativa (Vn_Folio, Cl_Cve_Cliente, Fn_Factura_Global, Fn_UUID_Global, "
                                  "Fn_Factura, Fn_Fecha_Solicitud, Oper_Ult_Modif) VALUES (?, ?, ?, ?, '', ?, ?)"),
                   {request.note, request.customer, request.global, request.globalUuid,
                    utilities.SqlDateTime(utilities.ServerNow()), Platform::instance().userCode()});
    logOnGlobal(connection, request, QStringLiteral("Nominativa solicitada"),
                QStringLiteral("La nota %1 se factura a nombre del cliente %2: la global se cancela con motivo 04, se "
                               "emite otra sin la nota que relaciona el folio fiscal %3, y después la factura nominativa")
                    .arg(request.note, request.customer, request.globalUuid));
    transaction.commit();
}

QString problems(Connection &connection, const QString &noteFolio, const QString &customer)
{
    Recordset who = connection.select(QStringLiteral("SELECT Cl_R_F_C, Cl_Regimen_Fiscal, Cl_Codigo_Postal, Cl_Uso_CFDI, "
                                                     "Es_Cve_Estado FROM Cliente WHERE Cl_Cve_Cliente = ?"),
                                      {customer});
    if (who.eof())
        return QStringLiteral("El cliente %1 no existe").arg(customer);
    const QString rfc = who.textAt(0).trimmed().toUpper();
    if (who.textAt(4).trimmed().toUpper() == QLatin1String("BA"))
        return QStringLiteral("El cliente %1 está dado de baja").arg(customer);
    if (cfdi::isGenericRfc(rfc) || (rfc.size() != 12 && rfc.size() != 13))
        return QStringLiteral("El cliente %1 no tiene el RFC de un contribuyente (%2): una factura nominativa se emite a "
                              "nombre de quien la pide")
            .arg(customer, rfc);
    const QStringList missing = [&] {
        QStringList names;
        if (who.textAt(1).trimmed().isEmpty())
            names << QStringLiteral("régimen fiscal");
        if (who.textAt(2).trimmed().size() != 5)
            names << QStringLiteral("código postal");
        if (who.textAt(3).trimmed().isEmpty())
            names << QStringLiteral("uso del CFDI");
        return names;
    }();
    who.close();
    if (!missing.isEmpty())
        return QStringLiteral("Al cliente %1 le falta %2: el SAT los pide en la factura nominativa")
            .arg(customer, missing.join(QStringLiteral(", ")));

    const std::optional<Note> note = readNote(connection, noteFolio);
    if (!note)
        return QStringLiteral("La nota %1 no existe").arg(noteFolio);
    if (note->state == QLatin1String("CA"))
        return QStringLiteral("La nota %1 está cancelada y no puede facturarse").arg(noteFolio);
    if (note->lines.isEmpty())
        return QStringLiteral("La nota %1 no tiene registrados sus productos (Venta_Linea): la factura nominativa lleva "
                              "un concepto por producto")
            .arg(noteFolio);
    Decimal net, tax;
    for (const NoteLine &line : note->lines) {
        if (!line.productActive)
            return QStringLiteral("El producto %1 de la nota %2 no existe o está de baja").arg(line.product, noteFolio);
        if (line.claveProdServ.isEmpty())
            return QStringLiteral("El producto %1 no tiene su clave de producto o servicio del SAT (Pr_Clave_Prod_Serv)")
                .arg(line.product);
        if (line.claveUnidad.isEmpty())
            return QStringLiteral("La unidad %1 del producto %2 no tiene su clave de unidad del SAT (Un_Clave_SAT)")
                .arg(line.unit, line.product);
        if (!(line.quantity > Decimal()))
            return QStringLiteral("La línea %1 de la nota %2 no tiene cantidad").arg(line.id).arg(noteFolio);
        for (const NoteLine::Tax &t : line.taxes)
            if (t.account.isEmpty() && !t.key.isEmpty()
                && connection.select(QStringLiteral("SELECT 1 FROM Impuesto WHERE Im_Cve_Impuesto = ?"), {t.key}).eof())
                return QStringLiteral("El impuesto %1 de la nota %2 no está en el catálogo de impuestos").arg(t.key, noteFolio);
        net += line.net;
        tax += line.tax;
    }
    if (net.toFixed(2) != note->net.toFixed(2) || tax.toFixed(2) != note->tax.toFixed(2))
        return QStringLiteral("Las líneas de la nota %1 suman %2 con %3 de impuestos y la nota registra %4 con %5: "
                              "corrija la nota antes de facturarla")
            .arg(noteFolio, net.toFixed(2), tax.toFixed(2), note->net.toFixed(2), note->tax.toFixed(2));
    return {};
}

void holdRequestedNotes(Connection &connection, const QString &globalFolio)
{
    for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")})
        connection.run(QStringLiteral("UPDATE %1 SET Fc_Folio = '', Fc_Factura = '', Vn_Factura_Cancelada = '' "
                                      "WHERE Fc_Folio = ? AND Vn_Folio IN (SELECT Vn_Folio FROM Factura_Nominativa "
                                      "WHERE Fn_Factura_Global = ? AND Fn_Factura = '')")
                           .arg(table),
                       {globalFolio, globalFolio});
}

QString build(Connection &connection, const Request &request, const QDate &date)
{
    if (const QString problem = problems(connection, request.note, request.customer); !problem.isEmpty())
        throw Error(problem);
    const Note note = *readNote(connection, request.note);
    if (!note.invoice.isEmpty())
        throw Error(QStringLiteral("La nota %1 ya está facturada en la factura %2").arg(note.folio, note.invoice));

    Utilities utilities;
    InvoiceHeader header;
    header.date = date;
    header.origin = QStringLiteral("VENTA");
    header.originDocument = note.folio;
    header.comment = QStringLiteral("Nota %1").arg(note.folio);
    // The ticket was paid when it was sold: the named invoice is paid in one exhibition.
    header.creditCondition = false;
    header.termsDate = date;
    header.currency = note.currency;
    header.exchangeRate = Decimal::fromDouble(utilities.GetExchangeRate(note.currency, date));
    if (!(header.exchangeRate > Decimal()))
        throw Error(utilities.LastError().isEmpty()
                        ? QStringLiteral("No hay tipo de cambio de la moneda %1 al %2").arg(note.currency, date.toString(Qt::ISODate))
                        : utilities.LastError());
    header.branch = note.branch;
    header.warehouse = note.warehouse;
    header.customer = request.customer;
    header.salesperson = note.salesperson;

    documentnumbers::SeriesNumber series = documentnumbers::defaultSeries(connection, note.branch);
    if (!series.message.isEmpty())
        throw Error(series.message);
    for (int attempt = 1;; ++attempt) {
        const auto reservation = documentnumbers::reserve(connection, series.series, series.next);
        if (reservation.reserved)
            break;
        if (attempt == kNumberAttempts || reservation.next <= 0)
            throw Error(reservation.message);
        series.next = reservation.next;
    }
    header.series = series.series;
    header.number = series.next;

    InvoiceBuilder builder(connection);
    builder.Initialize();
    builder.SetHeader(header);
    builder.SetOption(false);   // several lines come from the one note
    for (const NoteLine &noteLine : note.lines) {
        InvoiceLine line;
        line.product = noteLine.product;
        line.sourceFolio = note.folio;
        line.quantity = noteLine.quantity;
        line.unit = noteLine.unit;
        line.baseQuantity = line.quantity;
        line.baseUnit = noteLine.unit;
        line.listAmount = line.sourceListAmount = noteLine.list;
        line.discount = noteLine.discount;
        line.discountedAmount = line.sourceDiscountedAmount = noteLine.discounted;
        line.tax = noteLine.tax;
        line.netAmount = line.sourceNetAmount = noteLine.net;
        builder.AddLine(line);
        if (!builder.SaveLine())
            throw Error(builder.LastError());
        int taxId = 0;
        for (const NoteLine::Tax &tax : noteLine.taxes)
            connection.run(QStringLiteral("INSERT INTO Factura_Impuesto (Fc_Folio, Fc_ID, Fi_ID, Im_Cve_Impuesto, "
                                          "Im_Cuenta_Contable, Fi_Base, Im_Importe) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                           {builder.GetHeader().folio, builder.GetLine().id, QStringLiteral("%1").arg(++taxId, 4, 10, QLatin1Char('0')),
                            tax.key, tax.account, tax.base.toString(), tax.amount.toString()});
    }
    const QString folio = builder.GetHeader().folio;
    const QString number = builder.GetHeader().documentNumber;
    const QString now = utilities.SqlDateTime(utilities.ServerNow());
    for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")}) {
        // Only a note no invoice holds: one a clerk billed meanwhile is refused here.
        if (connection.run(QStringLiteral("UPDATE %1 SET Fc_Folio = ?, Fc_Factura = ?, Es_Cve_Estado = 'FA', "
                                          "Oper_Ult_Modif = ?, Fecha_Ult_Modif = ? WHERE Vn_Folio = ? AND Fc_Folio = ''")
                               .arg(table),
                           {folio, number, Platform::instance().userCode(), now, note.folio})
            != 1)
            throw Error(QStringLiteral("Otro usuario facturó la nota %1 mientras se hacía su factura nominativa").arg(note.folio));
    }
    if (!builder.Complete(folio) || !builder.Finalize(folio, false))
        throw Error(builder.LastError());
    for (const QString &table : {QStringLiteral("Factura"), QStringLiteral("Factura_Encabezado")})
        connection.run(QStringLiteral("UPDATE %1 SET Fc_Condicion_Venta = ? WHERE Fc_Folio = ?").arg(table),
                       {note.condition, folio});
    connection.run(QStringLiteral("UPDATE Factura_Nominativa SET Fn_Factura = ? WHERE Vn_Folio = ?"), {folio, note.folio});
    logDocumentEvent(connection, kInvoiceTable, folio, QStringLiteral("Nominativa"),
                     request.global.isEmpty()
                         ? QStringLiteral("Factura nominativa de la nota %1").arg(note.folio)
                         : QStringLiteral("Factura nominativa de la nota %1, que facturaba la global %2 (folio fiscal %3, "
                                          "cancelado con motivo 04)")
                               .arg(note.folio, request.global, request.globalUuid));
    logOnGlobal(connection, request, QStringLiteral("Nominativa emitida"),
                QStringLiteral("La nota %1 quedó en la factura nominativa %2").arg(note.folio, folio));
    return folio;
}

} // namespace zentaro::namedinvoice
