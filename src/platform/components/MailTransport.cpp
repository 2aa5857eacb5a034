#include "platform/components/MailTransport.h"

#include "platform/components/MailOutbox.h"
#include "platform/components/SmtpClient.h"

namespace zentaro {

std::unique_ptr<MailTransport> openMailTransport(const SmtpSettings &settings)
{
    if (settings.usesOutbox())
        return std::make_unique<MailOutbox>(settings.outboxFolder);
    return std::make_unique<SmtpClient>(settings);
}

} // namespace zentaro
