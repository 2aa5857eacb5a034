#include "platform/services/DocumentNumbers.h"

#include "platform/db/Connection.h"

namespace zentaro::documentnumbers {

SeriesNumber defaultSeries(Connection &connection, const QString &branch)
{
    SeriesNumber result;
    Recordset rs = connection.select(
        QStringLiteral("SELECT Sr_Cve_Serie, Sr_Siguiente_Numero FROM Serie WHERE Sc_Cve_Sucursal = ? "
                       "AND Sr_Tabla = 'Factura' AND Sr_Default = 'SI' AND Es_Cve_Estado <> 'BA' ORDER BY Sr_Cve_Serie"),
        {branch});
    if (rs.eof()) {
        result.message = QStringLiteral("La sucursal %1 no tiene una serie de facturas").arg(branch);
        return result;
    }
    result.series = rs.text(QStringLiteral("Sr_Cve_Serie"));
    result.next = rs.field(QStringLiteral("Sr_Siguiente_Numero")).toInt();
    return result;
}

SeriesNumber nextNumber(Connection &connection, const QString &series)
{
    SeriesNumber result;
    result.series = series;
    Recordset rs = connection.select(QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = ? "
                                                    "AND Sr_Tabla = 'Factura' AND Es_Cve_Estado <> 'BA'"), {series});
    if (rs.eof())
        result.message = QStringLiteral("La serie de facturas %1 no existe o está dada de baja").arg(series);
    else
        result.next = rs.field(QStringLiteral("Sr_Siguiente_Numero")).toInt();
    return result;
}

Reservation reserve(Connection &connection, const QString &series, int number)
{
    Reservation result;
    if (!connection.inTransaction()) {
        result.message = QStringLiteral("El número de factura solo se aparta dentro de la transacción que guarda la factura");
        return result;
    }
    // The update is the lock: a second clerk's update of the same series waits here until
    // the first commits, then finds the number moved on and takes nothing.
    const int taken = connection.run(
        QStringLiteral("UPDATE Serie SET Sr_Siguiente_Numero = Sr_Siguiente_Numero + 1 WHERE Sr_Cve_Serie = ? "
                       "AND Sr_Siguiente_Numero = ? AND Sr_Tabla = 'Factura' AND Es_Cve_Estado <> 'BA'"),
        {series, number});
    if (taken != 1) {
        const SeriesNumber now = nextNumber(connection, series);
        result.next = now.next;
        result.message = !now.message.isEmpty()
            ? now.message
            : QStringLiteral("El número %1 de la serie %2 ya lo tomó otra factura; el siguiente es %3. "
                             "Acepte de nuevo para usarlo")
                  .arg(numberText(series, number), series, numberText(series, now.next));
        return result;
    }
    result.next = number + 1;
    Recordset used = connection.select(
        QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Fc_Serie = ? AND Fc_Numero = ? ORDER BY Fc_Folio"),
        {series, number});
    if (!used.eof()) {
        result.message = QStringLiteral("El número %1 ya fue usado por la factura %2; revise el siguiente número de la serie %3")
                             .arg(numberText(series, number), used.text(QStringLiteral("Fc_Folio")), series);
        return result;
    }
    result.reserved = true;
    return result;
}

QString numberText(const QString &series, int number) { return QStringLiteral("%1-%2").arg(series).arg(number); }

QString folio(const QString &series, int number)
{
    return QStringLiteral("%1-%2").arg(series).arg(number, 6, 10, QLatin1Char('0'));
}

} // namespace zentaro::documentnumbers
