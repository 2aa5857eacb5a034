#include "platform/cfdi/CancellationDeadline.h"

#include "platform/core/Error.h"

namespace zentaro::cfdi {

namespace {

QString shown(const QDate &date) { return date.toString(QStringLiteral("dd/MM/yyyy")); }

} // namespace

QDate cancellationDeadline(const QString &rfcEmisor, const QString &regimenEmisor, const QDate &issued)
{
    if (!issued.isValid())
        throw Error(QStringLiteral("El comprobante no tiene fecha de emisión; no se puede saber su plazo de cancelación"));
    const QString rfc = rfcEmisor.trimmed();
    int month = 0;
    if (regimenEmisor.trimmed() == QLatin1String("603"))
        month = 2;
    else if (rfc.size() == 12)
        month = 3;
    else if (rfc.size() == 13)
        month = 4;
    else
        throw Error(QStringLiteral("El RFC del emisor \"%1\" no es de una persona moral (12 caracteres) ni de una persona "
                                   "física (13); no se puede saber su plazo de cancelación")
                        .arg(rfc));
    const QDate firstOfMonth(issued.year() + 1, month, 1);
    return firstOfMonth.addMonths(1).addDays(-1);
}

QString cancellationDeadlineRefusal(const QString &document, const QString &rfcEmisor, const QString &regimenEmisor,
                                    const QDate &issued, const QDate &today)
{
    const QDate deadline = cancellationDeadline(rfcEmisor, regimenEmisor, issued);
    if (today <= deadline)
        return {};
    return QStringLiteral("%1, emitida el %2, ya no puede cancelarse: el plazo del SAT venció el %3 (los comprobantes "
                          "se cancelan a más tardar en el mes en que el emisor presenta la declaración anual del "
                          "ejercicio %4, CFF art. 29-A)")
        .arg(document, shown(issued), shown(deadline))
        .arg(issued.year());
}

} // namespace zentaro::cfdi
