#pragma once

#include "platform/components/CancellationMotive.h"

#include <QString>

#include <functional>
#include <optional>

namespace zentaro {

// Decides, for the host's "ValidaDocumento", whether a stored invoice may be cancelled,
// and keeps the SAT motive so the invoice canceller can file it. The rules, in order:
//   - an unknown or already cancelled invoice is refused (sError);
//   - an invoice that was never stamped is accepted at once: nothing to cancel at the SAT;
//   - the clerk is asked for the motive; closing the question refuses silently (both
//     texts empty, the screen just clears itself);
//   - the motive must be one of SAT's 01-04; 01 needs the UUID of another stamped invoice
//     that replaces this one; 04 only fits a global invoice (sError otherwise);
//   - a global invoice stamped in an earlier month, which the tax return of that month
//     already declared, is only cancelled with a replacement (01) or for a nominative
//     invoice (04): otherwise an explanation in sMensaje stops the cancellation;
//   - everything else is accepted and the motive recorded on the Comprobante_Digital row.
class CancellationValidator
{
public:
    using MotiveSource = std::function<std::optional<CancellationMotive>(const QString &invoiceName)>;

    struct Decision
    {
        bool accepted = false;
        QString error;    // sError: a refusal
        QString message;  // sMensaje: information that stops the cancellation
    };

    explicit CancellationValidator(MotiveSource ask = {});

    // `request` is "1|folio". A failure of the suite (the database, say) comes back as a
    // refusal carrying its description, so the caller only reads the decision.
    Decision validate(const QString &request);

private:
    Decision decide(const QString &request);

    MotiveSource m_ask;
};

} // namespace zentaro
