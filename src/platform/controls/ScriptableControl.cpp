#include "platform/controls/ScriptableControl.h"

#include "platform/core/Error.h"

namespace zentaro {

void ScriptableControl::refuse(const char *command)
{
    throw ScriptRefusal(QStringLiteral("el control no admite la orden %1").arg(QLatin1String(command)));
}

void ScriptableControl::scriptType(const QString &) { refuse("type"); }
void ScriptableControl::scriptEnter() { refuse("enter"); }
void ScriptableControl::scriptClick(const QString &) { refuse("click"); }
void ScriptableControl::scriptKey(int, int) { refuse("key"); }
void ScriptableControl::scriptCheck(const QString &, bool) { refuse("check"); }
void ScriptableControl::scriptSelect(const QStringList &) { refuse("select"); }

QStringList ScriptableControl::scriptDefaultProperties() const
{
    return {QStringLiteral("Text"), QStringLiteral("Value"), QStringLiteral("Enabled"), QStringLiteral("Caption")};
}

} // namespace zentaro
