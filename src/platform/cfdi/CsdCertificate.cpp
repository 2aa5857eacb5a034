#include "platform/cfdi/CsdCertificate.h"

#include "platform/cfdi/OpenSslSupport.h"
#include "platform/core/Error.h"

#include <openssl/bn.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <ctime>

namespace zentaro::cfdi {

namespace {

OpenSslPtr<X509> parseDer(const QByteArray &der)
{
    const auto *data = reinterpret_cast<const unsigned char *>(der.constData());
    OpenSslPtr<X509> cert(d2i_X509(nullptr, &data, static_cast<long>(der.size())));
    if (!cert) {
        // OpenSSL's own reason is English and says nothing a clerk can act on.
        takeOpenSslError();
        throw Error(der.isEmpty() ? QStringLiteral("El archivo del certificado está vacío")
                                  : QStringLiteral("El archivo del certificado no se puede leer: no es un certificado "
                                                   "(.cer) en el formato en que lo entrega el SAT"));
    }
    return cert;
}

QDateTime toDateTime(const ASN1_TIME *time)
{
    std::tm tm{};
    if (!ASN1_TIME_to_tm(time, &tm))
        throwOpenSslError(QStringLiteral("El certificado tiene una fecha de vigencia ilegible"));
    return QDateTime(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), QTime(tm.tm_hour, tm.tm_min, tm.tm_sec),
                     Qt::UTC);
}

QString subjectEntry(X509 *cert, int nid)
{
    const X509_NAME *subject = X509_get_subject_name(cert);
    const int index = X509_NAME_get_index_by_NID(subject, nid, -1);
    if (index < 0)
        return {};
    const ASN1_STRING *data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
    unsigned char *utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, data);
    if (length < 0)
        return {};
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(utf8), length);
    OPENSSL_free(utf8);
    return text;
}

QString serialAsCertificateNumber(X509 *cert)
{
    OpenSslPtr<BIGNUM> serial(ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert), nullptr));
    QByteArray bytes(BN_num_bytes(serial.get()), Qt::Uninitialized);
    BN_bn2bin(serial.get(), reinterpret_cast<unsigned char *>(bytes.data()));
    for (const char c : std::as_const(bytes))
        if (c < '0' || c > '9')
            return QString::fromLatin1(bytes.toHex()); // not a SAT certificate number
    return QString::fromLatin1(bytes);
}

} // namespace

CsdCertificate CsdCertificate::fromDer(const QByteArray &der)
{
    const OpenSslPtr<X509> cert = parseDer(der);
    CsdCertificate result;
    result.m_der = der;
    result.m_number = serialAsCertificateNumber(cert.get());
    result.m_rfc = subjectEntry(cert.get(), NID_x500UniqueIdentifier).section(u'/', 0, 0).trimmed();
    result.m_name = subjectEntry(cert.get(), NID_commonName);
    result.m_validFrom = toDateTime(X509_get0_notBefore(cert.get()));
    result.m_validTo = toDateTime(X509_get0_notAfter(cert.get()));
    // The SAT issues two kinds of certificate to a taxpayer from the same shape: the e.firma
    // (FIEL) also encrypts and authenticates, a CSD only signs.
    const uint32_t flags = X509_get_extension_flags(cert.get());
    const uint32_t usage = X509_get_key_usage(cert.get());
    result.m_sealsOnly =
        !(flags & EXFLAG_KUSAGE) || !(usage & (KU_KEY_ENCIPHERMENT | KU_DATA_ENCIPHERMENT | KU_KEY_AGREEMENT));
    takeOpenSslError();
    return result;
}

CsdCertificate CsdCertificate::fromBase64(const QString &base64)
{
    const auto decoded = QByteArray::fromBase64Encoding(base64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        throw Error(QStringLiteral("El certificado del comprobante no está en base64"));
    return fromDer(decoded.decoded);
}

void CsdCertificate::checkValidAt(const QDateTime &now) const
{
    const QString format = QStringLiteral("dd/MM/yyyy");
    if (now > m_validTo)
        throw Error(QStringLiteral("El certificado de sello digital %1 venció el %2; tramite uno nuevo ante el SAT")
                        .arg(m_number, m_validTo.toString(format)));
    if (now < m_validFrom)
        throw Error(QStringLiteral("El certificado de sello digital %1 es válido a partir del %2")
                        .arg(m_number, m_validFrom.toString(format)));
}

void CsdCertificate::checkIsSealCertificate() const
{
    if (m_rfc.isEmpty())
        throw Error(QStringLiteral("El certificado %1 no es un certificado de sello digital (CSD) del SAT: no lleva el "
                                   "RFC de su titular")
                        .arg(m_number));
    if (!m_sealsOnly)
        throw Error(QStringLiteral("El certificado %1 de %2 no es un certificado de sello digital (CSD): es de una "
                                   "e.firma (FIEL). Registre el CSD que el SAT emite para sellar facturas")
                        .arg(m_number, m_rfc));
}

bool CsdCertificate::verify(const QByteArray &message, const QString &signatureBase64) const
{
    const auto signature =
        QByteArray::fromBase64Encoding(signatureBase64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!signature || signature.decoded.isEmpty())
        return false;
    const OpenSslPtr<X509> cert = parseDer(m_der);
    EVP_PKEY *key = X509_get0_pubkey(cert.get());
    OpenSslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    const bool ok = key && ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
                    EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char *>(signature.decoded.constData()),
                                     static_cast<size_t>(signature.decoded.size()),
                                     reinterpret_cast<const unsigned char *>(message.constData()),
                                     static_cast<size_t>(message.size())) == 1;
    takeOpenSslError();
    return ok;
}

} // namespace zentaro::cfdi
