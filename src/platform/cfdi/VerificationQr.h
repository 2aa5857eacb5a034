#pragma once

#include <QString>

#include <vector>

namespace zentaro::cfdi {

// The address SAT prints as a QR code on every stamped CFDI, so anyone can check it at
// verificacfdi.facturaelectronica.sat.gob.mx. `total` is the Total attribute as written;
// its insignificant zeros are dropped as SAT asks ("870.490000" -> "870.49", "100.00" ->
// "100.0"). `sello` is the comprobante's Sello; only its last 8 characters travel.
QString verificationUrl(const QString &uuid, const QString &rfcEmisor, const QString &rfcReceptor, const QString &total,
                        const QString &sello);

// A QR symbol as dark/light modules, row by row, without the quiet zone: the PDF and the
// screen draw it at whatever size they need.
struct QrMatrix
{
    int width = 0;
    std::vector<bool> modules; // width * width, true = dark
    bool dark(int x, int y) const { return modules[static_cast<size_t>(y) * width + x]; }
};

// Error correction level M, as SAT's printed representation uses. Throws zentaro::Error
// when the text does not fit a QR symbol.
QrMatrix encodeQr(const QString &text);

} // namespace zentaro::cfdi
