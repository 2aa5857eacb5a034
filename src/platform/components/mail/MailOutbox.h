#pragma once

#include "platform/components/mail/MailTransport.h"

namespace zentaro {

// A folder that receives each mail as a standard .eml file, exactly the bytes a server
// would have been given, so any mail reader opens it with its attachments. The demo
// mails here; a business that wants to look before it sends can too.
class MailOutbox : public MailTransport
{
public:
    explicit MailOutbox(QString folder);

    // Writes NAME.eml, or NAME (2).eml and so on when a mail of that name is already
    // there: a mail sent again never replaces the first one.
    bool deliver(const QStringList &recipients, const QByteArray &message, const QString &name) override;

    // The file the last successful delivery wrote.
    QString lastFile() const { return m_lastFile; }

private:
    QString m_folder;
    QString m_lastFile;
};

} // namespace zentaro
