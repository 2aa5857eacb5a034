#pragma once

#include "platform/cfdi/TestCertificate.h"

#include <QString>

namespace zentaro {

class Connection;

// The issuer's CSD as the Emisor table keeps it (the password opened from its sealed form):
// it seals the invoices and signs their cancellations. Throws zentaro::Error, in Spanish,
// when the issuer is unknown or has no CSD.
cfdi::Csd issuerCsd(Connection &connection, const QString &rfc);

} // namespace zentaro
