#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace zentaro::test {

// A throwaway certificate for 127.0.0.1, made fresh for each test run: the mail tests'
// own server presents it, and the client trusts it only when told to through
// MAIL_CA_CERTIFICADO (its PEM file).
class SmtpSinkCertificate
{
public:
    SmtpSinkCertificate()
        : m_key(EVP_EC_gen("P-256"), EVP_PKEY_free), m_certificate(X509_new(), X509_free)
    {
        X509 *x = m_certificate.get();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 24 * 3600);
        X509_set_pubkey(x, m_key.get());
        X509_NAME *name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(x, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
        const std::pair<int, const char *> extensions[] = {{NID_subject_alt_name, "IP:127.0.0.1"},
                                                           {NID_basic_constraints, "critical,CA:TRUE"},
                                                           {NID_key_usage, "critical,digitalSignature,keyCertSign"}};
        for (const auto &[nid, value] : extensions) {
            X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
            X509_add_ext(x, extension, -1);
            X509_EXTENSION_free(extension);
        }
        X509_sign(x, m_key.get(), EVP_sha256());

        BIO *file = BIO_new_file(pemPath().toLocal8Bit().constData(), "w");
        PEM_write_bio_X509(file, x);
        BIO_free(file);
    }

    X509 *certificate() const { return m_certificate.get(); }
    EVP_PKEY *key() const { return m_key.get(); }
    QString pemPath() const { return m_dir.filePath(QStringLiteral("sink-ca.pem")); }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> m_key;
    std::unique_ptr<X509, decltype(&X509_free)> m_certificate;
    QTemporaryDir m_dir;
};

} // namespace zentaro::test
