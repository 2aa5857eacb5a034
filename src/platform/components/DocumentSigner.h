#pragma once

#include <QString>

#include <memory>

namespace zentaro {

namespace cfdi {
class Pac;
}

// Signs stored invoices as CFDI 4.0 for the host's "FirmaDocumento": builds the
// comprobante from the invoice, seals it with the issuer's CSD, has the PAC stamp it and
// keeps the stamped XML in Comprobante_Digital with an entry in the document's history,
// all in one transaction (the caller's, when one is open). Nothing is written unless the
// PAC stamped.
class DocumentSigner
{
public:
    // Without a PAC, the one named by the configuration variable CFDI_PAC is used.
    explicit DocumentSigner(std::shared_ptr<cfdi::Pac> pac = {});

    // `request` is "database|6|folio" (6: an invoice). Answers "" when the invoice is
    // signed, also when it was signed before (signing twice never stamps twice), and
    // otherwise a Spanish sentence saying why it was not.
    QString sign(const QString &request);
    QString signInvoice(const QString &folio);

    // The PAC of CFDI_PAC: SANDBOX, one per process (a retried stamp must reach the same
    // instance so it answers with the stamp it gave the first time), or REST, a provider
    // over HTTPS configured by the CFDI_PAC_* variables (see PacSettings). Throws
    // zentaro::Error when the variable names no PAC this installation has or the provider's
    // configuration is incomplete.
    static std::shared_ptr<cfdi::Pac> configuredPac();

private:
    std::shared_ptr<cfdi::Pac> m_pac;
};

} // namespace zentaro
