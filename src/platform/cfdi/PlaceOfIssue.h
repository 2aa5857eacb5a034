#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace zentaro::cfdi {

// The time zone of a Mexican postal code, which SAT takes as the place of issue: Fecha is
// the local time there. The first two digits name the state; the states with a zone of their
// own (Baja California, Baja California Sur, Sonora, Sinaloa, Nayarit, Chihuahua, Quintana
// Roo) and the border cities that follow the United States' summer time are told apart; every
// other code is central time.
QTimeZone placeOfIssueTimeZone(const QString &postalCode);

// `moment` as the wall-clock time of the place of issue, "yyyy-MM-ddTHH:mm:ss".
QString fechaAtPlaceOfIssue(const QDateTime &moment, const QString &postalCode);

// The moment a Fecha written at that place of issue stands for; invalid when the text is not
// a SAT date and time.
QDateTime momentOfFecha(const QString &fecha, const QString &postalCode);

} // namespace zentaro::cfdi
