#pragma once

#include "platform/cfdi/Pac.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace zentaro {

class Connection;

// Where a stamped document stands in its cancellation at the SAT, kept on its
// Comprobante_Digital row (Cd_Estado and the cancellation columns). The request is
// written and committed before the PAC is called and every answer as soon as it comes,
// so that whatever is lost on the way (the PAC's answer, the commit of the invoice's own
// cancellation), the next attempt starts from what the SAT was told and said.
namespace satcancellation {

// Cd_Estado of a stamped document.
inline constexpr char16_t kValid[] = u"VI";          // nothing asked
inline constexpr char16_t kRequested[] = u"SO";      // asked; no answer kept yet
inline constexpr char16_t kInProcess[] = u"EP";      // the receiver must accept
inline constexpr char16_t kCancelled[] = u"CA";      // cancelled at the SAT
inline constexpr char16_t kRefused[] = u"RE";        // refused by the receiver or the SAT
inline constexpr char16_t kNotCancellable[] = u"NC"; // the SAT will not cancel it

struct Record
{
    QString table;
    QString document;
    QString uuid;
    QDateTime stampedAt;
    QByteArray xml;
    QString state;            // one of the codes above
    QString motive;
    QString replacementUuid;
    QDateTime requestedAt;
    QString answer;           // the SAT's last answer: "code - sentence"
    QByteArray acknowledgement;

    bool cancelledAtSat() const { return state == QStringView(kCancelled); }
    // A request is out and not finally answered: ask about it, never anew.
    bool pending() const { return state == QStringView(kRequested) || state == QStringView(kInProcess); }
};

// The stamped document's record; nullopt when it was never stamped.
std::optional<Record> find(Connection &connection, const QString &table, const QString &document);

// The request for the PAC, from the stamped XML and what the record keeps.
cfdi::CancellationRequest requestOf(const Record &record);

// Keeps a new request (state "SO") and commits it at once. It is taken only while the
// record is still in the state `record` was read in: false when another clerk's request
// got there first, and then nothing is written.
bool recordRequest(Connection &connection, Record &record, const QString &motive, const QString &replacementUuid,
                   const QDateTime &requestedAt);

// Where an answer came from: the request itself (its answer carries the SAT's acuse) or
// the SAT's status service.
enum class AnswerTo { Request, StatusQuery };

// Keeps the SAT's answer and logs it in the document's history; commits at once. An
// unusable answer (Unknown) leaves the state as it was: the SAT may hold the request. A
// document the SAT cancelled stays cancelled whatever a later, slower answer says. The
// acuse of the request is kept; a status answer only fills it when there is none.
void recordAnswer(Connection &connection, Record &record, const cfdi::CancellationResult &result,
                  AnswerTo source = AnswerTo::Request);

// The Spanish name of a state for the clerk.
QString stateText(const QString &state);

} // namespace satcancellation
} // namespace zentaro
