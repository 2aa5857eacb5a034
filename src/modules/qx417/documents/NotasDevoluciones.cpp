// The notes and the customer returns of an opened invoice, every row checked so that the
// totals recalculation gives the invoice's own totals.

#include "qx417/screen/frmQX417.h"

#include "platform/components/dialogs/ColumnFitter.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/TextFormats.h"
#include "platform/core/Decimal.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/Publico.h"

namespace qx417 {

namespace {

constexpr const char *kMoneyMask = "$#,##0.00#######";

QString money(const zentaro::Recordset &rs, const char *column)
{
    return zentaro::textformat::formatNumber(
        zentaro::Decimal::fromVariant(rs.value(rs.columnIndex(QLatin1String(column)))).toDouble(),
        QLatin1String(kMoneyMask));
}

// What differs between the two lists: their columns' sources and the Tipo column.
struct ListSource
{
    const char *folio;
    const char *date;
    const char *reference;
    const char *globalDiscount;
    const char *credit;   // nullptr: always "Contado"
};

// Fills `list` from the statement's rows: columns in the order 1, 2, 4, 6, 5, 7, 8, 3, 9,
// every row checked, then the widths fitted and the three plain-number columns hidden.
void fill(zentaro::CheckList &list, zentaro::Recordset &rs, const ListSource &source)
{
    if (rs.eof()) {
        rs.close();
        return;
    }
    for (; !rs.eof(); rs.moveNext()) {
        const QString folio = rs.text(QLatin1String(source.folio));
        list.addRow(QStringLiteral("K") + folio, folio);
        const int row = list.rowOfKey(QStringLiteral("K") + folio);
        const QString date = zentaro::textformat::defaultDateText(rs.date(QLatin1String(source.date)));
        list.setCell(row, 1, date);
        list.setCell(row, 2, date);
        list.setCell(row, 4, rs.text(QLatin1String(source.reference)));
        list.setCell(row, 6, money(rs, "SUM_Importe"));
        list.setCell(row, 5, money(rs, "SUM_Impuesto"));
        list.setCell(row, 7, rs.text(QLatin1String(source.globalDiscount)));
        list.setCell(row, 8, rs.text(QStringLiteral("SUM_Descuento_Importe")));
        const bool credit = source.credit && rs.text(QLatin1String(source.credit)) == QLatin1String("SI");
        list.setCell(row, 3, credit ? QStringLiteral("Crédito") : QStringLiteral("Contado"));
        list.setCell(row, 9, rs.text(QStringLiteral("SUM_Suma_Importe")));
        list.setChecked(row, true);
    }
    rs.close();
    zentaro::ColumnFitter().FitColumns(list);
    list.setColumnWidth(7, 0);
    list.setColumnWidth(8, 0);
    list.setColumnWidth(9, 0);
}

} // namespace

void frmQX417::Get_Ventas_Cte()
{
    trapped(QStringLiteral("Get_Ventas_Cte()"), QStringLiteral("ERR-ID:7500040"), [&] {
        Publico &p = publico();
        lvNotas->clear();
        p.Sql = QString();
        p.Sql += QStringLiteral("SELECT ");
        p.Sql += QStringLiteral("   Venta.Vn_Folio, ");
        p.Sql += QStringLiteral("   Venta.Vn_Cve_Vendedor, ");
        p.Sql += QStringLiteral("   Venta.Vn_Fecha, ");
        p.Sql += QStringLiteral("   Venta.Vn_Referencia, ");
        p.Sql += QStringLiteral("   Venta.Vn_Credito, ");
        p.Sql += QStringLiteral("   SUM(CAST(Venta.Vn_Precio_Lista_Importe AS Decimal(18,2))) as SUM_Suma_Importe,");
        p.Sql += QStringLiteral("   SUM(CAST(Venta.Vn_Precio_Neto_Importe AS Decimal(18,2))) as SUM_Importe,");
        p.Sql += QStringLiteral("   SUM(CAST(Venta.Vn_Impuesto_Importe AS Decimal(18,2))) As SUM_Impuesto, ");
        p.Sql += QStringLiteral("   SUM(CAST(Venta.Vn_Descuento_Importe AS Decimal(18,2))) As SUM_Descuento_Importe, ");
        p.Sql += QStringLiteral("   SUM(CAST(Venta.Vn_Descuento_Global_Importe AS Decimal(18,2))) AS Vn_Descuento_Global_Importe ");
        p.Sql += QStringLiteral("FROM Venta_Encabezado Venta ");
        p.Sql += QStringLiteral("WHERE ");
        p.Sql += QStringLiteral("   Venta.Fc_Folio = ") + zentaro::sql::quoted(txtFolio->text())
                 + QStringLiteral(" and Venta.Es_Cve_Estado <> 'CA' ");
        p.Sql += QStringLiteral("GROUP BY ");
        p.Sql += QStringLiteral("   Venta.Vn_Credito, ");
        p.Sql += QStringLiteral("   Venta.Vn_Folio, ");
        p.Sql += QStringLiteral("   Venta.Vn_Cve_Vendedor, ");
        p.Sql += QStringLiteral("   Venta.Vn_Fecha, ");
        p.Sql += QStringLiteral("   Venta.Vn_Referencia ");
        zentaro::Recordset rs = p.Environment->Connection().execute(p.Sql);
        fill(*lvNotas, rs, {"Vn_Folio", "Vn_Fecha", "Vn_Referencia", "Vn_Descuento_Global_Importe", "Vn_Credito"});
    });
}

void frmQX417::Get_Devoluciones()
{
    trapped(QStringLiteral("Get_Devoluciones()"), QStringLiteral("ERR-ID:7500041"), [&] {
        Publico &p = publico();
        lvDevoluciones->clear();
        p.Sql = QString();
        p.Sql += QStringLiteral("SELECT ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Dc_Folio, ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Vn_Cve_Vendedor, ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Dc_Fecha, ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Dc_Referencia, ");
        p.Sql += QStringLiteral("   SUM(CAST(Devolucion_Cliente.Dc_Precio_Lista_Importe AS Decimal(18,2))) as SUM_Suma_Importe,");
        p.Sql += QStringLiteral("   SUM(CAST(Devolucion_Cliente.Dc_Precio_Neto_Importe AS Decimal(18,2))) as SUM_Importe,");
        p.Sql += QStringLiteral("   SUM(CAST(Devolucion_Cliente.Dc_Impuesto_Importe AS Decimal(18,2))) As SUM_Impuesto, ");
        p.Sql += QStringLiteral("   SUM(CAST(Devolucion_Cliente.Dc_Descuento_Importe AS Decimal(18,2))) As SUM_Descuento_Importe, ");
        p.Sql += QStringLiteral("   SUM(CAST(Devolucion_Cliente.Dc_Descuento_Global_Importe AS Decimal(18,2))) AS Dc_Descuento_Global_Importe ");
        p.Sql += QStringLiteral("FROM Devolucion_Cliente ");
        p.Sql += QStringLiteral("WHERE ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Fc_Folio = ") + zentaro::sql::quoted(txtFolio->text())
                 + QStringLiteral(" and Devolucion_Cliente.Es_Cve_Estado <> 'CA' ");
        p.Sql += QStringLiteral("GROUP BY ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Dc_Folio, ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Vn_Cve_Vendedor, ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Dc_Fecha, ");
        p.Sql += QStringLiteral("   Devolucion_Cliente.Dc_Referencia ");
        zentaro::Recordset rs = p.Environment->Connection().execute(p.Sql);
        fill(*lvDevoluciones, rs, {"Dc_Folio", "Dc_Fecha", "Dc_Referencia", "Dc_Descuento_Global_Importe", nullptr});
    });
}

} // namespace qx417
