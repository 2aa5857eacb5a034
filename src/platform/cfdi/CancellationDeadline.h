#pragma once

#include <QDate>
#include <QString>

namespace zentaro::cfdi {

// The last day on which an issuer may still cancel a CFDI it issued on `issued`.
//
// CFF art. 29-A, fourth paragraph, lets a CFDI be cancelled only in the fiscal year it was
// issued, unless the RMF allows longer; the RMF (rule 2.7.1.46 in the RMF for 2025, with the
// same text as its predecessors since 2022) extends it to the last day of the month in which
// the issuer must file the ISR annual return of that year. That month depends on who issues:
// - a legal entity (RFC of 12 characters) files by 31 March (LISR art. 76, fr. V), also in
//   the simplified regime for legal entities (626): March;
// - an individual (RFC of 13 characters) files in April (LISR art. 150), also in RESICO
//   (626): April;
// - a non-profit legal entity (regime 603) files by 15 February (LISR art. 86, fr. III):
//   February.
// Throws zentaro::Error in Spanish when the issuer's RFC has neither length or the date is
// not valid.
QDate cancellationDeadline(const QString &rfcEmisor, const QString &regimenEmisor, const QDate &issued);

// The refusal to show when `today` is past that deadline, "" while it is not.
QString cancellationDeadlineRefusal(const QString &rfcEmisor, const QString &regimenEmisor, const QDate &issued,
                                    const QDate &today);

} // namespace zentaro::cfdi
