#pragma once

#include <QString>

namespace zentaro {

// Where the suite's mail goes, from the configuration variables:
//   MAIL_SMTP_URL        smtps://host:465 (TLS from the first byte), smtp://host:587
//                        (STARTTLS), or file:FOLDER, an outbox folder that receives
//                        each mail as an .eml file instead of a server
//   MAIL_REMITENTE       the From address
//   MAIL_USUARIO         login for servers that want one
//   MAIL_CLAVE           its password, sealed (StoredSecret); clear text is still read
//   MAIL_STARTTLS        0 lets smtp:// go out unencrypted; anything else requires STARTTLS
//   MAIL_CA_CERTIFICADO  a PEM file of authorities to trust besides the system's, for
//                        a server with a certificate of the business's own
struct SmtpSettings
{
    QString url;
    QString sender;
    QString user;
    QString password;
    QString outboxFolder;   // set for file: URLs, the server fields are then unused
    bool requireTls = true;
    QString caFile;

    bool usesOutbox() const { return !outboxFolder.isEmpty(); }

    // Reads the variables of the session's database. Throws zentaro::Error naming the
    // variable when the server or the sender is missing or the URL is not one of the
    // three kinds above.
    static SmtpSettings fromConfiguration();
};

} // namespace zentaro
