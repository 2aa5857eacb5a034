#include "ClerkMessages.h"

namespace zentaro::app {

int ClerkMessages::present(const Message &message, QWidget *owner)
{
    // Information (style 64), such as "nothing found", is no problem of the invoice.
    if (message.style == 16 || message.style == 48)
        m_problems.append({message.text, message.id});
    else if (message.style == 64)
        m_notices.append(message.text);
    return ScriptPresenter::present(message, owner);
}

void ClerkMessages::reportError(const QString &text, const QString &where)
{
    m_problems.append({text, QString()});
    ScriptPresenter::reportError(text, where);
}

QString ClerkMessages::problemText() const
{
    QStringList texts;
    for (const Problem &problem : m_problems)
        if (!texts.contains(problem.text))
            texts << problem.text;
    return texts.join(QStringLiteral(" | "));
}

} // namespace zentaro::app
