#pragma once

#include <QString>

#include <memory>

namespace zentaro {

namespace cfdi {
class Pac;
}

// Signs stored invoices as CFDI 4.0 for the host's "FirmaDocumento": builds the
// comprobante from the invoice, seals it with the issuer's CSD, keeps the sealed XML
// (Comprobante_Sellado, committed) and only then has the PAC stamp it; the stamped XML and
// the PAC's certificate go to Comprobante_Digital with an entry in the document's history.
//
// One stamp per invoice whatever fails: an attempt after a lost answer, a timeout or a
// server error sends the kept XML byte for byte, so the PAC answers with the stamp it made
// (or "already stamped", SAT's 307, and hands it over). Only the PAC's refusal of the XML
// lets the next attempt seal the invoice anew. Since the keeping must commit on its own,
// an invoice is never signed inside a transaction someone else holds open.
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
