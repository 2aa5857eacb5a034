#include "BranchDefaults.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"

namespace zentaro::app {

namespace {

// The SAT's generic RFC for sales to the general public.
const QString kPublicRfc = QStringLiteral("XAXX010101000");

QString warehouseOf(Connection &connection, const QString &branch)
{
    Recordset configured = connection.select(
        QStringLiteral("SELECT a.Al_Cve_Almacen FROM Variable_Configuracion v INNER JOIN Almacen a "
                       "ON a.Al_Cve_Almacen = v.Vc_Valor WHERE v.Vc_Nombre = 'VEN_ALMACEN_DEFAULT' "
                       "AND a.Sc_Cve_Sucursal = ? AND a.Es_Cve_Estado <> 'BA'"),
        {branch});
    if (!configured.eof())
        return configured.textAt(0);
    Recordset first = connection.select(QStringLiteral("SELECT Al_Cve_Almacen FROM Almacen WHERE Sc_Cve_Sucursal = ? "
                                                       "AND Es_Cve_Estado <> 'BA' ORDER BY Al_Cve_Almacen"),
                                        {branch});
    if (first.eof())
        throw Error(QStringLiteral("La sucursal %1 no tiene un almacén activo para su factura global").arg(branch));
    return first.textAt(0);
}

} // namespace

BranchDefaults BranchDefaults::of(Connection &connection, const QString &branch)
{
    BranchDefaults defaults;
    defaults.warehouse = warehouseOf(connection, branch);
    // The branch's own public customer first, then any other.
    Recordset rs = connection.select(
        QStringLiteral("SELECT Cl_Cve_Cliente, Vn_Cve_Vendedor, Cv_Cve_Condicion_Venta FROM Cliente "
                       "WHERE Cl_R_F_C = ? AND Es_Cve_Estado <> 'BA' "
                       "ORDER BY CASE WHEN Sc_Cve_Sucursal = ? THEN 0 ELSE 1 END, Cl_Cve_Cliente"),
        {kPublicRfc, branch});
    if (rs.eof())
        throw Error(QStringLiteral("No hay un cliente activo con el RFC %1 (público en general) para la factura global")
                        .arg(kPublicRfc));
    defaults.customer = rs.textAt(0);
    defaults.salesperson = rs.textAt(1);
    defaults.condition = rs.textAt(2);
    return defaults;
}

} // namespace zentaro::app
