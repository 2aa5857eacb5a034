#pragma once

#include "platform/db/ConnectionUrl.h"

#include <QString>

// Reading PostgreSQL connection strings with libpq's own parser (PQconninfoParse), so that
// a text that works with psql works with the suite; only the suite's own parameter
// (schema=) is taken out before libpq reads the rest. Errors are zentaro::Error in Spanish
// and never quote the text, which may hold a password.
namespace zentaro::pgconnection {

// True for "postgresql://..." and "postgres://...".
bool isUri(const QString &text);
// True when the text opens like libpq's keyword/value form: a parameter name, then "=".
bool isKeywordValues(const QString &text);

// Fills `url` (a PostgreSQL one) from either form.
void readUri(const QString &text, ConnectionUrl &url);
void readKeywordValues(const QString &text, ConnectionUrl &url);

// A value as libpq's keyword/value form writes it: in single quotes, with \ and ' escaped.
QString quoted(const QString &value);
// Parameters whose value is a secret and never shown.
bool isSecret(const QString &name);

} // namespace zentaro::pgconnection
