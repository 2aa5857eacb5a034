#pragma once

// OpenSSL stays inside the library: include this header from .cpp files only.

#include <QByteArray>
#include <QString>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace zentaro::cfdi {

struct OpenSslFree
{
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
    void operator()(X509 *p) const { X509_free(p); }
    void operator()(EVP_MD_CTX *p) const { EVP_MD_CTX_free(p); }
    void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
    void operator()(X509_SIG *p) const { X509_SIG_free(p); }
    void operator()(PKCS8_PRIV_KEY_INFO *p) const { PKCS8_PRIV_KEY_INFO_free(p); }
    void operator()(X509_NAME *p) const { X509_NAME_free(p); }
    void operator()(ASN1_INTEGER *p) const { ASN1_INTEGER_free(p); }
    void operator()(BIGNUM *p) const { BN_free(p); }
    void operator()(X509_EXTENSION *p) const { X509_EXTENSION_free(p); }
};

template <typename T> using OpenSslPtr = std::unique_ptr<T, OpenSslFree>;

// OpenSSL's own reason for the last failure, emptying its error queue so the next call
// starts clean.
QString takeOpenSslError();

// Throws zentaro::Error with `what` and OpenSSL's reason.
[[noreturn]] void throwOpenSslError(const QString &what);

} // namespace zentaro::cfdi
