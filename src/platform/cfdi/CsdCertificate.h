#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace zentaro::cfdi {

// The public half of a CSD (or of a PAC's certificate): what goes into NoCertificado and
// Certificado, and what checks a Sello.
class CsdCertificate
{
public:
    // Throws zentaro::Error when the bytes are not a DER X.509 certificate.
    static CsdCertificate fromDer(const QByteArray &der);
    // The Certificado attribute of a CFDI.
    static CsdCertificate fromBase64(const QString &base64);

    const QByteArray &der() const { return m_der; }
    QString base64() const { return QString::fromLatin1(m_der.toBase64()); }
    // SAT writes the 20-digit certificate number as the ASCII bytes of the serial.
    const QString &number() const { return m_number; }
    // The first RFC of x500UniqueIdentifier ("EKU9003173C9 / VADA800927DJ3" holds the
    // company's and its legal representative's).
    const QString &rfc() const { return m_rfc; }
    const QString &name() const { return m_name; }
    const QDateTime &validFrom() const { return m_validFrom; }
    const QDateTime &validTo() const { return m_validTo; }

    // Throws zentaro::Error when `now` falls outside the validity dates: SAT refuses any
    // seal made with an expired or not yet valid CSD.
    void checkValidAt(const QDateTime &now) const;

    // Throws zentaro::Error when this is no certificate to seal invoices with: one without
    // an RFC, or an e.firma (FIEL), whose key may also encrypt.
    void checkIsSealCertificate() const;

    // True when `signatureBase64` is an RSA-SHA256 signature of `message` by this certificate.
    bool verify(const QByteArray &message, const QString &signatureBase64) const;

private:
    QByteArray m_der;
    QString m_number;
    QString m_rfc;
    QString m_name;
    QDateTime m_validFrom;
    QDateTime m_validTo;
    bool m_sealsOnly = true;
};

} // namespace zentaro::cfdi
