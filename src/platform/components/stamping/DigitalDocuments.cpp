#include "platform/components/stamping/DigitalDocuments.h"

#include "platform/db/Connection.h"

namespace zentaro {

namespace {

const QString kColumns = QStringLiteral("Cd_Tabla, Cd_Documento, Cd_UUID, Cd_Fecha_Timbrado, Cd_No_Certificado, Cd_XML, "
                                        "Cd_Estado, Cd_Motivo_Cancelacion, Cd_Folio_Sustitucion, Cd_Certificado_SAT");

DigitalDocument readRow(const Recordset &rs)
{
    DigitalDocument d;
    d.table = rs.text(QStringLiteral("Cd_Tabla"));
    d.document = rs.text(QStringLiteral("Cd_Documento"));
    d.uuid = rs.text(QStringLiteral("Cd_UUID"));
    d.fechaTimbrado = QDateTime::fromString(rs.text(QStringLiteral("Cd_Fecha_Timbrado")), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    d.noCertificado = rs.text(QStringLiteral("Cd_No_Certificado"));
    d.xml = rs.text(QStringLiteral("Cd_XML")).toUtf8();
    d.estado = rs.text(QStringLiteral("Cd_Estado"));
    d.motivoCancelacion = rs.text(QStringLiteral("Cd_Motivo_Cancelacion"));
    d.folioSustitucion = rs.text(QStringLiteral("Cd_Folio_Sustitucion"));
    d.satCertificateDer = QByteArray::fromBase64(rs.text(QStringLiteral("Cd_Certificado_SAT")).toLatin1());
    return d;
}

} // namespace

std::optional<DigitalDocument> findDigitalDocument(Connection &connection, const QString &table, const QString &document)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT %1 FROM Comprobante_Digital WHERE Cd_Tabla = ? AND Cd_Documento = ?").arg(kColumns),
        {table, document});
    if (rs.eof())
        return std::nullopt;
    return readRow(rs);
}

std::optional<DigitalDocument> findDigitalDocumentByUuid(Connection &connection, const QString &uuid)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT %1 FROM Comprobante_Digital WHERE upper(Cd_UUID) = ?").arg(kColumns), {uuid.toUpper()});
    if (rs.eof())
        return std::nullopt;
    return readRow(rs);
}

void insertDigitalDocument(Connection &connection, const DigitalDocument &d)
{
    connection.run(QStringLiteral("INSERT INTO Comprobante_Digital (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(kColumns),
                   {d.table, d.document, d.uuid, d.fechaTimbrado.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                    d.noCertificado, QString::fromUtf8(d.xml), d.estado, d.motivoCancelacion, d.folioSustitucion,
                    QString::fromLatin1(d.satCertificateDer.toBase64())});
}

void recordCancellationMotive(Connection &connection, const QString &table, const QString &document,
                              const QString &motive, const QString &replacementUuid)
{
    connection.run(QStringLiteral("UPDATE Comprobante_Digital SET Cd_Motivo_Cancelacion = ?, Cd_Folio_Sustitucion = ? "
                                  "WHERE Cd_Tabla = ? AND Cd_Documento = ?"),
                   {motive, replacementUuid, table, document});
}

} // namespace zentaro
