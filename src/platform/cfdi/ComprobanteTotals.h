#pragma once

#include "platform/cfdi/Comprobante.h"

namespace zentaro::cfdi {

// Fills SubTotal, Descuento, the document Impuestos and Total from the conceptos the way the
// PAC recomputes them: line amounts are summed exactly and only the sums are rounded to the
// decimals of the currency, so a hundred tickets do not pile up a hundred roundings.
// Traslados are grouped by impuesto, factor and rate in the order they first appear.
void computeTotals(Comprobante &comprobante);

} // namespace zentaro::cfdi
