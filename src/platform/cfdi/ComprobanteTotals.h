#pragma once

#include "platform/cfdi/Comprobante.h"

namespace zentaro::cfdi {

// Fills SubTotal, Descuento, the document Impuestos and Total from the conceptos the way the
// PAC recomputes them: line amounts are summed exactly and only the sums are rounded to the
// decimals of the currency. The suite writes every concept already in cents, chosen so that
// each adds up to its note (docs/money-rounding.md), so the sums here are exact and Total is
// SubTotal - Descuento + the traslados without any rounding left (CFDI40119).
// Traslados are grouped by impuesto, factor and rate in the order they first appear.
void computeTotals(Comprobante &comprobante);

} // namespace zentaro::cfdi
