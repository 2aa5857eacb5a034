#pragma once

#include <QString>

namespace zentaro {

// The history of a document for the clerk: its Bitacora_Documento entries and, for an
// electronic one, its Comprobante_Digital state (UUID, stamp date, cancellation motive).
// Opens a small dialog when a user is at the screen; a script or a night run has nobody
// to show it to, so there it does nothing and never fails.
class DocumentRecord
{
public:
    void Open(const QString &table, const QString &keyColumn, const QString &key, const QString &text1,
              const QString &text2, const QString &text3, const QString &text4);
};

} // namespace zentaro
