#include "CandidateGroups.h"

#include "platform/components/invoicing/GlobalPeriodicity.h"
#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"

#include <QHash>
#include <QMap>

#include <algorithm>
#include <optional>

namespace zentaro::app {

namespace {

QString sqlDay(const QDate &date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

QString issuerRegime(Connection &connection)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Em_Regimen_Fiscal FROM Emisor ORDER BY Em_R_F_C"));
    return rs.eof() ? QString() : rs.textAt(0).trimmed();
}

struct CandidateDay
{
    QString branch;
    QString currency;
    QDate day;
    int notes = 0;
};

QList<CandidateDay> candidateDays(Connection &connection, const QDate &from, const QDate &to,
                                  const QStringList &branches, const QStringList &currencies)
{
    QVariantList values {sqlDay(from), sqlDay(to)};
    QString sql = QStringLiteral(
        "SELECT v.Sc_Cve_Sucursal, v.Mn_Cve_Moneda, v.Vn_Fecha, COUNT(*) AS notas FROM Venta_Encabezado v "
        "INNER JOIN Cliente c ON v.Cl_Cve_Cliente = c.Cl_Cve_Cliente "
        "INNER JOIN Vendedor d ON d.Vn_Cve_Vendedor = v.Vn_Cve_Vendedor "
        "WHERE v.Es_Cve_Estado NOT IN ('CA', 'FA') AND v.Fc_Folio = '' AND v.Vn_Fecha BETWEEN ? AND ?");
    sql += inList(QStringLiteral("v.Sc_Cve_Sucursal"), branches, values);
    sql += inList(QStringLiteral("v.Mn_Cve_Moneda"), currencies, values);
    sql += QStringLiteral(" GROUP BY v.Sc_Cve_Sucursal, v.Mn_Cve_Moneda, v.Vn_Fecha");
    QList<CandidateDay> found;
    for (Recordset rs = connection.select(sql, values); !rs.eof(); rs.moveNext())
        found.append({rs.textAt(0), rs.textAt(1), rs.date(QStringLiteral("Vn_Fecha")), rs.value(3).toInt()});
    return found;
}

} // namespace

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

RunPlan planRun(Connection &connection, const RunDays &days, const QDate &today, const QStringList &branches,
                const QStringList &currencies)
{
    const QString regime = issuerRegime(connection);
    // No period is longer than two calendar months: every period that holds a day of the run
    // lies within the month before its first day and the month after its last.
    const QDate from = QDate(days.from.year(), days.from.month(), 1).addMonths(-1);
    const QDate to = QDate(days.to.year(), days.to.month(), 1).addMonths(2).addDays(-1);

    QHash<QString, QString> periodicities;
    QMap<std::tuple<QDate, QString, QString>, CandidateGroup> closed;
    QMap<std::tuple<QString, QDate>, BillingPeriod> open;
    for (const CandidateDay &day : candidateDays(connection, from, to, branches, currencies)) {
        if (!periodicities.contains(day.branch))
            periodicities.insert(day.branch, configuredPeriodicity(connection, day.branch));
        const QString periodicity = periodicities.value(day.branch);
        BillingPeriod period;
        QString refusal;
        try {
            period = BillingPeriod::holding(periodicity, day.day, regime);
        } catch (const Error &error) {
            // The branch cannot be grouped at all: one failed group per currency says why.
            if (day.day < days.from || day.day > days.to)
                continue;
            period = {days.from, days.to};
            refusal = error.description();
        }
        if (period.to < days.from || period.from > days.to)
            continue;   // a neighbouring period the run does not cover
        if (refusal.isEmpty() && !period.isClosedOn(today)) {
            open.insert({day.branch, period.from}, period);
            continue;
        }
        CandidateGroup &group = closed[{period.from, day.branch, day.currency}];
        group.branch = day.branch;
        group.currency = day.currency;
        group.notes += day.notes;
        group.period = period;
        group.periodicity = periodicity;
        group.refusal = refusal;
    }
    RunPlan plan;
    plan.groups = closed.values();
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        plan.openPeriods.append({std::get<0>(it.key()), it.value()});
    std::stable_sort(plan.openPeriods.begin(), plan.openPeriods.end(),
                     [](const auto &a, const auto &b) { return a.second.from < b.second.from; });
    return plan;
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
