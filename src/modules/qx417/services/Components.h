#pragma once

#include "platform/components/invoicing/InvoiceBuilder.h"
#include "platform/components/cancellation/InvoiceCanceller.h"

#include <functional>
#include <memory>

namespace qx417 {

// The suite's business components as the screen creates them, one for each use. The
// screen calls them only through these factories, so that a test can hand it one that
// refuses where the real component cannot be made to (a builder that fails a line, a
// canceller that refuses).
struct Components
{
    std::function<std::unique_ptr<zentaro::InvoiceBuilderInterface>()> invoiceBuilder;
    std::function<std::unique_ptr<zentaro::InvoiceCancellerInterface>()> invoiceCanceller;

    // The real components on the session's connection.
    static Components suite();
};

Components &components();

} // namespace qx417
