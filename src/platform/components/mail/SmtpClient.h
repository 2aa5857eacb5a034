#pragma once

#include "platform/components/mail/MailTransport.h"
#include "platform/components/mail/SmtpSettings.h"

namespace zentaro {

// Hands one message to an SMTP server with libcurl, synchronously, as mail providers
// expect it: smtps:// encrypted from the first byte, smtp:// upgraded with STARTTLS
// (required unless MAIL_STARTTLS turns it off), the server's certificate verified,
// a login when MAIL_USUARIO is set. The server's own refusal ("550 5.1.1 ...") is kept
// word for word: it is what the mail administrator needs to read. The password never
// appears in a message, even when the server or the URL repeats it.
class SmtpClient : public MailTransport
{
public:
    explicit SmtpClient(SmtpSettings settings);

    bool deliver(const QStringList &recipients, const QByteArray &message, const QString &name) override;

    // Seconds to wait. The screen waits while the client works, so a server that cannot
    // be reached must answer within seconds: the connection (with the TLS handshake)
    // gets connectTimeout, each server reply responseTimeout. The whole exchange may
    // take longer, since a global invoice's PDF can be large on a slow line.
    int connectTimeout = 5;
    int responseTimeout = 20;
    int totalTimeout = 300;

private:
    QString explain(int code, const QString &reason, const QString &serverReply) const;

    SmtpSettings m_settings;
};

} // namespace zentaro
