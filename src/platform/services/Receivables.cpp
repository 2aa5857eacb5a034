#include "platform/services/Receivables.h"

#include "platform/core/Decimal.h"
#include "platform/services/Platform.h"

namespace zentaro {

double Receivables::AvailableCredit(const QString &customer, int flag)
{
    Q_UNUSED(flag);
    Connection &connection = Platform::instance().connection();
    Recordset limit = connection.select(QStringLiteral("SELECT Cl_Limite_Credito FROM Cliente WHERE Cl_Cve_Cliente = ?"),
                                        {customer});
    if (limit.eof())
        return 0.0;
    Recordset open = connection.select(
        QStringLiteral("SELECT SUM(Cc_Saldo) AS saldo FROM Cuenta_Por_Cobrar WHERE Cl_Cve_Cliente = ? "
                       "AND Es_Cve_Estado <> 'CA'"),
        {customer});
    return (limit.decimal(QStringLiteral("Cl_Limite_Credito")) - open.decimal(QStringLiteral("saldo"))).toDouble();
}

} // namespace zentaro
