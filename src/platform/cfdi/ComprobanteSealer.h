#pragma once

#include "platform/cfdi/Comprobante.h"
#include "platform/cfdi/TestCertificate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace zentaro::cfdi {

struct SealedComprobante
{
    QByteArray xml;
    QString cadenaOriginal;
    QString sello;
    QString noCertificado;
};

// Writes the comprobante with the CSD's NoCertificado and Certificado, builds its cadena
// original and seals it. `now` is the moment of sealing: the CSD must be valid then. Throws
// zentaro::Error for a wrong password, an expired CSD, a key that is not the certificate's
// or an Emisor RFC that is not the certificate's.
SealedComprobante sealComprobante(Comprobante comprobante, const Csd &csd, const QDateTime &now);

// True when the Sello of a CFDI verifies over its own cadena original with the Certificado
// it carries.
bool verifyComprobanteSeal(const QByteArray &xml);

} // namespace zentaro::cfdi
