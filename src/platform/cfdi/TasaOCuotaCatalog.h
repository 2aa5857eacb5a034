#pragma once

#include "platform/cfdi/ExactDecimal.h"

#include <QString>

namespace zentaro::cfdi {

// SAT's c_TasaOCuota for transferred taxes: the fixed rates of IVA (0 %, 8 % in the border
// region, 16 %) and of IEPS by product, and the range of IEPS amounts per unit (Cuota).
// Exento carries no rate and is not looked up here.
bool isCataloguedTasaOCuota(const QString &impuesto, const QString &tipoFactor, const ExactDecimal &value);

} // namespace zentaro::cfdi
