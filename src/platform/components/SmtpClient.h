#pragma once

#include "platform/components/SmtpSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zentaro {

// Hands one message to an SMTP server with libcurl, synchronously. The server's own
// refusal ("550 5.1.1 ...") is kept word for word: it is what the mail administrator
// needs to read.
class SmtpClient
{
public:
    explicit SmtpClient(SmtpSettings settings);

    // True when the server accepted the message for every recipient.
    bool send(const QStringList &recipients, const QByteArray &message);
    // Spanish sentence with the server's answer or curl's reason; "" after a success.
    QString lastError() const { return m_lastError; }

    // Seconds to wait for the connection and for the whole exchange.
    int connectTimeout = 10;
    int totalTimeout = 120;

private:
    SmtpSettings m_settings;
    QString m_lastError;
};

} // namespace zentaro
