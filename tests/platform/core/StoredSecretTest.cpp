#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zentaro::test {

namespace {

// Points the suite at a key file of the test's own for the test's duration.
class KeyFileScope
{
public:
    explicit KeyFileScope(const QString &path) : m_saved(qgetenv("ZENTARO_SECRET_KEY_FILE"))
    {
        qputenv("ZENTARO_SECRET_KEY_FILE", path.toLocal8Bit());
    }
    ~KeyFileScope() { qputenv("ZENTARO_SECRET_KEY_FILE", m_saved); }

private:
    QByteArray m_saved;
};

QString openingError(const QString &stored)
{
    try {
        openSecret(stored, QStringLiteral("MAIL_CLAVE"));
    } catch (const Error &error) {
        return error.description();
    }
    return {};
}

} // namespace

TEST(StoredSecret, SealsUnderAnOwnerOnlyKeyAndOpensWhatItSealed)
{
    QTemporaryDir dir;
    const QString keyPath = dir.filePath(QStringLiteral("llaves/secret.key"));
    KeyFileScope scope(keyPath);
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
    QString sealed;
    {
        KeyFileScope scope(dir.filePath(QStringLiteral("una.key")));
        sealed = sealSecret(QStringLiteral("12345678a"));
    }
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
    {
        KeyFileScope scope(dir.filePath(QStringLiteral("otra.key")));
        sealSecret(QStringLiteral("crea la otra llave"));
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        KeyFileScope scope(dir.filePath(c.keyFile));
        const QString error = openingError(c.stored);
        EXPECT_TRUE(error.contains(c.expected)) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("MAIL_CLAVE")));
        EXPECT_FALSE(error.contains(QStringLiteral("12345678a")));
    }
}

} // namespace zentaro::test
