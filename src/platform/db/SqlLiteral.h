#pragma once

#include "platform/core/Decimal.h"

#include <QString>
#include <QStringList>
#include <QVariant>

// The one place where a value becomes part of a statement's text. Screens compose their
// statements from fixed fragments; every value they put between those fragments (a key,
// a catalogue text, a note field, what the clerk typed, an amount) goes through here, so
// that a value is always data and never changes what the statement does.
//
// Text literals are standard SQL: between single quotes, each quote doubled. Nothing else
// is special inside them on either engine: SQLite never treats a backslash specially, and
// the connection keeps PostgreSQL's standard_conforming_strings on, so "\", "--", ";" and
// "$$" stay characters. A value the databases cannot store exactly is refused with a
// Spanish zentaro::Error instead of reaching the engine.
namespace zentaro::sql {

// 'text' with its quotes doubled: O'Brien -> 'O''Brien'. Refuses a NUL character (the
// engines end the statement there) and text that is not valid UTF-16 (it would not come
// back as it was written).
QString quoted(const QString &text);

// The texts as the inside of "IN (...)": 'a', 'b'. "" for none.
QString quotedList(const QStringList &texts);

// An exact amount as a numeric literal: "1234.5", "0". A negative one is written in
// parentheses, "(-116)", so that no fragment ending in "-" can turn it into a comment.
QString number(const Decimal &amount);

// An amount read from a record set or typed (integer, double, numeric text) as a numeric
// literal. NULL, an empty text, anything that is not a plain decimal number, NaN, infinity
// and amounts out of the exact range are refused with a Spanish error that starts with
// `what` ("El importe Vt_Impuesto_Importe de la nota NV-1") and names the value.
QString number(const QVariant &amount, const QString &what);

// A key box's lookup statement with its key: each "?" placeholder, bare or written between
// quotes ('?'), becomes the key's literal. Question marks inside other literals stay.
QString withKey(const QString &statement, const QString &key);

} // namespace zentaro::sql
