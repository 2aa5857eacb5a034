#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct evp_pkey_st;

namespace zentaro::cfdi {

class CsdCertificate;

// The private half of a CSD, decrypted in memory only.
class CsdPrivateKey
{
public:
    // `der` is SAT's .key file: DER PKCS#8 encrypted with the CSD password. Throws
    // zentaro::Error, with a sentence the user can act on, for a wrong password or a file that
    // is not such a key.
    static CsdPrivateKey load(const QByteArray &der, const QString &password);

    // RSA-SHA256 (PKCS#1 v1.5) signature of `message`, base64 as the Sello attribute holds it.
    QString signBase64(const QByteArray &message) const;

    // True when this key belongs to the certificate; a CSD pair mixed up between two
    // issuers seals documents that SAT rejects.
    bool matches(const CsdCertificate &certificate) const;

private:
    std::shared_ptr<evp_pkey_st> m_key;
};

} // namespace zentaro::cfdi
