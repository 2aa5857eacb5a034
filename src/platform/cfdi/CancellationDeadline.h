#pragma once

#include <QDate>
#include <QString>

namespace zentaro::cfdi {

// The last day on which an issuer may still cancel a CFDI it issued on `issued`.
//
// CFF art. 29-A, fourth paragraph, as amended from 1 January 2026 (decree in the DOF of
// 7 November 2025): a CFDI may be cancelled "a más tardar en el mes en el cual se deba
// presentar la declaración anual" of the ISR of the fiscal year in which it was issued.
// Before that amendment the CFF allowed only the year of issue, and the same extension came
// from the RMF (rule 2.7.1.46 of the RMF for 2025, "a más tardar en el último día del mes"
// of that return, and LIF 2025 art. 22 fr. VI), so CFDIs of 2024 and of 2025 end alike.
// The RMF for 2026 (DOF 28 December 2025) adds no shorter term. The month depends on who
// files the return:
// - a legal entity (RFC of 12 characters) files by 31 March (LISR art. 76, fr. V), also in
//   the simplified regime for legal entities (626): March;
// - an individual (RFC of 13 characters) files in April (LISR art. 150), also in RESICO
//   (626): April;
// - a non-profit legal entity (regime 603) files by 15 February (LISR art. 86, fr. III):
//   February.
// Throws zentaro::Error in Spanish when the issuer's RFC has neither length or the date is
// not valid.
QDate cancellationDeadline(const QString &rfcEmisor, const QString &regimenEmisor, const QDate &issued);

// The refusal to show when `today` is past that deadline, "" while it is not; `document`
// names what is refused ("La factura FG-000001").
QString cancellationDeadlineRefusal(const QString &document, const QString &rfcEmisor, const QString &regimenEmisor,
                                    const QDate &issued, const QDate &today);

} // namespace zentaro::cfdi
