#pragma once

#include <QString>

namespace zentaro {

// The suite's filter dialog: the clerk narrows a document query. Answers the extra
// condition to append to the WHERE clause, or "" when the clerk cancelled.
class QueryFilter
{
public:
    QString GetCondition(int flag);

    // The condition of an accepted filter without criteria.
    static QString noCriteria() { return QStringLiteral("1 = 1 "); }
};

} // namespace zentaro
