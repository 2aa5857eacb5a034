#pragma once

#include "platform/components/cancellation/CancellationMotive.h"

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zentaro {

namespace cfdi {
class Pac;
}
namespace satcancellation {
struct Record;
}

// Decides, for the host's "ValidaDocumento", whether a stored invoice may be cancelled,
// and has the SAT cancel its electronic document first, so that the invoice canceller,
// inside the screen's transaction, only has to read the SAT's answer. The rules, in order:
//   - an unknown or already cancelled invoice is refused (sError);
//   - an invoice never stamped is accepted at once when its sealed XML never left the
//     machine; one sent to the PAC without an answer kept is settled first by sending the
//     same bytes again: a stamp that comes back is kept and cancelled as below, the PAC's
//     refusal of the document lets it go without the SAT, and no answer refuses (sError);
//   - one the SAT already cancelled (its answer is kept) is accepted without asking again:
//     the cancel command finishes what a lost commit left undone;
//   - one the SAT received (201, 205) is only asked about at the SAT's status service; one
//     whose request is recorded without an answer is sent the same request again;
//   - otherwise the SAT's deadline is checked on the program's date (the end of the month
//     in which the annual return of the CFDI's fiscal year is due: February of the next
//     year for a non-profit, regime 603, March for a company, April for an individual), the clerk chooses the motive, warned when the invoice's
//     month was already declared, and the motive is checked: 01 needs the UUID of a valid
//     document of the same issuer that relates this one with TipoRelacion 04; 04 fits only
//     a global invoice. The request is recorded and committed (unless another clerk's got
//     there first), then sent to the PAC, and the status service has the last word.
// "Cancelado" accepts with no text. Received but not decided, or no usable answer (never a
// refusal), accepts with an informative sMensaje: the screen shows it and cancels nothing.
// A refusal by the receiver or the SAT is an sError, and the request is forgotten so that
// a new one can be made. Closing the motive question refuses silently.
class CancellationValidator
{
public:
    // Asks the clerk for the motive; `warning` is "" or what the clerk should know first.
    using MotiveSource =
        std::function<std::optional<CancellationMotive>(const QString &invoiceName, const QString &warning)>;

    struct Decision
    {
        bool accepted = false;
        QString error;    // sError: a refusal
        QString message;  // sMensaje: information that stops the cancellation
    };

    // Without a PAC, the one the configuration names (DocumentSigner::configuredPac).
    explicit CancellationValidator(MotiveSource ask = {}, std::shared_ptr<cfdi::Pac> pac = {});

    // `request` is "1|folio". A failure of the suite (the database, say) comes back as a
    // refusal carrying its description, so the caller only reads the decision.
    Decision validate(const QString &request);

    // "" while the SAT still takes the cancellation of the stamped document in `record` on
    // the program's date (Utilities::ServerToday); else the refusal, which names
    // `invoiceName` and the deadline (cfdi::cancellationDeadline: the issuer's RFC and
    // regime and the CFDI's Fecha decide it; `invoiceDate` only when the XML has no Fecha).
    static QString deadlineRefusal(const QString &invoiceName, const satcancellation::Record &record,
                                   const QDate &invoiceDate);

private:
    Decision decide(const QString &request);

    MotiveSource m_ask;
    std::shared_ptr<cfdi::Pac> m_pac;
};

} // namespace zentaro
