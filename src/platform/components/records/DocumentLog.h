#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace zentaro {

class Connection;

// The history of a document in Bitacora_Documento: who signed, printed or mailed it and
// when. Support reads it when a customer says the invoice never arrived, so failures are
// written as well as successes.
struct DocumentLogEntry
{
    QDateTime when;
    QString user;
    QString action;
    QString detail;
};

// Appends one entry dated by the server clock for the signed-in user. Inside an open
// transaction it takes part in it.
void logDocumentEvent(Connection &connection, const QString &table, const QString &document, const QString &action,
                      const QString &detail);

// The entries of a document, oldest first.
QList<DocumentLogEntry> documentLog(Connection &connection, const QString &table, const QString &document);

} // namespace zentaro
