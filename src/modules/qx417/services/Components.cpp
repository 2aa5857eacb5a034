#include "qx417/services/Components.h"

#include "platform/services/Platform.h"

namespace qx417 {

Components Components::suite()
{
    Components made;
    made.invoiceBuilder = [] {
        return std::make_unique<zentaro::InvoiceBuilder>(zentaro::Platform::instance().connection());
    };
    made.invoiceCanceller = [] {
        return std::make_unique<zentaro::InvoiceCanceller>(zentaro::Platform::instance().connection());
    };
    return made;
}

Components &components()
{
    static Components current = Components::suite();
    return current;
}

} // namespace qx417
