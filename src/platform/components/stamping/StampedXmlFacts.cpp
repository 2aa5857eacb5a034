#include "platform/components/stamping/StampedXmlFacts.h"

#include <QXmlStreamReader>

namespace zentaro {

StampedXmlFacts StampedXmlFacts::read(const QByteArray &xml)
{
    StampedXmlFacts facts;
    QXmlStreamReader reader(xml);
    QString relationType;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (name == QLatin1String("Comprobante")) {
            facts.total = attributes.value(QLatin1String("Total")).toString();
            facts.fecha = attributes.value(QLatin1String("Fecha")).toString();
        } else if (name == QLatin1String("Emisor")) {
            facts.issuerRfc = attributes.value(QLatin1String("Rfc")).toString();
            facts.issuerRegime = attributes.value(QLatin1String("RegimenFiscal")).toString();
        } else if (name == QLatin1String("Receptor")) {
            facts.receiverRfc = attributes.value(QLatin1String("Rfc")).toString();
        } else if (name == QLatin1String("CfdiRelacionados")) {
            relationType = attributes.value(QLatin1String("TipoRelacion")).toString();
        } else if (name == QLatin1String("CfdiRelacionado")) {
            facts.relations << relationType + u'|' + attributes.value(QLatin1String("UUID")).toString().toUpper();
        } else if (name == QLatin1String("TimbreFiscalDigital")) {
            facts.uuid = attributes.value(QLatin1String("UUID")).toString();
        }
    }
    return facts;
}

} // namespace zentaro
