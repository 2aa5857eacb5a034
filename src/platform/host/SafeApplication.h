#pragma once

#include <QApplication>

namespace zentaro {

// The application object of the shell: an exception that escapes an event handler is
// reported to the user and stops there, so it never crosses the event loop.
class SafeApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace zentaro
