#pragma once

#include "platform/cfdi/Comprobante.h"

#include <QByteArray>

namespace zentaro::cfdi {

// The CFDI 4.0 XML of the comprobante, UTF-8, attributes in the order of the cadena original
// so that a person comparing the two reads them side by side. Empty optional fields are left
// out: an empty attribute would still add a "|" to the cadena.
QByteArray writeComprobanteXml(const Comprobante &comprobante);

} // namespace zentaro::cfdi
