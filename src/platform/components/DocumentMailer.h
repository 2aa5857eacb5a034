#pragma once

#include <QString>

namespace zentaro {

// E-mails a signed invoice to its customer: the stamped XML and the printed PDF, from
// MAIL_REMITENTE to every address of Cliente_Email, through the server of MAIL_SMTP_URL
// (SmtpSettings). Every attempt, sent or not, is written to the invoice's history.
class DocumentMailer
{
public:
    // `table` must be "Factura"; the three integers are not used. On success `text`
    // receives the addresses the mail went to. False with LastError when the invoice is
    // not signed, the customer has no address, the settings are incomplete or the server
    // refused or could not be reached.
    bool Send(const QString &table, const QString &folio, int option1, int option2, int option3, QString &text);
    QString LastError() const { return m_lastError; }

private:
    QString m_lastError;
};

} // namespace zentaro
