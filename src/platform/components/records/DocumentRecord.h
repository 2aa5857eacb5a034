#pragma once

#include <QString>

namespace zentaro {

class Connection;

// The record of a document for the clerk: its history from the suite's document log
// (created, signed, sent, printed, cancelled: when, by whom, what came of it) and, for an
// electronic one, its Comprobante_Digital data (UUID, stamp date, certificate numbers,
// status at the SAT, the cancellation's acknowledgement). With a user at the screen it is
// a window with buttons that save the XML and the PDF; a script or a night run gets its
// contents as an information message, so they can be checked.
class DocumentRecord
{
public:
    void Open(const QString &table, const QString &keyColumn, const QString &key, const QString &text1,
              const QString &text2, const QString &text3, const QString &text4);

    // The electronic data, one "Name: value" a line ("Documento sin timbrar" when none).
    static QString electronicData(Connection &connection, const QString &table, const QString &key);
    // The whole record as text: the electronic data, then one line per history entry.
    static QString contents(Connection &connection, const QString &table, const QString &key);
};

} // namespace zentaro
