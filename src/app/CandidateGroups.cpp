#include "CandidateGroups.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"

namespace zentaro::app {

namespace {

QString sqlDay(const QDate &date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

// " AND column IN (?, ?)" with the codes appended to `values`; "" for no codes.
QString inList(const QString &column, const QStringList &codes, QVariantList &values)
{
    if (codes.isEmpty())
        return {};
    QStringList marks;
    for (const QString &code : codes) {
        marks << QStringLiteral("?");
        values << code;
    }
    return QStringLiteral(" AND %1 IN (%2)").arg(column, marks.join(QStringLiteral(", ")));
}

} // namespace

QList<CandidateGroup> findCandidateGroups(Connection &connection, const BillingPeriod &period,
                                          const QStringList &branches, const QStringList &currencies)
{
    QVariantList values {sqlDay(period.from), sqlDay(period.to)};
    QString sql = QStringLiteral(
        "SELECT v.Sc_Cve_Sucursal, v.Mn_Cve_Moneda, COUNT(*) AS notas FROM Venta_Encabezado v "
        "INNER JOIN Cliente c ON v.Cl_Cve_Cliente = c.Cl_Cve_Cliente "
        "INNER JOIN Vendedor d ON d.Vn_Cve_Vendedor = v.Vn_Cve_Vendedor "
        "WHERE v.Es_Cve_Estado NOT IN ('CA', 'FA') AND v.Fc_Folio = '' AND v.Vn_Fecha BETWEEN ? AND ?");
    sql += inList(QStringLiteral("v.Sc_Cve_Sucursal"), branches, values);
    sql += inList(QStringLiteral("v.Mn_Cve_Moneda"), currencies, values);
    sql += QStringLiteral(" GROUP BY v.Sc_Cve_Sucursal, v.Mn_Cve_Moneda ORDER BY v.Sc_Cve_Sucursal, v.Mn_Cve_Moneda");
    QList<CandidateGroup> groups;
    for (Recordset rs = connection.select(sql, values); !rs.eof(); rs.moveNext())
        groups.append({rs.textAt(0), rs.textAt(1), rs.value(2).toInt()});
    return groups;
}

void requireKnownCodes(Connection &connection, const QStringList &branches, const QStringList &currencies)
{
    for (const QString &branch : branches) {
        Recordset rs = connection.select(
            QStringLiteral("SELECT Sc_Cve_Sucursal FROM Sucursal WHERE Sc_Cve_Sucursal = ? AND Es_Cve_Estado <> 'BA'"), {branch});
        if (rs.eof())
            throw Error(QStringLiteral("La sucursal %1 no existe o está dada de baja").arg(branch));
    }
    for (const QString &currency : currencies) {
        Recordset rs = connection.select(
            QStringLiteral("SELECT Mn_Cve_Moneda FROM Moneda WHERE Mn_Cve_Moneda = ? AND Es_Cve_Estado <> 'BA'"), {currency});
        if (rs.eof())
            throw Error(QStringLiteral("La moneda %1 no existe o está dada de baja").arg(currency));
    }
}

} // namespace zentaro::app
