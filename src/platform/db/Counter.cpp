#include "platform/db/Counter.h"

#include "platform/core/Decimal.h"
#include "platform/db/Connection.h"

namespace zentaro {

namespace {

qint64 bump(Connection &connection, const QString &name, bool &found)
{
    // One round trip: the row lock and the new value come back together.
    Recordset rs = connection.select(
        QStringLiteral("UPDATE Contador SET Ct_Valor = Ct_Valor + 1 WHERE Ct_Nombre = ? RETURNING Ct_Valor"), {name});
    found = !rs.eof();
    return found ? rs.decimal(QStringLiteral("Ct_Valor")).units() / Decimal::kOne : 0;
}

} // namespace

qint64 nextCounterValue(Connection &connection, const QString &name, qint64 start)
{
    TransactionGuard transaction(connection);
    bool found = false;
    qint64 value = bump(connection, name, found);
    if (!found) {
        // Two clerks may both find no row: one insert wins, the other does nothing.
        connection.run(QStringLiteral("INSERT INTO Contador (Ct_Nombre, Ct_Valor) VALUES (?, ?) "
                                      "ON CONFLICT (Ct_Nombre) DO NOTHING"),
                       {name, start});
        value = bump(connection, name, found);
    }
    transaction.commit();
    return value;
}

} // namespace zentaro
