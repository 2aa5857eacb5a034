#include "platform/components/stamping/PacCodeText.h"

#include <QHash>
#include <QRegularExpression>

namespace zentaro {

namespace {

// Codes of the SAT's validation of a CFDI, as providers answer them: the numbered ones of
// the certification rules (301-308, 401-403) and the CFDI40xxx rules the clerk can act on.
const QHash<QString, QString> &stampTexts()
{
    static const QHash<QString, QString> texts = {
        {QStringLiteral("301"), QStringLiteral("El comprobante no cumple con el esquema XML del SAT")},
        {QStringLiteral("302"), QStringLiteral("El sello del comprobante está mal formado o no es válido")},
        {QStringLiteral("303"), QStringLiteral("El sello no corresponde al emisor: revise el certificado de sello "
                                               "digital registrado para el RFC del emisor")},
        {QStringLiteral("304"), QStringLiteral("El certificado de sello digital del emisor está revocado o caduco")},
        {QStringLiteral("305"), QStringLiteral("La fecha del comprobante está fuera de la vigencia del certificado "
                                               "de sello digital")},
        {QStringLiteral("306"), QStringLiteral("El certificado usado no es un certificado de sello digital (¿es la "
                                               "e.firma?)")},
        {QStringLiteral("308"), QStringLiteral("El certificado de sello digital no fue emitido por el SAT")},
        {QStringLiteral("401"), QStringLiteral("La fecha del comprobante está fuera del plazo de 72 horas para "
                                               "timbrarlo; firme de nuevo para fecharlo hoy")},
        {QStringLiteral("402"), QStringLiteral("El RFC del emisor no está en la lista de contribuyentes con "
                                               "obligaciones del SAT")},
        {QStringLiteral("403"), QStringLiteral("La fecha del comprobante es anterior a la permitida por el SAT")},
        {QStringLiteral("CFDI40101"), QStringLiteral("La fecha del comprobante no es válida o está fuera de la "
                                                     "tolerancia del SAT respecto de la hora del lugar de expedición")},
        {QStringLiteral("CFDI40102"), QStringLiteral("El sello del comprobante no corresponde a su cadena original y "
                                                     "certificado")},
        {QStringLiteral("CFDI40108"), QStringLiteral("El SubTotal no es la suma de los importes de los conceptos")},
        {QStringLiteral("CFDI40119"), QStringLiteral("El Total no corresponde al SubTotal menos descuentos más "
                                                     "impuestos")},
        {QStringLiteral("CFDI40138"), QStringLiteral("El RFC del receptor no está en la lista de RFC inscritos del "
                                                     "SAT")},
        {QStringLiteral("CFDI40145"), QStringLiteral("El nombre del receptor no corresponde al de su RFC en el SAT")},
        {QStringLiteral("CFDI40147"), QStringLiteral("El código postal del domicilio fiscal del receptor no es el "
                                                     "registrado en el SAT")},
        {QStringLiteral("CFDI40158"), QStringLiteral("El régimen fiscal del receptor no corresponde al de su RFC")},
    };
    return texts;
}

} // namespace

QString leadingCode(const QString &message)
{
    static const QRegularExpression code(QStringLiteral("^\\s*([A-Z]{0,10}[0-9]{2,6})\\b"));
    const QRegularExpressionMatch match = code.match(message);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString stampRefusalText(const QString &code, const QString &providerText)
{
    const QString detail = providerText.trimmed();
    const auto known = stampTexts().constFind(code);
    if (known != stampTexts().constEnd())
        return detail.isEmpty() ? *known : QStringLiteral("%1 (el PAC dice: %2)").arg(*known, detail);
    if (code.startsWith(QLatin1String("CFDI40")))
        return QStringLiteral("El comprobante no cumple la regla %1 de la matriz de validación del SAT: %2")
            .arg(code, detail);
    return detail.isEmpty() ? QStringLiteral("El PAC rechazó el comprobante sin decir el motivo") : detail;
}

CancellationCodeMeaning cancellationCodeMeaning(const QString &code)
{
    using Status = cfdi::CancellationStatus;
    static const QHash<QString, CancellationCodeMeaning> meanings = {
        // "Solicitud recibida": the SAT has it, which does not assure the cancellation (the
        // receiver may have to accept it, or the SAT refuse it).
        {QStringLiteral("201"),
         {Status::InProcess, QStringLiteral("El SAT recibió la solicitud de cancelación; aún no la resuelve")}},
        {QStringLiteral("202"), {Status::Cancelled, QStringLiteral("El comprobante ya estaba cancelado en el SAT")}},
        {QStringLiteral("203"), {Status::Refused, QStringLiteral("El folio fiscal no corresponde al RFC del emisor")}},
        {QStringLiteral("204"),
         {Status::NotCancellable, QStringLiteral("El folio fiscal no es aplicable a "
                                                 "cancelación")}},
        // The SAT may take up to 48 hours to know a stamp: not a refusal, ask again later.
        {QStringLiteral("205"),
         {Status::Unknown, QStringLiteral("El SAT aún no conoce el folio fiscal (puede tardar hasta 48 horas); "
                                          "se consultará de nuevo")}},
        {QStringLiteral("207"), {Status::Refused, QStringLiteral("El motivo de cancelación falta o no es válido")}},
        {QStringLiteral("208"),
         {Status::Refused, QStringLiteral("El folio fiscal que sustituye al cancelado no es "
                                          "válido")}},
        {QStringLiteral("209"),
         {Status::Refused, QStringLiteral("El motivo de cancelación no admite un folio que "
                                          "lo sustituya")}},
        {QStringLiteral("210"),
         {Status::NotCancellable, QStringLiteral("Ya venció el plazo para cancelar el "
                                                 "comprobante: la declaración del ejercicio "
                                                 "ya se presentó")}},
        {QStringLiteral("211"),
         {Status::NotCancellable, QStringLiteral("Ya venció el plazo para cancelar la factura "
                                                 "global")}},
        {QStringLiteral("212"),
         {Status::Refused, QStringLiteral("La relación con el folio que lo sustituye no es "
                                          "válida o no existe")}},
        {QStringLiteral("300"),
         {Status::Refused, QStringLiteral("El PAC no está autorizado a cancelar por este "
                                          "emisor")}},
        {QStringLiteral("304"),
         {Status::Refused, QStringLiteral("El certificado de sello digital del emisor está "
                                          "revocado o caduco")}},
        {QStringLiteral("305"),
         {Status::Refused, QStringLiteral("El certificado de sello digital del emisor no es "
                                          "válido")}},
    };
    const auto found = meanings.constFind(code);
    if (found != meanings.constEnd())
        return *found;
    return {Status::Refused, QStringLiteral("El SAT no aceptó la solicitud de cancelación (código %1)").arg(code)};
}

} // namespace zentaro
