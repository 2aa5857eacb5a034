#include "platform/cfdi/SandboxPac.h"

#include "platform/cfdi/Anexo20Rules.h"
#include "platform/cfdi/CadenaOriginal.h"
#include "platform/cfdi/CsdCertificate.h"
#include "platform/cfdi/CsdPrivateKey.h"
#include "platform/cfdi/PlaceOfIssue.h"
#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QXmlStreamWriter>
#include <QTimeZone>

namespace zentaro::cfdi {

namespace {

constexpr auto kTimestampFormat = "yyyy-MM-ddTHH:mm:ss";

QString uuidFromSello(const QString &sello)
{
    QByteArray bytes = QCryptographicHash::hash(sello.toLatin1(), QCryptographicHash::Sha256).left(16);
    bytes[6] = static_cast<char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<char>((bytes[8] & 0x3F) | 0x80);
    const QString hex = QString::fromLatin1(bytes.toHex()).toUpper();
    return QStringLiteral("%1-%2-%3-%4-%5")
        .arg(hex.mid(0, 8), hex.mid(8, 4), hex.mid(12, 4), hex.mid(16, 4), hex.mid(20, 12));
}

void setAttribute(xmlNode *node, const char *name, const QString &value)
{
    xmlNewProp(node, reinterpret_cast<const xmlChar *>(name),
               reinterpret_cast<const xmlChar *>(value.toUtf8().constData()));
}

QByteArray insertTimbre(const XmlDocument &document, const TimbreFiscalDigital &tfd)
{
    xmlNode *root = document.root();
    xmlNode *complemento = firstChildElement(root, kCfdiNamespace, "Complemento");
    if (!complemento) {
        // Keep the writer's indentation so the stamped file stays readable for the user.
        complemento = xmlNewNode(root->ns, reinterpret_cast<const xmlChar *>("Complemento"));
        if (root->last && root->last->type == XML_TEXT_NODE) {
            xmlAddPrevSibling(root->last, complemento);
            xmlAddPrevSibling(complemento, xmlNewText(reinterpret_cast<const xmlChar *>("  ")));
        } else {
            xmlAddChild(root, complemento);
        }
    }
    xmlAddChild(complemento, xmlNewText(reinterpret_cast<const xmlChar *>("\n    ")));
    xmlNode *node =
        xmlNewChild(complemento, nullptr, reinterpret_cast<const xmlChar *>("TimbreFiscalDigital"), nullptr);
    xmlAddChild(complemento, xmlNewText(reinterpret_cast<const xmlChar *>("\n  ")));
    xmlNs *tfdNs =
        xmlNewNs(node, reinterpret_cast<const xmlChar *>(kTfdNamespace), reinterpret_cast<const xmlChar *>("tfd"));
    xmlSetNs(node, tfdNs);
    xmlNs *xsi = xmlSearchNsByHref(document.doc(), root, reinterpret_cast<const xmlChar *>(kXsiNamespace));
    if (!xsi)
        xsi =
            xmlNewNs(node, reinterpret_cast<const xmlChar *>(kXsiNamespace), reinterpret_cast<const xmlChar *>("xsi"));
    xmlNewNsProp(node, xsi, reinterpret_cast<const xmlChar *>("schemaLocation"),
                 reinterpret_cast<const xmlChar *>(
                     "http://www.sat.gob.mx/TimbreFiscalDigital "
                     "http://www.sat.gob.mx/sitio_internet/cfd/TimbreFiscalDigital/TimbreFiscalDigitalv11.xsd"));
    setAttribute(node, "Version", tfd.version);
    setAttribute(node, "UUID", tfd.uuid);
    setAttribute(node, "FechaTimbrado", tfd.fechaTimbrado);
    setAttribute(node, "RfcProvCertif", tfd.rfcProvCertif);
    setAttribute(node, "SelloCFD", tfd.selloCfd);
    setAttribute(node, "NoCertificadoSAT", tfd.noCertificadoSat);
    setAttribute(node, "SelloSAT", tfd.selloSat);
    return document.toUtf8();
}

// The generic RFCs of the general public and of foreigners: no receiver to ask.
bool isGenericReceiver(const QString &rfc)
{
    const QString upper = rfc.trimmed().toUpper();
    return upper == QLatin1String("XAXX010101000") || upper == QLatin1String("XEXX010101000");
}

bool needsReceiver(const CancellationRequest &request)
{
    if (isGenericReceiver(request.receiverRfc))
        return false;
    bool number = false;
    const double total = request.total.toDouble(&number);
    if (number && total <= 1000.0)
        return false;
    // Cancelled by the day after it was stamped.
    return !(request.stampedAt.isValid() && request.requestedAt.date() <= request.stampedAt.date().addDays(1));
}

QString refusalOf(const CancellationRequest &request)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    if (!uuid.match(request.uuid.toUpper()).hasMatch())
        return QStringLiteral("El folio fiscal %1 no existe").arg(request.uuid);
    const QString motive = request.motive;
    if (motive != QLatin1String("01") && motive != QLatin1String("02") && motive != QLatin1String("03")
        && motive != QLatin1String("04"))
        return QStringLiteral("El motivo de cancelación %1 no es del catálogo del SAT").arg(motive);
    if (motive == QLatin1String("01") && !uuid.match(request.replacementUuid.toUpper()).hasMatch())
        return QStringLiteral("El motivo 01 requiere el folio fiscal que sustituye al %1").arg(request.uuid);
    if (!request.requestedAt.isValid())
        return QStringLiteral("La solicitud de cancelación no tiene fecha");
    return {};
}

QByteArray acknowledgement(const CancellationRequest &request, const QString &status)
{
    const QString fecha = request.requestedAt.toString(QString::fromLatin1(kTimestampFormat));
    const QByteArray digest =
        QCryptographicHash::hash(QStringList {request.issuerRfc, request.uuid.toUpper(), request.motive,
                                              request.replacementUuid.toUpper(), fecha, status}
                                     .join(u'|')
                                     .toUtf8(),
                                 QCryptographicHash::Sha256)
            .toBase64();
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("Acuse"));
    writer.writeDefaultNamespace(QStringLiteral("http://cancelacfd.sat.gob.mx"));
    writer.writeAttribute(QStringLiteral("Fecha"), fecha);
    writer.writeAttribute(QStringLiteral("RfcEmisor"), request.issuerRfc);
    writer.writeStartElement(QStringLiteral("Folios"));
    writer.writeTextElement(QStringLiteral("UUID"), request.uuid.toUpper());
    writer.writeTextElement(QStringLiteral("EstatusUUID"), QStringLiteral("201"));
    writer.writeTextElement(QStringLiteral("Motivo"), request.motive);
    if (!request.replacementUuid.isEmpty())
        writer.writeTextElement(QStringLiteral("FolioSustitucion"), request.replacementUuid.toUpper());
    writer.writeEndElement();
    writer.writeTextElement(QStringLiteral("EstatusCancelacion"), status);
    writer.writeTextElement(QStringLiteral("Sello"), QString::fromLatin1(digest));
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml.toUtf8();
}

} // namespace

CancellationResult SandboxPac::cancel(const CancellationRequest &request)
{
    // As the SAT does: a request it can take is only received (201) and decided later; the
    // status service tells how it ended.
    if (const QString refusal = refusalOf(request); !refusal.isEmpty())
        return {CancellationStatus::NotCancellable, {}, QStringLiteral("205"), refusal};
    const QString status = QStringLiteral("Solicitud recibida");
    return {CancellationStatus::InProcess, acknowledgement(request, status), QStringLiteral("201"),
            QStringLiteral("El SAT recibió la solicitud de cancelación del folio fiscal %1").arg(request.uuid.toUpper())};
}

CancellationResult SandboxPac::cancellationStatus(const CancellationRequest &request)
{
    if (const QString refusal = refusalOf(request); !refusal.isEmpty())
        return {CancellationStatus::NotCancellable, {}, QStringLiteral("205"), refusal};
    if (!needsReceiver(request)) {
        const QString status = QStringLiteral("Cancelado sin aceptación");
        return {CancellationStatus::Cancelled, acknowledgement(request, status), QStringLiteral("Cancelado"), status};
    }
    // The receiver has 72 hours; one who keeps silent accepts.
    const QDateTime now = m_clock();
    if (request.requestedAt.secsTo(QDateTime(now.date(), now.time())) >= 72 * 3600) {
        const QString status = QStringLiteral("Plazo vencido");
        return {CancellationStatus::Cancelled, acknowledgement(request, status), QStringLiteral("Cancelado"), status};
    }
    const QString status = QStringLiteral("En proceso");
    return {CancellationStatus::InProcess, acknowledgement(request, status), status,
            QStringLiteral("La cancelación del folio fiscal %1 espera la aceptación del receptor %2, que tiene 72 horas "
                           "para responder")
                .arg(request.uuid.toUpper(), request.receiverRfc)};
}

SandboxPac::SandboxPac(Clock clock, const QString &rfc) : m_clock(std::move(clock)), m_rfc(rfc)
{
    const QDateTime now = m_clock();
    m_csd = generateTestCsd(rfc, QStringLiteral("PAC DE PRUEBAS SIN VALIDEZ FISCAL"), QStringLiteral("sandbox"),
                            now.addYears(-1), now.addYears(4), QStringLiteral("30001000000500099999"));
}

StampResult SandboxPac::stamp(const QByteArray &sealedXml)
{
    const QDateTime now = m_clock();
    std::optional<XmlDocument> document;
    try {
        document = XmlDocument::parse(sealedXml);
    } catch (const Error &e) {
        return StampResult::refused(QStringLiteral("301"), e.description());
    }
    const xmlNode *root = document->root();
    if (!isElement(root, kCfdiNamespace, "Comprobante") || attributeOrEmpty(root, "Version") != u"4.0")
        return StampResult::refused(QStringLiteral("301"),
                                    QStringLiteral("El documento no es un comprobante CFDI 4.0"));
    if (!descendantElements(root, kTfdNamespace, "TimbreFiscalDigital").isEmpty())
        return StampResult::refused(QStringLiteral("307"),
                                    QStringLiteral("El comprobante ya contiene un timbre fiscal digital"));

    const QString sello = attributeOrEmpty(root, "Sello");
    std::optional<CsdCertificate> certificate;
    QString cadena;
    try {
        certificate = CsdCertificate::fromBase64(attributeOrEmpty(root, "Certificado"));
        cadena = cadenaOriginal(*document);
    } catch (const Error &e) {
        return StampResult::refused(QStringLiteral("301"), e.description());
    }
    if (certificate->number() != attributeOrEmpty(root, "NoCertificado"))
        return StampResult::refused(
            QStringLiteral("CFDI40106"),
            QStringLiteral("El NoCertificado no corresponde al certificado incluido en el comprobante"));
    if (!certificate->verify(cadena.toUtf8(), sello))
        return StampResult::refused(
            QStringLiteral("CFDI40102"),
            QStringLiteral("El sello del comprobante no corresponde a su cadena original y certificado"));
    const xmlNode *emisor = firstChildElement(root, kCfdiNamespace, "Emisor");
    if (attributeOrEmpty(emisor, "Rfc") != certificate->rfc())
        return StampResult::refused(
            QStringLiteral("303"),
            QStringLiteral("El RFC del emisor no es el del certificado que selló el comprobante"));
    try {
        certificate->checkValidAt(now);
    } catch (const Error &e) {
        return StampResult::refused(QStringLiteral("304"), e.description());
    }
    // Fecha is the wall-clock time of the place of issue.
    const QDateTime fecha = momentOfFecha(attributeOrEmpty(root, "Fecha"), attributeOrEmpty(root, "LugarExpedicion"));
    if (!fecha.isValid())
        return StampResult::refused(QStringLiteral("CFDI40101"),
                                    QStringLiteral("La Fecha del comprobante no cumple con el patrón requerido"));
    if (fecha > now.addSecs(300) || fecha.secsTo(now) > 72 * 3600)
        return StampResult::refused(
            QStringLiteral("401"),
            QStringLiteral("La Fecha del comprobante debe estar dentro de las 72 horas previas al timbrado"));
    try {
        certificate->checkValidAt(fecha);
    } catch (const Error &e) {
        return StampResult::refused(QStringLiteral("305"), e.description());
    }
    if (const auto fault = findAnexo20Fault(*document))
        return StampResult{std::nullopt, fault};

    TimbreFiscalDigital tfd;
    tfd.uuid = uuidFromSello(sello);
    // SAT dates its stamps in central time, whatever the place of issue.
    auto fechaTimbrado = m_fechaTimbradoByUuid.find(tfd.uuid);
    const bool stampedBefore = fechaTimbrado != m_fechaTimbradoByUuid.end();
    if (!stampedBefore)
        fechaTimbrado = m_fechaTimbradoByUuid.insert(
            tfd.uuid, now.toTimeZone(QTimeZone(QByteArrayLiteral("America/Mexico_City")))
                          .toString(QString::fromLatin1(kTimestampFormat)));
    tfd.fechaTimbrado = *fechaTimbrado;
    tfd.rfcProvCertif = m_rfc;
    tfd.selloCfd = sello;
    const CsdCertificate pacCertificate = CsdCertificate::fromDer(m_csd.certificateDer);
    tfd.noCertificadoSat = pacCertificate.number();
    tfd.selloSat = CsdPrivateKey::load(m_csd.privateKeyDer, m_csd.password).signBase64(cadenaOriginalTfd(tfd).toUtf8());

    Stamp stamp;
    stamp.timbre = tfd;
    stamp.xml = insertTimbre(*document, tfd);
    stamp.pacCertificateDer = m_csd.certificateDer;
    return StampResult{stamp, std::nullopt, stampedBefore};
}

} // namespace zentaro::cfdi
