#include "platform/cfdi/OpenSslSupport.h"

#include "platform/core/Error.h"

#include <openssl/err.h>

namespace zentaro::cfdi {

QString takeOpenSslError()
{
    QString reason;
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (reason.isEmpty())
            reason = QString::fromLatin1(buffer);
    }
    return reason;
}

void throwOpenSslError(const QString &what)
{
    const QString reason = takeOpenSslError();
    throw Error(reason.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, reason));
}

} // namespace zentaro::cfdi
