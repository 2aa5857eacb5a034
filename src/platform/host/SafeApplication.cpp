#include "platform/host/SafeApplication.h"

#include "platform/controls/FileDialogs.h"
#include "platform/host/QtSpanish.h"
#include "platform/services/Platform.h"

namespace zentaro {

SafeApplication::SafeApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    installQtSpanish(*this);
    filedialogs::guardQtDialogs();
}

bool SafeApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    const QString where = receiver ? receiver->objectName() : QString();
    dispatchEvent(where.isEmpty() ? QStringLiteral("Zentaro") : where,
                  [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace zentaro
