#include "platform/components/stamping/DocumentSigner.h"

#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/components/stamping/IssuerCsd.h"
#include "platform/components/stamping/RestPac.h"
#include "platform/components/stamping/SealedDocuments.h"
#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/Connection.h"
#include "platform/services/Environment.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QMutex>

#include <functional>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");
const QString kInvoiceDocumentType = QStringLiteral("6");

} // namespace

cfdi::Csd issuerCsd(Connection &connection, const QString &rfc)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Em_Certificado, Em_Llave, Em_Clave FROM Emisor WHERE Em_R_F_C = ?"), {rfc});
    if (rs.eof())
        throw Error(QStringLiteral("El emisor %1 no está registrado").arg(rfc));
    // The files are stored as base64 text; a text that is not (cut, or pasted with other
    // characters) is named as such, not taken for a certificate that is wrong.
    const auto stored = [&rs, &rfc](const char *column, const QString &what) {
        const QString text = rs.text(QString::fromLatin1(column)).simplified().remove(u' ');
        if (text.isEmpty())
            throw Error(QStringLiteral("El emisor %1 no tiene registrado %2").arg(rfc, what));
        const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty())
            throw Error(QStringLiteral("No se puede leer %1 del emisor %2: lo guardado en Emisor.%3 no es el archivo en "
                                       "base64. Vuelva a registrarlo")
                            .arg(what, rfc, QString::fromLatin1(column)));
        return decoded.decoded;
    };
    cfdi::Csd csd;
    csd.certificateDer = stored("Em_Certificado", QStringLiteral("el certificado de sello digital (.cer)"));
    csd.privateKeyDer = stored("Em_Llave", QStringLiteral("la llave privada del CSD (.key)"));
    csd.password = openSecret(rs.text(QStringLiteral("Em_Clave")), QStringLiteral("Emisor.Em_Clave"));
    return csd;
}

DocumentSigner::DocumentSigner(std::shared_ptr<cfdi::Pac> pac) : m_pac(std::move(pac)) {}

std::shared_ptr<cfdi::Pac> DocumentSigner::configuredPac()
{
    static QMutex mutex;
    static std::shared_ptr<cfdi::Pac> sandbox;
    const QString name = Environment().GetVariable(QStringLiteral("CFDI_PAC"), 0, QStringLiteral("T"), {}).trimmed().toUpper();
    if (name == QLatin1String("SANDBOX")) {
        QMutexLocker lock(&mutex);
        if (!sandbox)
            sandbox = std::make_shared<cfdi::SandboxPac>([] { return Utilities().ServerNow(); });
        return sandbox;
    }
    // A network PAC keeps its stamps on its side: a new instance answers a retry as well.
    if (name == QLatin1String("REST"))
        return RestPac::fromConfiguration();
    if (name.isEmpty())
        throw Error(QStringLiteral("No está configurado el proveedor de certificación (variable CFDI_PAC)"));
    throw Error(QStringLiteral("El proveedor de certificación %1 de la variable CFDI_PAC no está disponible en esta "
                               "instalación; para pruebas use SANDBOX")
                    .arg(name));
}

QString DocumentSigner::sign(const QString &request)
{
    const QStringList parts = request.split(u'|');
    if (parts.size() != 3 || parts.at(2).trimmed().isEmpty())
        return QStringLiteral("Solicitud de firma no válida: \"%1\"; se espera base de datos|6|folio").arg(request);
    try {
        const QString session = Platform::instance().connection().defaultDatabase();
        if (parts.at(0) != session)
            return QStringLiteral("La solicitud de firma es para la base de datos %1 y la sesión está abierta en %2")
                .arg(parts.at(0), session);
    } catch (const Error &error) {
        return error.description();
    }
    if (parts.at(1) != kInvoiceDocumentType)
        return QStringLiteral("No se pueden firmar documentos del tipo %1: solo facturas (6)").arg(parts.at(1));
    return signInvoice(parts.at(2));
}

namespace {

// Seals the invoice anew. Answers the sealed XML, or a sentence saying why it cannot be.
struct Sealing
{
    QByteArray xml;
    QString refusal;
};

Sealing sealInvoice(Connection &connection, const QString &folio)
{
    const InvoiceDocument invoice = InvoiceDocument::load(connection, folio);
    if (invoice.isCancelled())
        return {{}, QStringLiteral("La factura %1 está cancelada; no se puede firmar").arg(folio)};
    Utilities utilities;
    if (!utilities.IsElectronicSeries(invoice.series, 1))
        return {{},
                QStringLiteral("La serie %1 de la factura %2 no es de facturas electrónicas; no se firma").arg(invoice.series, folio)};

    const QDateTime now = utilities.ServerNow();
    const cfdi::Comprobante comprobante = invoice.toComprobante(now);
    if (const QString mismatch = invoice.totalMismatch(comprobante); !mismatch.isEmpty())
        return {{}, mismatch};
    try {
        return {cfdi::sealComprobante(comprobante, issuerCsd(connection, invoice.issuer.rfc), now).xml, {}};
    } catch (const Error &error) {
        return {{}, QStringLiteral("No se pudo sellar la factura %1: %2").arg(folio, error.description())};
    }
}

// Keeps a freshly sealed XML in a transaction of its own: once the PAC is called the bytes
// must survive any failure. Answers what is kept, which is another clerk's XML when he kept
// one a moment earlier.
QString anotherUserSigns(const QString &folio)
{
    return QStringLiteral("Otro usuario está firmando la factura %1 en este momento; espere a que termine y vuelva a "
                          "consultarla")
        .arg(folio);
}

SealedDocument keepSealed(Connection &connection, const QString &folio, const QByteArray &xml)
{
    SealedDocument sealed{kInvoiceTable, folio, xml, Utilities().ServerNow(), 0, {}};
    try {
        TransactionGuard transaction(connection);
        keepSealedDocument(connection, sealed);
        transaction.commit();
    } catch (const Error &) {
        // Another clerk kept his a moment earlier: his bytes are the ones that go.
        std::optional<SealedDocument> theirs;
        try {
            theirs = findSealedDocument(connection, kInvoiceTable, folio);
        } catch (const Error &) {
        }
        if (theirs)
            return *theirs;
        throw Error(anotherUserSigns(folio));
    }
    return sealed;
}

cfdi::StampResult askPac(const std::function<cfdi::StampResult()> &call)
{
    try {
        return call();
    } catch (const Error &error) {
        return cfdi::StampResult::unanswered(QString(), error.description());
    }
}

QString refusalText(const cfdi::PacRefusal &refusal)
{
    return refusal.code.isEmpty() ? refusal.message : QStringLiteral("%1 - %2").arg(refusal.code, refusal.message);
}

void noteAttempt(Connection &connection, const QString &folio, const QString &outcome)
{
    TransactionGuard transaction(connection);
    recordStampAttempt(connection, kInvoiceTable, folio, outcome);
    transaction.commit();
}

} // namespace

QString DocumentSigner::signInvoice(const QString &folio)
{
    try {
        Connection &connection = Platform::instance().connection();
        // Answered before anything else: a signed invoice stays signed even when its data
        // or the CSD changed afterwards.
        if (findDigitalDocument(connection, kInvoiceTable, folio))
            return {};
        // A document kept from an earlier attempt goes to the PAC as it is; otherwise the
        // invoice is checked and sealed now.
        std::optional<SealedDocument> kept = findSealedDocument(connection, kInvoiceTable, folio);
        Sealing fresh;
        if (!kept) {
            fresh = sealInvoice(connection, folio);
            if (!fresh.refusal.isEmpty())
                return fresh.refusal;
        }
        const std::shared_ptr<cfdi::Pac> pac = m_pac ? m_pac : configuredPac();
        if (connection.inTransaction())
            return QStringLiteral("La factura %1 no se timbra dentro de una transacción abierta: el comprobante sellado "
                                  "debe quedar guardado antes de enviarse al PAC; timbre la factura después de confirmar "
                                  "la transacción")
                .arg(folio);
        const SealedDocument sealed = kept ? *kept : keepSealed(connection, folio, fresh.xml);
        cfdi::StampResult result = askPac([&] { return pac->stamp(sealed.xml); });
        // A PAC that answers "already stamped" (307) without the stamp is asked for it.
        if (!result.stamped() && result.refusal && result.refusal->code == QStringView(cfdi::kAlreadyStampedCode))
            result = askPac([&] { return pac->existingStamp(sealed.xml); });

        switch (stampStateOf(result)) {
        case StampState::Stamped:
            break;
        case StampState::Refused: {
            // The PAC's final word on this XML: the next attempt seals the invoice anew.
            TransactionGuard transaction(connection);
            discardSealedDocument(connection, kInvoiceTable, folio);
            transaction.commit();
            return QStringLiteral("El PAC rechazó el comprobante: %1 - %2").arg(result.refusal->code, result.refusal->message);
        }
        case StampState::Pending: {
            const cfdi::PacRefusal why = result.refusal.value_or(
                cfdi::PacRefusal{QStringLiteral("?"), QStringLiteral("el PAC no dio el motivo"), true});
            noteAttempt(connection, folio, refusalText(why));
            return QStringLiteral("La factura %1 se envió al PAC y su respuesta está pendiente (%2). Se le preguntará "
                                  "de nuevo en el siguiente intento, con el mismo comprobante sellado: no se timbrará "
                                  "dos veces")
                .arg(folio, refusalText(why));
        }
        }

        const cfdi::Stamp &stamp = *result.stamp;
        const cfdi::TimbreFiscalDigital &timbre = stamp.timbre;
        const cfdi::Comprobante sent = cfdi::readComprobanteHeader(sealed.xml);
        // A stamp of some other document would file a foreign UUID under this invoice.
        if (timbre.selloCfd != sent.sello) {
            noteAttempt(connection, folio, QStringLiteral("timbre de otro comprobante"));
            return QStringLiteral("El PAC devolvió para la factura %1 el timbre de otro comprobante (UUID %2); no se "
                                  "guardó")
                .arg(folio, timbre.uuid);
        }

        DigitalDocument stamped;
        stamped.table = kInvoiceTable;
        stamped.document = folio;
        stamped.uuid = timbre.uuid;
        stamped.fechaTimbrado = QDateTime::fromString(timbre.fechaTimbrado, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        stamped.noCertificado = sent.noCertificado;
        stamped.xml = stamp.xml;
        stamped.estado = QString::fromUtf16(kDigitalDocumentValid);
        stamped.satCertificateDer = stamp.pacCertificateDer;

        try {
            TransactionGuard transaction(connection);
            insertDigitalDocument(connection, stamped);
            discardSealedDocument(connection, kInvoiceTable, folio);
            logDocumentEvent(connection, kInvoiceTable, folio, QStringLiteral("Timbrado"),
                             QStringLiteral("UUID %1, timbrado el %2 por %3 (certificado del SAT %4)")
                                 .arg(stamped.uuid, timbre.fechaTimbrado, timbre.rfcProvCertif, timbre.noCertificadoSat));
            transaction.commit();
        } catch (const Error &) {
            // Another clerk stored the stamp of the same bytes first: the invoice is signed.
            std::optional<DigitalDocument> theirs;
            try {
                theirs = findDigitalDocument(connection, kInvoiceTable, folio);
            } catch (const Error &) {
            }
            if (theirs && theirs->uuid.compare(stamped.uuid, Qt::CaseInsensitive) == 0)
                return {};
            return anotherUserSigns(folio);
        }
        return {};
    } catch (const Error &error) {
        return error.description();
    }
}

} // namespace zentaro
