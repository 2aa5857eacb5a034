#pragma once

#include <QString>

namespace zentaro {

// E-mails a signed invoice: the stamped XML and the printed PDF, from MAIL_REMITENTE,
// through the transport of MAIL_SMTP_URL (an SMTP server or an outbox folder, see
// SmtpSettings). It goes to every address of the customer in Cliente_Email, with the
// issuer's archive address as a copy; a customer without an address (the general
// public of a global invoice) gets nothing and the archive address alone receives it.
// The archive address is MAIL_ARCHIVO_<branch> when that variable exists, else
// MAIL_ARCHIVO; several addresses are separated by commas. Every attempt, sent or not,
// is written to the invoice's history.
class DocumentMailer
{
public:
    // `table` must be "Factura"; the three integers are not used. On success `text`
    // receives the addresses the mail went to. False with LastError when the invoice is
    // not signed, the settings are incomplete or the server refused or could not be
    // reached. False with an empty LastError when there is nobody to send to: that is
    // no error for the clerk, only "sin destinatarios" in the history.
    bool Send(const QString &table, const QString &folio, int option1, int option2, int option3, QString &text);
    QString LastError() const { return m_lastError; }

private:
    QString m_lastError;
};

} // namespace zentaro
