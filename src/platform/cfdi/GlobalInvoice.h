#pragma once

#include "platform/cfdi/Comprobante.h"

#include <QDate>
#include <QList>

namespace zentaro::cfdi {

inline constexpr char16_t kPublicoEnGeneralRfc[] = u"XAXX010101000";

// The receptor SAT requires on a global invoice for sales to the public: its fiscal address
// is the issuer's place of issue.
Receptor publicReceptor(const QString &lugarExpedicion);

// InformacionGlobal for a global invoice that gathers the notes issued on `noteDates`: the
// shortest period that holds them all (one day, seven consecutive days, the 1st-15th or
// 16th-last half of a month, a calendar month) and that month. Only issuers in regime 621
// (Incorporación Fiscal) may gather two months, as a bimester (Meses 13 = Jan-Feb ... 18 =
// Nov-Dec). Throws zentaro::Error when there are no notes or they do not fit one period.
InformacionGlobal informacionGlobalFor(const QList<QDate> &noteDates, const QString &regimenEmisor);

} // namespace zentaro::cfdi
