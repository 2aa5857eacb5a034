// The lots that a set of documents of one table consumed, for whoever holds the screen:
// "lot@quantity 1@quantity 2@expiry@import declaration@its date@customs office", entries
// joined by "|". A lot is filed under the equivalence product of the document's product
// when that product names one.

#include "qx417/screen/frmQX417.h"

#include "platform/core/Error.h"
#include "platform/db/SqlLiteral.h"
#include "qx417/module/Publico.h"

namespace qx417 {

QString frmQX417::Traer_Lotes_Ventas(const QString &Tabla, const QString &Documentos)
{
    QString result;
    try {
        Publico &p = publico();
        p.Sql = QStringLiteral("SELECT ");
        p.Sql += QStringLiteral("   Lote.Lt_Cve_Lote, ");
        p.Sql += QStringLiteral("   Lote.Lt_Fecha_Caducidad, ");
        p.Sql += QStringLiteral("   Lote.Lt_Pedimento, ");
        p.Sql += QStringLiteral("   Lote.Lt_Fecha_Pedimento, ");
        p.Sql += QStringLiteral("   Lote.Lt_Aduana, ");
        p.Sql += QStringLiteral("   ISNULL(SUM(Lote_Documento.Lt_Cantidad_Control_1),0) as Lt_Cantidad_Control_1, ");
        p.Sql += QStringLiteral("   ISNULL(SUM(Lote_Documento.Lt_Cantidad_Control_2),0) AS Lt_Cantidad_Control_2 ");
        p.Sql += QStringLiteral("FROM  Lote_Documento ");
        p.Sql += QStringLiteral("   INNER JOIN PRODUCTO ON PRODUCTO.PR_CVE_PRODUCTO = LOTE_DOCUMENTO.PR_CVE_PRODUCTO ");
        p.Sql += QStringLiteral("   INNER JOIN Lote ON Lote_Documento.Lt_Cve_Lote = Lote.Lt_Cve_Lote AND ");
        p.Sql += QStringLiteral("       Lote.Pr_Cve_Producto = (CASE Producto.Pr_Equivalencia_Producto WHEN '' THEN "
                                "Producto.Pr_Cve_Producto ELSE Producto.Pr_Equivalencia_Producto END) ");
        p.Sql += QStringLiteral("WHERE ");
        p.Sql += QStringLiteral("   Lote_Documento.Ld_Tabla = ");
        p.Sql += zentaro::sql::quoted(Tabla);
        p.Sql += QStringLiteral(" AND ");
        p.Sql += QStringLiteral("   Lote_Documento.Ld_Documento IN (");
        p.Sql += Documentos;
        p.Sql += QStringLiteral(") ");
        p.Sql += QStringLiteral("GROUP BY ");
        p.Sql += QStringLiteral("   Lote.Lt_Cve_Lote, ");
        p.Sql += QStringLiteral("   Lote.Lt_Fecha_Caducidad, ");
        p.Sql += QStringLiteral("   Lote.Lt_Pedimento, ");
        p.Sql += QStringLiteral("   Lote.Lt_Fecha_Pedimento, ");
        p.Sql += QStringLiteral("   Lote.Lt_Aduana ");
        zentaro::Recordset rs = p.Environment->Connection().execute(p.Sql);
        const auto date = [&](const char *column) {
            const QDate value = rs.date(QLatin1String(column));
            return value.isValid() ? p.Utilities->SqlDate(value) : QString();
        };
        for (; !rs.eof(); rs.moveNext()) {
            if (!result.isEmpty())
                result += u'|';
            result += rs.text(QStringLiteral("Lt_Cve_Lote")) + u'@' + rs.text(QStringLiteral("Lt_Cantidad_Control_1")) + u'@'
                      + rs.text(QStringLiteral("Lt_Cantidad_Control_2")) + u'@' + date("Lt_Fecha_Caducidad") + u'@'
                      + rs.text(QStringLiteral("Lt_Pedimento")) + u'@' + date("Lt_Fecha_Pedimento") + u'@'
                      + rs.text(QStringLiteral("Lt_Aduana"));
        }
        rs.close();
    } catch (const zentaro::Error &error) {
        // The caller reads the reason from ErrorText; no message is shown.
        ErrorText = error.description();
        return {};
    }
    return result;
}

} // namespace qx417
