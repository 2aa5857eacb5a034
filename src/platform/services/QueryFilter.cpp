#include "platform/services/QueryFilter.h"

#include "platform/services/Platform.h"

#include <QApplication>

namespace zentaro {

QString QueryFilter::GetCondition(int flag)
{
    Q_UNUSED(flag);
    Platform &platform = Platform::instance();
    if (const auto answer = platform.takeAnswer(QStringLiteral("filter")))
        return *answer;
    // Without a clerk to ask (script runner, tests) or a dialog to ask in, the filter is
    // accepted without criteria.
    if (!platform.interactive() || !platform.filterDialog())
        return noCriteria();
    return platform.filterDialog()(QApplication::activeWindow());
}

} // namespace zentaro
