#include "platform/host/ElectronicDocuments.h"

#include "platform/components/cancellation/CancellationValidator.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/core/Error.h"
#include "platform/host/HostObject.h"

namespace zentaro {

void installElectronicDocuments(HostObject &host, std::shared_ptr<cfdi::Pac> pac)
{
    host.setSigner([pac](const QString &request) {
        try {
            return DocumentSigner(pac).sign(request);
        } catch (const Error &error) {
            return error.description();
        } catch (const std::exception &error) {
            return QStringLiteral("No se pudo firmar el documento: %1").arg(QString::fromUtf8(error.what()));
        }
    });
    host.setValidator([pac](const QString &request, HostObject &target) {
        CancellationValidator::Decision decision;
        try {
            decision = CancellationValidator({}, pac).validate(request);
        } catch (const std::exception &error) {
            decision.error =
                QStringLiteral("No se pudo validar la cancelación: %1").arg(QString::fromUtf8(error.what()));
        }
        target.setSError(decision.error);
        target.setSMensaje(decision.message);
        return decision.accepted;
    });
}

} // namespace zentaro
