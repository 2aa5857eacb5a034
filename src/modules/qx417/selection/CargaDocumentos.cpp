// Loading the candidate sales notes: never invoiced, not cancelled, of the header's
// branch and currency, on one date or over a range, as one row each in lvNotas.

#include "qx417/screen/frmQX417.h"

#include "platform/components/dialogs/ColumnFitter.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/TextFormats.h"
#include "platform/controls/Toolbar.h"
#include "platform/components/invoicing/NoteBilling.h"
#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/db/SqlLiteral.h"
#include "platform/services/Platform.h"
#include "qx417/module/Publico.h"
#include "qx417/screen/WorkProgress.h"


namespace qx417 {

namespace {

constexpr const char *kMoneyMask = "$#,##0.00#######";

// The fields of the notes query that the statement names twice: once to select them and
// once to group by them.
const QString kGroupedFields = QStringLiteral("   Venta_Encabezado.Vn_Folio, ")
                               + QStringLiteral("   Venta_Encabezado.Vn_Fecha, ")
                               + QStringLiteral("   Venta_Encabezado.Vn_Referencia, ")
                               + QStringLiteral("   Venta_Encabezado.Vn_Credito, ")
                               + QStringLiteral("   Venta_Encabezado.Vn_Tabla, ")
                               + QStringLiteral("   Venta_Encabezado.Vn_Documento, ")
                               + QStringLiteral("   Vendedor.Vn_Cve_Vendedor, ")
                               + QStringLiteral("   Vendedor.Vn_Descripcion, ")
                               + QStringLiteral("   Cliente.Cl_Razon_Social_1, ");

// When the notes cannot be read, the note to blame among the candidates of the branch,
// currency and dates: the first whose stored amount is empty or not a number. "" when none.
QString unreadableNote(zentaro::Connection &db, const QString &currency, const QString &branch, const QDate &first,
                       const QDate &last)
{
    const char *columns[] = {"Vn_Precio_Lista_Importe", "Vn_Precio_Neto_Importe", "Vn_Impuesto_Importe",
                             "Vn_Descuento_Importe", "Vn_Descuento_Global_Importe", "Vn_Precio_Descontado_Importe"};
    zentaro::Recordset rs = db.select(
        QStringLiteral("SELECT Vn_Folio, Vn_Precio_Lista_Importe, Vn_Precio_Neto_Importe, Vn_Impuesto_Importe, "
                       "Vn_Descuento_Importe, Vn_Descuento_Global_Importe, Vn_Precio_Descontado_Importe "
                       "FROM Venta_Encabezado WHERE Es_Cve_Estado NOT IN ('CA','FA') AND Fc_Folio = '' "
                       "AND Mn_Cve_Moneda = ? AND Sc_Cve_Sucursal = ? AND Vn_Fecha BETWEEN ? AND ? ORDER BY Vn_Folio"),
        {currency, branch, first.toString(Qt::ISODate), last.toString(Qt::ISODate)});
    for (; !rs.eof(); rs.moveNext()) {
        for (const char *column : columns) {
            const zentaro::MoneyField field = zentaro::MoneyField::read(rs.field(QLatin1String(column)));
            if (!field.ok())
                return QStringLiteral("La nota %1 no se puede cargar: su importe %2 está %3; corríjalo y vuelva a "
                                      "cargar los documentos")
                    .arg(rs.text(QStringLiteral("Vn_Folio")), QLatin1String(column), field.described());
        }
    }
    return {};
}

} // namespace

void frmQX417::CargaDocumentos()
{
    if (!Controles->isNew())
        return;
    const QString title = QStringLiteral("CargaDocumentos()");
    trapped(title, QStringLiteral("ERR-ID:7500026"), [&] {
        Publico &p = publico();
        if (txt_Mn_Cve_Moneda->text().isEmpty())
            return refuse(QStringLiteral("Debe especificar una moneda"), title, QStringLiteral("ERR-ID:7500022"),
                          txt_Mn_Cve_Moneda);
        if (txt_Sc_Descripcion->text().isEmpty())
            return refuse(QStringLiteral("Debe especificar una sucursal correcta para la factura"), title,
                          QStringLiteral("ERR-ID:7500023"), txt_Sc_Cve_Sucursal);
        if (txtAl_Descripcion->text().isEmpty())
            return refuse(QStringLiteral("Debe especificar un alamcén correcto para la factura"), title,
                          QStringLiteral("ERR-ID:7500024"), txt_Al_Cve_Almancen);

        const QString condition = p.QueryFilter->GetCondition(0);
        if (condition.isEmpty())
            return;

        lvNotas->clear();
        for (zentaro::KeyBox *box : {txtTotal, txtDescuento_Global, txtImpuestos, txtSuma, txtSubtotal})
            box->setValue(0.0);
        lvDevoluciones->clear();
        for (zentaro::KeyBox *box : {txtDevTotal, txtDevDescuento_Global, txtDevImpuestos, txtDevSuma, txtDevSubtotal})
            box->setValue(0.0);

        p.Sql = QStringLiteral("SELECT ") + kGroupedFields;
        p.Sql += QStringLiteral("   Cliente.Rt_Cve_Ruta, ");
        p.Sql += QStringLiteral("   SUM(CAST(Venta_Encabezado.Vn_Precio_Lista_Importe AS Decimal(18,2))) as SUM_Suma_Importe,");
        p.Sql += QStringLiteral("   SUM(CAST(Venta_Encabezado.Vn_Precio_Neto_Importe AS Decimal(18,2))) as SUM_Importe,");
        p.Sql += QStringLiteral("   SUM(CAST(Venta_Encabezado.Vn_Impuesto_Importe AS Decimal(18,2))) As SUM_Impuesto, ");
        p.Sql += QStringLiteral("   SUM(CAST(Venta_Encabezado.Vn_Descuento_Importe AS Decimal(18,2))) As SUM_Descuento_Importe, ");
        p.Sql += QStringLiteral("   SUM(CAST(Venta_Encabezado.Vn_Descuento_Global_Importe AS Decimal(18,2))) AS Vn_Descuento_Global_Importe ");
        p.Sql += QStringLiteral("FROM Venta_Encabezado ");
        p.Sql += QStringLiteral("   INNER JOIN Cliente ON Venta_Encabezado.Cl_Cve_Cliente = Cliente.Cl_Cve_Cliente ");
        p.Sql += QStringLiteral("   INNER JOIN Vendedor ON Vendedor.Vn_Cve_Vendedor = Venta_Encabezado.Vn_Cve_Vendedor  ");
        p.Sql += QStringLiteral("WHERE ");
        p.Sql += QStringLiteral("   Venta_Encabezado.Es_Cve_Estado not in ('CA','FA') AND ");
        p.Sql += QStringLiteral("   Venta_Encabezado.Fc_Folio = '' AND ");
        p.Sql += QStringLiteral("   Venta_Encabezado.Mn_Cve_Moneda = ") + zentaro::sql::quoted(txt_Mn_Cve_Moneda->text())
                 + QStringLiteral(" AND ");
        p.Sql += QStringLiteral("   Venta_Encabezado.Sc_Cve_Sucursal = ") + zentaro::sql::quoted(txt_Sc_Cve_Sucursal->text())
                 + QStringLiteral(" AND ");
        if (chkFiltrarCondicion->value() == 1)
            p.Sql += QStringLiteral("   Venta_Encabezado.Vn_Condicion_Venta = ") + zentaro::sql::quoted(txtCondicionVenta->text())
                     + QStringLiteral(" AND ");
        if (chkFechas->value() == 1)
            p.Sql += QStringLiteral(" Venta_Encabezado.Vn_Fecha BETWEEN ")
                     + zentaro::sql::quoted(p.Utilities->SqlDate(dpFecha_Inicio->value())) + QStringLiteral(" AND ")
                     + zentaro::sql::quoted(p.Utilities->SqlDate(dpFecha_Final->value())) + QStringLiteral(" AND ");
        else
            p.Sql += QStringLiteral(" Venta_Encabezado.Vn_Fecha = ") + zentaro::sql::quoted(p.Utilities->SqlDate(dpFecha->value()))
                     + QStringLiteral(" AND ");
        p.Sql += condition;
        p.Sql += QStringLiteral("GROUP BY ") + kGroupedFields;
        p.Sql += QStringLiteral("   Cliente.Rt_Cve_Ruta ");

        // A note whose amount is not a number stops the load; the clerk is told which one.
        const auto blame = [&](const zentaro::Error &error) {
            const bool range = chkFechas->value() == 1;
            const QString note = unreadableNote(p.Environment->Connection(), txt_Mn_Cve_Moneda->text(),
                                                txt_Sc_Cve_Sucursal->text(), range ? dpFecha_Inicio->value() : dpFecha->value(),
                                                range ? dpFecha_Final->value() : dpFecha->value());
            if (note.isEmpty())
                throw error;
            throw zentaro::Error(note);
        };
        try {
            loadNotes(p.Sql);
        } catch (const zentaro::Error &error) {
            blame(error);
        }
    });
}

void frmQX417::loadNotes(const QString &statement)
{
    const QString title = QStringLiteral("CargaDocumentos()");
    {
        // Read through once with no other statement in between: a million notes need not be
        // held whole by the driver beside the list they become.
        zentaro::Recordset rs = publico().Environment->Connection().executeStreamed(statement);
        if (rs.eof()) {
            showMessage(QStringLiteral("No se encontraron documentos"), 64, title, QStringLiteral("ERR-ID:7500025"));
            rs.close();
            return;
        }

        const auto column = [&rs](const char *name) { return rs.columnIndex(QLatin1String(name)); };
        const int folio = column("Vn_Folio"), cliente = column("Cl_Razon_Social_1"), fecha = column("Vn_Fecha"),
                  credito = column("Vn_Credito"), referencia = column("Vn_Referencia"),
                  impuesto = column("SUM_Impuesto"), importe = column("SUM_Importe"),
                  descuentoGlobal = column("Vn_Descuento_Global_Importe"),
                  descuentoImporte = column("SUM_Descuento_Importe"), suma = column("SUM_Suma_Importe"),
                  vendedor = column("Vn_Descripcion"), tabla = column("Vn_Tabla"), documento = column("Vn_Documento");
        const QString mask = QLatin1String(kMoneyMask);
        WorkProgress progress(this, QStringLiteral("Cargando notas de venta... %1"));
        int rows = 0;
        for (; !rs.eof(); rs.moveNext()) {
            const QString noteFolio = rs.textAt(folio);
            // An amount the engine could not add up (empty, or text that is not a number) sums
            // to nothing; the note is not listed as if it were 0.
            for (int amount : {impuesto, importe, descuentoGlobal, descuentoImporte, suma})
                if (rs.value(amount).isNull())
                    throw zentaro::Error(QStringLiteral("La nota %1 tiene un importe vacío o que no es un número")
                                             .arg(noteFolio));
            const int row = lvNotas->addRow(QStringLiteral("K") + noteFolio, noteFolio);
            lvNotas->setCell(row, 1, rs.textAt(cliente));
            lvNotas->setCell(row, 2, zentaro::textformat::defaultDateText(rs.dateAt(fecha)));
            lvNotas->setCell(row, 3, rs.textAt(credito) == QLatin1String("SI") ? QStringLiteral("Crédito")
                                                                               : QStringLiteral("Contado"));
            lvNotas->setCell(row, 4, rs.textAt(referencia));
            lvNotas->setCell(row, 5, zentaro::textformat::formatNumber(zentaro::Decimal::fromVariant(rs.value(impuesto)).toDouble(), mask));
            lvNotas->setCell(row, 6, zentaro::textformat::formatNumber(zentaro::Decimal::fromVariant(rs.value(importe)).toDouble(), mask));
            lvNotas->setCell(row, 7, rs.textAt(descuentoGlobal));
            lvNotas->setCell(row, 8, rs.textAt(descuentoImporte));
            lvNotas->setCell(row, 9, rs.textAt(suma));
            lvNotas->setCell(row, 10, QString());
            lvNotas->setCell(row, 11, rs.textAt(vendedor));
            lvNotas->setCell(row, 12, rs.textAt(tabla));
            lvNotas->setCell(row, 13, rs.textAt(documento));
            progress.step(++rows);
        }
        ssTabVek->setTab(1);
        zentaro::ColumnFitter().FitColumns(*lvNotas);
        rs.close();
        lvNotas->setColumnWidth(7, 0);
        lvNotas->setColumnWidth(8, 0);
        lvNotas->setColumnWidth(9, 0);
    }
}

} // namespace qx417
