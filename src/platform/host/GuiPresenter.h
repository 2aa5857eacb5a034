#pragma once

#include "platform/services/Platform.h"

namespace zentaro {

// Messages as modal boxes with the icon of their style; the module code and the error
// identifier show under the text so that support can find the reporting point.
class GuiPresenter : public MessagePresenter
{
public:
    int present(const Message &message, QWidget *owner) override;
    void reportError(const QString &text, const QString &where) override;
    // A document written or a mail that went out is no event to interrupt the clerk for:
    // the shell's status bar says where it went, for a while.
    void reportOutput(const QString &path) override;
    void reportMail(const QString &to, const QString &subject) override;
};

} // namespace zentaro
