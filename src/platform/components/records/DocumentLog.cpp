#include "platform/components/records/DocumentLog.h"

#include "platform/db/Connection.h"
#include "platform/db/Counter.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

namespace zentaro {

namespace {

// The widths of the columns on PostgreSQL; a longer text would make the insert fail and
// lose the entry, which is worse than a shortened one.
constexpr int kActionWidth = 30;
constexpr int kDetailWidth = 500;

} // namespace

void logDocumentEvent(Connection &connection, const QString &table, const QString &document, const QString &action,
                      const QString &detail)
{
    Utilities utilities;
    const QString now = utilities.SqlDateTime(utilities.ServerNow());
    TransactionGuard transaction(connection);
    qint64 start = 0;
    if (connection.select(QStringLiteral("SELECT 1 FROM Contador WHERE Ct_Nombre = 'Bitacora_Documento'")).eof()) {
        // A database from before the counter: it starts after the entries already there.
        Recordset last = connection.select(QStringLiteral("SELECT max(Bd_ID) AS ultimo FROM Bitacora_Documento"));
        start = last.eof() ? 0 : last.decimal(QStringLiteral("ultimo")).units() / Decimal::kOne;
    }
    const qint64 next = nextCounterValue(connection, QStringLiteral("Bitacora_Documento"), start);
    connection.run(QStringLiteral("INSERT INTO Bitacora_Documento (Bd_ID, Bd_Tabla, Bd_Documento, Bd_Fecha, Bd_Usuario, "
                                  "Bd_Accion, Bd_Detalle) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {next, table, document, now, Platform::instance().userCode(), action.left(kActionWidth),
                    detail.left(kDetailWidth)});
    transaction.commit();
}

QList<DocumentLogEntry> documentLog(Connection &connection, const QString &table, const QString &document)
{
    QList<DocumentLogEntry> entries;
    Recordset rs = connection.select(QStringLiteral("SELECT Bd_Fecha, Bd_Usuario, Bd_Accion, Bd_Detalle FROM Bitacora_Documento "
                                                    "WHERE Bd_Tabla = ? AND Bd_Documento = ? ORDER BY Bd_ID"),
                                     {table, document});
    for (; !rs.eof(); rs.moveNext())
        entries.append({QDateTime::fromString(rs.text(QStringLiteral("Bd_Fecha")), QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                        rs.text(QStringLiteral("Bd_Usuario")), rs.text(QStringLiteral("Bd_Accion")),
                        rs.text(QStringLiteral("Bd_Detalle"))});
    return entries;
}

} // namespace zentaro
