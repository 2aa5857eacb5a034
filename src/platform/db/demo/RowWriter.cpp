#include "platform/db/demo/RowWriter.h"

#include "platform/db/Connection.h"

#include <algorithm>

namespace zentaro::demo::detail {

namespace {

// SQLite builds before 3.32 accept 999 bound values in one statement.
constexpr int kMaxBoundValues = 900;
constexpr int kMaxRowsPerStatement = 100;

} // namespace

RowWriter::RowWriter(Connection &connection, QString table, QStringList columns, int chunkRows)
    : m_connection(connection), m_table(std::move(table)), m_columns(std::move(columns)),
      m_chunkRows(std::max(1, chunkRows)),
      m_rowsPerStatement(std::clamp(kMaxBoundValues / int(m_columns.size()), 1, kMaxRowsPerStatement))
{
}

void RowWriter::add(QVariantList row)
{
    Q_ASSERT(row.size() == m_columns.size());
    m_rows.append(std::move(row));
    if (m_rows.size() >= m_chunkRows)
        flush();
}

QString RowWriter::statement(int rows) const
{
    QString tuple = QStringLiteral("(?");
    for (qsizetype c = 1; c < m_columns.size(); ++c)
        tuple += QStringLiteral(", ?");
    tuple += u')';
    QStringList tuples;
    tuples.reserve(rows);
    for (int r = 0; r < rows; ++r)
        tuples << tuple;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(m_table, m_columns.join(QStringLiteral(", ")), tuples.join(QStringLiteral(", ")));
}

void RowWriter::flush()
{
    const int total = int(m_rows.size());
    const int columns = int(m_columns.size());
    const int perStatement = m_rowsPerStatement;
    const int groups = total / perStatement;
    if (groups > 0) {
        // One bound list per placeholder: placeholder (r, c) of execution g is row g*per+r.
        QList<QVariantList> bound(qsizetype(perStatement) * columns);
        for (QVariantList &list : bound)
            list.reserve(groups);
        for (int g = 0; g < groups; ++g)
            for (int r = 0; r < perStatement; ++r) {
                const QVariantList &row = m_rows.at(qsizetype(g) * perStatement + r);
                for (int c = 0; c < columns; ++c)
                    bound[qsizetype(r) * columns + c].append(row.at(c));
            }
        m_connection.runBatch(statement(perStatement), bound);
    }
    const int rest = total - groups * perStatement;
    if (rest > 0) {
        QVariantList values;
        values.reserve(qsizetype(rest) * columns);
        for (int i = groups * perStatement; i < total; ++i)
            values += m_rows.at(i);
        m_connection.run(statement(rest), values);
    }
    m_rows.clear();
}

QVariant dateValue(const QDate &date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

QVariant momentValue(const QDate &date, int minuteOfDay)
{
    return QStringLiteral("%1 %2:%3:00")
        .arg(date.toString(QStringLiteral("yyyy-MM-dd")))
        .arg(minuteOfDay / 60 % 24, 2, 10, QLatin1Char('0'))
        .arg(minuteOfDay % 60, 2, 10, QLatin1Char('0'));
}

QVariant decimalValue(const Decimal &value) { return value.toString(); }

// A null of a type the connection does not turn into empty text.
QVariant nullQuantity() { return QVariant(QMetaType::fromType<double>()); }

QVariant nullDate() { return QVariant(QMetaType::fromType<QDate>()); }

QRandomGenerator generator(quint32 seed, quint32 part)
{
    // Mix the part in so that neighbouring seeds do not give overlapping streams.
    const quint32 words[2] = {seed, part * 2654435761u};
    return QRandomGenerator(words, words + 2);
}

qint64 between(QRandomGenerator &rng, qint64 low, qint64 high)
{
    return low + qint64(rng.bounded(quint64(high - low + 1)));
}

const QStringList &noteColumns()
{
    static const QStringList columns = {
        QStringLiteral("Vn_Folio"), QStringLiteral("Vn_Fecha"), QStringLiteral("Vn_Referencia"),
        QStringLiteral("Vn_Credito"), QStringLiteral("Vn_Tabla"), QStringLiteral("Vn_Documento"),
        QStringLiteral("Vn_Cve_Vendedor"), QStringLiteral("Cl_Cve_Cliente"), QStringLiteral("Mn_Cve_Moneda"),
        QStringLiteral("Sc_Cve_Sucursal"), QStringLiteral("Al_Cve_Almacen"), QStringLiteral("Vn_Condicion_Venta"),
        QStringLiteral("Vn_Forma_Pago"), QStringLiteral("Vn_Precio_Lista_Importe"),
        QStringLiteral("Vn_Descuento_Importe"), QStringLiteral("Vn_Descuento_Global_Importe"),
        QStringLiteral("Vn_Precio_Descontado_Importe"), QStringLiteral("Vn_Impuesto_Importe"),
        QStringLiteral("Vn_Precio_Neto_Importe"), QStringLiteral("Es_Cve_Estado"), QStringLiteral("Fc_Folio"),
        QStringLiteral("Fc_Factura"), QStringLiteral("Oper_Ult_Modif"), QStringLiteral("Fecha_Ult_Modif"),
        QStringLiteral("Vn_Factura_Cancelada")};
    return columns;
}

QVariantList noteRow(const Note &note)
{
    return {note.folio, dateValue(note.date), note.reference, note.credit ? QStringLiteral("SI") : QStringLiteral("NO"),
            note.table, note.document, note.salesperson, note.customer, note.currency, note.branch,
            note.warehouse, note.condition, note.paymentForm, decimalValue(note.listPrice),
            decimalValue(note.discount), decimalValue(note.globalDiscount), decimalValue(note.discounted),
            decimalValue(note.tax), decimalValue(note.net), note.state, note.invoiceFolio, note.invoiceName,
            note.user, momentValue(note.date, note.minuteOfDay), note.cancelledInvoice};
}

void writeNote(RowWriter &headers, RowWriter &notes, RowWriter &taxes, const Note &note)
{
    const QVariantList row = noteRow(note);
    headers.add(row);
    notes.add(row);
    int id = 0;
    for (const Note::Tax &tax : note.taxes)
        taxes.add({note.folio, ++id, tax.key, decimalValue(tax.base), decimalValue(tax.amount)});
}

namespace {

Decimal taxRate(const QString &key)
{
    if (key == QLatin1String("IVA16"))
        return rate(u"0.16");
    if (key == QLatin1String("IEPS8"))
        return rate(u"0.08");
    return {};   // IVA0, IVAEX
}

} // namespace

void priceNote(Note &note, const QStringList &taxKeys)
{
    note.discounted = note.listPrice - note.discount;
    const Decimal base = note.discounted - note.globalDiscount;
    note.taxes.clear();
    if (taxKeys.contains(QLatin1String("IEPS8"))) {
        const Decimal ieps = applyRate(base, taxRate(QStringLiteral("IEPS8")));
        note.taxes.append({QStringLiteral("IEPS8"), base, ieps});
        const Decimal ivaBase = base + ieps;
        note.taxes.append({QStringLiteral("IVA16"), ivaBase, applyRate(ivaBase, taxRate(QStringLiteral("IVA16")))});
    } else if (taxKeys.size() == 2) {
        // Two kinds of goods on one note: the base is split between both rates.
        const Decimal first = cents((base.units() / 10'000) * 3 / 5);
        const Decimal second = base - first;
        note.taxes.append({taxKeys.at(0), first, applyRate(first, taxRate(taxKeys.at(0)))});
        note.taxes.append({taxKeys.at(1), second, applyRate(second, taxRate(taxKeys.at(1)))});
    } else {
        note.taxes.append({taxKeys.value(0), base, applyRate(base, taxRate(taxKeys.value(0)))});
    }
    note.tax = {};
    for (const Note::Tax &tax : note.taxes)
        note.tax += tax.amount;
    note.net = note.discounted - note.globalDiscount + note.tax;
}

} // namespace zentaro::demo::detail
