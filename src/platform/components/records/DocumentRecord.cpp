#include "platform/components/records/DocumentRecord.h"

#include "platform/components/cancellation/CancellationMotive.h"
#include "platform/components/records/DocumentLog.h"
#include "platform/components/printing/DocumentOutput.h"
#include "platform/components/cancellation/SatCancellationRecord.h"
#include "platform/components/stamping/StampedXmlFacts.h"
#include "platform/controls/FileDialogs.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>

namespace zentaro {

namespace {

const QString kMoment = QStringLiteral("dd/MM/yyyy HH:mm:ss");

// The SAT's certificate number is in the stamp; the issuer's on the row.
QString satCertificate(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("TimbreFiscalDigital"))
            return reader.attributes().value(QLatin1String("NoCertificadoSAT")).toString();
    return {};
}

QString issuerCertificate(Connection &connection, const QString &table, const QString &key)
{
    Recordset rs = connection.select(
        QStringLiteral("SELECT Cd_No_Certificado FROM Comprobante_Digital WHERE Cd_Tabla = ? AND Cd_Documento = ?"),
        {table, key});
    return rs.eof() ? QString() : rs.textAt(0);
}

// A file's path with its folder's links resolved: QFileInfo's equality holds any two files
// that do not exist equal.
QString resolvedPath(const QString &path)
{
    const QFileInfo info(path);
    return QDir(QFileInfo(info.absolutePath()).canonicalFilePath()).filePath(info.fileName());
}

// The database's own files: writing over one destroys it, and merely opening one drops
// the locks of the suite's connection.
bool isDatabaseFile(const QString &path)
{
    const Connection &connection = Platform::instance().connection();
    const QString chosen = resolvedPath(path);
    for (const QString &file : connection.dialect().databaseFiles(connection.url()))
        if (chosen == resolvedPath(file))
            return true;
    return false;
}

void saveFile(QWidget *parent, const QString &suggested, const QString &filter, const QByteArray &bytes)
{
    const QString path = filedialogs::saveFileName(parent, QStringLiteral("Guardar"), suggested, filter);
    if (path.isEmpty())
        return;
    if (isDatabaseFile(path)) {
        QMessageBox::warning(parent, QStringLiteral("Zentaro"),
                             QStringLiteral("%1 es un archivo de la base de datos: elija otro nombre").arg(path));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        QMessageBox::warning(parent, QStringLiteral("Zentaro"),
                             QStringLiteral("No se pudo guardar %1: %2").arg(path, file.errorString()));
        return;
    }
    file.close();
    Platform::instance().presenter().reportOutput(path);
}

} // namespace

QString DocumentRecord::electronicData(Connection &connection, const QString &table, const QString &key)
{
    const auto record = satcancellation::find(connection, table, key);
    if (!record)
        return QStringLiteral("Documento sin timbrar");
    QStringList lines;
    lines << QStringLiteral("Folio fiscal: %1").arg(record->uuid)
          << QStringLiteral("Timbrado: %1").arg(record->stampedAt.toString(kMoment))
          << QStringLiteral("Certificado del emisor: %1").arg(issuerCertificate(connection, table, key))
          << QStringLiteral("Certificado del SAT: %1").arg(satCertificate(record->xml))
          << QStringLiteral("Estado ante el SAT: %1").arg(satcancellation::stateText(record->state));
    if (!record->motive.isEmpty())
        lines << QStringLiteral("Motivo de cancelación: %1 - %2%3")
                     .arg(record->motive, cancellationMotiveText(record->motive),
                          record->replacementUuid.isEmpty() ? QString()
                                                            : QStringLiteral(" (la sustituye %1)").arg(record->replacementUuid));
    if (record->requestedAt.isValid())
        lines << QStringLiteral("Cancelación solicitada: %1").arg(record->requestedAt.toString(kMoment));
    if (!record->answer.isEmpty())
        lines << QStringLiteral("Respuesta del SAT: %1").arg(record->answer);
    if (!record->acknowledgement.isEmpty())
        lines << QStringLiteral("Acuse de cancelación: %1").arg(QString::fromUtf8(record->acknowledgement).simplified());
    return lines.join(u'\n');
}

QString DocumentRecord::contents(Connection &connection, const QString &table, const QString &key)
{
    QStringList lines {QStringLiteral("Registro del documento %1").arg(key), electronicData(connection, table, key),
                       QStringLiteral("Historia:")};
    for (const DocumentLogEntry &e : documentLog(connection, table, key))
        lines << QStringLiteral("%1 | %2 | %3 | %4").arg(e.when.toString(kMoment), e.user, e.action, e.detail);
    return lines.join(u'\n');
}

void DocumentRecord::Open(const QString &table, const QString &keyColumn, const QString &key, const QString &text1,
                          const QString &text2, const QString &text3, const QString &text4)
{
    Q_UNUSED(keyColumn);
    Q_UNUSED(text1);
    Q_UNUSED(text2);
    Q_UNUSED(text3);
    Q_UNUSED(text4);
    if (key.trimmed().isEmpty())
        throw Error(QStringLiteral("Indique el documento cuyo registro se consulta"));
    Platform &platform = Platform::instance();
    Connection &connection = platform.connection();
    if (!platform.interactive()) {
        platform.presenter().present({contents(connection, table, key), 64,
                                      QStringLiteral("Registro del documento %1").arg(key), QString(), QString()},
                                     nullptr);
        return;
    }
    const QList<DocumentLogEntry> entries = documentLog(connection, table, key);
    const auto record = satcancellation::find(connection, table, key);

    QDialog dialog;
    dialog.setObjectName(QStringLiteral("DocumentRecord"));
    dialog.setWindowTitle(QStringLiteral("Registro del documento %1").arg(key));
    dialog.resize(820, 420);
    auto *layout = new QVBoxLayout(&dialog);
    auto *data = new QLabel(electronicData(connection, table, key));
    data->setWordWrap(true);
    data->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(data);
    auto *grid = new QTableWidget(int(entries.size()), 4);
    grid->setHorizontalHeaderLabels({QStringLiteral("Fecha"), QStringLiteral("Usuario"), QStringLiteral("Acción"),
                                     QStringLiteral("Detalle")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < entries.size(); ++row) {
        const DocumentLogEntry &e = entries.at(row);
        grid->setItem(row, 0, new QTableWidgetItem(e.when.toString(kMoment)));
        grid->setItem(row, 1, new QTableWidgetItem(e.user));
        grid->setItem(row, 2, new QTableWidgetItem(e.action));
        grid->setItem(row, 3, new QTableWidgetItem(e.detail));
    }
    layout->addWidget(grid);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *saveXml = buttons->addButton(QStringLiteral("Guardar XML"), QDialogButtonBox::ActionRole);
    saveXml->setEnabled(record.has_value());
    QPushButton *savePdf = buttons->addButton(QStringLiteral("Guardar PDF"), QDialogButtonBox::ActionRole);
    savePdf->setEnabled(table == QLatin1String("Factura"));
    QObject::connect(saveXml, &QPushButton::clicked, &dialog, [&] {
        saveFile(&dialog, key + QStringLiteral(".xml"), QStringLiteral("XML (*.xml)"), record->xml);
    });
    QObject::connect(savePdf, &QPushButton::clicked, &dialog, [&] {
        QByteArray pdf;
        try {
            pdf = DocumentOutput().pdf(key);
        } catch (const Error &error) {
            QMessageBox::warning(&dialog, QStringLiteral("Zentaro"), error.description());
            return;
        }
        saveFile(&dialog, key + QStringLiteral(".pdf"), QStringLiteral("PDF (*.pdf)"), pdf);
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace zentaro
