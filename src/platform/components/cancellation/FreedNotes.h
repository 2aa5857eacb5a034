#pragma once

#include <QString>
#include <QStringList>

namespace zentaro {

class Connection;

// A stamped invoice cancelled with motive 01 (replaced) or 04 (a sale of a global invoiced
// to a named customer) gives its notes back; the global that bills them again must relate
// the cancelled one with TipoRelacion 04. The canceller calls this in its transaction, while
// the notes still point to the invoice, before it frees them. Other motives record nothing.
void recordNotesFreedByCancellation(Connection &connection, const QString &invoiceFolio, const QString &motive);

// The UUIDs of the cancelled invoices that gave back the notes `invoiceFolio` bills, sorted.
QStringList uuidsReplacedBy(Connection &connection, const QString &invoiceFolio);

} // namespace zentaro
