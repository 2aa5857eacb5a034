#pragma once

#include <QString>

namespace zentaro {

class Connection;

// Cancels a stored invoice inside the caller's open transaction: the invoice ("CA" in
// Factura and Factura_Encabezado, with the SAT motive when there is one), its receivable
// when it had one (balance 0, "CA") and an entry in its history. The caller commits or
// rolls everything back. Refusals answer false with the reason in LastError.
//
// An invoice with an electronic document is cancelled only once the SAT cancelled that
// document: the answer is read from the document's record (kept by the cancellation's
// validation, before the transaction), never asked for here, so no lock waits on the
// network. An invoice sent to the PAC without a stamp or a refusal kept is not cancelled:
// it may be a CFDI already. Of two clerks cancelling the same invoice, the second is told
// that the other did it.
class InvoiceCancellerInterface
{
public:
    virtual ~InvoiceCancellerInterface() = default;
    // `flag` is kept for the screens' call and means nothing yet.
    virtual bool CancelInvoice(const QString &folio, int flag) = 0;
    virtual QString LastError() const = 0;
};

class InvoiceCanceller : public InvoiceCancellerInterface
{
public:
    explicit InvoiceCanceller(Connection &connection);

    bool CancelInvoice(const QString &folio, int flag) override;
    QString LastError() const override { return m_lastError; }

private:
    void cancel(const QString &folio);

    Connection &m_connection;
    QString m_lastError;
};

} // namespace zentaro
