#include "platform/components/stamping/SatStatusQuery.h"

#include "platform/core/Error.h"

#include <QHash>
#include <QXmlStreamReader>

namespace zentaro {

HttpsRequest satStatusRequest(const cfdi::CancellationRequest &request, const QString &serviceUrl)
{
    const QString expression =
        QStringLiteral("?re=%1&rr=%2&tt=%3&id=%4&fe=%5")
            .arg(request.issuerRfc, request.receiverRfc, request.total, request.uuid, request.sello.right(8));
    HttpsRequest http;
    http.url = serviceUrl.toUtf8();
    http.headers = {{"Content-Type", "text/xml; charset=utf-8"},
                    {"SOAPAction", "\"http://tempuri.org/IConsultaCFDIService/Consulta\""}};
    http.body = QByteArrayLiteral("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                                  "xmlns:tem=\"http://tempuri.org/\"><soap:Body><tem:Consulta><tem:expresionImpresa>") +
                expression.toHtmlEscaped().toUtf8() +
                QByteArrayLiteral("</tem:expresionImpresa></tem:Consulta></soap:Body></soap:Envelope>");
    return http;
}

cfdi::CancellationResult readSatStatus(const QByteArray &soapAnswer)
{
    QHash<QString, QString> fields;
    QXmlStreamReader reader(soapAnswer);
    bool inResult = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        const QString name = reader.name().toString();
        if (name == QLatin1String("ConsultaResult"))
            inResult = true;
        else if (inResult)
            fields.insert(name, reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
    }
    if (reader.hasError() || !inResult)
        throw Error(QStringLiteral("La respuesta del servicio de consulta del SAT no se pudo leer: %1")
                        .arg(reader.hasError() ? reader.errorString() : QStringLiteral("falta ConsultaResult")));

    using Status = cfdi::CancellationStatus;
    const QString state = fields.value(QStringLiteral("Estado"));
    const QString cancellation = fields.value(QStringLiteral("EstatusCancelacion"));
    const QString cancellable = fields.value(QStringLiteral("EsCancelable"));
    cfdi::CancellationResult result;
    result.acknowledgement = soapAnswer;
    result.code = cancellation.isEmpty() ? state : cancellation;
    if (state.compare(QLatin1String("Cancelado"), Qt::CaseInsensitive) == 0) {
        result.status = Status::Cancelled;
        result.message = cancellation.isEmpty()
                             ? QStringLiteral("El comprobante está cancelado en el SAT")
                             : QStringLiteral("El comprobante está cancelado en el SAT (%1)").arg(cancellation);
    } else if (cancellation.compare(QLatin1String("En proceso"), Qt::CaseInsensitive) == 0) {
        result.status = Status::InProcess;
        result.message = QStringLiteral("La cancelación espera la aceptación del receptor (tiene tres días hábiles "
                                        "para responder)");
    } else if (cancellation.contains(QLatin1String("rechazada"), Qt::CaseInsensitive)) {
        result.status = Status::Refused;
        result.message = QStringLiteral("El receptor rechazó la cancelación; el comprobante sigue vigente");
    } else if (state.compare(QLatin1String("Vigente"), Qt::CaseInsensitive) == 0 &&
               cancellable.startsWith(QLatin1String("No cancelable"), Qt::CaseInsensitive)) {
        result.status = Status::NotCancellable;
        result.message = QStringLiteral("El SAT no permite cancelar este comprobante (%1)").arg(cancellable);
    } else if (state.compare(QLatin1String("Vigente"), Qt::CaseInsensitive) == 0) {
        // The SAT's query lags behind an accepted request by minutes: still waiting.
        result.status = Status::InProcess;
        result.message = QStringLiteral("El comprobante sigue vigente en el SAT; la cancelación aún no se refleja");
    } else {
        // "N - 601" (the expression is not valid) and "N - 602" (not found) are what the
        // service answers about a stamp it does not know yet: never a refusal.
        result.status = Status::Unknown;
        result.code = fields.value(QStringLiteral("CodigoEstatus")).left(7).trimmed();
        result.message = QStringLiteral("El servicio de consulta del SAT aún no conoce el comprobante (%1); se "
                                        "consultará de nuevo")
                             .arg(fields.value(QStringLiteral("CodigoEstatus")));
    }
    return result;
}

} // namespace zentaro
