#include "platform/services/CatalogLookup.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqlLiteral.h"
#include "platform/services/Platform.h"

#include <QRegularExpression>

namespace zentaro {

CatalogLookup::CatalogLookup() : m_connection(&Platform::instance().connection()) {}

std::optional<QString> CatalogLookup::describe(const QString &sql, const QString &key) const
{
    Recordset rs = m_connection->execute(sql::withKey(sql, key));
    if (rs.eof())
        return std::nullopt;
    return rs.fieldCount() > 0 ? rs.textAt(0) : QString();
}

QList<CatalogLookup::Entry> CatalogLookup::entries(const QString &lookupId, const QString &filter) const
{
    const std::optional<Catalog> catalog = catalogFor(lookupId);
    if (!catalog)
        throw Error(QStringLiteral("No hay un catálogo para la búsqueda %1").arg(lookupId));
    // The filter is condition text composed by the screen, so the statement runs as text.
    Recordset rs = m_connection->execute(statement(*catalog, filter));
    const QList<Column> columns = catalog->shownColumns();
    QList<Entry> result;
    for (; !rs.eof(); rs.moveNext()) {
        Entry entry {rs.textAt(0), {}};
        for (int i = 0; i < columns.size(); ++i) {
            const int at = i + 1;
            if (rs.value(at).isNull() && columns.at(i).kind != Column::Kind::Text)
                entry.values << QVariant();
            else if (columns.at(i).kind == Column::Kind::Date)
                entry.values << rs.dateAt(at);
            else if (columns.at(i).kind == Column::Kind::Text)
                entry.values << rs.textAt(at);
            else
                entry.values << rs.value(at);
        }
        result.append(entry);
    }
    return result;
}

QList<CatalogLookup::Column> CatalogLookup::Catalog::shownColumns() const
{
    if (!columns.isEmpty())
        return columns;
    return {Column {QStringLiteral("Descripción"), table + u'.' + descriptionColumn, Column::Kind::Text}};
}

std::optional<CatalogLookup::Catalog> CatalogLookup::catalogFor(const QString &lookupId)
{
    struct Known
    {
        const char *id;
        const char16_t *title;
        const char *table, *key, *description;
    };
    static const Known known[] = {
        {"SUCURSAL", u"Sucursales", "Sucursal", "Sc_Cve_Sucursal", "Sc_Descripcion"},
        {"ALMACEN", u"Almacenes", "Almacen", "Al_Cve_Almacen", "Al_Descripcion"},
        {"CLIENTE", u"Clientes", "Cliente", "Cl_Cve_Cliente", "Cl_Descripcion"},
        {"VENDEDOR", u"Vendedores", "Vendedor", "Vn_Cve_Vendedor", "Vn_Descripcion"},
        {"MONEDA", u"Monedas", "Moneda", "Mn_Cve_Moneda", "Mn_Descripcion"},
        {"CONDICION_VENTA", u"Condiciones de venta", "Condicion_Venta", "Cv_Cve_Condicion_Venta", "Cv_Descripcion"},
        {"FACTURA", u"Facturas", "Factura", "Fc_Folio", "Fc_Factura"},
    };
    const QString id = lookupId.trimmed().toUpper();
    for (const Known &entry : known) {
        if (id != QLatin1String(entry.id))
            continue;
        Catalog catalog {QString::fromUtf16(entry.title), QString::fromLatin1(entry.table),
                         QString::fromLatin1(entry.key), QString::fromLatin1(entry.description), {}, {}};
        if (id == QLatin1String("FACTURA")) {
            // A folio alone tells the clerk nothing: the invoice is found by its series and
            // number, its day, its customer or its amount.
            using Kind = Column::Kind;
            catalog.keyHeader = QStringLiteral("Folio");
            catalog.columns = {{QStringLiteral("Serie"), QStringLiteral("Factura.Fc_Serie"), Kind::Text},
                               {QStringLiteral("Factura"), QStringLiteral("Factura.Fc_Factura"), Kind::Text},
                               {QStringLiteral("Fecha"), QStringLiteral("Factura.Fc_Fecha"), Kind::Date},
                               {QStringLiteral("Cliente"), QStringLiteral("Cliente.Cl_Razon_Social_1"), Kind::Text},
                               {QStringLiteral("Total"), QStringLiteral("Factura.Fc_Precio_Neto_Importe"), Kind::Money}};
            catalog.joins = QStringLiteral(" LEFT JOIN Cliente ON Cliente.Cl_Cve_Cliente = Factura.Cl_Cve_Cliente");
        }
        return catalog;
    }
    return std::nullopt;
}

QString CatalogLookup::normalizedFilter(const QString &filter)
{
    // Splitting at quotes leaves the text outside quotes at even positions; a doubled quote
    // inside a literal only adds an empty outside part, so literals are never touched.
    static const QRegularExpression bareNumber(
        QStringLiteral("(<>|!=|<=|>=|=|<|>)(\\s*)(-?\\d+(?:\\.\\d+)?)(?![\\w.])"));
    QStringList parts = filter.split(u'\'');
    for (qsizetype i = 0; i < parts.size(); i += 2)
        parts[i].replace(bareNumber, QStringLiteral("\\1\\2'\\3'"));
    return parts.join(u'\'');
}

QString CatalogLookup::statement(const Catalog &catalog, const QString &filter)
{
    QStringList selected {catalog.table + u'.' + catalog.keyColumn};
    for (const Column &column : catalog.shownColumns())
        selected << column.expression;
    QString sql = QStringLiteral("SELECT %2 FROM %1%3 WHERE %1.Es_Cve_Estado <> 'BA'")
                      .arg(catalog.table, selected.join(QStringLiteral(", ")), catalog.joins);
    const QString condition = normalizedFilter(filter).trimmed();
    if (!condition.isEmpty())
        sql += QStringLiteral(" AND (%1)").arg(condition);
    sql += QStringLiteral(" ORDER BY %1.%2").arg(catalog.table, catalog.keyColumn);
    return sql;
}

} // namespace zentaro
