#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace zentaro {

class Connection;

// A sealed document waiting for its stamp, as Comprobante_Sellado keeps it. It is written
// and committed before the PAC is called, so whatever happens to the answer the next attempt
// sends these same bytes: the PAC recognises them and gives back the stamp it made, never a
// second UUID. Only the PAC's refusal of the document discards it.
struct SealedDocument
{
    QString table;
    QString document;
    QByteArray xml;
    QDateTime sealedAt;
    int attempts = 0;
    QString lastError;
};

std::optional<SealedDocument> findSealedDocument(Connection &connection, const QString &table, const QString &document);
// Throws zentaro::Error when one is kept already (the table's key refuses a second).
void keepSealedDocument(Connection &connection, const SealedDocument &sealed);
// Counts one more call to the PAC and what came of it ("" when it stamped).
void recordStampAttempt(Connection &connection, const QString &table, const QString &document, const QString &outcome);
void discardSealedDocument(Connection &connection, const QString &table, const QString &document);

} // namespace zentaro
