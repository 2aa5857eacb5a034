#include "platform/services/QueryFilter.h"

#include "platform/services/Platform.h"

namespace zentaro {

QString QueryFilter::GetCondition(int flag)
{
    Q_UNUSED(flag);
    Platform &platform = Platform::instance();
    if (const auto answer = platform.takeAnswer(QStringLiteral("filter")))
        return *answer;
    return noCriteria();
}

} // namespace zentaro
