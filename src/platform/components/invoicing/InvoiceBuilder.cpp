#include "platform/components/invoicing/InvoiceBuilder.h"

#include "platform/cfdi/AmountText.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/invoicing/NoteBilling.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/DocumentNumbers.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <cmath>

namespace zentaro {

namespace {

QString amountText(Decimal value) { return value.toString(); }

const QStringList kHeaderColumns = {
    QStringLiteral("Fc_Folio"), QStringLiteral("Fc_Serie"), QStringLiteral("Fc_Factura"), QStringLiteral("Fc_Numero"),
    QStringLiteral("Fc_Fecha"), QStringLiteral("Fc_Tipo"), QStringLiteral("Sc_Cve_Sucursal"),
    QStringLiteral("Al_Cve_Almacen"), QStringLiteral("Cl_Cve_Cliente"), QStringLiteral("Vn_Cve_Vendedor"),
    QStringLiteral("Mn_Cve_Moneda"), QStringLiteral("Fc_Tipo_Cambio"), QStringLiteral("Fc_Credito"),
    QStringLiteral("Fc_Condicion_Tipo_02"), QStringLiteral("Fc_Comentario"), QStringLiteral("Fc_Referencia"),
    QStringLiteral("Fc_Precio_Lista_Importe"), QStringLiteral("Fc_Descuento_Importe"),
    QStringLiteral("Fc_Precio_Descontado_Importe"), QStringLiteral("Fc_Impuesto_Importe"),
    QStringLiteral("Fc_Precio_Neto_Importe"), QStringLiteral("Es_Cve_Estado"), QStringLiteral("Oper_Ult_Modif"),
    QStringLiteral("Fecha_Ult_Modif")};

QString insertStatement(const QString &table, const QStringList &columns)
{
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

} // namespace

InvoiceBuilder::InvoiceBuilder(Connection &connection) : m_connection(connection) {}

InvoiceBuilder::~InvoiceBuilder() = default;

void InvoiceBuilder::Initialize()
{
    m_header = {};
    m_copiesSources = false;
    m_hasPending = false;
    m_pending = {};
    m_lastSaved = {};
    m_lines.clear();
    m_sources.clear();
    m_totals = {};
    m_completed = false;
    m_finalized = false;
    m_lastError.clear();
}

void InvoiceBuilder::SetHeader(const InvoiceHeader &header)
{
    m_header = header;
    // What the builder answers, never what the caller guessed.
    m_header.folio.clear();
    if (!m_header.series.isEmpty())
        m_header.documentNumber = documentnumbers::numberText(m_header.series, m_header.number);
}

void InvoiceBuilder::SetOption(bool copiesSourceDocuments) { m_copiesSources = copiesSourceDocuments; }

void InvoiceBuilder::AddLine(const InvoiceLine &line)
{
    m_pending = line;
    m_hasPending = true;
}

bool InvoiceBuilder::refuse(const QString &message)
{
    m_lastError = message;
    return false;
}

QString InvoiceBuilder::checkHeader() const
{
    if (!m_header.date.isValid())
        return QStringLiteral("La factura no tiene fecha");
    if (m_header.series.isEmpty() || m_header.number <= 0)
        return QStringLiteral("La factura no tiene serie y número");
    if (m_header.branch.isEmpty() || m_header.warehouse.isEmpty())
        return QStringLiteral("La factura no tiene sucursal y almacén");
    if (m_header.customer.isEmpty())
        return QStringLiteral("La factura no tiene cliente");
    if (m_header.currency.isEmpty() || !(m_header.exchangeRate > Decimal()))
        return QStringLiteral("La factura no tiene moneda o su tipo de cambio no es mayor que cero");
    return {};
}

const InvoiceBuilder::Product &InvoiceBuilder::product(const QString &key)
{
    auto it = m_products.find(key);
    if (it == m_products.end()) {
        Product found;
        Recordset rs = m_connection.select(QStringLiteral("SELECT Pr_Descripcion FROM Producto WHERE Pr_Cve_Producto = ? "
                                                          "AND Es_Cve_Estado <> 'BA'"), {key});
        found.found = !rs.eof();
        if (found.found)
            found.description = rs.text(QStringLiteral("Pr_Descripcion"));
        it = m_products.insert(key, found);
    }
    return *it;
}

QString InvoiceBuilder::checkLine(const InvoiceLine &line)
{
    if (line.product.isEmpty() || line.unit.isEmpty())
        return QStringLiteral("La línea no tiene producto o unidad");
    if (!product(line.product).found)
        return QStringLiteral("El producto %1 no existe o está de baja").arg(line.product);
    if (line.movementCode != QLatin1String("00") || line.priceListCode != QLatin1String("00"))
        return QStringLiteral("La línea pide el movimiento %1 con la lista %2; solo se facturan líneas ya valuadas (00)")
            .arg(line.movementCode, line.priceListCode);
    const Decimal limit = Decimal::fromInt(1'000'000'000'000);
    for (Decimal amount : {line.quantity, line.baseQuantity, line.listAmount, line.discount, line.discountedAmount,
                           line.tax, line.netAmount}) {
        if (amount > limit || amount < -limit)
            return QStringLiteral("La línea de %1 tiene un importe fuera de rango").arg(line.sourceFolio);
    }
    if (!(line.quantity > Decimal()))
        return QStringLiteral("La línea de %1 no tiene cantidad").arg(line.sourceFolio);
    if (m_copiesSources) {
        if (line.sourceFolio.isEmpty())
            return QStringLiteral("La línea no indica el documento que factura");
        if (m_sources.contains(line.sourceFolio))
            return QStringLiteral("El documento %1 ya está en otra línea de esta factura").arg(line.sourceFolio);
        if (line.listAmount != line.sourceListAmount || line.discountedAmount != line.sourceDiscountedAmount
            || line.netAmount != line.sourceNetAmount)
            return QStringLiteral("Los importes de la línea no coinciden con los del documento %1").arg(line.sourceFolio);
    }
    return {};
}

bool InvoiceBuilder::SaveLine()
{
    m_lastError.clear();
    if (!m_hasPending)
        return refuse(QStringLiteral("No hay una línea que guardar"));
    if (m_completed)
        return refuse(QStringLiteral("La factura %1 ya está completa; no admite más líneas").arg(m_header.folio));
    if (const QString problem = checkHeader(); !problem.isEmpty())
        return refuse(problem);
    if (const QString problem = checkLine(m_pending); !problem.isEmpty())
        return refuse(problem);
    if (m_header.folio.isEmpty()) {
        // The number was reserved under the series lock, so the folio is free unless the
        // series was rewound by hand; say so rather than fail at the write.
        const QString folio = documentnumbers::folio(m_header.series, m_header.number);
        if (!m_connection.select(QStringLiteral("SELECT 1 FROM Factura WHERE Fc_Folio = ?"), {folio}).eof())
            return refuse(QStringLiteral("La factura %1 ya existe; revise el siguiente número de la serie %2")
                              .arg(folio, m_header.series));
        m_header.folio = folio;
    }
    m_pending.id = QString::number(m_lines.size() + 1);
    m_lines.append(m_pending);
    m_sources.insert(m_pending.sourceFolio);
    m_lastSaved = m_pending;
    m_hasPending = false;
    return true;
}

bool InvoiceBuilder::isCurrent(const QString &folio)
{
    if (m_header.folio.isEmpty())
        return refuse(QStringLiteral("La factura no tiene conceptos: ninguno de sus documentos tiene importe"));
    if (folio != m_header.folio)
        return refuse(QStringLiteral("La factura %1 no es la que se está construyendo (%2)").arg(folio, m_header.folio));
    return true;
}

bool InvoiceBuilder::Complete(const QString &folio)
{
    m_lastError.clear();
    if (!isCurrent(folio))
        return false;
    if (m_completed)
        return refuse(QStringLiteral("La factura %1 ya está completa").arg(folio));
    if (const QString problem = addUpAsTheCfdi(); !problem.isEmpty())
        return refuse(problem);
    writeHeader(QStringLiteral("Factura"));
    writeHeader(QStringLiteral("Factura_Encabezado"));
    writeLines();
    m_completed = true;
    return true;
}

// The header stores what the electronic document will say: each line becomes its concept in
// cents by the rule every part of the invoice shares (NoteBilling.h), with the tax rows the
// caller wrote under it in Factura_Impuesto, and the totals are exact sums of those concepts.
// The lines themselves keep their notes' exact amounts.
QString InvoiceBuilder::addUpAsTheCfdi()
{
    QHash<QString, QList<NoteTaxRow>> taxes;
    Recordset rs = m_connection.select(
        QStringLiteral("SELECT i.Fc_ID, i.Fi_ID, i.Im_Cve_Impuesto, i.Fi_Base, i.Im_Importe, t.Im_Impuesto_SAT, "
                       "t.Im_Tipo_Factor, t.Im_Tasa FROM Factura_Impuesto i "
                       "LEFT JOIN Impuesto t ON t.Im_Cve_Impuesto = i.Im_Cve_Impuesto "
                       "WHERE i.Fc_Folio = ? ORDER BY i.Fc_ID, i.Fi_ID"),
        {m_header.folio});
    for (; !rs.eof(); rs.moveNext()) {
        NoteTaxRow row;
        row.key = rs.text(QStringLiteral("Im_Cve_Impuesto"));
        row.impuestoSat = rs.text(QStringLiteral("Im_Impuesto_SAT"));
        row.tipoFactor = rs.text(QStringLiteral("Im_Tipo_Factor"));
        row.rate = rs.decimal(QStringLiteral("Im_Tasa"));
        row.base = MoneyField::read(rs.field(QStringLiteral("Fi_Base")));
        row.amount = MoneyField::read(rs.field(QStringLiteral("Im_Importe")));
        taxes[rs.text(QStringLiteral("Fc_ID"))].append(row);
    }
    rs.close();
    const int decimals = cfdi::currencyDecimals(m_header.currency);
    Totals totals;
    for (const InvoiceLine &line : std::as_const(m_lines)) {
        NoteAmounts note = NoteAmounts::of(line.sourceFolio, line.listAmount, line.discount, line.discountedAmount,
                                           line.tax, line.netAmount);
        note.taxes = taxes.value(line.id);
        const NoteBilling billing = billNote(note, decimals);
        if (!billing.problem.isEmpty())
            return QStringLiteral("La línea de %1 no se puede facturar: %2").arg(line.sourceFolio, billing.problem);
        const ConceptAmounts &c = billing.amounts;
        totals.list += c.importe;
        totals.discount += c.descuento;
        totals.discounted += c.importe - c.descuento;
        totals.tax += c.transferred();
        totals.net += c.total();
    }
    m_totals = totals;
    return {};
}

void InvoiceBuilder::writeHeader(const QString &table)
{
    Utilities utilities;
    const InvoiceHeader &h = m_header;
    m_connection.run(insertStatement(table, kHeaderColumns),
                     {h.folio, h.series, h.documentNumber, h.number, utilities.SqlDate(h.date), QStringLiteral("I"),
                      h.branch, h.warehouse, h.customer, h.salesperson, h.currency, amountText(h.exchangeRate),
                      h.creditCondition ? QStringLiteral("SI") : QStringLiteral("NO"), h.creditCondition ? 1 : 0,
                      h.comment, h.reference, m_totals.list.toString(), m_totals.discount.toString(),
                      m_totals.discounted.toString(), m_totals.tax.toString(), m_totals.net.toString(),
                      QStringLiteral("AC"), Platform::instance().userCode(),
                      utilities.SqlDateTime(utilities.ServerNow())});
}

void InvoiceBuilder::writeLines()
{
    const QStringList columns = {QStringLiteral("Fc_Folio"), QStringLiteral("Fc_ID"), QStringLiteral("Pr_Cve_Producto"),
                                 QStringLiteral("Vn_Folio"), QStringLiteral("Fl_Descripcion"),
                                 QStringLiteral("Fl_Cantidad"), QStringLiteral("Un_Cve_Unidad"),
                                 QStringLiteral("Fl_Precio_Lista_Importe"), QStringLiteral("Fl_Descuento_Importe"),
                                 QStringLiteral("Fl_Precio_Descontado_Importe"), QStringLiteral("Fl_Impuesto_Importe"),
                                 QStringLiteral("Fl_Precio_Neto_Importe")};
    QList<QVariantList> values(columns.size());
    for (QVariantList &column : values)
        column.reserve(m_lines.size());
    for (const InvoiceLine &line : std::as_const(m_lines)) {
        const QVariant row[] = {m_header.folio, line.id, line.product, line.sourceFolio,
                                m_products.value(line.product).description, amountText(line.quantity), line.unit,
                                amountText(line.listAmount), amountText(line.discount),
                                amountText(line.discountedAmount), amountText(line.tax), amountText(line.netAmount)};
        for (qsizetype c = 0; c < columns.size(); ++c)
            values[c].append(row[c]);
    }
    m_connection.insertRows(QStringLiteral("Factura_Linea"), columns, values);
}

bool InvoiceBuilder::Finalize(const QString &folio, bool bookReceivable)
{
    m_lastError.clear();
    if (!isCurrent(folio))
        return false;
    if (!m_completed)
        return refuse(QStringLiteral("La factura %1 no se ha completado").arg(folio));
    if (m_finalized)
        return refuse(QStringLiteral("La factura %1 ya está cerrada").arg(folio));
    if (bookReceivable && m_header.creditCondition) {
        Recordset customer = m_connection.select(
            QStringLiteral("SELECT Cl_Dias_Credito FROM Cliente WHERE Cl_Cve_Cliente = ?"), {m_header.customer});
        const int days = customer.eof() ? 0 : customer.field(QStringLiteral("Cl_Dias_Credito")).toInt();
        customer.close();
        const QDate from = m_header.termsDate.isValid() ? m_header.termsDate : m_header.date;
        Utilities utilities;
        m_connection.run(QStringLiteral("INSERT INTO Cuenta_Por_Cobrar (Cc_Folio, Cl_Cve_Cliente, Cc_Tabla, Cc_Documento, "
                                        "Cc_Fecha, Cc_Vencimiento, Cc_Importe, Cc_Saldo, Es_Cve_Estado) "
                                        "VALUES (?, ?, 'Factura', ?, ?, ?, ?, ?, 'AC')"),
                         {folio, m_header.customer, folio, utilities.SqlDate(m_header.date),
                          utilities.SqlDate(from.addDays(days)), m_totals.net.toString(), m_totals.net.toString()});
    }
    logDocumentEvent(m_connection, QStringLiteral("Factura"), folio, QStringLiteral("Creada"),
                     QStringLiteral("%1 líneas, total %2 %3").arg(m_lines.size()).arg(m_totals.net.toString(), m_header.currency));
    m_finalized = true;
    return true;
}

} // namespace zentaro
