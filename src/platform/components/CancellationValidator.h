#pragma once

#include "platform/components/CancellationMotive.h"

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zentaro {

namespace cfdi {
class Pac;
}

// Decides, for the host's "ValidaDocumento", whether a stored invoice may be cancelled,
// and has the SAT cancel its electronic document first, so that the invoice canceller,
// inside the screen's transaction, only has to read the SAT's answer. The rules, in order:
//   - an unknown or already cancelled invoice is refused (sError);
//   - an invoice that was never stamped is accepted at once: nothing to cancel at the SAT;
//   - one the SAT already cancelled (its answer is kept) is accepted without asking again:
//     the cancel command finishes what a lost commit left undone;
//   - one whose request is out (no answer kept, or waiting for its receiver) is asked
//     about with the same request, never a new one;
//   - otherwise the SAT's deadline is checked (the end of the month in which the annual
//     return of the invoice's fiscal year is due: March of the next year for a company,
//     April for an individual), the clerk chooses the motive, warned when the invoice's
//     month was already declared, and the motive is checked: 01 needs the UUID of a valid
//     document of the same issuer that relates this one with TipoRelacion 04; 04 fits only
//     a global invoice. The request is recorded and committed, then sent to the PAC.
// A cancelled answer accepts; "in process" stops with an explanation in sMensaje; a
// refusal, or a lost answer, is an sError. Closing the motive question refuses silently.
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

    // The last day on which the SAT takes the cancellation of a document of `fiscalYear`
    // issued by `issuerRfc` (12 characters: a company; 13: an individual).
    static QDate cancellationDeadline(int fiscalYear, const QString &issuerRfc);

private:
    Decision decide(const QString &request);

    MotiveSource m_ask;
    std::shared_ptr<cfdi::Pac> m_pac;
};

} // namespace zentaro
