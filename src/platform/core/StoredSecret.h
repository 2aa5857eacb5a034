#pragma once

#include <QString>

namespace zentaro {

// Passwords the suite keeps in its tables (the CSD's in Emisor.Em_Clave, the mail
// server's in MAIL_CLAVE) are stored sealed, never in clear: AES-256-GCM with OpenSSL
// under a key that lives outside the database. Whoever copies the database or reads a
// backup gets only the sealed text; the key is a 0600 file in the user's configuration
// folder (~/.config/Zentaro/zentaro/secret.key), or the file that ZENTARO_SECRET_KEY_FILE
// names, which every machine of a shared PostgreSQL database must hold a copy of.
// GCM's tag also catches a sealed value that was altered or sealed under another key.
//
// A sealed value reads "zsec1:" followed by base64 of nonce, ciphertext and tag: 6 + 4/3
// of (28 + length) characters, so a 100-character column holds passwords of up to 42 bytes.

// Seals `secret`. The key file is created (32 random bytes, owner-only) on first use.
// Throws zentaro::Error when the key cannot be read or created.
QString sealSecret(const QString &secret);

// The password behind a stored value. A value without the "zsec1:" mark was written in
// clear by an older version and is returned as it is. Throws zentaro::Error, naming
// `what` (the column or variable) and never the value, when a sealed value cannot be
// opened.
QString openSecret(const QString &stored, const QString &what);

// True when `stored` is a sealed value rather than clear text.
bool isSealedSecret(const QString &stored);

// The key file in use: ZENTARO_SECRET_KEY_FILE, or secret.key in the user's
// configuration folder.
QString secretKeyPath();

} // namespace zentaro
