#pragma once

#include <QString>

namespace zentaro {

// Where the suite's mail goes, from the configuration variables: MAIL_SMTP_URL
// ("smtp://host:port", or smtps:// for TLS from the first byte), MAIL_REMITENTE (the From
// address) and, for servers that want a login, MAIL_USUARIO and MAIL_CLAVE.
struct SmtpSettings
{
    QString url;
    QString sender;
    QString user;
    QString password;

    // Reads the variables of the session's database. Throws zentaro::Error naming the
    // variable when the server or the sender is missing.
    static SmtpSettings fromConfiguration();
};

} // namespace zentaro
