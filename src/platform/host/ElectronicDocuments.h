#pragma once

#include <memory>

namespace zentaro {

namespace cfdi {
class Pac;
}

class HostObject;

// Gives a host object the suite's electronic-document services: "FirmaDocumento" signs
// and stamps invoices (DocumentSigner), "ValidaDocumento" decides on cancellations and has
// the SAT cancel (CancellationValidator). Neither lets an exception reach the screen that
// called it. Without a PAC both use the one the configuration names.
void installElectronicDocuments(HostObject &host, std::shared_ptr<cfdi::Pac> pac = {});

} // namespace zentaro
