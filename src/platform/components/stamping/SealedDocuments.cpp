#include "platform/components/stamping/SealedDocuments.h"

#include "platform/db/Connection.h"

#include <QRegularExpression>

namespace zentaro {

namespace {

const QString kMoment = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

bool refusesTheDocument(const QString &code)
{
    // 307 (stamped before) and CFDI3307 (the key stamped other bytes) say the document may
    // well be stamped: never a refusal.
    static const QRegularExpression refusal(QStringLiteral("^(30[1-68]|40[1-3]|CFDI(33|40)[0-9]{3})$"));
    return refusal.match(code.trimmed()).hasMatch();
}

StampState stampStateOf(const cfdi::StampResult &result)
{
    if (result.stamped())
        return StampState::Stamped;
    if (result.refusal && !result.refusal->transient && refusesTheDocument(result.refusal->code))
        return StampState::Refused;
    return StampState::Pending;
}

std::optional<SealedDocument> findSealedDocument(Connection &connection, const QString &table, const QString &document)
{
    Recordset rs = connection.select(QStringLiteral("SELECT Cs_XML, Cs_Fecha_Sellado, Cs_Intentos, Cs_Ultimo_Error "
                                                    "FROM Comprobante_Sellado WHERE Cs_Tabla = ? AND Cs_Documento = ?"),
                                     {table, document});
    if (rs.eof())
        return std::nullopt;
    SealedDocument sealed;
    sealed.table = table;
    sealed.document = document;
    sealed.xml = rs.text(QStringLiteral("Cs_XML")).toUtf8();
    sealed.sealedAt = QDateTime::fromString(rs.text(QStringLiteral("Cs_Fecha_Sellado")).left(19), kMoment);
    sealed.attempts = rs.field(QStringLiteral("Cs_Intentos")).toInt();
    sealed.lastError = rs.text(QStringLiteral("Cs_Ultimo_Error"));
    return sealed;
}

void keepSealedDocument(Connection &connection, const SealedDocument &sealed)
{
    connection.run(QStringLiteral("INSERT INTO Comprobante_Sellado (Cs_Tabla, Cs_Documento, Cs_XML, Cs_Fecha_Sellado, "
                                  "Cs_Intentos, Cs_Ultimo_Error) VALUES (?, ?, ?, ?, ?, ?)"),
                   {sealed.table, sealed.document, QString::fromUtf8(sealed.xml), sealed.sealedAt.toString(kMoment),
                    sealed.attempts, sealed.lastError});
}

void recordStampAttempt(Connection &connection, const QString &table, const QString &document, const QString &outcome)
{
    connection.run(QStringLiteral("UPDATE Comprobante_Sellado SET Cs_Intentos = Cs_Intentos + 1, Cs_Ultimo_Error = ? "
                                  "WHERE Cs_Tabla = ? AND Cs_Documento = ?"),
                   {outcome.left(500), table, document});
}

void discardSealedDocument(Connection &connection, const QString &table, const QString &document)
{
    connection.run(QStringLiteral("DELETE FROM Comprobante_Sellado WHERE Cs_Tabla = ? AND Cs_Documento = ?"),
                   {table, document});
}

} // namespace zentaro
