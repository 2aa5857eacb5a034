#include "platform/cfdi/CsdPrivateKey.h"

#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/OpenSslSupport.h"
#include "platform/core/Error.h"

#include <openssl/pkcs12.h>

namespace zentaro::cfdi {

CsdPrivateKey CsdPrivateKey::load(const QByteArray &der, const QString &password)
{
    const auto *data = reinterpret_cast<const unsigned char *>(der.constData());
    const OpenSslPtr<X509_SIG> encrypted(d2i_X509_SIG(nullptr, &data, static_cast<long>(der.size())));
    if (!encrypted) {
        takeOpenSslError();
        throw Error(QStringLiteral("El archivo de la llave privada no es una llave de CSD válida"));
    }
    if (password.isEmpty())
        throw Error(QStringLiteral("Falta la contraseña de la llave privada del CSD"));
    const QByteArray pass = password.toUtf8();
    const OpenSslPtr<PKCS8_PRIV_KEY_INFO> info(
        PKCS8_decrypt(encrypted.get(), pass.constData(), static_cast<int>(pass.size())));
    if (!info) {
        takeOpenSslError();
        throw Error(QStringLiteral("La contraseña de la llave privada del CSD es incorrecta"));
    }
    // The password opened it: what is inside is the file's fault, not the password's.
    EVP_PKEY *key = EVP_PKCS82PKEY(info.get());
    takeOpenSslError();
    if (!key)
        throw Error(QStringLiteral("La llave privada del CSD se abrió con su contraseña pero está dañada: vuelva a "
                                   "registrar el archivo .key que entregó el SAT"));
    CsdPrivateKey result;
    result.m_key.reset(key, EVP_PKEY_free);
    if (EVP_PKEY_base_id(key) != EVP_PKEY_RSA)
        throw Error(QStringLiteral("La llave privada no es una llave RSA de CSD del SAT"));
    return result;
}

QString CsdPrivateKey::signBase64(const QByteArray &message) const
{
    OpenSslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    size_t length = 0;
    const auto *input = reinterpret_cast<const unsigned char *>(message.constData());
    const auto inputSize = static_cast<size_t>(message.size());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, input, inputSize) != 1)
        throwOpenSslError(QStringLiteral("No se pudo sellar el comprobante"));
    QByteArray signature(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char *>(signature.data()), &length, input, inputSize) != 1)
        throwOpenSslError(QStringLiteral("No se pudo sellar el comprobante"));
    signature.truncate(static_cast<qsizetype>(length));
    return QString::fromLatin1(signature.toBase64());
}

bool CsdPrivateKey::matches(const CsdCertificate &certificate) const
{
    const auto *data = reinterpret_cast<const unsigned char *>(certificate.der().constData());
    const OpenSslPtr<X509> cert(d2i_X509(nullptr, &data, static_cast<long>(certificate.der().size())));
    const bool same = cert && EVP_PKEY_eq(X509_get0_pubkey(cert.get()), m_key.get()) == 1;
    takeOpenSslError();
    return same;
}

} // namespace zentaro::cfdi
