#pragma once

#include <QDate>
#include <QtGlobal>

namespace zentaro {
class Connection;
}

// The parts fill() writes, in order. Not part of the suite's interface.
namespace zentaro::demo::detail {

// Branches, warehouses, customers, products, taxes, currencies and exchange rates,
// salespeople, users, series, periods, configuration, extra fields and the issuer.
void writeCatalogues(Connection &connection, quint32 seed, const QDate &today);

// Sales notes with their tax rows, the stored invoices that cover some of them, returns,
// receivables and lots.
void writeDocuments(Connection &connection, quint32 seed, const QDate &today);

} // namespace zentaro::demo::detail
