#pragma once

#include <QString>

namespace zentaro {

class Connection;

// The engine's code of the last statement that failed on `connection`: PostgreSQL's
// SQLSTATE, SQLite's extended result code as a number; "" when none failed since
// forgetLastFailure. A screen's trap keeps only a failure's text, which a translation or a
// new engine version may change; a caller that drives the screen reads here what the
// database refused.
QString lastFailureCode(const Connection &connection);
void forgetLastFailure(const Connection &connection);

// True when an engine code is a rule of the schema refusing the change: a note billed a
// second time or a cancelled note billed. PostgreSQL's rules raise P0001 (raise_exception,
// the schema's functions are the only ones that raise); SQLite's raise
// SQLITE_CONSTRAINT_TRIGGER (1811) through zentaro_raise.
bool isRuleRefusal(const QString &engineCode);

} // namespace zentaro
