#pragma once

#include <QSqlError>
#include <QString>

namespace zentaro {

// The engine's own words for a failure, falling back to the driver's and Qt's.
QString engineErrorText(const QSqlError &error);

} // namespace zentaro
