#pragma once

#include "platform/cfdi/Comprobante.h"

#include <QByteArray>

namespace zentaro::cfdi {

// The comprobante a CFDI 4.0 XML holds, attribute for attribute as it was written (and, for
// a stamped one, as it was stamped): what a printout of the fiscal document must show.
// Throws zentaro::Error when the text is not a CFDI 4.0.
Comprobante readComprobanteXml(const QByteArray &xml);

} // namespace zentaro::cfdi
