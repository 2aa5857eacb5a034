#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zentaro {

// What the suite needs to read back from a stamped CFDI: the parties and total that a
// cancellation request repeats, and the documents it relates (a replacement names the
// UUIDs it replaces with TipoRelacion 04).
struct StampedXmlFacts
{
    QString issuerRfc;
    QString issuerRegime;   // Emisor/@RegimenFiscal
    QString receiverRfc;
    QString total;
    QString uuid;
    QString fecha;
    // "TipoRelacion|UUID" for every related document, UUIDs in upper case.
    QStringList relations;

    bool relates(const QString &type, const QString &uuid) const
    {
        return relations.contains(type + u'|' + uuid.toUpper());
    }

    // Reads what it finds; a text that is not XML gives empty facts.
    static StampedXmlFacts read(const QByteArray &xml);
};

} // namespace zentaro
