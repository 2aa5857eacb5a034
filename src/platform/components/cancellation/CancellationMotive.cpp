#include "platform/components/cancellation/CancellationMotive.h"

#include "platform/controls/DialogParts.h"
#include "platform/services/Platform.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace zentaro {

namespace {

const QString kDefaultMotive = QStringLiteral("02");

} // namespace

const QList<QPair<QString, QString>> &satCancellationMotives()
{
    static const QList<QPair<QString, QString>> motives = {
        {QStringLiteral("01"), QStringLiteral("Comprobante emitido con errores con relación")},
        {QStringLiteral("02"), QStringLiteral("Comprobante emitido con errores sin relación")},
        {QStringLiteral("03"), QStringLiteral("No se llevó a cabo la operación")},
        {QStringLiteral("04"), QStringLiteral("Operación nominativa relacionada en una factura global")},
    };
    return motives;
}

QString cancellationMotiveText(const QString &code)
{
    for (const auto &motive : satCancellationMotives())
        if (motive.first == code)
            return motive.second;
    return {};
}

std::optional<CancellationMotive> parseCancellationAnswer(const QString &answer)
{
    const QString trimmed = answer.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const qsizetype bar = trimmed.indexOf(u'|');
    if (bar < 0)
        return CancellationMotive{trimmed, {}};
    return CancellationMotive{trimmed.left(bar).trimmed(), trimmed.mid(bar + 1).trimmed()};
}

std::optional<CancellationMotive> askCancellationMotive(const QString &invoiceName, const QString &warning,
                                                        QWidget *parent)
{
    Platform &platform = Platform::instance();
    if (const auto answer = platform.takeAnswer(QStringLiteral("motive")))
        return parseCancellationAnswer(*answer);
    if (!platform.interactive())
        return CancellationMotive{kDefaultMotive, {}};

    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Motivo de cancelación"));
    auto *layout = new QVBoxLayout(&dialog);
    if (!warning.isEmpty()) {
        auto *notice = new QLabel(warning);
        notice->setObjectName(QStringLiteral("aviso"));
        notice->setWordWrap(true);
        notice->setStyleSheet(QStringLiteral("color: #9a5b00; font-weight: bold;"));
        layout->addWidget(notice);
    }
    layout->addWidget(new QLabel(QStringLiteral("¿Por qué se cancela la factura %1 ante el SAT?").arg(invoiceName)));
    auto *form = new QFormLayout;
    auto *motives = new QComboBox;
    for (const auto &motive : satCancellationMotives())
        motives->addItem(QStringLiteral("%1 - %2").arg(motive.first, motive.second), motive.first);
    motives->setCurrentIndex(1);
    auto *replacement = new QLineEdit;
    replacement->setPlaceholderText(QStringLiteral("XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"));
    replacement->setEnabled(false);
    form->addRow(QStringLiteral("Motivo:"), motives);
    form->addRow(QStringLiteral("Folio fiscal que la sustituye:"), replacement);
    layout->addLayout(form);
    auto *buttons = dialogparts::acceptCancelButtons(&dialog);
    layout->addWidget(buttons);
    // Only motive 01 relates the cancelled invoice to the one that replaces it.
    QObject::connect(motives, &QComboBox::currentIndexChanged, replacement,
                     [motives, replacement] { replacement->setEnabled(motives->currentData() == QStringLiteral("01")); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QString code = motives->currentData().toString();
    return CancellationMotive{code, code == QLatin1String("01") ? replacement->text().trimmed() : QString()};
}

} // namespace zentaro
