#include "platform/components/invoicing/InvoiceDocument.h"

#include "platform/cfdi/AmountText.h"
#include "platform/cfdi/ComprobanteTotals.h"
#include "platform/cfdi/GlobalInvoice.h"
#include "platform/cfdi/PlaceOfIssue.h"
#include "platform/components/cancellation/FreedNotes.h"
#include "platform/components/invoicing/GlobalReplacement.h"
#include "platform/components/invoicing/GlobalPeriodicity.h"
#include "platform/components/invoicing/NoteBilling.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"

#include <QHash>

#include <algorithm>

namespace zentaro {

namespace {

QString S(const char *column) { return QString::fromLatin1(column); }

// Line and tax identifiers are numbers written as text ("1", "10", "0001"): sorted as
// text, line 10 would print before line 2.
bool identifierLess(const QString &a, const QString &b)
{
    bool okA = false;
    bool okB = false;
    const qlonglong na = a.toLongLong(&okA);
    const qlonglong nb = b.toLongLong(&okB);
    if (okA && okB)
        return na < nb;
    if (okA != okB)
        return okA;
    return a < b;
}

void readHeader(Connection &connection, InvoiceDocument &doc)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT f.Fc_Folio, f.Fc_Serie, f.Fc_Factura, f.Fc_Numero, f.Fc_Fecha, f.Es_Cve_Estado, "
                       "f.Sc_Cve_Sucursal, f.Cl_Cve_Cliente, f.Mn_Cve_Moneda, f.Fc_Tipo_Cambio, f.Fc_Comentario, "
                       "f.Fc_Precio_Neto_Importe, f.Fc_Credito, f.Fc_Periodicidad, s.Sc_Descripcion, s.Sc_Codigo_Postal, c.Cl_Cve_Cliente AS cliente, "
                       "c.Cl_R_F_C, c.Cl_Razon_Social_1, c.Cl_Regimen_Fiscal, c.Cl_Codigo_Postal, c.Cl_Uso_CFDI, "
                       "c.Cl_Direccion_1 "
                       "FROM Factura f "
                       "LEFT JOIN Sucursal s ON s.Sc_Cve_Sucursal = f.Sc_Cve_Sucursal "
                       "LEFT JOIN Cliente c ON c.Cl_Cve_Cliente = f.Cl_Cve_Cliente "
                       "WHERE f.Fc_Folio = ?"),
        {doc.folio});
    if (rs.eof())
        throw Error(QStringLiteral("La factura %1 no existe").arg(doc.folio));
    doc.series = rs.text(S("Fc_Serie"));
    doc.number = int(rs.decimal(S("Fc_Numero")).units() / Decimal::kOne);
    doc.name = rs.text(S("Fc_Factura"));
    if (doc.name.isEmpty())
        doc.name = QStringLiteral("%1-%2").arg(doc.series).arg(doc.number);
    doc.date = rs.date(S("Fc_Fecha"));
    doc.state = rs.text(S("Es_Cve_Estado"));
    doc.branch = rs.text(S("Sc_Cve_Sucursal"));
    doc.branchName = rs.text(S("Sc_Descripcion"));
    doc.branchPostalCode = rs.text(S("Sc_Codigo_Postal"));
    doc.currency = rs.text(S("Mn_Cve_Moneda"));
    doc.exchangeRate = rs.decimal(S("Fc_Tipo_Cambio"));
    doc.comment = rs.text(S("Fc_Comentario"));
    doc.storedNet = rs.decimal(S("Fc_Precio_Neto_Importe"));
    doc.credit = rs.text(S("Fc_Credito")).trimmed().toUpper() == QLatin1String("SI");
    doc.periodicity = rs.text(S("Fc_Periodicidad")).trimmed();
    if (doc.branchPostalCode.isEmpty())
        throw Error(QStringLiteral("La sucursal %1 de la factura %2 no tiene código postal; es el lugar de expedición del "
                                   "comprobante")
                        .arg(doc.branch, doc.folio));
    if (rs.text(S("cliente")).isEmpty())
        throw Error(QStringLiteral("El cliente %1 de la factura %2 no existe").arg(rs.text(S("Cl_Cve_Cliente")), doc.folio));
    doc.customer.key = rs.text(S("Cl_Cve_Cliente"));
    doc.customer.rfc = rs.text(S("Cl_R_F_C")).trimmed().toUpper();
    doc.customer.name = rs.text(S("Cl_Razon_Social_1")).trimmed();
    doc.customer.regimen = rs.text(S("Cl_Regimen_Fiscal"));
    doc.customer.postalCode = rs.text(S("Cl_Codigo_Postal"));
    doc.customer.usoCfdi = rs.text(S("Cl_Uso_CFDI"));
    doc.customer.address = rs.text(S("Cl_Direccion_1"));
}

void readLines(Connection &connection, InvoiceDocument &doc)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT l.Fc_ID, l.Vn_Folio, l.Pr_Cve_Producto, l.Fl_Descripcion, l.Un_Cve_Unidad, l.Fl_Cantidad, "
                       "l.Fl_Precio_Lista_Importe, l.Fl_Descuento_Importe, l.Fl_Precio_Descontado_Importe, l.Fl_Impuesto_Importe, "
                       "l.Fl_Precio_Neto_Importe, p.Pr_Clave_Prod_Serv, p.Pr_Descripcion, u.Un_Clave_SAT, "
                       "v.Vn_Fecha, v.Vn_Forma_Pago, v.Vn_Precio_Neto_Importe "
                       "FROM Factura_Linea l "
                       "LEFT JOIN Producto p ON p.Pr_Cve_Producto = l.Pr_Cve_Producto "
                       "LEFT JOIN Unidad u ON u.Un_Cve_Unidad = l.Un_Cve_Unidad "
                       "LEFT JOIN Venta_Encabezado v ON v.Vn_Folio = l.Vn_Folio "
                       "WHERE l.Fc_Folio = ?"),
        {doc.folio});
    for (; !rs.eof(); rs.moveNext()) {
        InvoiceDocument::Line line;
        line.id = rs.text(S("Fc_ID"));
        line.noteFolio = rs.text(S("Vn_Folio"));
        line.noteDate = rs.date(S("Vn_Fecha"));
        if (!line.noteDate.isValid())
            line.noteDate = doc.date;
        line.paymentForm = rs.text(S("Vn_Forma_Pago"));
        line.product = rs.text(S("Pr_Cve_Producto"));
        line.claveProdServ = rs.text(S("Pr_Clave_Prod_Serv"));
        line.unit = rs.text(S("Un_Cve_Unidad"));
        line.claveUnidad = rs.text(S("Un_Clave_SAT"));
        line.description = rs.text(S("Fl_Descripcion"));
        if (line.description.isEmpty())
            line.description = rs.text(S("Pr_Descripcion"));
        line.quantity = rs.decimal(S("Fl_Cantidad"));
        line.list = rs.decimal(S("Fl_Precio_Lista_Importe"));
        line.discount = rs.decimal(S("Fl_Descuento_Importe"));
        line.discounted = rs.decimal(S("Fl_Precio_Descontado_Importe"));
        line.tax = rs.decimal(S("Fl_Impuesto_Importe"));
        line.net = rs.decimal(S("Fl_Precio_Neto_Importe"));
        line.noteNet = rs.text(S("Vn_Precio_Neto_Importe")).isEmpty() ? line.net : rs.decimal(S("Vn_Precio_Neto_Importe"));
        doc.lines.append(line);
    }
    std::sort(doc.lines.begin(), doc.lines.end(),
              [](const InvoiceDocument::Line &a, const InvoiceDocument::Line &b) { return identifierLess(a.id, b.id); });
}

void readTaxes(Connection &connection, InvoiceDocument &doc)
{
    struct Row
    {
        QString id;
        InvoiceDocument::Tax tax;
    };
    QHash<QString, QList<Row>> byLine;
    Recordset rs = connection.select(
        QStringLiteral("SELECT i.Fc_ID, i.Fi_ID, i.Im_Cve_Impuesto, i.Fi_Base, i.Im_Importe, t.Im_Cve_Impuesto AS clave, "
                       "t.Im_Descripcion, t.Im_Impuesto_SAT, t.Im_Tipo_Factor, t.Im_Tasa "
                       "FROM Factura_Impuesto i LEFT JOIN Impuesto t ON t.Im_Cve_Impuesto = i.Im_Cve_Impuesto "
                       "WHERE i.Fc_Folio = ?"),
        {doc.folio});
    for (; !rs.eof(); rs.moveNext()) {
        if (rs.text(S("clave")).isEmpty())
            throw Error(QStringLiteral("El impuesto %1 de la factura %2 no está en el catálogo de impuestos")
                            .arg(rs.text(S("Im_Cve_Impuesto")), doc.folio));
        Row row;
        row.id = rs.text(S("Fi_ID"));
        row.tax.key = rs.text(S("Im_Cve_Impuesto"));
        row.tax.description = rs.text(S("Im_Descripcion"));
        row.tax.impuestoSat = rs.text(S("Im_Impuesto_SAT"));
        row.tax.tipoFactor = rs.text(S("Im_Tipo_Factor"));
        row.tax.rate = rs.decimal(S("Im_Tasa"));
        row.tax.base = rs.decimal(S("Fi_Base"));
        row.tax.amount = rs.decimal(S("Im_Importe"));
        byLine[rs.text(S("Fc_ID"))].append(row);
    }
    for (InvoiceDocument::Line &line : doc.lines) {
        QList<Row> rows = byLine.value(line.id);
        std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return identifierLess(a.id, b.id); });
        for (const Row &row : rows)
            line.taxes.append(row.tax);
    }
}

// The price of one unit, rounded half away from zero to six decimals (the most
// ValorUnitario carries): the SAT accepts an Importe within half a unit of the last
// decimal of Cantidad × ValorUnitario.
Decimal unitPrice(const Decimal &amount, const Decimal &quantity)
{
    // Whole part and remainder apart, so that no product leaves 64 bits: twice the price in
    // millionths, then halved with the half rounded away from zero.
    const std::int64_t whole = amount.units() / quantity.units();
    const std::int64_t rest = amount.units() % quantity.units();
    const std::int64_t twice = whole * Decimal::kOne * 2 + rest * Decimal::kOne * 2 / quantity.units();
    return Decimal::fromUnits(twice >= 0 ? (twice + 1) / 2 : (twice - 1) / 2);
}

} // namespace

// The branch's variable wins over the general one; a global invoice is daily unless the
// issuer chose otherwise.
QString configuredPeriodicity(Connection &connection, const QString &branch)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Vc_Nombre, Vc_Valor FROM Variable_Configuracion WHERE Vc_Nombre IN (?, ?)"),
        {QStringLiteral("CFDI_PERIODICIDAD_") + branch, QStringLiteral("CFDI_PERIODICIDAD")});
    QString general;
    QString own;
    for (; !rs.eof(); rs.moveNext()) {
        const QString value = rs.text(S("Vc_Valor")).trimmed();
        if (rs.text(S("Vc_Nombre")).compare(QLatin1String("CFDI_PERIODICIDAD"), Qt::CaseInsensitive) == 0)
            general = value;
        else
            own = value;
    }
    if (!own.isEmpty())
        return own;
    return general.isEmpty() ? QStringLiteral("01") : general;
}

InvoiceDocument::Party InvoiceDocument::loadIssuer(Connection &connection)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Em_R_F_C, Em_Razon_Social, Em_Regimen_Fiscal FROM Emisor ORDER BY Em_R_F_C"));
    if (rs.eof())
        throw Error(QStringLiteral("No hay un emisor registrado: capture el RFC, la razón social y el certificado de sello "
                                   "digital de la empresa"));
    InvoiceDocument::Party issuer;
    issuer.rfc = rs.text(S("Em_R_F_C"));
    issuer.name = rs.text(S("Em_Razon_Social"));
    issuer.regimen = rs.text(S("Em_Regimen_Fiscal"));
    return issuer;
}

InvoiceDocument InvoiceDocument::loadHeader(Connection &connection, const QString &folio)
{
    InvoiceDocument doc;
    doc.folio = folio;
    readHeader(connection, doc);
    return doc;
}

InvoiceDocument InvoiceDocument::load(Connection &connection, const QString &folio)
{
    InvoiceDocument doc;
    doc.folio = folio;
    readHeader(connection, doc);
    readLines(connection, doc);
    readTaxes(connection, doc);
    doc.issuer = loadIssuer(connection);
    if (doc.periodicity.isEmpty())
        doc.periodicity = configuredPeriodicity(connection, doc.branch);
    doc.replacedUuids = uuidsReplacedBy(connection, folio);
    // A replacement (motive 01) relates the invoice it replaces, and only that one.
    if (const QString replaced = GlobalReplacement::uuidReplacedBy(connection, folio); !replaced.isEmpty())
        doc.replacedUuids = {replaced};
    return doc;
}

bool InvoiceDocument::isPublic() const { return customer.rfc == QStringView(cfdi::kPublicoEnGeneralRfc); }

bool InvoiceDocument::isGeneric() const { return cfdi::isGenericRfc(customer.rfc); }

int InvoiceDocument::decimals() const { return cfdi::currencyDecimals(currency); }

QString InvoiceDocument::paymentForm() const
{
    if (credit && !isPublic())
        return QStringLiteral("99");
    const Line *largest = nullptr;
    for (const Line &line : lines)
        if (!largest || line.noteNet > largest->noteNet)
            largest = &line;
    if (!largest)
        return {};
    if (largest->paymentForm.isEmpty())
        throw Error(QStringLiteral("La nota %1 no tiene forma de pago; es la mayor de la factura %2 y de ella se toma la "
                                   "forma de pago del comprobante")
                        .arg(largest->noteFolio, folio));
    return largest->paymentForm;
}

cfdi::Comprobante InvoiceDocument::toComprobante(const QDateTime &fecha) const
{
    if (lines.isEmpty())
        throw Error(QStringLiteral("La factura %1 no tiene líneas").arg(folio));
    const int places = decimals();
    cfdi::Comprobante c;
    c.serie = series;
    c.folio = QString::number(number);
    c.fecha = cfdi::fechaAtPlaceOfIssue(fecha, branchPostalCode);
    c.formaPago = paymentForm();
    // A named customer's credit sale is paid later, through payment receipts; a global
    // invoice gathers sales already paid.
    c.metodoPago = credit && !isPublic() ? QStringLiteral("PPD") : QStringLiteral("PUE");
    c.moneda = currency;
    // SAT wants no TipoCambio with pesos; any other currency carries the invoice's rate.
    if (currency != QLatin1String("MXN") && currency != QLatin1String("XXX"))
        c.tipoCambio = exchangeRate.toString();
    c.lugarExpedicion = branchPostalCode;
    c.emisor = cfdi::Emisor{issuer.rfc, issuer.name, issuer.regimen};
    if (isPublic()) {
        c.receptor = cfdi::publicReceptor(branchPostalCode);
        QList<cfdi::DatedNote> notes;
        notes.reserve(lines.size());
        for (const Line &line : lines)
            notes.append({line.noteFolio, line.noteDate});
        c.informacionGlobal = cfdi::informacionGlobalFor(notes, periodicity, date, issuer.regimen);
        cfdi::checkGlobalYear(*c.informacionGlobal, QDate::fromString(c.fecha.left(10), Qt::ISODate));
        if (c.formaPago == QLatin1String("99"))
            throw Error(QStringLiteral("La factura global %1 tomaría la forma de pago 99 (por definir) de su nota mayor; "
                                       "una factura global registra la forma en que se pagaron sus notas: corrija la "
                                       "forma de pago de la nota")
                            .arg(folio));
    } else if (isGeneric()) {
        c.receptor = cfdi::Receptor{customer.rfc, customer.name, branchPostalCode, QStringLiteral("616"),
                                    QStringLiteral("S01")};
    } else {
        c.receptor = cfdi::Receptor{customer.rfc, customer.name, customer.postalCode, customer.regimen, customer.usoCfdi};
    }

    if (!replacedUuids.isEmpty())
        c.cfdiRelacionados.append(cfdi::CfdiRelacionados{QStringLiteral("04"), replacedUuids});

    c.conceptos.reserve(lines.size());
    for (const Line &line : lines) {
        cfdi::Concepto concepto;
        concepto.noIdentificacion = line.noteFolio;
        // A global bills each note as one unit of its whole amount; a named invoice of a
        // note's products bills each line's quantity at its unit price.
        const bool perUnit = !isPublic() && line.quantity > Decimal() && line.quantity != Decimal::fromInt(1);
        concepto.cantidad = perUnit ? line.quantity.toString() : QStringLiteral("1");
        if (isPublic()) {
            // SAT fixes what a global invoice's concepto says, whatever product bills it.
            concepto.claveProdServ = QStringLiteral("01010101");
            concepto.claveUnidad = QStringLiteral("ACT");
            concepto.descripcion = QStringLiteral("Venta");
        } else {
            concepto.claveProdServ = line.claveProdServ;
            concepto.claveUnidad = line.claveUnidad;
            concepto.descripcion = line.description;
        }
        const ConceptAmounts amounts = conceptAmounts(line);
        concepto.importe = amounts.importe.toFixed(places);
        concepto.valorUnitario = perUnit ? unitPrice(amounts.importe, line.quantity).toString() : concepto.importe;
        if (!amounts.descuento.isZero())
            concepto.descuento = amounts.descuento.toFixed(places);
        if (line.taxes.isEmpty()) {
            concepto.objetoImp = QStringLiteral("01");
        } else {
            concepto.objetoImp = QStringLiteral("02");
            for (qsizetype i = 0; i < line.taxes.size(); ++i) {
                const Tax &tax = line.taxes.at(i);
                cfdi::Traslado t;
                t.base = amounts.taxes.at(i).base.toFixed(places);
                t.impuesto = tax.impuestoSat;
                t.tipoFactor = tax.exempt() ? QStringLiteral("Exento") : tax.tipoFactor;
                if (!tax.exempt()) {
                    t.tasaOCuota = tax.rate.toFixed(6);
                    t.importe = amounts.taxes.at(i).amount.toFixed(places);
                }
                concepto.traslados.append(t);
            }
        }
        c.conceptos.append(concepto);
    }
    cfdi::computeTotals(c);
    return c;
}

ConceptAmounts InvoiceDocument::conceptAmounts(const Line &line) const
{
    NoteAmounts note = NoteAmounts::of(line.noteFolio, line.list, line.discount, line.discounted, line.tax, line.net);
    for (const Tax &tax : line.taxes) {
        NoteTaxRow row;
        row.key = tax.key;
        row.impuestoSat = tax.impuestoSat;
        row.tipoFactor = tax.tipoFactor;
        row.rate = tax.rate;
        row.base = MoneyField::of(tax.base);
        row.amount = MoneyField::of(tax.amount);
        note.taxes.append(row);
    }
    const NoteBilling billing = billNote(note, decimals());
    if (!billing.problem.isEmpty())
        throw Error(QStringLiteral("La línea de la nota %1 de la factura %2 no se puede timbrar: %3")
                        .arg(line.noteFolio, folio, billing.problem));
    if (!billing.billable)
        throw Error(QStringLiteral("La línea de la nota %1 de la factura %2 no tiene importes").arg(line.noteFolio, folio));
    return billing.amounts;
}

QString InvoiceDocument::totalMismatch(const cfdi::Comprobante &comprobante) const
{
    const QString stored = storedNet.toFixed(decimals());
    if (stored == comprobante.total)
        return {};
    return QStringLiteral("La factura %1 registra un total de %2 y sus líneas e impuestos suman %3; corrija la factura "
                          "antes de timbrarla")
        .arg(folio, stored, comprobante.total);
}

} // namespace zentaro
