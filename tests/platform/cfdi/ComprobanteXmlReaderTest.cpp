#include "CfdiFixtures.h"

#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/core/Error.h"

namespace zentaro::cfdi::test {
namespace {

// The header read alone is the header of the whole reading, also when what comes before the
// conceptos spans many pieces of the text (a replacement relating a thousand documents).
TEST(ComprobanteXmlReader, TheHeaderAloneIsTheHeaderOfTheWholeReading)
{
    Comprobante relating = globalInvoice();
    CfdiRelacionados related{QStringLiteral("04"), {}};
    for (int i = 0; i < 1000; ++i)
        related.uuids.append(QStringLiteral("5FB2822E-396D-4725-8521-CDC4BDD2%1").arg(i, 4, 10, QLatin1Char('0')));
    relating.cfdiRelacionados = {related};
    for (const Comprobante &c : {globalInvoice(), relating}) {
        const QByteArray xml = sealComprobante(c, ekuCsd(), fixedNow()).xml;
        const Comprobante whole = readComprobanteXml(xml);
        const Comprobante header = readComprobanteHeader(xml);
        for (const auto field : {&Comprobante::serie, &Comprobante::folio, &Comprobante::fecha, &Comprobante::total,
                                 &Comprobante::moneda, &Comprobante::sello, &Comprobante::noCertificado,
                                 &Comprobante::certificado, &Comprobante::lugarExpedicion})
            EXPECT_EQ(header.*field, whole.*field);
        EXPECT_EQ(header.emisor.nombre, whole.emisor.nombre);
        EXPECT_EQ(header.receptor.rfc, whole.receptor.rfc);
        EXPECT_EQ(header.informacionGlobal->anio, whole.informacionGlobal->anio);
        ASSERT_EQ(header.cfdiRelacionados.size(), whole.cfdiRelacionados.size());
        if (!whole.cfdiRelacionados.isEmpty()) {
            EXPECT_EQ(header.cfdiRelacionados.first().uuids, whole.cfdiRelacionados.first().uuids);
        }
        EXPECT_TRUE(header.conceptos.isEmpty());
        // Cut before its conceptos, or not a CFDI at all: refused, not read half.
        EXPECT_THROW(readComprobanteHeader(xml.left(xml.indexOf("<cfdi:Receptor") + 20)), Error);
    }
    EXPECT_THROW(readComprobanteHeader("<Factura Total=\"1\"/>"), Error);
}

} // namespace
} // namespace zentaro::cfdi::test
