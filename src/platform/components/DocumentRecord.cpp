#include "platform/components/DocumentRecord.h"

#include "platform/components/CancellationMotive.h"
#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentLog.h"
#include "platform/services/Platform.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zentaro {

void DocumentRecord::Open(const QString &table, const QString &keyColumn, const QString &key, const QString &text1,
                          const QString &text2, const QString &text3, const QString &text4)
{
    Q_UNUSED(keyColumn);
    Q_UNUSED(text1);
    Q_UNUSED(text2);
    Q_UNUSED(text3);
    Q_UNUSED(text4);
    Platform &platform = Platform::instance();
    if (!platform.interactive())
        return;
    Connection &connection = platform.connection();
    const QList<DocumentLogEntry> entries = documentLog(connection, table, key);
    const auto digital = findDigitalDocument(connection, table, key);

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Registro del documento %1").arg(key));
    dialog.resize(720, 360);
    auto *layout = new QVBoxLayout(&dialog);
    QString state;
    if (!digital) {
        state = QStringLiteral("Documento sin timbrar");
    } else {
        state = QStringLiteral("Folio fiscal: %1\nTimbrado: %2    Certificado del emisor: %3")
                    .arg(digital->uuid, digital->fechaTimbrado.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                         digital->noCertificado);
        if (!digital->motivoCancelacion.isEmpty())
            state += QStringLiteral("\nCancelación validada: %1 - %2%3")
                         .arg(digital->motivoCancelacion, cancellationMotiveText(digital->motivoCancelacion),
                              digital->folioSustitucion.isEmpty()
                                  ? QString()
                                  : QStringLiteral(" (la sustituye %1)").arg(digital->folioSustitucion));
    }
    layout->addWidget(new QLabel(state));
    auto *grid = new QTableWidget(int(entries.size()), 4);
    grid->setHorizontalHeaderLabels({QStringLiteral("Fecha"), QStringLiteral("Usuario"), QStringLiteral("Acción"),
                                     QStringLiteral("Detalle")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < entries.size(); ++row) {
        const DocumentLogEntry &e = entries.at(row);
        grid->setItem(row, 0, new QTableWidgetItem(e.when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))));
        grid->setItem(row, 1, new QTableWidgetItem(e.user));
        grid->setItem(row, 2, new QTableWidgetItem(e.action));
        grid->setItem(row, 3, new QTableWidgetItem(e.detail));
    }
    layout->addWidget(grid);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace zentaro
