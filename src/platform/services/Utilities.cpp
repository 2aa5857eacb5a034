#include "platform/services/Utilities.h"

#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/core/GroupedControl.h"
#include "platform/db/Schema.h"
#include "platform/services/DocumentNumbers.h"
#include "platform/services/Platform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QWidget>

namespace zentaro {

namespace {

// Table and column names go into the statement text, so only names of the suite's own
// schema are accepted.
QString checkedName(const QString &table, const QString &column = {})
{
    const schema::Table *definition = schema::findTable(table);
    if (!definition)
        throw Error(QStringLiteral("La tabla \"%1\" no existe").arg(table));
    if (column.isEmpty())
        return QLatin1String(definition->name);
    for (const schema::Column &c : definition->columns)
        if (column.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return QLatin1String(c.name);
    throw Error(QStringLiteral("La columna \"%1\" no existe en la tabla %2").arg(column, table));
}

bool hasStateColumn(const QString &table)
{
    const schema::Table *definition = schema::findTable(table);
    for (const schema::Column &c : definition->columns)
        if (qstrcmp(c.name, "Es_Cve_Estado") == 0)
            return true;
    return false;
}

template<typename Action>
void forGroup(QWidget *screen, int group, Action action)
{
    if (!screen)
        return;
    const QString tag = QString::number(group);
    for (QWidget *widget : screen->findChildren<QWidget *>()) {
        if (auto *control = dynamic_cast<GroupedControl *>(widget); control && control->tag() == tag)
            action(*control);
    }
}

} // namespace

Connection &Utilities::connection() const { return Platform::instance().connection(); }

namespace {

// The statement of a LookupField and its bound values.
std::pair<QString, QVariantList> lookupStatement(const QString &table, const QString &keyColumn, const QString &key,
                                                 const QString &resultColumn, const QString &secondKeyColumn,
                                                 const QString &secondKey, const QString &excludedState)
{
    const QString tableName = checkedName(table);
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                      .arg(checkedName(table, resultColumn), tableName, checkedName(table, keyColumn));
    QVariantList values {key};
    if (!secondKeyColumn.isEmpty()) {
        sql += QStringLiteral(" AND %1 = ?").arg(checkedName(table, secondKeyColumn));
        values << secondKey;
    }
    if (!excludedState.isEmpty() && hasStateColumn(tableName)) {
        sql += QStringLiteral(" AND Es_Cve_Estado <> ?");
        values << excludedState;
    }
    return {sql, values};
}

} // namespace

QString Utilities::LookupField(const QString &table, const QString &keyColumn, const QString &key,
                               const QString &resultColumn, int flag, const QString &secondKeyColumn,
                               const QString &secondKey, const QString &excludedState)
{
    Q_UNUSED(flag);
    const auto [sql, values] = lookupStatement(table, keyColumn, key, resultColumn, secondKeyColumn, secondKey, excludedState);
    Recordset rs = connection().select(sql, values);
    return rs.eof() ? QString() : rs.textAt(0);
}

void Utilities::PrefetchLookup(const QString &table, const QString &keyColumn, const QString &key,
                               const QString &resultColumn, const QString &secondKeyColumn, const QString &secondKey,
                               const QString &excludedState)
{
    const auto [sql, values] = lookupStatement(table, keyColumn, key, resultColumn, secondKeyColumn, secondKey, excludedState);
    connection().prefetch(sql, values);
}

QDateTime Utilities::ServerNow()
{
    if (const auto fixed = Platform::instance().fixedClock())
        return *fixed;
    Recordset rs = connection().select(connection().dialect().localNowQuery());
    return QDateTime::fromString(rs.textAt(0), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDate Utilities::ServerToday()
{
    if (const auto day = Platform::instance().fixedDay())
        return *day;
    return ServerNow().date();
}

QString Utilities::SqlDate(const QDate &date) const { return date.toString(QStringLiteral("yyyy-MM-dd")); }

QString Utilities::SqlDateTime(const QDateTime &dateTime) const
{
    return dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool Utilities::IsPeriodOpen(const QDate &date, const QString &module, int flag)
{
    Q_UNUSED(flag);
    Recordset rs = connection().select(
        QStringLiteral("SELECT Po_Abierto FROM Periodo_Operativo WHERE Po_Modulo = ? "
                       "AND Po_Fecha_Inicio <= ? AND Po_Fecha_Final >= ?"),
        {module, SqlDate(date), SqlDate(date)});
    return !rs.eof() && rs.textAt(0) == QLatin1String("SI");
}

double Utilities::GetExchangeRate(const QString &currency, const QDate &date)
{
    m_lastError.clear();
    Recordset local = connection().select(
        QStringLiteral("SELECT Vc_Valor FROM Variable_Configuracion WHERE Vc_Nombre = 'FIN_MONEDA_LOCAL'"));
    if (!local.eof() && local.textAt(0).trimmed() == currency)
        return 1.0;
    Recordset rs = connection().select(
        QStringLiteral("SELECT Tc_Tipo_Cambio FROM Tipo_Cambio WHERE Mn_Cve_Moneda = ? AND Tc_Fecha <= ? "
                       "ORDER BY Tc_Fecha DESC"),
        {currency, SqlDate(date)});
    if (rs.eof()) {
        m_lastError = QStringLiteral("No hay tipo de cambio registrado para la moneda %1 al %2")
                          .arg(currency, date.toString(QStringLiteral("dd/MM/yyyy")));
        return 0.0;
    }
    return rs.decimal(QStringLiteral("Tc_Tipo_Cambio")).toDouble();
}

QString Utilities::FormatFolio(const QString &typed) const
{
    const QString folio = typed.trimmed().toUpper();
    // Series letters, an optional hyphen or blank, and the number with or without its
    // leading zeros: "FG5", "fg-5", "FG 000005" are all FG-000005.
    static const QRegularExpression seriesAndNumber(QStringLiteral("^([A-Z]+)[- ]?0*([0-9]{1,6})$"));
    const QRegularExpressionMatch match = seriesAndNumber.match(folio);
    if (!match.hasMatch())
        return folio;
    return documentnumbers::folio(match.captured(1), match.captured(2).toInt());
}

QString Utilities::DefaultSaleCondition(const QString &customer, const QString &branch, bool creditAllowed)
{
    Q_UNUSED(branch);
    m_lastError.clear();
    const QString typeFilter = creditAllowed ? QString() : QStringLiteral(" AND Cv_Tipo_Condicion = '01'");
    Recordset own = connection().select(
        QStringLiteral("SELECT Condicion_Venta.Cv_Cve_Condicion_Venta FROM Cliente INNER JOIN Condicion_Venta "
                       "ON Condicion_Venta.Cv_Cve_Condicion_Venta = Cliente.Cv_Cve_Condicion_Venta "
                       "WHERE Cliente.Cl_Cve_Cliente = ? AND Condicion_Venta.Es_Cve_Estado <> 'BA'")
            + typeFilter,
        {customer});
    if (!own.eof())
        return own.textAt(0);
    Recordset any = connection().select(
        QStringLiteral("SELECT Cv_Cve_Condicion_Venta FROM Condicion_Venta WHERE Es_Cve_Estado <> 'BA' "
                       "AND Cv_Tipo_Condicion = '01' ORDER BY Cv_Cve_Condicion_Venta"));
    if (!any.eof())
        return any.textAt(0);
    m_lastError = QStringLiteral("No hay una condición de venta de contado vigente para el cliente %1").arg(customer);
    return {};
}

QString Utilities::OutputProfile(const QString &customer, const QString &branch)
{
    const QString own = LookupField(QStringLiteral("Cliente"), QStringLiteral("Cl_Cve_Cliente"), customer,
                                    QStringLiteral("Cl_Perfil_Salida"), 0, {}, {}, {});
    if (!own.isEmpty())
        return own;
    const QString ofBranch = LookupField(QStringLiteral("Sucursal"), QStringLiteral("Sc_Cve_Sucursal"), branch,
                                         QStringLiteral("Sc_Perfil_Salida"), 0, {}, {}, {});
    return ofBranch.isEmpty() ? QStringLiteral("PDF") : ofBranch;
}

bool Utilities::IsElectronicSeries(const QString &series, int flag)
{
    Q_UNUSED(flag);
    return LookupField(QStringLiteral("Serie"), QStringLiteral("Sr_Cve_Serie"), series, QStringLiteral("Sr_Electronica"),
                       0, {}, {}, QStringLiteral("BA")) == QLatin1String("SI");
}

void Utilities::ClearControls(QWidget *screen, int group)
{
    forGroup(screen, group, [](GroupedControl &control) { control.clearContent(); });
}

void Utilities::EnableControls(QWidget *screen, int group)
{
    forGroup(screen, group, [](GroupedControl &control) { control.unlock(); });
}

void Utilities::SendKeys(const QString &keys, int wait)
{
    Q_UNUSED(wait);
    for (const QChar key : keys) {
        QWidget *target = QApplication::focusWidget();
        if (!target)
            return;
        const int code = key == u'\t' ? int(Qt::Key_Tab) : key == u'\r' ? int(Qt::Key_Return) : int(key.unicode());
        QApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, code, Qt::NoModifier, QString(key)));
        QApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, code, Qt::NoModifier, QString(key)));
    }
}

QString Utilities::ResolveTransaction(const QString &hostTransaction, const QString &suite) const
{
    // The suite files every screen's work under "<suite>.<host transaction>".
    if (hostTransaction.trimmed().isEmpty())
        throw Error(QStringLiteral("El anfitrión no indicó la transacción de la pantalla"));
    return suite.trimmed().toUpper() + u'.' + hostTransaction.trimmed().toUpper();
}

} // namespace zentaro
