#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace zentaro {

struct SmtpSettings;

// Hands a finished MIME message to whatever carries it: an SMTP server, or an outbox
// folder where a person (or a demo) reads what would have gone out.
class MailTransport
{
public:
    virtual ~MailTransport() = default;

    // `recipients` is the envelope (every To and Cc address); `name` is a short
    // readable label of the mail ("FG-000003"), used where the transport names things.
    // True when the message was handed over for every recipient.
    virtual bool deliver(const QStringList &recipients, const QByteArray &message, const QString &name) = 0;

    // A Spanish sentence on why the last delivery failed; "" after a success.
    QString lastError() const { return m_lastError; }

protected:
    QString m_lastError;
};

// The transport MAIL_SMTP_URL names.
std::unique_ptr<MailTransport> openMailTransport(const SmtpSettings &settings);

} // namespace zentaro
