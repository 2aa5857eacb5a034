#include "platform/cfdi/GlobalInvoice.h"

#include "platform/core/Error.h"

#include <algorithm>

namespace zentaro::cfdi {

namespace {

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, u'0');
}

QString dayText(const QDate &date)
{
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

bool isGenericRfc(const QString &rfc)
{
    return rfc == QStringView(kPublicoEnGeneralRfc) || rfc == QStringView(kExtranjeroGenericoRfc);
}

Receptor publicReceptor(const QString &lugarExpedicion)
{
    return Receptor{QString::fromUtf16(kPublicoEnGeneralRfc), QStringLiteral("PUBLICO EN GENERAL"), lugarExpedicion,
                    QStringLiteral("616"), QStringLiteral("S01")};
}

QString periodicityName(const QString &periodicidad)
{
    if (periodicidad == u"01")
        return QStringLiteral("diaria");
    if (periodicidad == u"02")
        return QStringLiteral("semanal");
    if (periodicidad == u"03")
        return QStringLiteral("quincenal");
    if (periodicidad == u"04")
        return QStringLiteral("mensual");
    if (periodicidad == u"05")
        return QStringLiteral("bimestral");
    return periodicidad;
}

GlobalPeriod globalPeriod(const QString &periodicidad, const QDate &invoiceDate, const QString &regimenEmisor)
{
    if (!invoiceDate.isValid())
        throw Error(QStringLiteral("La factura global no tiene fecha"));
    const QDate monthStart(invoiceDate.year(), invoiceDate.month(), 1);
    const QDate monthEnd = monthStart.addMonths(1).addDays(-1);
    GlobalPeriod period;
    period.informacion.periodicidad = periodicidad;
    period.informacion.meses = twoDigits(invoiceDate.month());
    period.informacion.anio = QString::number(invoiceDate.year());
    if (periodicidad == u"01") {
        period.first = period.last = invoiceDate;
    } else if (periodicidad == u"02") {
        const QDate monday = invoiceDate.addDays(1 - invoiceDate.dayOfWeek());
        period.first = std::max(monday, monthStart);
        period.last = std::min(monday.addDays(6), monthEnd);
    } else if (periodicidad == u"03") {
        const bool firstHalf = invoiceDate.day() <= 15;
        period.first = firstHalf ? monthStart : monthStart.addDays(15);
        period.last = firstHalf ? monthStart.addDays(14) : monthEnd;
    } else if (periodicidad == u"04") {
        period.first = monthStart;
        period.last = monthEnd;
    } else if (periodicidad == u"05") {
        if (regimenEmisor != u"621")
            throw Error(QStringLiteral("La periodicidad bimestral (05) de la factura global solo aplica al régimen "
                                       "621; el emisor tributa en el régimen %1")
                            .arg(regimenEmisor));
        const int bimester = (invoiceDate.month() + 1) / 2;
        period.first = QDate(invoiceDate.year(), bimester * 2 - 1, 1);
        period.last = period.first.addMonths(2).addDays(-1);
        period.informacion.meses = QString::number(12 + bimester);
    } else {
        throw Error(QStringLiteral("La periodicidad \"%1\" de la factura global no es válida; use 01 diaria, 02 "
                                   "semanal, 03 quincenal, 04 mensual o 05 bimestral")
                        .arg(periodicidad));
    }
    return period;
}

InformacionGlobal informacionGlobalFor(const QList<DatedNote> &notes, const QString &periodicidad,
                                       const QDate &invoiceDate, const QString &regimenEmisor)
{
    if (notes.isEmpty())
        throw Error(QStringLiteral("La factura global no tiene notas"));
    // The period is the notes' own: a global made after its period closed (the night after,
    // or late) still covers the day, week or month its sales were made in.
    QDate earliest = notes.first().date;
    for (const DatedNote &note : notes)
        earliest = std::min(earliest, note.date);
    if (invoiceDate.isValid() && invoiceDate < earliest)
        throw Error(QStringLiteral("La factura global del %1 no puede ser anterior a sus notas (la primera es del %2)")
                        .arg(dayText(invoiceDate), dayText(earliest)));
    const GlobalPeriod period = globalPeriod(periodicidad, earliest, regimenEmisor);
    for (const DatedNote &note : notes) {
        if (!period.contains(note.date))
            throw Error(QStringLiteral("La nota %1 del %2 está fuera del periodo %3 de la factura global (del %4 al "
                                       "%5); factúrela en la global de su periodo")
                            .arg(note.folio, dayText(note.date), periodicityName(periodicidad), dayText(period.first),
                                 dayText(period.last)));
    }
    return period.informacion;
}

void checkGlobalYear(const InformacionGlobal &informacion, const QDate &fecha)
{
    const int year = informacion.anio.toInt();
    if (year != fecha.year() && year != fecha.year() - 1)
        throw Error(QStringLiteral("El año %1 de la factura global debe ser el de su fecha de emisión (%2) o el "
                                   "anterior")
                        .arg(informacion.anio)
                        .arg(fecha.year()));
}

} // namespace zentaro::cfdi
