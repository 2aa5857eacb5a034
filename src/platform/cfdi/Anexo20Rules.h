#pragma once

#include "platform/cfdi/Pac.h"

#include <QByteArray>

#include <optional>

namespace zentaro::cfdi {

// The arithmetic and global-invoice rules of Anexo 20 that a PAC enforces and the XSD
// cannot: line amounts against Cantidad × ValorUnitario and Base × TasaOCuota within SAT's
// limits, document sums, Total, decimals of the currency, c_TasaOCuota, the generic
// receptors, PPD with FormaPago 99, and InformacionGlobal with its year and conceptos.
// Returns the first fault found, with the code of SAT's validation matrix (CFDI40xxx); the
// few rules the matrix numbers nowhere carry our own "SBX-" codes.
std::optional<PacRefusal> findAnexo20Fault(const QByteArray &comprobanteXml);
// The same on a document already parsed (XmlDocument.h), for who reads it for more than this.
class XmlDocument;
std::optional<PacRefusal> findAnexo20Fault(const XmlDocument &comprobante);

} // namespace zentaro::cfdi
