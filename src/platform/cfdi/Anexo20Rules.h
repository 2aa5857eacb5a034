#pragma once

#include "platform/cfdi/Pac.h"

#include <QByteArray>

#include <optional>

namespace zentaro::cfdi {

// The arithmetic and global-invoice rules of Anexo 20 that a PAC enforces and the XSD
// cannot: line amounts against Cantidad × ValorUnitario and Base × TasaOCuota within SAT's
// limits, document sums, Total, decimals of the currency, and InformacionGlobal. Returns the
// first fault found. Codes: CFDI40108 (SubTotal), CFDI40119 (Total), CFDI40167 (Importe of a
// concepto) as SAT numbers them; the rest use our own "SBX-" codes.
std::optional<PacRefusal> findAnexo20Fault(const QByteArray &comprobanteXml);

} // namespace zentaro::cfdi
