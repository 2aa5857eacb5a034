#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace zentaro {
class Connection;
}

namespace zentaro::app {

// Whether the notes a run is about to bill would make a global invoice the signer signs,
// asked before the transaction that stores it: the invoice is built in memory as Accept
// would store it (one line per note with an amount, the note's tax rows under it, the
// total the lines add up to) and turned into the comprobante with the signer's own rules
// (InvoiceDocument::toComprobante: the notes inside one period of the branch's periodicity,
// the year SAT still takes for a `fecha`, a payment form that is not "to be defined"; and
// the comprobante's total equal to the stored one). Answers "" when it would be signed,
// otherwise the Spanish reason the signer would give.
QString checkGlobalInvoice(Connection &connection, const QStringList &notes, const QString &branch,
                           const QString &currency, const QDate &invoiceDate, const QDateTime &fecha);

} // namespace zentaro::app
