#include "platform/components/DocumentSigner.h"

#include "platform/cfdi/ComprobanteSealer.h"
#include "platform/cfdi/SandboxPac.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentLog.h"
#include "platform/components/InvoiceDocument.h"
#include "platform/components/RestPac.h"
#include "platform/core/Error.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/Connection.h"
#include "platform/services/Environment.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QMutex>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");
const QString kInvoiceDocumentType = QStringLiteral("6");

cfdi::Csd issuerCsd(Connection &connection, const QString &rfc)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Em_Certificado, Em_Llave, Em_Clave FROM Emisor WHERE Em_R_F_C = ?"), {rfc});
    if (rs.eof())
        throw Error(QStringLiteral("El emisor %1 no está registrado").arg(rfc));
    cfdi::Csd csd;
    csd.certificateDer = QByteArray::fromBase64(rs.text(QStringLiteral("Em_Certificado")).toLatin1());
    csd.privateKeyDer = QByteArray::fromBase64(rs.text(QStringLiteral("Em_Llave")).toLatin1());
    csd.password = openSecret(rs.text(QStringLiteral("Em_Clave")), QStringLiteral("Emisor.Em_Clave"));
    if (csd.certificateDer.isEmpty() || csd.privateKeyDer.isEmpty())
        throw Error(QStringLiteral("El emisor %1 no tiene registrado su certificado de sello digital y su llave privada")
                        .arg(rfc));
    return csd;
}

} // namespace

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

QString DocumentSigner::signInvoice(const QString &folio)
{
    try {
        Connection &connection = Platform::instance().connection();
        // Answered before anything else: a signed invoice stays signed even when its data
        // or the CSD changed afterwards.
        if (findDigitalDocument(connection, kInvoiceTable, folio))
            return {};
        const InvoiceDocument invoice = InvoiceDocument::load(connection, folio);
        if (invoice.isCancelled())
            return QStringLiteral("La factura %1 está cancelada; no se puede firmar").arg(folio);
        Utilities utilities;
        if (!utilities.IsElectronicSeries(invoice.series, 1))
            return QStringLiteral("La serie %1 de la factura %2 no es de facturas electrónicas; no se firma")
                .arg(invoice.series, folio);

        const QDateTime now = utilities.ServerNow();
        const cfdi::Comprobante comprobante = invoice.toComprobante(now);
        if (const QString mismatch = invoice.totalMismatch(comprobante); !mismatch.isEmpty())
            return mismatch;

        cfdi::SealedComprobante sealed;
        try {
            sealed = cfdi::sealComprobante(comprobante, issuerCsd(connection, invoice.issuer.rfc), now);
        } catch (const Error &error) {
            return QStringLiteral("No se pudo sellar la factura %1: %2").arg(folio, error.description());
        }

        const std::shared_ptr<cfdi::Pac> pac = m_pac ? m_pac : configuredPac();
        const cfdi::StampResult result = pac->stamp(sealed.xml);
        if (!result.stamped()) {
            const cfdi::PacRefusal refusal = result.refusal.value_or(
                cfdi::PacRefusal{QStringLiteral("?"), QStringLiteral("el PAC no dio el motivo")});
            return QStringLiteral("El PAC rechazó el comprobante: %1 - %2").arg(refusal.code, refusal.message);
        }

        DigitalDocument stamped;
        stamped.table = kInvoiceTable;
        stamped.document = folio;
        stamped.uuid = result.stamp->timbre.uuid;
        stamped.fechaTimbrado =
            QDateTime::fromString(result.stamp->timbre.fechaTimbrado, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        stamped.noCertificado = sealed.noCertificado;
        stamped.xml = result.stamp->xml;
        stamped.estado = QString::fromUtf16(kDigitalDocumentValid);

        TransactionGuard transaction(connection);
        insertDigitalDocument(connection, stamped);
        logDocumentEvent(connection, kInvoiceTable, folio, QStringLiteral("Timbrado"),
                         QStringLiteral("UUID %1, timbrado el %2 por %3")
                             .arg(stamped.uuid, result.stamp->timbre.fechaTimbrado, result.stamp->timbre.rfcProvCertif));
        transaction.commit();
        return {};
    } catch (const Error &error) {
        return error.description();
    }
}

} // namespace zentaro
