#include "platform/cfdi/TestCertificate.h"

#include "platform/cfdi/OpenSslSupport.h"
#include "platform/core/Error.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <functional>

namespace zentaro::cfdi {

namespace {

struct BioFree
{
    void operator()(BIO *b) const { BIO_free(b); }
};

void check(bool ok, const char *step)
{
    if (!ok)
        throwOpenSslError(
            QStringLiteral("No se pudo generar el certificado de prueba (%1)").arg(QLatin1StringView(step)));
}

void addSubjectEntry(X509_NAME *name, int nid, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    check(X509_NAME_add_entry_by_NID(name, nid, MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char *>(utf8.constData()),
                                     static_cast<int>(utf8.size()), -1, 0) == 1,
          "sujeto");
}

QByteArray toDer(const std::function<int(BIO *)> &write)
{
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    check(bio && write(bio.get()) == 1, "exportación");
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, size);
}

} // namespace

Csd generateTestCsd(const QString &rfc, const QString &name, const QString &password, const QDateTime &notBefore,
                    const QDateTime &notAfter, const QString &certificateNumber, TestCertificateKind kind)
{
    OpenSslPtr<EVP_PKEY> key(EVP_RSA_gen(2048));
    check(key != nullptr, "llave RSA");

    OpenSslPtr<X509> cert(X509_new());
    check(cert && X509_set_version(cert.get(), 2) == 1, "versión");

    // SAT's serial is the certificate number's ASCII bytes read as one big integer.
    const QByteArray numberBytes = certificateNumber.toLatin1();
    OpenSslPtr<BIGNUM> serial(BN_bin2bn(reinterpret_cast<const unsigned char *>(numberBytes.constData()),
                                        static_cast<int>(numberBytes.size()), nullptr));
    OpenSslPtr<ASN1_INTEGER> serialInteger(serial ? BN_to_ASN1_INTEGER(serial.get(), nullptr) : nullptr);
    check(serialInteger && X509_set_serialNumber(cert.get(), serialInteger.get()) == 1, "número de serie");

    check(ASN1_TIME_set(X509_getm_notBefore(cert.get()), notBefore.toSecsSinceEpoch()) != nullptr &&
              ASN1_TIME_set(X509_getm_notAfter(cert.get()), notAfter.toSecsSinceEpoch()) != nullptr,
          "vigencia");

    X509_NAME *subject = X509_get_subject_name(cert.get());
    addSubjectEntry(subject, NID_commonName, name);
    addSubjectEntry(subject, NID_organizationName, name);
    addSubjectEntry(subject, NID_x500UniqueIdentifier, rfc);
    check(X509_set_issuer_name(cert.get(), subject) == 1 && X509_set_pubkey(cert.get(), key.get()) == 1, "emisor");
    const char *usage = kind == TestCertificateKind::Fiel
                            ? "critical,digitalSignature,nonRepudiation,dataEncipherment,keyAgreement"
                            : "critical,digitalSignature,nonRepudiation";
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
    OpenSslPtr<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &context, NID_key_usage, usage));
    check(extension && X509_add_ext(cert.get(), extension.get(), -1) == 1, "uso de la llave");
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "firma");

    Csd csd;
    csd.certificateDer = toDer([&cert](BIO *bio) { return i2d_X509_bio(bio, cert.get()); });
    const QByteArray pass = password.toUtf8();
    csd.privateKeyDer = toDer([&key, &pass](BIO *bio) {
        return i2d_PKCS8PrivateKey_bio(bio, key.get(), EVP_aes_256_cbc(), pass.constData(),
                                       static_cast<int>(pass.size()), nullptr, nullptr);
    });
    csd.password = password;
    return csd;
}

} // namespace zentaro::cfdi
