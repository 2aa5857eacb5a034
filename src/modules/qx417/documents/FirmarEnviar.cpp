// The document-action button of an opened invoice: "Firmar" has the host sign and stamp
// it, "Enviar" mails its signed document again.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/KeyBox.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/LateBinding.h"
#include "qx417/module/Publico.h"

namespace qx417 {

void frmQX417::Controles_Opcion2()
{
    // The trap's title is the button's caption at the moment of the error.
    try {
        const QString caption = Controles->opcion2Caption().toUpper();
        if (caption == QLatin1String("FIRMAR")) {
            const QString database = publico().Environment->Connection().defaultDatabase();
            const QString request = database + QStringLiteral("|6|") + txtFolio->text();
            const QString result = zentaro::latebound::call(m_padre, "FirmaDocumento", {request}).toString();
            if (!result.isEmpty()) {
                showMessage(QStringLiteral("Error al firmar el documento digital") + QStringLiteral("\r\n") + result, 48,
                            QStringLiteral("Advertencia!"), QStringLiteral("ERR-ID:7500027"));
                return;
            }
            Controles->setOpcion2Caption(QStringLiteral("Enviar"));
            Enviar_CFD(txtFolio->text(), QStringLiteral("Factura"), false);
            showMessage(QStringLiteral("Documento firmado con éxito"), 64, QStringLiteral("Comprobante digital"),
                        QStringLiteral("ERR-ID:7500028"));
        } else if (caption == QLatin1String("ENVIAR")) {
            Enviar_CFD(txtFolio->text(), QStringLiteral("Factura"), true);
        }
    } catch (const zentaro::Error &error) {
        showMessage(error.description(), 16, Controles->opcion2Caption(), QStringLiteral("ERR-ID:7500029"));
    } catch (const std::exception &error) {
        showMessage(QString::fromLocal8Bit(error.what()), 16, Controles->opcion2Caption(), QStringLiteral("ERR-ID:7500029"));
    }
}

} // namespace qx417
