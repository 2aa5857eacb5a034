#pragma once

namespace zentaro {

class HostObject;

// Gives a host object the suite's electronic-document services: "FirmaDocumento" signs
// and stamps invoices (DocumentSigner), "ValidaDocumento" decides on cancellations
// (CancellationValidator). Neither lets an exception reach the screen that called it.
void installElectronicDocuments(HostObject &host);

} // namespace zentaro
