#include "platform/services/QueryFilter.h"

#include "platform/services/Platform.h"
#include "platform/services/QueryFilterDialog.h"

#include <QApplication>

namespace zentaro {

QString QueryFilter::GetCondition(int flag)
{
    Q_UNUSED(flag);
    Platform &platform = Platform::instance();
    if (const auto answer = platform.takeAnswer(QStringLiteral("filter")))
        return *answer;
    // Without a clerk to ask (script runner, tests) the filter is accepted without criteria.
    if (!platform.interactive())
        return noCriteria();
    return QueryFilterDialog::ask(QApplication::activeWindow());
}

} // namespace zentaro
