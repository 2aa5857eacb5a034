#pragma once

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/Comprobante.h"

#include <QByteArray>

namespace zentaro::cfdi {

// The comprobante a CFDI 4.0 XML holds, attribute for attribute as it was written (and, for
// a stamped one, as it was stamped): what a printout of the fiscal document must show.
// Throws zentaro::Error when the text is not a CFDI 4.0.
Comprobante readComprobanteXml(const QByteArray &xml);

// A stamped CFDI's comprobante and its timbre from one reading of the text (a large one
// costs as much to read as to draw). Throws zentaro::Error when the text is not a CFDI 4.0
// or has no timbre.
struct StampedComprobante
{
    Comprobante comprobante;
    TimbreFiscalDigital timbre;
};
StampedComprobante readStampedComprobante(const QByteArray &xml);

// The same, up to the conceptos and without them (no conceptos, no taxes): the header, the
// parties, the global information and the related documents. Reads the text only as far
// as the conceptos begin, so it costs the same for ten thousand lines as for one; for who
// needs the seal, the total or the parties of a large stamped document. Throws
// zentaro::Error when the text is not a CFDI 4.0 or is not well-formed before that point.
Comprobante readComprobanteHeader(const QByteArray &xml);

} // namespace zentaro::cfdi
