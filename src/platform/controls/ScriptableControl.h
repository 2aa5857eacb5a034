#pragma once

#include "platform/core/OrderedJson.h"

#include <QString>
#include <QStringList>

#include "platform/core/Error.h"

namespace zentaro {

// A script asked a control for something it does not do: a bad script line, not a failure
// of the screen.
class ScriptRefusal : public Error
{
public:
    using Error::Error;
};

// What the script runner (and tests) do to a control, raising the same events a user
// raises. Every suite control implements the commands that make sense for it; the
// others refuse with the default text.
class ScriptableControl
{
public:
    virtual ~ScriptableControl() = default;

    // Sets the text as typing does: raises the change event.
    virtual void scriptType(const QString &text);
    // Confirms the key: raises the enter event.
    virtual void scriptEnter();
    // A click; `button` names a toolbar button by its handler suffix.
    virtual void scriptClick(const QString &button);
    // A key event of the control (key code, shift state 1 Shift, 2 Ctrl, 4 Alt).
    virtual void scriptKey(int keyCode, int shift);
    // Lists: the user changes one check mark, or selects rows.
    virtual void scriptCheck(const QString &key, bool on);
    virtual void scriptSelect(const QStringList &keys);
    // The properties `show` prints when none are named.
    virtual QStringList scriptDefaultProperties() const;
    // A list prints itself whole: {"rows":[...],"hidden":[columns from 1],"sorted":bool};
    // other controls answer {}.
    virtual OrderedJson scriptListState() const { return OrderedJson::object(); }

protected:
    [[noreturn]] static void refuse(const char *command);
};

} // namespace zentaro
