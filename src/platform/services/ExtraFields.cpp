#include "platform/services/ExtraFields.h"

#include "platform/db/Connection.h"

namespace zentaro::extrafields {

QList<Definition> definitions(Connection &connection, const QString &table)
{
    QList<Definition> list;
    Recordset rs = connection.select(QStringLiteral("SELECT Ce_Campo, Ce_Etiqueta FROM Campo_Extra WHERE Ce_Tabla = ? "
                                                    "ORDER BY Ce_Orden, Ce_Campo"), {table});
    for (; !rs.eof(); rs.moveNext()) {
        const QString field = rs.text(QStringLiteral("Ce_Campo"));
        const QString label = rs.text(QStringLiteral("Ce_Etiqueta")).trimmed();
        list.append({field, label.isEmpty() ? field : label});
    }
    return list;
}

Values load(Connection &connection, const QString &table, const QString &document)
{
    Values values;
    Recordset rs = connection.select(
        QStringLiteral("SELECT Ce_Campo, Ce_Valor FROM Campo_Extra_Valor WHERE Ce_Tabla = ? AND Ce_Documento = ? "
                       "ORDER BY Ce_Campo"), {table, document});
    for (; !rs.eof(); rs.moveNext())
        values.append({rs.text(QStringLiteral("Ce_Campo")), rs.text(QStringLiteral("Ce_Valor"))});
    return values;
}

void store(Connection &connection, const QString &table, const QString &document, const Values &values)
{
    TransactionGuard transaction(connection);
    connection.run(QStringLiteral("DELETE FROM Campo_Extra_Valor WHERE Ce_Tabla = ? AND Ce_Documento = ?"),
                   {table, document});
    for (const auto &[field, value] : values) {
        if (value.trimmed().isEmpty())
            continue;   // an empty field is the same as no row
        connection.run(QStringLiteral("INSERT INTO Campo_Extra_Valor (Ce_Tabla, Ce_Documento, Ce_Campo, Ce_Valor) "
                                      "VALUES (?, ?, ?, ?)"), {table, document, field, value.trimmed()});
    }
    transaction.commit();
}

} // namespace zentaro::extrafields
