#pragma once

#include <QString>

namespace zentaro {

// Customer receivables.
class Receivables
{
public:
    // Credit limit less the open balance of the customer's receivables; may be negative.
    double AvailableCredit(const QString &customer, int flag);
};

} // namespace zentaro
