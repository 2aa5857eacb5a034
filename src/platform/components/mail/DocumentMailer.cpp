#include "platform/components/mail/DocumentMailer.h"

#include "platform/cfdi/ComprobanteXmlReader.h"
#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/printing/InvoicePdf.h"
#include "platform/components/printing/LastPrintedPdf.h"
#include "platform/components/mail/MailTransport.h"
#include "platform/components/mail/MimeMessage.h"
#include "platform/components/mail/SmtpSettings.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Environment.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QRegularExpression>

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");
const QString kMailAction = QStringLiteral("Correo");

void addAddress(QStringList &addresses, const QString &address, const QStringList &taken = {})
{
    const QString trimmed = address.trimmed();
    if (!trimmed.isEmpty() && !addresses.contains(trimmed, Qt::CaseInsensitive) && !taken.contains(trimmed, Qt::CaseInsensitive))
        addresses << trimmed;
}

QStringList customerAddresses(Connection &connection, const QString &customer)
{
    QStringList addresses;
    Recordset rs = connection.select(
        QStringLiteral("SELECT Ce_Email FROM Cliente_Email WHERE Cl_Cve_Cliente = ? ORDER BY Ce_ID"), {customer});
    for (; !rs.eof(); rs.moveNext())
        addAddress(addresses, rs.text(QStringLiteral("Ce_Email")));
    return addresses;
}

// The branch's own archive when it has the variable (even empty: that branch keeps no
// archive), else the general one.
QStringList archiveAddresses(const QString &branch)
{
    const Environment environment;
    const QString general = environment.GetVariable(QStringLiteral("MAIL_ARCHIVO"), 0, QStringLiteral("T"), {});
    const QString value =
        environment.GetVariable(QStringLiteral("MAIL_ARCHIVO_") + branch, 0, QStringLiteral("T"), general);
    QStringList addresses;
    for (const QString &address : value.split(QRegularExpression(QStringLiteral("[,;]"))))
        addAddress(addresses, address);
    return addresses;
}

QString bodyOf(const InvoiceDocument &invoice, const cfdi::Comprobante &c, const QString &uuid)
{
    return QStringLiteral("Estimado cliente:\n\n"
                          "Le enviamos la factura %1 por un total de $%2 %3, con folio fiscal %4.\n"
                          "Adjuntamos el comprobante fiscal digital (XML) y su representación impresa (PDF).\n\n"
                          "Atentamente,\n%5\n")
        .arg(invoice.name, c.total, c.moneda, uuid, c.emisor.nombre);
}

} // namespace

bool DocumentMailer::Send(const QString &table, const QString &folio, int option1, int option2, int option3,
                          QString &text)
{
    Q_UNUSED(option1);
    Q_UNUSED(option2);
    Q_UNUSED(option3);
    m_lastError.clear();
    if (table.compare(kInvoiceTable, Qt::CaseInsensitive) != 0) {
        m_lastError = QStringLiteral("Solo se envían facturas por correo; %1 no es una factura").arg(table);
        return false;
    }
    Connection &connection = Platform::instance().connection();
    auto log = [&](const QString &detail) { logDocumentEvent(connection, kInvoiceTable, folio, kMailAction, detail); };
    try {
        const auto digital = findDigitalDocument(connection, kInvoiceTable, folio);
        if (!digital) {
            m_lastError = QStringLiteral("La factura %1 no está timbrada; solo se envían facturas timbradas").arg(folio);
            log(QStringLiteral("No enviado: ") + m_lastError);
            return false;
        }
        // The stamped XML is the document: of the tables only the header is needed.
        InvoiceDocument invoice = InvoiceDocument::loadHeader(connection, folio);
        const QStringList customer = customerAddresses(connection, invoice.customer.key);
        QStringList archive;
        for (const QString &address : archiveAddresses(invoice.branch))
            addAddress(archive, address, customer);
        if (customer.isEmpty() && archive.isEmpty()) {
            log(QStringLiteral("No enviado: sin destinatarios (el cliente %1 no tiene correo electrónico registrado "
                               "y no hay dirección de archivo en MAIL_ARCHIVO)")
                    .arg(invoice.customer.key));
            return false;
        }
        const SmtpSettings settings = SmtpSettings::fromConfiguration();
        const cfdi::Comprobante header = cfdi::readComprobanteHeader(digital->xml);
        // The PDF just written for this invoice, when it was; drawn now otherwise.
        std::optional<QByteArray> pdf = lastprintedpdf::recall(connection.defaultDatabase(), invoice, digital->xml);
        if (!pdf)
            pdf = InvoicePdf(InvoicePrintout::fromInvoice(invoice, digital->xml, Utilities().ServerNow())).toPdf();

        MimeMessage message;
        message.from = settings.sender;
        message.to = customer.isEmpty() ? archive : customer;
        message.cc = customer.isEmpty() ? QStringList() : archive;
        message.subject = QStringLiteral("Factura %1 de %2").arg(invoice.name, header.emisor.nombre);
        message.body = bodyOf(invoice, header, digital->uuid);
        message.attachments = {{folio + QStringLiteral(".xml"), QStringLiteral("application/xml"), digital->xml},
                               {folio + QStringLiteral(".pdf"), QStringLiteral("application/pdf"), *pdf}};
        const QString recipients = (message.to + message.cc).join(QStringLiteral(", "));

        const std::unique_ptr<MailTransport> transport = openMailTransport(settings);
        if (!transport->deliver(message.to + message.cc, message.toBytes(), folio)) {
            m_lastError = transport->lastError();
            log(QStringLiteral("No enviado a %1: %2").arg(recipients, m_lastError));
            return false;
        }
        log(QStringLiteral("Enviado a %1").arg(recipients));
        text = recipients;
        Platform::instance().presenter().reportMail(text, message.subject);
        return true;
    } catch (const Error &error) {
        m_lastError = error.description();
        try {
            log(QStringLiteral("No enviado: ") + m_lastError);
        } catch (const Error &) {
            // The failure to send is what the clerk must see; a history that cannot be
            // written either (the database went away) must not hide it.
        }
        return false;
    }
}

} // namespace zentaro
