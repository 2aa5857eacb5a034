#include "platform/services/Environment.h"

#include "platform/core/Decimal.h"

namespace zentaro {

Connection &Environment::Connection() const { return Platform::instance().connection(); }

QString Environment::UserCode() const { return Platform::instance().userCode(); }

QString Environment::userColumn(const char *column) const
{
    Recordset rs = Connection().select(
        QStringLiteral("SELECT %1 FROM Usuario WHERE Us_Cve_Usuario = ?").arg(QLatin1String(column)), {UserCode()});
    return rs.eof() ? QString() : rs.textAt(0).trimmed();
}

QString Environment::UserBranch() const { return userColumn("Sc_Cve_Sucursal"); }
QString Environment::UserWarehouse() const { return userColumn("Al_Cve_Almacen"); }

QString Environment::GetVariable(const QString &name, int flag, const QString &type, const QString &defaultValue) const
{
    Q_UNUSED(flag);
    Recordset rs = Connection().select(QStringLiteral("SELECT Vc_Valor FROM Variable_Configuracion WHERE Vc_Nombre = ?"),
                                       {name});
    if (rs.eof())
        return defaultValue;
    const QString value = rs.textAt(0).trimmed();
    const QString kind = type.toUpper();
    if (kind == QLatin1String("N")) {
        const auto number = Decimal::parse(value);
        return number ? number->toString() : defaultValue;
    }
    if (kind == QLatin1String("B")) {
        static const QStringList yes = {QStringLiteral("1"), QStringLiteral("SI"), QStringLiteral("S"),
                                        QStringLiteral("TRUE"), QStringLiteral("VERDADERO"), QStringLiteral("-1")};
        return yes.contains(value.toUpper()) ? QStringLiteral("1") : QStringLiteral("0");
    }
    return value;
}

bool Environment::HasPermission(const QString &module, const QString &key, const QString &deniedText) const
{
    Q_UNUSED(deniedText);
    Recordset rs = Connection().select(
        QStringLiteral("SELECT count(*) AS n FROM Usuario_Permiso WHERE Us_Cve_Usuario = ? "
                       "AND (Pe_Modulo = ? OR Pe_Modulo = '*') AND (Pe_Clave = ? OR Pe_Clave = '*')"),
        {UserCode(), module, key});
    return !rs.decimal(QStringLiteral("n")).isZero();
}

int Environment::ShowMessage(const QString &message, int style, const QString &title, QWidget *owner,
                             const QString &module, const QString &errorId) const
{
    return Platform::instance().presenter().present({message, style, title, module, errorId}, owner);
}

} // namespace zentaro
