#include "platform/cfdi/VerificationQr.h"

#include "platform/core/Error.h"

#include <qrencode.h>

namespace zentaro::cfdi {

namespace {

QString significantTotal(QString total)
{
    total = total.trimmed();
    if (!total.contains(u'.'))
        total += QStringLiteral(".0");
    while (total.endsWith(u'0') && !total.endsWith(QStringLiteral(".0")))
        total.chop(1);
    while (total.size() > 1 && total.startsWith(u'0') && total[1] != u'.')
        total.remove(0, 1);
    return total;
}

// Anexo 20 asks for '&' in an RFC to be written as its XML escape inside the address.
QString rfcParameter(QString rfc)
{
    return rfc.replace(u'&', QStringLiteral("&amp;"));
}

} // namespace

QString verificationUrl(const QString &uuid, const QString &rfcEmisor, const QString &rfcReceptor, const QString &total,
                        const QString &sello)
{
    return QStringLiteral(
               "https://verificacfdi.facturaelectronica.sat.gob.mx/default.aspx?id=%1&re=%2&rr=%3&tt=%4&fe=%5")
        .arg(uuid, rfcParameter(rfcEmisor), rfcParameter(rfcReceptor), significantTotal(total), sello.right(8));
}

QrMatrix encodeQr(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QRcode *code = QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M);
    if (!code)
        throw Error(QStringLiteral("No se pudo generar el código QR del comprobante"));
    QrMatrix matrix;
    matrix.width = code->width;
    matrix.modules.resize(static_cast<size_t>(code->width) * code->width);
    for (size_t i = 0; i < matrix.modules.size(); ++i)
        matrix.modules[i] = (code->data[i] & 1) != 0;
    QRcode_free(code);
    return matrix;
}

} // namespace zentaro::cfdi
