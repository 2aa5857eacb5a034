// The output and document-record commands of an opened invoice. Neither traps its
// errors: the platform reports them.

#include "qx417/screen/frmQX417.h"

#include "platform/components/printing/DocumentOutput.h"
#include "platform/components/records/DocumentRecord.h"
#include "platform/controls/KeyBox.h"
#include "qx417/module/Publico.h"

namespace qx417 {

void frmQX417::Controles_Imprimir()
{
    zentaro::DocumentOutput output;
    const QString profile = publico().Utilities->OutputProfile(txt_Cl_Cve_Cliente->text(), txt_Sc_Cve_Sucursal->text());
    const QString folio = txtFolio->value().toString();
    output.Produce(profile, folio, QString(), 0, 0, QString());
}

void frmQX417::Controles_Registro()
{
    zentaro::DocumentRecord record;
    const QString folio = txtFolio->value().toString();
    record.Open(QStringLiteral("Factura"), QStringLiteral("Fc_Folio"), folio, QString(), QString(), QString(), QString());
}

} // namespace qx417
