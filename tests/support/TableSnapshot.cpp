#include "support/TableSnapshot.h"

#include "platform/core/Error.h"

#include "platform/db/Schema.h"

#include <QSet>

namespace zentaro::test {

QMap<QString, QStringList> snapshotTables(Connection &connection)
{
    QMap<QString, QStringList> snapshot;
    for (const schema::Table &table : schema::tables()) {
        const QString name = QString::fromLatin1(table.name);
        if (schema::installedVersion(connection) < table.since)
            continue;
        QStringList rows;
        Recordset rs = connection.select(QStringLiteral("SELECT * FROM %1").arg(name));
        for (; !rs.eof(); rs.moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs.fieldCount(); ++i) {
                // A stored value that is not a number where one belongs ("NaN") is still data
                // to compare, as the engine holds it.
                try {
                    fields << rs.textAt(i);
                } catch (const Error &) {
                    fields << rs.value(i).toString();
                }
            }
            rows << fields.join(QStringLiteral(" | "));
        }
        rows.sort();
        snapshot.insert(name, rows);
    }
    return snapshot;
}

QString describeDifferences(const QMap<QString, QStringList> &before, const QMap<QString, QStringList> &after)
{
    QString text;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QStringList other = after.value(it.key());
        if (other == it.value())
            continue;
        const QSet<QString> was(it.value().cbegin(), it.value().cend()), now(other.cbegin(), other.cend());
        text += QStringLiteral("%1: %2 filas antes, %3 después\n").arg(it.key()).arg(it.value().size()).arg(other.size());
        int shown = 0;
        for (const QString &row : other)
            if (!was.contains(row) && shown++ < 3)
                text += QStringLiteral("  + ") + row + u'\n';
        for (const QString &row : it.value())
            if (!now.contains(row) && shown++ < 6)
                text += QStringLiteral("  - ") + row + u'\n';
    }
    return text;
}

} // namespace zentaro::test
