#pragma once

#include <QString>

namespace zentaro {

class Connection;

// The next number of a named counter row in Contador. Taking it locks the row until the
// caller's transaction ends (outside one, the number is taken and kept at once), so two
// clerks never get the same number. A counter that does not exist yet starts after
// `start`, the highest number already used.
qint64 nextCounterValue(Connection &connection, const QString &name, qint64 start = 0);

} // namespace zentaro
