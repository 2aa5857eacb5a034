#pragma once

#include <QByteArray>
#include <QString>

namespace zentaro {

// Every secret the process has opened (the PAC's, the CSD's and the mail server's
// passwords, the PAC's session tokens) is remembered here, so that whatever a server sends
// back can be cleaned before it reaches a message, a table, a JSON line or an exception: a
// provider that repeats the password in an error must not put it on the clerk's screen or
// in the document's history. The text is cleaned whole, before anyone cuts it, and in the
// forms a server may repeat it in: as it is, URL-encoded (either case of hex digits),
// JSON-escaped (with or without "\/" and "\uXXXX") and XML-escaped.
//
// Secrets shorter than kShortestMaskedSecret characters are not remembered: masking them
// would blot out ordinary words and numbers of the text and hide nothing worth hiding.
inline constexpr int kShortestMaskedSecret = 4;

void rememberSecret(const QString &secret);
// For a session token given up: a server may hand the same token out again, and a login
// answer cleaned of it would lose the token itself.
void forgetSecret(const QString &secret);

// `text` with every remembered secret, in every form above, replaced by "********".
QString maskSecrets(QString text);
QByteArray maskSecrets(const QByteArray &text);

// The forms of `secret` that masking looks for (for the tests, which send them all back).
QStringList secretForms(const QString &secret);

} // namespace zentaro
