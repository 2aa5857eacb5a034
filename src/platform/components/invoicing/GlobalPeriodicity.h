#pragma once

#include <QString>

namespace zentaro {

class Connection;

// The c_Periodicidad of a branch's global invoices: CFDI_PERIODICIDAD_<branch>, else
// CFDI_PERIODICIDAD, else 01 (daily). The signer reads it for an invoice that did not
// choose its own; the night run splits the branch's notes by it.
QString configuredPeriodicity(Connection &connection, const QString &branch);

} // namespace zentaro
