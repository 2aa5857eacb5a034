// E-mailing the electronic document of a stored invoice: only a signed one, and only
// when the send-by-e-mail setting is on unless the caller insists.

#include "qx417/screen/frmQX417.h"

#include "platform/components/mail/DocumentMailer.h"
#include "platform/core/Error.h"
#include "qx417/module/Publico.h"

namespace qx417 {

void frmQX417::Enviar_CFD(const QString &folio, const QString &table, bool sendAlways)
{
    const QString title = QStringLiteral("Enviar_CFD()");
    trapped(title, QStringLiteral("ERR-ID:7500046"), [&] {
        Publico &p = publico();
        const QString signedFolio =
            p.Utilities->LookupField(QStringLiteral("Comprobante_Digital"), QStringLiteral("Cd_Tabla"), table,
                                     QStringLiteral("Cd_Documento"), 0, QStringLiteral("Cd_Documento"), folio, QString());
        if (signedFolio != folio)
            return;
        if (!sendAlways && !m_enviarEmail)
            return;
        zentaro::DocumentMailer mailer;
        QString text;
        if (!mailer.Send(table, folio, 0, 0, 0, text) && !mailer.LastError().isEmpty())
            showMessage(mailer.LastError(), 16, title, QStringLiteral("ERR-ID:7500045"));
    });
}

} // namespace qx417
