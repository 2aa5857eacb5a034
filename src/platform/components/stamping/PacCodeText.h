#pragma once

#include "platform/cfdi/Pac.h"

#include <QString>

namespace zentaro {

// A provider's error message starts with its code: "CFDI40102 - El resultado de la
// digestión...", "301. XML mal formado", "AU2000 - ...". Answers that code, or "" when the
// message starts with none.
QString leadingCode(const QString &message);

// The Spanish sentence shown for a refused stamp: what the code means for the clerk, followed
// by the provider's own words, which name the exact field. Codes the suite does not know keep
// the provider's words alone.
QString stampRefusalText(const QString &code, const QString &providerText);

// What a code of the SAT's cancellation acknowledgement means (201 accepted, 202 cancelled
// before, 203-212 and 3xx refusals) and where it leaves the document.
struct CancellationCodeMeaning
{
    cfdi::CancellationStatus status;
    QString text;
};
CancellationCodeMeaning cancellationCodeMeaning(const QString &code);

} // namespace zentaro
