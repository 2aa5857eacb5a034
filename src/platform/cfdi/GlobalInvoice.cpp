#include "platform/cfdi/GlobalInvoice.h"

#include "platform/core/Error.h"

#include <algorithm>

namespace zentaro::cfdi {

namespace {

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, u'0');
}

} // namespace

Receptor publicReceptor(const QString &lugarExpedicion)
{
    return Receptor{QString::fromUtf16(kPublicoEnGeneralRfc), QStringLiteral("PUBLICO EN GENERAL"), lugarExpedicion,
                    QStringLiteral("616"), QStringLiteral("S01")};
}

InformacionGlobal informacionGlobalFor(const QList<QDate> &noteDates, const QString &regimenEmisor)
{
    if (noteDates.isEmpty())
        throw Error(QStringLiteral("La factura global no tiene notas"));
    const auto [firstIt, lastIt] = std::minmax_element(noteDates.begin(), noteDates.end());
    const QDate first = *firstIt;
    const QDate last = *lastIt;
    const QString anio = QString::number(first.year());

    if (first.year() == last.year() && first.month() == last.month()) {
        QString periodicidad;
        if (first == last)
            periodicidad = QStringLiteral("01");
        else if (first.daysTo(last) < 7)
            periodicidad = QStringLiteral("02");
        else if ((last.day() <= 15) == (first.day() <= 15))
            periodicidad = QStringLiteral("03");
        else
            periodicidad = QStringLiteral("04");
        return InformacionGlobal{periodicidad, twoDigits(first.month()), anio};
    }

    const bool sameBimester = first.year() == last.year() && (first.month() + 1) / 2 == (last.month() + 1) / 2;
    if (regimenEmisor == u"621" && sameBimester)
        return InformacionGlobal{QStringLiteral("05"), QString::number(12 + (first.month() + 1) / 2), anio};

    throw Error(QStringLiteral("Las notas del %1 al %2 abarcan más de un mes; emita una factura global por cada mes")
                    .arg(first.toString(QStringLiteral("dd/MM/yyyy")), last.toString(QStringLiteral("dd/MM/yyyy"))));
}

} // namespace zentaro::cfdi
