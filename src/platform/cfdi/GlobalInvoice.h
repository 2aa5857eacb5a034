#pragma once

#include "platform/cfdi/Comprobante.h"

#include <QDate>
#include <QList>

namespace zentaro::cfdi {

inline constexpr char16_t kPublicoEnGeneralRfc[] = u"XAXX010101000";
inline constexpr char16_t kExtranjeroGenericoRfc[] = u"XEXX010101000";

// XAXX010101000 (the public) and XEXX010101000 (a foreign buyer without a Mexican RFC) name
// no taxpayer: the receptor's fiscal address is the place of issue, regime 616, use S01.
bool isGenericRfc(const QString &rfc);

// The receptor SAT requires on a global invoice for sales to the public: its fiscal address
// is the issuer's place of issue.
Receptor publicReceptor(const QString &lugarExpedicion);

// The span a global invoice covers, chosen by the issuer through its periodicity
// (c_Periodicidad): 01 the day, 02 the week from Monday to Sunday, 03 the fortnight (1st-15th,
// 16th-last), 04 the calendar month, 05 the two-month period (January-February, ...) that
// holds the invoice's date. A week that crosses a month end is cut at it, so Meses always
// names the month its notes belong to. Bimesters are for regime 621 only.
struct GlobalPeriod
{
    QDate first;
    QDate last;
    InformacionGlobal informacion;

    bool contains(const QDate &date) const { return first <= date && date <= last; }
};

// Throws zentaro::Error, in Spanish, for a periodicity outside 01-05 or a bimester without
// regime 621.
GlobalPeriod globalPeriod(const QString &periodicidad, const QDate &invoiceDate, const QString &regimenEmisor);

// The period that holds the earliest note, when every note falls inside it and the invoice
// is not dated before them; throws zentaro::Error naming the first note outside.
struct DatedNote
{
    QString folio;
    QDate date;
};
InformacionGlobal informacionGlobalFor(const QList<DatedNote> &notes, const QString &periodicidad,
                                       const QDate &invoiceDate, const QString &regimenEmisor);

// SAT accepts a global invoice for the year of its Fecha or the year before. Throws
// zentaro::Error otherwise.
void checkGlobalYear(const InformacionGlobal &informacion, const QDate &fecha);

// "diaria", "semanal", ...; the key itself when unknown.
QString periodicityName(const QString &periodicidad);

} // namespace zentaro::cfdi
