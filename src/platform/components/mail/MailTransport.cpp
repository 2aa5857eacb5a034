#include "platform/components/mail/MailTransport.h"

#include "platform/components/mail/MailOutbox.h"
#include "platform/components/mail/SmtpClient.h"

namespace zentaro {

std::unique_ptr<MailTransport> openMailTransport(const SmtpSettings &settings)
{
    if (settings.usesOutbox())
        return std::make_unique<MailOutbox>(settings.outboxFolder);
    return std::make_unique<SmtpClient>(settings);
}

} // namespace zentaro
