#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace zentaro {

class Connection;

// A stamped electronic document as Comprobante_Digital keeps it: one row per document,
// keyed by its table ("Factura") and folio. The row's existence is what the screens read
// as "signed".
struct DigitalDocument
{
    QString table;
    QString document;
    QString uuid;
    QDateTime fechaTimbrado;
    QString noCertificado;
    QByteArray xml;
    QString estado;              // kDigitalDocumentValid until the canceller changes it
    QString motivoCancelacion;   // chosen when a cancellation was validated
    QString folioSustitucion;
    QByteArray satCertificateDer; // the PAC's certificate that checks the timbre's SelloSAT
};

inline constexpr char16_t kDigitalDocumentValid[] = u"VI";

std::optional<DigitalDocument> findDigitalDocument(Connection &connection, const QString &table,
                                                   const QString &document);
// The document that carries this UUID (any case), if it was stamped here.
std::optional<DigitalDocument> findDigitalDocumentByUuid(Connection &connection, const QString &uuid);
// Throws zentaro::Error when the row exists already (the table's key refuses it).
void insertDigitalDocument(Connection &connection, const DigitalDocument &document);
// Keeps the SAT cancellation motive (and the replacing UUID for motive 01) until the
// invoice canceller files the cancellation.
void recordCancellationMotive(Connection &connection, const QString &table, const QString &document,
                              const QString &motive, const QString &replacementUuid);

} // namespace zentaro
