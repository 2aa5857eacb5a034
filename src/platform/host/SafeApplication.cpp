#include "platform/host/SafeApplication.h"

#include "platform/services/Platform.h"

namespace zentaro {

bool SafeApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    const QString where = receiver ? receiver->objectName() : QString();
    dispatchEvent(where.isEmpty() ? QStringLiteral("Zentaro") : where,
                  [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace zentaro
