#pragma once

#include "platform/cfdi/Pac.h"

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

// Where a PAC's answer leaves a sealed document: the one place that decides it (the table of
// docs/stamping-states.md). Stamped: the stamp is stored and the sealed XML goes. Refused:
// the PAC refused this very document with a documented code of the SAT's validation (301-306,
// 308, 401-403, CFDI40xxx, CFDI33xxx), so it can never be stamped and the invoice is sealed
// anew, under a new idempotency key. Pending ("sent, answer pending"): every other outcome,
// silence, a body that cannot be used, a refused login, a TLS failure, a reply too large,
// "already stamped" without a usable stamp, a code the suite does not know; the next attempt
// sends the same bytes with the same key.
enum class StampState { Stamped, Refused, Pending };
StampState stampStateOf(const cfdi::StampResult &result);
// A documented code by which the PAC refuses the document itself.
bool refusesTheDocument(const QString &code);

std::optional<SealedDocument> findSealedDocument(Connection &connection, const QString &table, const QString &document);
// Throws zentaro::Error when one is kept already (the table's key refuses a second).
void keepSealedDocument(Connection &connection, const SealedDocument &sealed);
// Counts one more call to the PAC and what came of it ("" when it stamped).
void recordStampAttempt(Connection &connection, const QString &table, const QString &document, const QString &outcome);
void discardSealedDocument(Connection &connection, const QString &table, const QString &document);

} // namespace zentaro
