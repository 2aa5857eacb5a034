#include "platform/host/ScriptPresenter.h"

namespace zentaro {

int ScriptPresenter::present(const Message &message, QWidget *owner)
{
    Q_UNUSED(owner);
    m_out.write({{QStringLiteral("message"), message.text},
                 {QStringLiteral("style"), QJsonValue(message.style)},
                 {QStringLiteral("title"), message.title},
                 {QStringLiteral("module"), message.module},
                 {QStringLiteral("id"), message.id}});
    return 1;
}

void ScriptPresenter::reportError(const QString &text, const QString &where)
{
    m_out.write({{QStringLiteral("error"), text}, {QStringLiteral("where"), where}});
}

void ScriptPresenter::reportOutput(const QString &path) { m_out.write({{QStringLiteral("output"), path}}); }

void ScriptPresenter::reportMail(const QString &to, const QString &subject)
{
    m_out.write({{QStringLiteral("mail"), to}, {QStringLiteral("subject"), subject}});
}

} // namespace zentaro
