#pragma once

#include "platform/db/ConnectionUrl.h"

#include <QString>

namespace zentaro {

// What the user reads when a database does not open: the common refusals of PostgreSQL told
// in Spanish (a password not accepted says where it came from), then the engine's own words
// for whoever supports the installation. The password never appears in it.
QString openFailureText(const ConnectionUrl &url, const QString &engineText);

// The common refusals of libpq and the server, in Spanish; "" for any other text.
QString postgresOpenReading(const ConnectionUrl &url, const QString &engineText);

} // namespace zentaro
