#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zentaro::test {

namespace {

// Points the suite at a key file of the test's own until the returned guard goes.
[[nodiscard]] auto useKeyFile(const QString &path)
{
    const QByteArray saved = qgetenv("ZENTARO_SECRET_KEY_FILE");
    qputenv("ZENTARO_SECRET_KEY_FILE", path.toLocal8Bit());
    return qScopeGuard([saved] { qputenv("ZENTARO_SECRET_KEY_FILE", saved); });
}

} // namespace

TEST(StoredSecret, SealsUnderAnOwnerOnlyKeyAndOpensWhatItSealed)
{
    QTemporaryDir dir;
    const QString keyPath = dir.filePath(QStringLiteral("llaves/secret.key"));
    const auto scope = useKeyFile(keyPath);
    const QString password = QStringLiteral("Contraseña 12345678a");
    const QString sealed = sealSecret(password);
    EXPECT_TRUE(isSealedSecret(sealed));
    EXPECT_FALSE(sealed.contains(QStringLiteral("12345678a")));
    EXPECT_NE(sealSecret(password), sealed);   // a fresh nonce every time
    EXPECT_EQ(openSecret(sealed, QStringLiteral("MAIL_CLAVE")), password);
    EXPECT_LE(sealSecret(QStringLiteral("12345678a")).size(), 100);   // fits Emisor.Em_Clave
    EXPECT_EQ(QFile::permissions(keyPath), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                                               | QFileDevice::WriteUser);
    // A value written in clear by an older version still reads.
    EXPECT_EQ(openSecret(QStringLiteral("12345678a"), QStringLiteral("Em_Clave")), QStringLiteral("12345678a"));
    EXPECT_EQ(openSecret(QString(), QStringLiteral("MAIL_CLAVE")), QString());
}

TEST(StoredSecret, RefusesWhatItCannotOpenWithoutShowingIt)
{
    QTemporaryDir dir;
    const QString sealed = [&] {
        const auto scope = useKeyFile(dir.filePath(QStringLiteral("otra.key")));
        sealSecret(QStringLiteral("crea la otra llave"));
        const auto own = useKeyFile(dir.filePath(QStringLiteral("una.key")));
        return sealSecret(QStringLiteral("12345678a"));
    }();
    // A character inside the base64 text, where every bit counts (the last ones may be padding).
    QString altered = sealed;
    altered[30] = altered[30] == u'A' ? u'B' : u'A';
    struct Case
    {
        const char *name;
        QString keyFile;
        QString stored;
        QString expected;
    };
    const Case cases[] = {
        {"another key", QStringLiteral("otra.key"), sealed, QStringLiteral("no se guardó con la llave de cifrado")},
        {"no key at all", QStringLiteral("no-existe.key"), sealed, QStringLiteral("falta la llave de cifrado")},
        {"altered value", QStringLiteral("una.key"), altered, QStringLiteral("fue alterada")},
        {"cut short", QStringLiteral("una.key"), sealed.left(12), QStringLiteral("está incompleta")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto scope = useKeyFile(dir.filePath(c.keyFile));
        QString error;
        try {
            openSecret(c.stored, QStringLiteral("MAIL_CLAVE"));
        } catch (const Error &refusal) {
            error = refusal.description();
        }
        EXPECT_TRUE(error.contains(c.expected)) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("MAIL_CLAVE")));
        EXPECT_FALSE(error.contains(QStringLiteral("12345678a")));
    }
}

} // namespace zentaro::test
