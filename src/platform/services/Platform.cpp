#include "platform/services/Platform.h"

#include "platform/core/Error.h"

#include <exception>

namespace zentaro {

namespace {
std::unique_ptr<Platform> &slot()
{
    static std::unique_ptr<Platform> platform;
    return platform;
}
} // namespace

Platform &Platform::instance()
{
    if (!slot())
        throw Error(QStringLiteral("La sesión de Zentaro no está iniciada: no hay base de datos ni usuario"));
    return *slot();
}

bool Platform::isInstalled() { return slot() != nullptr; }
void Platform::install(std::unique_ptr<Platform> platform) { slot() = std::move(platform); }
void Platform::uninstall() { slot().reset(); }

Platform::Platform(std::unique_ptr<Connection> connection, QString userCode, std::shared_ptr<MessagePresenter> presenter)
    : m_connection(std::move(connection)), m_userCode(std::move(userCode)), m_presenter(std::move(presenter))
{
}

void Platform::queueAnswer(const QString &dialog, const QString &value)
{
    m_answers[dialog.toLower()].enqueue(value);
}

std::optional<QString> Platform::takeAnswer(const QString &dialog)
{
    auto it = m_answers.find(dialog.toLower());
    if (it == m_answers.end() || it->isEmpty())
        return std::nullopt;
    return it->dequeue();
}

void dispatchEvent(const QString &where, const std::function<void()> &handler)
{
    QString failure;
    try {
        handler();
        return;
    } catch (const Error &error) {
        failure = error.description();
    } catch (const std::exception &error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        failure = QStringLiteral("Error desconocido");
    }
    if (Platform::isInstalled())
        Platform::instance().presenter().reportError(failure, where);
    else
        qWarning("%s: %s", qPrintable(where), qPrintable(failure));
}

} // namespace zentaro
