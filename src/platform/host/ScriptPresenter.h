#pragma once

#include "platform/host/JsonLines.h"
#include "platform/services/Platform.h"

namespace zentaro {

// Messages and reports of a script run, recorded as JSON lines instead of dialogs.
class ScriptPresenter : public MessagePresenter
{
public:
    explicit ScriptPresenter(JsonLines out) : m_out(out) {}
    int present(const Message &message, QWidget *owner) override;
    void reportError(const QString &text, const QString &where) override;
    void reportOutput(const QString &path) override;
    void reportMail(const QString &to, const QString &subject) override;

private:
    JsonLines m_out;
};

} // namespace zentaro
