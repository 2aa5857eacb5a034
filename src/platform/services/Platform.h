#pragma once

#include "platform/db/Connection.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace zentaro {

// One message as the suite shows it: through a modal box in the shell, recorded as a
// JSON line by the script runner.
struct Message
{
    QString text;
    int style = 64;   // 16 critical, 48 warning, 64 information
    QString title;
    QString module;
    QString id;       // "ERR-ID:" and seven digits, or ""
};

class MessagePresenter
{
public:
    virtual ~MessagePresenter() = default;
    // Returns the button pressed (1 for OK).
    virtual int present(const Message &message, QWidget *owner) = 0;
    // An error that no procedure trapped: the platform reports it and goes on.
    virtual void reportError(const QString &text, const QString &where) = 0;
    // What a component produced for the user: a document or a mail.
    virtual void reportOutput(const QString &path) { Q_UNUSED(path); }
    virtual void reportMail(const QString &to, const QString &subject) { Q_UNUSED(to); Q_UNUSED(subject); }
};

// What the suite knows of the running session: the database, the signed-in user, how
// messages reach the user, the answers a script gave in advance to the suite's dialogs,
// and a clock a script may fix. Installed by the shell, the script runner or a test.
class Platform
{
public:
    static Platform &instance();
    static bool isInstalled();
    static void install(std::unique_ptr<Platform> platform);
    static void uninstall();

    Platform(std::unique_ptr<Connection> connection, QString userCode, std::shared_ptr<MessagePresenter> presenter);

    Connection &connection() const { return *m_connection; }
    const QString &userCode() const { return m_userCode; }
    void setUserCode(const QString &code) { m_userCode = code; }
    MessagePresenter &presenter() const { return *m_presenter; }

    // True in the shell: dialogs without a queued answer open for the user. False in the
    // script runner and in tests: such dialogs take their default.
    bool interactive() const { return m_interactive; }
    void setInteractive(bool interactive) { m_interactive = interactive; }

    // The dialog in which the clerk narrows a document query; it answers the condition to
    // append, "" when the clerk cancelled. Dialogs are widgets above the services, so the
    // shell hands this one in rather than the services reaching up for it.
    using FilterDialog = std::function<QString(QWidget *parent)>;
    const FilterDialog &filterDialog() const { return m_filterDialog; }
    void setFilterDialog(FilterDialog dialog) { m_filterDialog = std::move(dialog); }

    void queueAnswer(const QString &dialog, const QString &value);
    std::optional<QString> takeAnswer(const QString &dialog);

    std::optional<QDateTime> fixedClock() const { return m_clock; }
    void fixClock(const QDateTime &now) { m_clock = now; }
    // The day the program acts as on (Utilities::ServerToday), apart from the clock.
    std::optional<QDate> fixedDay() const { return m_day; }
    void fixDay(const QDate &day) { m_day = day; }

private:
    std::unique_ptr<Connection> m_connection;
    QString m_userCode;
    std::shared_ptr<MessagePresenter> m_presenter;
    bool m_interactive = false;
    FilterDialog m_filterDialog;
    QHash<QString, QQueue<QString>> m_answers;
    std::optional<QDateTime> m_clock;
    std::optional<QDate> m_day;
};

// Runs a control's event handler the way the platform does: an error that the handler
// did not trap is reported through the presenter and never crosses the event loop.
void dispatchEvent(const QString &where, const std::function<void()> &handler);

} // namespace zentaro
