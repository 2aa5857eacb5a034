#include "platform/components/DocumentMailer.h"

#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentLog.h"
#include "platform/components/InvoicePdf.h"
#include "platform/components/MimeMessage.h"
#include "platform/components/SmtpClient.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

namespace zentaro {

namespace {

const QString kInvoiceTable = QStringLiteral("Factura");
const QString kMailAction = QStringLiteral("Correo");

QStringList customerAddresses(Connection &connection, const QString &customer)
{
    QStringList addresses;
    Recordset rs = connection.select(
        QStringLiteral("SELECT Ce_Email FROM Cliente_Email WHERE Cl_Cve_Cliente = ? ORDER BY Ce_ID"), {customer});
    for (; !rs.eof(); rs.moveNext()) {
        const QString address = rs.text(QStringLiteral("Ce_Email")).trimmed();
        if (!address.isEmpty() && !addresses.contains(address, Qt::CaseInsensitive))
            addresses << address;
    }
    return addresses;
}

QString bodyOf(const InvoicePrintout &p)
{
    const cfdi::Comprobante &c = p.comprobante;
    return QStringLiteral("Estimado cliente:\n\n"
                          "Le enviamos la factura %1 por un total de $%2 %3, con folio fiscal %4.\n"
                          "Adjuntamos el comprobante fiscal digital (XML) y su representación impresa (PDF).\n\n"
                          "Atentamente,\n%5\n")
        .arg(p.invoice.name, c.total, c.moneda, p.timbre ? p.timbre->uuid : QString(), c.emisor.nombre);
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
    QStringList recipients;
    try {
        const auto digital = findDigitalDocument(connection, kInvoiceTable, folio);
        if (!digital) {
            m_lastError = QStringLiteral("La factura %1 no está timbrada; solo se envían facturas timbradas").arg(folio);
            logDocumentEvent(connection, kInvoiceTable, folio, kMailAction, QStringLiteral("No enviado: ") + m_lastError);
            return false;
        }
        InvoicePdf pdf(InvoicePrintout::fromInvoice(InvoiceDocument::load(connection, folio), digital->xml,
                                                    Utilities().ServerNow()));
        const InvoicePrintout &printout = pdf.printout();
        recipients = customerAddresses(connection, printout.invoice.customer.key);
        if (recipients.isEmpty()) {
            m_lastError = QStringLiteral("El cliente %1 no tiene correo electrónico registrado")
                              .arg(printout.invoice.customer.key);
            logDocumentEvent(connection, kInvoiceTable, folio, kMailAction, QStringLiteral("No enviado: ") + m_lastError);
            return false;
        }
        const SmtpSettings settings = SmtpSettings::fromConfiguration();

        MimeMessage message;
        message.from = settings.sender;
        message.to = recipients;
        message.subject = QStringLiteral("Factura %1 de %2").arg(printout.invoice.name, printout.comprobante.emisor.nombre);
        message.body = bodyOf(printout);
        message.attachments = {
            {folio + QStringLiteral(".xml"), QStringLiteral("application/xml"), digital->xml},
            {folio + QStringLiteral(".pdf"), QStringLiteral("application/pdf"), pdf.toPdf()}};

        SmtpClient client(settings);
        if (!client.send(recipients, message.toBytes())) {
            m_lastError = client.lastError();
            logDocumentEvent(connection, kInvoiceTable, folio, kMailAction,
                             QStringLiteral("No enviado a %1: %2").arg(recipients.join(QStringLiteral(", ")), m_lastError));
            return false;
        }
        logDocumentEvent(connection, kInvoiceTable, folio, kMailAction,
                         QStringLiteral("Enviado a %1").arg(recipients.join(QStringLiteral(", "))));
        text = recipients.join(QStringLiteral(", "));
        Platform::instance().presenter().reportMail(text, message.subject);
        return true;
    } catch (const Error &error) {
        m_lastError = error.description();
        try {
            logDocumentEvent(connection, kInvoiceTable, folio, kMailAction, QStringLiteral("No enviado: ") + m_lastError);
        } catch (const Error &) {
            // The failure to send is what the clerk must see; a history that cannot be
            // written either (the database went away) must not hide it.
        }
        return false;
    }
}

} // namespace zentaro
