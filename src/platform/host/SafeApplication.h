#pragma once

#include <QApplication>

namespace zentaro {

// The application object of the shell: an exception that escapes an event handler is
// reported to the user and stops there, so it never crosses the event loop. Qt's own
// texts speak Spanish, and no dialog Qt makes by itself (the print dialog's file-name box)
// reads the files it lists.
class SafeApplication : public QApplication
{
public:
    SafeApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace zentaro
