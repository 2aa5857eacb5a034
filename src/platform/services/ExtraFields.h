#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace zentaro {

class Connection;

// The additional fields a business defines for the documents of a table (Campo_Extra) and
// the values each document holds (Campo_Extra_Valor).
namespace extrafields {

struct Definition
{
    QString field;
    QString label;
};

using Values = QList<QPair<QString, QString>>;   // field, value

QList<Definition> definitions(Connection &connection, const QString &table);
Values load(Connection &connection, const QString &table, const QString &document);
// Replaces the document's values; empty values keep no row. Runs inside the caller's
// transaction when one is open, so the values stand or fall with the document.
void store(Connection &connection, const QString &table, const QString &document, const Values &values);

} // namespace extrafields
} // namespace zentaro
