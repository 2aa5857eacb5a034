#pragma once

#include "platform/host/ScriptPresenter.h"

#include <QList>

namespace zentaro::app {

// What the screen tells a clerk while the night run drives it: every message and report
// goes to standard error as a JSON line (the journal keeps it), and warnings, critical
// messages and untrapped errors are kept as the problems of the invoice being made.
class ClerkMessages : public ScriptPresenter
{
public:
    ClerkMessages() : ScriptPresenter(JsonLines(stderr)) {}

    int present(const Message &message, QWidget *owner) override;
    void reportError(const QString &text, const QString &where) override;

    struct Problem
    {
        QString text;
        QString id;   // "ERR-ID:..." of a screen message, "" for an untrapped error
    };
    const QList<Problem> &problems() const { return m_problems; }
    // The problems' texts, each once, joined by " | ".
    QString problemText() const;
    // The information messages (style 64) shown since the last clear.
    const QStringList &notices() const { return m_notices; }
    void clearProblems()
    {
        m_problems.clear();
        m_notices.clear();
    }

private:
    QList<Problem> m_problems;
    QStringList m_notices;
};

} // namespace zentaro::app
