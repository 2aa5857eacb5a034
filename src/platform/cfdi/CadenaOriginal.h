#pragma once

#include "platform/cfdi/Comprobante.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zentaro::cfdi {

// The cadena original of a CFDI 4.0, equal byte for byte to what SAT's
// cadenaoriginal_4_0.xslt gives for the same XML, built without an XSLT engine. Complements
// other than the TimbreFiscalDigital are refused with zentaro::Error: their templates are not
// reproduced here and a cadena that merely looks right would be sealed wrongly.
QString cadenaOriginal(const QByteArray &comprobanteXml);
// The same on a document already parsed (XmlDocument.h), for who reads it for more than this.
class XmlDocument;
QString cadenaOriginal(const XmlDocument &comprobante);
// The cadena original of the document writeComprobanteXml writes for `comprobante`, taken
// from the fields without writing and reading the XML: what the sealer signs. The
// writer omits an empty optional attribute and writes a required one even when empty,
// and the stylesheet's rules apply to that document, in its order.
QString cadenaOriginal(const Comprobante &comprobante);

struct TimbreFiscalDigital
{
    QString version = QStringLiteral("1.1");
    QString uuid;
    QString fechaTimbrado;
    QString rfcProvCertif;
    std::optional<QString> leyenda;
    QString selloCfd;
    QString noCertificadoSat;
    QString selloSat;
};

// ||1.1|UUID|FechaTimbrado|RfcProvCertif|[Leyenda|]SelloCFD|NoCertificadoSAT||
QString cadenaOriginalTfd(const TimbreFiscalDigital &tfd);
// Reads the tfd:TimbreFiscalDigital of a stamped CFDI, or a document whose root is one.
// Throws zentaro::Error when there is none.
TimbreFiscalDigital readTimbreFiscalDigital(const QByteArray &xml);
TimbreFiscalDigital readTimbreFiscalDigital(const XmlDocument &document);

} // namespace zentaro::cfdi
