#pragma once

#include <QString>

namespace zentaro {

// SAT's descriptions of the catalogue keys a printed invoice shows, so the customer
// reads "03 - Transferencia electrónica de fondos" rather than a bare "03".
enum class SatCatalog { FormaPago, MetodoPago, RegimenFiscal, UsoCfdi, Periodicidad, Meses, Impuesto, Exportacion, TipoDeComprobante, ObjetoImp };

// "key - description"; the key alone when SAT's description is not known here.
QString satKeyText(SatCatalog catalog, const QString &key);
// The description alone; "" when unknown.
QString satDescription(SatCatalog catalog, const QString &key);

} // namespace zentaro
