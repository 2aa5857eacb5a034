#include "platform/components/cancellation/FreedNotes.h"

#include "platform/db/Connection.h"

namespace zentaro {

void recordNotesFreedByCancellation(Connection &connection, const QString &invoiceFolio, const QString &motive)
{
    if (motive != QLatin1String("01") && motive != QLatin1String("04"))
        return;
    for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")})
        connection.run(QStringLiteral("UPDATE %1 SET Vn_Factura_Cancelada = ? WHERE Fc_Folio = ?").arg(table),
                       {invoiceFolio, invoiceFolio});
}

QStringList uuidsReplacedBy(Connection &connection, const QString &invoiceFolio)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT DISTINCT d.Cd_UUID FROM Factura_Linea l "
                       "JOIN Venta_Encabezado v ON v.Vn_Folio = l.Vn_Folio "
                       "JOIN Comprobante_Digital d ON d.Cd_Tabla = 'Factura' AND d.Cd_Documento = v.Vn_Factura_Cancelada "
                       "WHERE l.Fc_Folio = ? AND v.Vn_Factura_Cancelada <> '' AND v.Vn_Factura_Cancelada <> ? "
                       "AND d.Cd_UUID <> '' ORDER BY d.Cd_UUID"),
        {invoiceFolio, invoiceFolio});
    QStringList uuids;
    for (; !rs.eof(); rs.moveNext())
        uuids << rs.textAt(0).toUpper();
    return uuids;
}

} // namespace zentaro
