#include "platform/core/StoredSecret.h"

#include "platform/core/SecretMask.h"

#include "platform/core/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

namespace zentaro {

namespace {

const QString kMark = QStringLiteral("zsec1:");
constexpr int kKeySize = 32;
constexpr int kNonceSize = 12;
constexpr int kTagSize = 16;

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

QByteArray readKey(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray key = QByteArray::fromHex(file.readAll().trimmed());
    if (key.size() != kKeySize)
        throw Error(QStringLiteral("La llave de cifrado %1 no es válida: debe tener 64 dígitos hexadecimales").arg(path));
    return key;
}

// Writes a fresh key beside its final name and moves it there only if no other process
// got there first, so two programs starting at once end up sharing one key.
QByteArray createKey(const QString &path)
{
    QByteArray key(kKeySize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(key.data()), kKeySize) != 1)
        throw Error(QStringLiteral("No se pudo generar la llave de cifrado de las contraseñas"));
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        throw Error(QStringLiteral("No se pudo crear la carpeta de la llave de cifrado %1").arg(info.absolutePath()));
    QTemporaryFile temporary(info.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        throw Error(QStringLiteral("No se pudo crear la llave de cifrado %1").arg(path));
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    temporary.write(key.toHex() + '\n');
    if (!temporary.flush())
        throw Error(QStringLiteral("No se pudo escribir la llave de cifrado %1").arg(path));
    temporary.close();
    if (temporary.rename(path))
        temporary.setAutoRemove(false);
    const QByteArray stored = readKey(path);
    if (stored.isEmpty())
        throw Error(QStringLiteral("No se pudo crear la llave de cifrado %1").arg(path));
    return stored;
}

QByteArray keyForSealing()
{
    const QString path = secretKeyPath();
    const QByteArray key = readKey(path);
    return key.isEmpty() ? createKey(path) : key;
}

} // namespace

QString secretKeyPath()
{
    const QString named = qEnvironmentVariable("ZENTARO_SECRET_KEY_FILE");
    if (!named.isEmpty())
        return named;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("secret.key"));
}

bool isSealedSecret(const QString &stored) { return stored.startsWith(kMark); }

QString sealSecret(const QString &secret)
{
    const QByteArray key = keyForSealing();
    const QByteArray plain = secret.toUtf8();
    QByteArray nonce(kNonceSize, '\0');
    QByteArray cipher(plain.size(), '\0');
    QByteArray tag(kTagSize, '\0');
    auto *n = reinterpret_cast<unsigned char *>(nonce.data());
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    const bool ok = context && RAND_bytes(n, kNonceSize) == 1
        && EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr,
                              reinterpret_cast<const unsigned char *>(key.constData()), n) == 1
        && EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char *>(cipher.data()), &length,
                             reinterpret_cast<const unsigned char *>(plain.constData()), int(plain.size())) == 1
        && EVP_EncryptFinal_ex(context.get(), reinterpret_cast<unsigned char *>(cipher.data()) + length, &length) == 1
        && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, tag.data()) == 1;
    if (!ok)
        throw Error(QStringLiteral("No se pudo cifrar la contraseña"));
    return kMark + QString::fromLatin1((nonce + cipher + tag).toBase64());
}

QString openSecret(const QString &stored, const QString &what)
{
    if (!isSealedSecret(stored)) {
        rememberSecret(stored);
        return stored;
    }
    const QByteArray sealed = QByteArray::fromBase64(stored.mid(kMark.size()).toLatin1());
    if (sealed.size() < kNonceSize + kTagSize)
        throw Error(QStringLiteral("La contraseña cifrada de %1 está incompleta; vuelva a guardarla").arg(what));
    const QString path = secretKeyPath();
    const QByteArray key = readKey(path);
    if (key.isEmpty())
        throw Error(QStringLiteral("No se puede leer la contraseña de %1: falta la llave de cifrado %2 con la que se "
                                   "guardó (cópiela de otro equipo o indique su archivo en ZENTARO_SECRET_KEY_FILE)")
                        .arg(what, path));
    const QByteArray nonce = sealed.left(kNonceSize);
    const QByteArray cipher = sealed.mid(kNonceSize, sealed.size() - kNonceSize - kTagSize);
    QByteArray tag = sealed.right(kTagSize);
    QByteArray plain(cipher.size(), '\0');
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    const bool ok = context
        && EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr,
                              reinterpret_cast<const unsigned char *>(key.constData()),
                              reinterpret_cast<const unsigned char *>(nonce.constData())) == 1
        && EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char *>(plain.data()), &length,
                             reinterpret_cast<const unsigned char *>(cipher.constData()), int(cipher.size())) == 1
        && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) == 1
        && EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char *>(plain.data()) + length, &length) == 1;
    if (!ok)
        throw Error(QStringLiteral("No se puede leer la contraseña de %1: no se guardó con la llave de cifrado %2 "
                                   "o fue alterada; vuelva a guardarla")
                        .arg(what, path));
    const QString secret = QString::fromUtf8(plain);
    rememberSecret(secret);
    return secret;
}

} // namespace zentaro
