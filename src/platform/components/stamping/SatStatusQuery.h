#pragma once

#include "platform/cfdi/Pac.h"
#include "platform/components/stamping/HttpsExchange.h"

namespace zentaro {

// The SAT's public status service for CFDI (SOAP 1.1, operation Consulta of
// ConsultaCFDIService): given the document's printed expression (issuer and receiver RFC,
// total, UUID and the last 8 characters of the Sello) it answers Estado (Vigente, Cancelado,
// No Encontrado), EsCancelable and EstatusCancelacion (En proceso, Solicitud rechazada,
// Cancelado con/sin aceptación, Plazo vencido).
HttpsRequest satStatusRequest(const cfdi::CancellationRequest &request, const QString &serviceUrl);

// Where the SAT's answer leaves the cancellation; the answer itself is kept as the
// acknowledgement. Throws zentaro::Error when the text is not the service's answer.
cfdi::CancellationResult readSatStatus(const QByteArray &soapAnswer);

} // namespace zentaro
