#include "platform/cfdi/ComprobanteSealer.h"

#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/ComprobanteXmlWriter.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/CsdPrivateKey.h"
#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

namespace zentaro::cfdi {

SealedComprobante sealComprobante(Comprobante comprobante, const Csd &csd, const QDateTime &now)
{
    // Each fault of the pair is told by its own cause, in this order: the certificate's
    // file, its kind, its dates, then the key's file, its password, and the pair.
    const CsdCertificate certificate = CsdCertificate::fromDer(csd.certificateDer);
    certificate.checkIsSealCertificate();
    certificate.checkValidAt(now);
    const CsdPrivateKey key = CsdPrivateKey::load(csd.privateKeyDer, csd.password);
    if (!key.matches(certificate))
        throw Error(QStringLiteral("La llave privada no corresponde al certificado %1").arg(certificate.number()));
    if (comprobante.emisor.rfc != certificate.rfc())
        throw Error(QStringLiteral("El RFC del emisor (%1) no es el del certificado de sello digital (%2)")
                        .arg(comprobante.emisor.rfc, certificate.rfc()));

    comprobante.noCertificado = certificate.number();
    comprobante.certificado = certificate.base64();
    comprobante.sello.clear();
    SealedComprobante sealed;
    sealed.cadenaOriginal = cadenaOriginal(comprobante);
    sealed.xml = writeComprobanteXml(comprobante);
    sealed.sello = key.signBase64(sealed.cadenaOriginal.toUtf8());
    // The Sello is no part of the cadena, so the document written without it only lacks
    // its value: base64 needs no escaping, and the root's empty Sello is the first such
    // text (an attribute value holding it would have its quotes escaped). Writing a large
    // invoice a second time would cost as much as reading it.
    const qsizetype at = sealed.xml.indexOf(QByteArrayLiteral(" Sello=\"\""));
    if (at < 0)
        throw Error(QStringLiteral("El comprobante escrito no tiene el atributo Sello"));
    sealed.xml.insert(at + 8, sealed.sello.toLatin1());
    sealed.noCertificado = comprobante.noCertificado;
    return sealed;
}

bool verifyComprobanteSeal(const QByteArray &xml)
{
    const XmlDocument document = XmlDocument::parse(xml);
    const QString certificado = attributeOrEmpty(document.root(), "Certificado");
    const QString sello = attributeOrEmpty(document.root(), "Sello");
    if (certificado.isEmpty() || sello.isEmpty())
        return false;
    return CsdCertificate::fromBase64(certificado).verify(cadenaOriginal(xml).toUtf8(), sello);
}

} // namespace zentaro::cfdi
