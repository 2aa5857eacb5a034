#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace zentaro::cfdi {

// A CSD as the suite keeps it in its tables: DER certificate, DER PKCS#8 private key
// encrypted with the password.
struct Csd
{
    QByteArray certificateDer;
    QByteArray privateKeyDer;
    QString password;
};

// Makes a self-signed RSA-2048 test certificate in SAT's CSD shape (subject with the
// RFC as x500UniqueIdentifier, a 20-digit certificate number as serial) for demos and
// tests. It has no fiscal validity. Throws zentaro::Error when OpenSSL fails.
// `Fiel` makes an e.firma instead: the same shape, with the key usages of a certificate
// that also encrypts, which no invoice may be sealed with.
enum class TestCertificateKind { Csd, Fiel };
Csd generateTestCsd(const QString &rfc, const QString &name, const QString &password,
                    const QDateTime &notBefore, const QDateTime &notAfter,
                    const QString &certificateNumber = QStringLiteral("30001000000500000001"),
                    TestCertificateKind kind = TestCertificateKind::Csd);

} // namespace zentaro::cfdi
